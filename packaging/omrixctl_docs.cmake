# Writes omrixctl's manual page and bash completion from what the built omrixctl says of itself
# (--help and help SUB), so neither can drift from the program.
# cmake -DOMRIXCTL=... -DHELP2MAN=... -DGZIP=... -DMAN_PAGE=... -DCOMPLETION_IN=...
#       -DCOMPLETION=... -P omrixctl_docs.cmake
cmake_minimum_required(VERSION 3.25)

function(run_omrixctl output_variable)
  execute_process(COMMAND ${OMRIXCTL} ${ARGN} OUTPUT_VARIABLE output RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "omrixctl ${ARGN} failed (${result})")
  endif()
  set(${output_variable} "${output}" PARENT_SCOPE)
endfunction()

run_omrixctl(overview --help)
string(REPLACE ";" "\\;" overview "${overview}")
string(REPLACE "\n" ";" overview_lines "${overview}")

# The overview's sections: "subcommands:" lists "  NAME SYNOPSIS   summary", "options:" lists
# "  --option ARG   text" with the port backends indented below --port-io.
set(section "")
set(subcommands "")
set(synopses "")
set(options "")
set(backends "")
foreach(line IN LISTS overview_lines)
  if(line MATCHES "^([a-z ]+):$")
    set(section "${CMAKE_MATCH_1}")
  elseif(line STREQUAL "")
    set(section "")
  elseif(section STREQUAL "subcommands" AND line MATCHES "^  ([a-z0-9-]+) ?(.*)$")
    set(name "${CMAKE_MATCH_1}")
    string(REGEX REPLACE "  +.*$" "" synopsis "${CMAKE_MATCH_2}")
    list(APPEND subcommands ${name})
    string(APPEND synopses "    [${name}]=\"${synopsis}\"\n")
  elseif(section STREQUAL "options" AND line MATCHES "^  (-[^ ].*)$")
    string(REGEX REPLACE "  +.*$" "" option_column "${CMAKE_MATCH_1}")
    string(REGEX MATCHALL "-[-a-z]+" option_names "${option_column}")
    list(APPEND options ${option_names})
  elseif(section STREQUAL "options" AND line MATCHES "^      +([a-z0-9]+): ")
    list(APPEND backends ${CMAKE_MATCH_1})
  endif()
endforeach()
if(NOT overview MATCHES "SLOT is ([a-z0-9, ]+) or ([a-z0-9]+)\\.")
  message(FATAL_ERROR "omrixctl --help names no slots")
endif()
string(REPLACE "," "" slots "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}")
if(NOT subcommands OR NOT options OR NOT backends)
  message(FATAL_ERROR "omrixctl --help lists no subcommands, options or backends")
endif()

# One subsection per subcommand, its help as printed.
set(details "[SUBCOMMANDS]\n")
foreach(name IN LISTS subcommands)
  run_omrixctl(help help ${name})
  string(REPLACE "\\" "\\e" help "${help}")
  # A line that begins with . or ' would be read as a request.
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  string(APPEND details ".SS ${name}\n.nf\n${help}.fi\n")
endforeach()
string(APPEND details "[SEE ALSO]\n.BR omrix (1)\n")
get_filename_component(work_directory ${MAN_PAGE} DIRECTORY)
set(include_file ${work_directory}/omrixctl.h2m)
file(WRITE ${include_file} "${details}")

string(REGEX REPLACE "\\.gz$" "" page ${MAN_PAGE})
execute_process(COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1
    "--name=drive the omrix FPGA/CPU board from the command line"
    --include=${include_file} --output=${page} ${OMRIXCTL}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "help2man failed (${result})")
endif()
# -n: no name or time stamp in the archive, so the package is the same on every build.
execute_process(COMMAND ${GZIP} -9nf ${page} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "gzip failed (${result})")
endif()

string(REPLACE ";" " " OMRIXCTL_SUBCOMMANDS "${subcommands}")
string(REPLACE ";" " " OMRIXCTL_OPTIONS "${options}")
string(REPLACE ";" " " OMRIXCTL_BACKENDS "${backends}")
set(OMRIXCTL_SLOTS "${slots}")
set(OMRIXCTL_SYNOPSES "${synopses}")
configure_file(${COMPLETION_IN} ${COMPLETION} @ONLY)
