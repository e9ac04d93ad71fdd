// The shared library as a third-party program sees it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "omrix/omrix_dll.h"
#include "omrix/sim/state_store.h"
#include "support/library_fixture.h"

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

using KilledProgramDeathTest = omrix::testing::LibraryTest;

// A program whose last call programmed CPU file3, killed then without DeInitOmrix and without
// exit handlers. Exits with a distinct status wherever it stops before the kill.
[[noreturn]] void ProgramCpu3AndDie(const std::string& directory, const std::string& board) {
  // A library loaded before would keep its directory: nothing here may go anywhere else.
  if (dlopen(OMRIX_DLL_PATH, RTLD_NOW | RTLD_NOLOAD) != nullptr) _exit(2);
  setenv("OMRIX_LIBRARY_DIR", directory.c_str(), 1);
  setenv("OMRIX_SIM", ("state=" + board + ";sector_erase_ms=5").c_str(), 1);
  unsetenv("OMRIX_PORT_IO");
  void* library = dlopen(OMRIX_DLL_PATH, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) _exit(3);
  auto init = reinterpret_cast<std::int32_t (*)(MessageFunction)>(
      dlsym(library, "HwaccInit_EnableDllMessages"));
  auto start = reinterpret_cast<std::int32_t (*)()>(dlsym(library, "InterpreteOmrixDat"));
  auto setup = reinterpret_cast<std::int32_t (*)(std::int32_t)>(dlsym(library, "SetupOmrix"));
  auto erase =
      reinterpret_cast<std::int32_t (*)(std::uint32_t)>(dlsym(library, "FlashSectorErase"));
  auto program = reinterpret_cast<std::int32_t (*)(const char*, std::uint32_t, std::uint32_t,
                                                   std::uint32_t, std::int32_t, std::int32_t)>(
      dlsym(library, "FlashProgram"));
  if (!init || !start || !setup || !erase || !program || init(nullptr) != 1) _exit(4);
  start();  // writes the default omrix.dat, no device yet
  if (setup(0x378) != 0) _exit(5);
  if (erase(0x30000) != 0) _exit(6);
  if (program((directory + "demo.bin").c_str(), 0x30000, 0x3FFFF, 0, 1, 0) != 0) _exit(7);
  raise(SIGKILL);
  _exit(8);
}

TEST_F(KilledProgramDeathTest, BoardKeepsWhatTheLastCompletedCallDid) {
  StageDataFile("setup.bit");
  StageDataFile("demo.bin");
  const std::string board = Directory() + "board/";
  EXPECT_EXIT(ProgramCpu3AndDie(Directory(), board), ::testing::KilledBySignal(SIGKILL), "");
  std::string problem;
  const auto saved = omrix::sim::ReadBoardState(board + "board.state", problem);
  ASSERT_TRUE(saved.has_value()) << problem;
  const std::string demo = omrix::testing::ReadWholeFile(Directory() + "demo.bin");
  ASSERT_FALSE(demo.empty());
  EXPECT_TRUE(std::equal(
      demo.begin(), demo.end(), saved->flash.begin() + 0x30000,
      [](char file, std::uint8_t cell) { return static_cast<std::uint8_t>(file) == cell; }));
}

}  // namespace
