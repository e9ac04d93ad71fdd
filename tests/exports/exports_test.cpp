// The shared library as a third-party program sees it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "omrix/omrix_dll.h"

namespace {

// Every ordinal of the table is built.
const std::set<int> kBuiltOrdinals = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
                                      14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26};

std::set<std::string> DefinedDynamicSymbols(const std::string& library) {
  const std::string command = "nm -D --defined-only '" + library + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::set<std::string> names;
  if (!pipe) return names;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
    std::istringstream fields(line);
    std::string address, type, name;
    if (fields >> address >> type >> name) names.insert(name);
  }
  return names;
}

TEST(SharedLibrary, ExportsExactlyTheBuiltPartOfTheOrdinalTable) {
  std::set<std::string> expected;
  for (const auto& entry : omrix::kExportOrdinals)
    if (kBuiltOrdinals.count(entry.ordinal) != 0) expected.insert(entry.name);
  EXPECT_EQ(DefinedDynamicSymbols(OMRIX_DLL_PATH), expected);
}

TEST(SharedLibrary, OrdinalTableIsTheWholeNumberedSet) {
  int next = 1;
  std::set<std::string> names;
  for (const auto& entry : omrix::kExportOrdinals) {
    EXPECT_EQ(entry.ordinal, next++);
    names.insert(entry.name);
  }
  EXPECT_EQ(next, 27);
  EXPECT_EQ(names.size(), 26u);
}

std::string transcript;
void Collect(const char* text) { transcript += text; }

TEST(SharedLibrary, BringsUpTheSimulatedBoardThroughItsExports) {
  unsetenv("OMRIX_PORT_IO");
  unsetenv("OMRIX_SIM");
  std::unique_ptr<void, int (*)(void*)> library(dlopen(OMRIX_DLL_PATH, RTLD_NOW | RTLD_LOCAL),
                                                dlclose);
  ASSERT_NE(library, nullptr) << dlerror();
  using Init = std::int32_t (*)(MessageFunction);
  using DeInit = std::int32_t (*)();
  using In = std::int32_t (*)(std::int32_t);
  auto init = reinterpret_cast<Init>(dlsym(library.get(), "HwaccInit_EnableDllMessages"));
  auto deInit = reinterpret_cast<DeInit>(dlsym(library.get(), "HwaccDeInit"));
  auto in = reinterpret_cast<In>(dlsym(library.get(), "inbyte"));
  ASSERT_TRUE(init && deInit && in);
  EXPECT_EQ(init(&Collect), 1);
  EXPECT_EQ(transcript,
            "\n The driver for hardware access was loaded successfully\n\n"
            "-> INFO: simulated omrix board, no hardware is accessed\n");
  EXPECT_EQ(in(1), 0xFF);  // no device set up: no port is reached
  EXPECT_EQ(deInit(), 1);
  EXPECT_EQ(deInit(), 0);
}

}  // namespace
