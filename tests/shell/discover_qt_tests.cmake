# Run after each build of a Qt test program: lists its functions with its own -functions and
# writes one ctest entry per function, so one failing function is one red line.
# In: TEST_EXECUTABLE, TEST_CLASS, TEST_ENVIRONMENT (;-list, as given with |), OUTPUT.
string(REPLACE "|" ";" environment "${TEST_ENVIRONMENT}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env ${environment} ${TEST_EXECUTABLE} -functions
  OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${TEST_EXECUTABLE} -functions failed (${status})")
endif()
string(REPLACE "\n" ";" lines "${listing}")
set(script "")
foreach(line IN LISTS lines)
  string(REGEX MATCH "^([A-Za-z_][A-Za-z0-9_]*)\\(\\)$" function "${line}")
  if(NOT function)
    continue()
  endif()
  set(name "${CMAKE_MATCH_1}")
  string(APPEND script "add_test(${TEST_CLASS}.${name} \"${TEST_EXECUTABLE}\" ${name})\n")
  string(APPEND script "set_tests_properties(${TEST_CLASS}.${name} PROPERTIES "
                       "ENVIRONMENT \"${environment}\")\n")
endforeach()
if(script STREQUAL "")
  message(FATAL_ERROR "${TEST_EXECUTABLE} -functions listed no test function")
endif()
file(WRITE "${OUTPUT}" "${script}")
