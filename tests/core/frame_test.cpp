// Opening and closing the library: texts, beeps, handles and the library directory.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>

#include "core/frame.h"
#include "core/library_state.h"
#include "core/text.h"
#include "driver/driver.h"
#include "support/library_fixture.h"
#include "support/scripted_platform.h"

namespace omrix {
namespace {

const char* const kLoaded = "\n The driver for hardware access was loaded successfully\n\n";
const char* const kFatal = "\n FATAL ERROR: The driver for hardware access could not be loaded\n\n";
const char* const kSimulated = "-> INFO: simulated omrix board, no hardware is accessed\n";

// Sets an environment variable for one scope.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old, hadOld_ = true;
    if (value != nullptr)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnvironment() {
    if (hadOld_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool hadOld_ = false;
};

class FrameTest : public testing::LibraryTest {};

TEST_F(FrameTest, SimulatorTranscriptSaysNoHardwareIsAccessed) {
  ScopedEnvironment backend("OMRIX_PORT_IO", nullptr);
  EXPECT_EQ(HwaccInit_EnableDllMessages(&Sink), 1);
  EXPECT_EQ(Transcript(), std::string(kLoaded) + kSimulated);
  EXPECT_EQ(state.portBase, kNoDevice);
  ScopedEnvironment named("OMRIX_PORT_IO", "sim");
  ClearTranscript();
  EXPECT_EQ(HwaccInit_EnableDllMessages(&Sink), 1);
  EXPECT_EQ(Transcript(), std::string(kLoaded) + kSimulated);
}

TEST_F(FrameTest, NullCallbackIsSilent) {
  EXPECT_EQ(HwaccInit_EnableDllMessages(nullptr), 1);
  EXPECT_EQ(Transcript(), "");
}

TEST_F(FrameTest, FailureBeepsAndSaysSoOnlyToASink) {
  for (MessageFunction sink : {&Sink, static_cast<MessageFunction>(nullptr)}) {
    ClearTranscript();
    auto world = std::make_shared<testing::DriverWorld>();
    world->managerAvailable = false;
    testing::InstallScriptedPlatform(world);
    EXPECT_EQ(HwaccInit_EnableDllMessages(sink), 0);
    EXPECT_EQ(Transcript(), sink != nullptr ? kFatal : "");
    EXPECT_EQ(world->beeps, std::vector<std::uint32_t>{0x30});
    EXPECT_EQ(state.portBase, kNoDevice);
  }
}

TEST_F(FrameTest, RealBackendAddsNothingToTheTexts) {
  auto world = std::make_shared<testing::DriverWorld>();
  world->running = true;
  testing::InstallScriptedPlatform(world);
  EXPECT_EQ(HwaccInit_EnableDllMessages(&Sink), 1);
  EXPECT_EQ(Transcript(), kLoaded);
}

TEST_F(FrameTest, UnknownBackendNameFailsWithAReason) {
  ScopedEnvironment backend("OMRIX_PORT_IO", "parport9");
  EXPECT_EQ(HwaccInit_EnableDllMessages(&Sink), 0);
  EXPECT_EQ(
      Transcript(),
      std::string("-> ERROR: OMRIX_PORT_IO=parport9 names no port backend (sim, ppdev, direct)\n") +
          kFatal);
}

TEST_F(FrameTest, DeInitClosesTheHandleOnce) {
  EXPECT_EQ(HwaccDeInit(), 0);  // nothing open since load
  ASSERT_EQ(HwaccInit_EnableDllMessages(nullptr), 1);
  EXPECT_EQ(HwaccDeInit(), 1);
  EXPECT_EQ(HwaccDeInit(), 0);
}

TEST_F(FrameTest, SecondInitClosesTheFirstHandle) {
  auto world = std::make_shared<testing::DriverWorld>();
  world->running = true;
  testing::InstallScriptedPlatform(world);
  ASSERT_EQ(HwaccInit_EnableDllMessages(nullptr), 1);
  state.portBase = 0x378;
  ASSERT_EQ(HwaccInit_EnableDllMessages(nullptr), 1);
  EXPECT_EQ(state.portBase, kNoDevice);
  EXPECT_EQ(world->calls, (std::vector<std::string>{"open device", "close device"}));
}

TEST_F(FrameTest, DeInitKeepsThePortAndItsGrant) {
  auto world = std::make_shared<testing::DriverWorld>();
  world->running = true;
  auto* port = testing::InstallScriptedPlatform(world);
  ASSERT_EQ(HwaccInit_EnableDllMessages(nullptr), 1);
  state.portBase = 0x278;
  ASSERT_EQ(EnablePortAccess(), 1);
  EXPECT_EQ(HwaccDeInit(), 1);
  EXPECT_EQ(state.portBase, 0x278);
  EXPECT_EQ(port->granted().size(), 1u);
}

TEST_F(FrameTest, LibraryDirectoryFromEnvironmentOrOwnFile) {
  {
    ScopedEnvironment directory("OMRIX_LIBRARY_DIR", "/srv/omrix lab");
    OnLibraryLoad();
    EXPECT_EQ(FieldText(state.libraryDirectory), "/srv/omrix lab/");
  }
  {
    ScopedEnvironment directory("OMRIX_LIBRARY_DIR", "/srv/omrix/");
    OnLibraryLoad();
    EXPECT_EQ(FieldText(state.libraryDirectory), "/srv/omrix/");
  }
  {
    ScopedEnvironment directory("OMRIX_LIBRARY_DIR", nullptr);
    OnLibraryLoad();
    // The tests are linked statically: the library's own file is the test program.
    const auto program = std::filesystem::canonical("/proc/self/exe");
    EXPECT_EQ(FieldText(state.libraryDirectory), program.parent_path().string() + "/");
  }
  {
    const std::string tooLong = "/" + std::string(300, 'd');
    ScopedEnvironment directory("OMRIX_LIBRARY_DIR", tooLong.c_str());
    OnLibraryLoad();
    EXPECT_EQ(FieldText(state.libraryDirectory), "");
    std::string path;
    EXPECT_FALSE(LibraryPath("omrix.dat", path));
  }
}

TEST_F(FrameTest, LibraryPathRefusesWhatWouldNotFit) {
  std::string path;
  ASSERT_TRUE(LibraryPath("omrix.dat", path));
  EXPECT_EQ(path, Directory() + "omrix.dat");
  const std::string fits(259 - Directory().size(), 'n');
  EXPECT_TRUE(LibraryPath(fits, path));
  EXPECT_EQ(path.size(), 259u);
  EXPECT_FALSE(LibraryPath(fits + "n", path));
  EXPECT_EQ(path.size(), 259u);  // unchanged
}

}  // namespace
}  // namespace omrix
