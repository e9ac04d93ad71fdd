// The direct backend with ioperm, inb and outb replaced, so no real port is touched: what it
// grants, to whom, and what a raised-privilege process may not redirect.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "bus/probe.h"
#include "core/frame.h"
#include "core/library_state.h"
#include "core/text.h"
#include "driver/driver.h"
#include "platform/backends.h"
#include "platform/port_lock.h"
#include "support/library_fixture.h"
#include "support/scripted_platform.h"

namespace omrix {
namespace {

using Log = std::vector<std::string>;

constexpr uid_t kNobody = 65534;

struct FakeIo {
  static inline int iopermResult = 0;
  static inline std::uint8_t inbAnswer = 0x5A;
  static inline Log log;
  static int Ioperm(unsigned long first, unsigned long count, int on) {
    log.push_back("ioperm " + Hex(first) + " " + std::to_string(count) + " " + std::to_string(on));
    return iopermResult;
  }
  static std::uint8_t Inb(std::uint16_t port) {
    log.push_back("inb " + Hex(port));
    return inbAnswer;
  }
  static void Outb(std::uint8_t value, std::uint16_t port) {
    log.push_back("outb " + Hex(port) + " " + Hex(value));
  }
  static std::string Hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "%lX", value);
    return text;
  }
};

// The names of a process as the kernel shows them, for the holder of a lock.
std::string OwnName() {
  std::ifstream comm("/proc/self/comm");
  std::string name;
  std::getline(comm, name);
  return name + ", pid " + std::to_string(getpid());
}

class DirectBackendTest : public testing::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    world_ = std::make_shared<testing::DriverWorld>();
    world_->managerAvailable = false;  // as on Linux
    FakeIo::log.clear();
    FakeIo::iopermResult = 0;
    FakeIo::inbAnswer = 0x5A;
  }
  platform::DirectConfig Config() const {
    return {{FakeIo::Ioperm, FakeIo::Inb, FakeIo::Outb}, Directory(), AllowList()};
  }
  std::string AllowList() const { return Directory() + "direct-ports"; }
  int Init() {
    platform::overrideSystem(std::make_unique<testing::ScriptedSystem>(world_));
    platform::forceNextPortBackend(platform::makeDirectBackend(Config()));
    const int result = HwaccInit_EnableDllMessages(&Sink);
    FakeIo::log.clear();
    return result;
  }
  // Another program's backend on the same lock directory.
  struct Other {
    std::unique_ptr<platform::PortBackend> backend;
    bool claim(std::uint32_t first, std::uint32_t count) { return backend->claim({first, count}); }
    bool release(std::uint32_t first, std::uint32_t count) {
      return backend->release({first, count});
    }
  };
  Other Another() {
    Other other{platform::makeDirectBackend(Config())};
    FakeIo::log.clear();
    return other;
  }

  std::shared_ptr<testing::DriverWorld> world_;
};

TEST_F(DirectBackendTest, RefusedIopermGivesTheFatalMessage) {
  for (int error : {EPERM, ENOSYS}) {
    ClearTranscript();
    FakeIo::iopermResult = error;
    platform::overrideSystem(std::make_unique<testing::ScriptedSystem>(world_));
    platform::forceNextPortBackend(platform::makeDirectBackend(Config()));
    EXPECT_EQ(HwaccInit_EnableDllMessages(&Sink), 0);
    EXPECT_EQ(Transcript(),
              "\n FATAL ERROR: The driver for hardware access could not be loaded\n\n");
    EXPECT_EQ(FakeIo::log, (Log{"ioperm 80 1 1"}));
    FakeIo::log.clear();
  }
}

TEST_F(DirectBackendTest, GrantsExactlyTheRangeAndReachesOnlyIt) {
  ASSERT_EQ(Init(), 1);
  EXPECT_EQ(Transcript(), "\n The driver for hardware access was loaded successfully\n\n");
  state.portBase = 0x378;
  ASSERT_EQ(EnablePortAccess(), 1);
  platform::portBackend().out(0x37C, 0x11);
  EXPECT_EQ(platform::portBackend().in(0x379), 0x5A);
  platform::portBackend().out(0x37D, 0x22);            // outside: dropped
  EXPECT_EQ(platform::portBackend().in(0x377), 0xFF);  // outside: never read
  ASSERT_EQ(DisablePortAccess(), 1);
  EXPECT_EQ(FakeIo::log, (Log{"ioperm 378 5 1", "outb 37C 11", "inb 379", "ioperm 378 5 0"}));
}

TEST_F(DirectBackendTest, RealKernelFailsCleanlyWhereIopermIsRefused) {
  // Only asks the kernel for permission; no port is read or written.
  const bool kernelAllows = platform::realDirectPortOps().ioperm(0x80, 1, 1) == 0;
  if (kernelAllows) platform::realDirectPortOps().ioperm(0x80, 1, 0);
  platform::overrideSystem(std::make_unique<testing::ScriptedSystem>(world_));
  platform::forceNextPortBackend(
      platform::makeDirectBackend({platform::realDirectPortOps(), Directory(), AllowList()}));
  EXPECT_EQ(HwaccInit_EnableDllMessages(&Sink), kernelAllows ? 1 : 0);
  EXPECT_EQ(world_->beeps.size(), kernelAllows ? 0u : 1u);
}

TEST_F(DirectBackendTest, PortHeldByAnotherProgramIsBusyNamingItsHolderUntilItGoes) {
  ASSERT_EQ(Init(), 1);
  Other other = Another();
  ASSERT_TRUE(other.claim(0x378, 5));
  ClearTranscript();
  state.portBase = 0x378;
  EXPECT_EQ(EnablePortAccess(), 0);
  EXPECT_EQ(Transcript(), "-> ERROR: port 378h is in use by another program (" + OwnName() + ")\n");
  EXPECT_TRUE(state.portFoundBusy);
  ASSERT_TRUE(other.release(0x378, 5));
  EXPECT_EQ(EnablePortAccess(), 1);
}

TEST_F(DirectBackendTest, BaseWithoutAPortIsNeverInUse) {
  struct Case {
    const char* name;
    std::uint8_t answer;  // what data, status and control read
    int granted;
    std::string line;
  };
  const Case cases[] = {
      {"nothing_there", 0xFF, 1, ""},
      {"a_port_there", 0x0C, 0,
       "-> ERROR: port 3BCh is in use by another program (" + OwnName() + ")\n"},
  };
  ASSERT_EQ(Init(), 1);
  Other other = Another();
  ASSERT_TRUE(other.claim(0x3BC, 3));
  state.portBase = 0x3BC;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearTranscript();
    FakeIo::inbAnswer = c.answer;
    EXPECT_EQ(EnablePortAccess(), c.granted);
    EXPECT_EQ(Transcript(), c.line);
    DisablePortAccess();
  }
}

TEST_F(DirectBackendTest, LockThatCannotBeTakenIsARefusal) {
  platform::overrideSystem(std::make_unique<testing::ScriptedSystem>(world_));
  platform::forceNextPortBackend(platform::makeDirectBackend(
      {{FakeIo::Ioperm, FakeIo::Inb, FakeIo::Outb}, Directory() + "missing/", AllowList()}));
  ASSERT_EQ(HwaccInit_EnableDllMessages(&Sink), 1);
  FakeIo::log.clear();
  ClearTranscript();
  state.portBase = 0x378;
  EXPECT_EQ(EnablePortAccess(), 0);
  EXPECT_EQ(Transcript(),
            "-> ERROR: port 378h could not be locked against other programs, so "
            "it is not used: " +
                Directory() + "missing/omrix-port-378.lock: No such file or directory\n");
  EXPECT_TRUE(FakeIo::log.empty());
  EXPECT_TRUE(platform::portBackend().granted().empty());
}

// Run in a child that has dropped to user nobody: the lock's result as its exit status.
int LockAsNobody(const std::string& directory) {
  const pid_t child = fork();
  if (child == 0) {
    if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(100);
    platform::PortLock lock;
    std::string detail;
    _exit(static_cast<int>(lock.acquire(directory, 0x378, detail)));
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(DirectBackendTest, UsersOfOneMachineExcludeEachOther) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
  // A lock directory as the machine's is: every user may make files there.
  const std::string directory = Directory() + "lock/";
  ASSERT_EQ(chmod(Directory().c_str(), 0755), 0);
  ASSERT_EQ(mkdir(directory.c_str(), 01777), 0);
  ASSERT_EQ(chmod(directory.c_str(), 01777), 0);
  const mode_t oldMask = umask(077);  // a user who keeps files to himself
  platform::PortLock held;
  std::string detail;
  const platform::PortLock::Result result = held.acquire(directory, 0x378, detail);
  umask(oldMask);
  ASSERT_EQ(result, platform::PortLock::Result::Held) << detail;
  EXPECT_EQ(LockAsNobody(directory), static_cast<int>(platform::PortLock::Result::Busy));
  held.release();
  EXPECT_EQ(LockAsNobody(directory), static_cast<int>(platform::PortLock::Result::Held));
}

TEST_F(DirectBackendTest, OnlyParallelPortBasesAreGranted) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give the list file its owners";
  struct Case {
    const char* name;
    const char* list;  // nullptr: no list file
    mode_t mode;
    uid_t owner;
    std::uint32_t first, count;
    bool granted;
    std::string notice;
  };
  const std::string file = "\xB4" + AllowList() + "\xB4";
  const std::string ignored = "-> WARNING: " + file;
  const Case cases[] = {
      {"standard_base", nullptr, 0644, 0, 0x278, 5, true, ""},
      {"more_than_the_base_has", nullptr, 0644, 0, 0x3BC, 5, false, ""},
      {"unlisted_base", nullptr, 0644, 0, 0xCF8, 5, false, ""},
      {"listed_base", "# PCIe card\nE000\n  d010h  # LPT3\n", 0644, 0, 0xD010, 5, true, ""},
      {"listed_with_a_bad_line", "lpt2\nd010\n", 0644, 0, 0xD010, 5, true,
       ignored + " line 1 is no port base, ignored\n"},
      {"list_writable_by_others", "d010\n", 0666, 0, 0xD010, 5, false,
       ignored + " is writable by others than root, its port bases are ignored\n"},
      {"list_not_roots", "d010\n", 0644, kNobody, 0xD010, 5, false,
       ignored + " is not owned by root, its port bases are ignored\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(AllowList().c_str());
    if (c.list != nullptr) {
      testing::WriteWholeFile(AllowList(), c.list);
      ASSERT_EQ(chmod(AllowList().c_str(), c.mode), 0);
      ASSERT_EQ(chown(AllowList().c_str(), c.owner, 0), 0);
    }
    ClearTranscript();
    ASSERT_EQ(Init(), 1);
    EXPECT_EQ(Transcript(),
              "\n The driver for hardware access was loaded successfully\n\n" + c.notice);
    Other other = Another();
    EXPECT_EQ(other.claim(c.first, c.count), c.granted);
    EXPECT_EQ(FakeIo::log, c.granted ? Log{"ioperm " + FakeIo::Hex(c.first) + " 5 1"} : Log{});
    FakeIo::log.clear();
  }
}

TEST_F(DirectBackendTest, RefusedBaseNamesTheFileThatWouldAllowIt) {
  ASSERT_EQ(Init(), 1);
  ClearTranscript();
  state.portBase = 0xCF8;
  EXPECT_EQ(EnablePortAccess(), 0);
  EXPECT_EQ(Transcript(),
            "-> ERROR: port CF8h is no standard parallel port base, direct port I/O "
            "refused --> an administrator may list it in \xB4" +
                AllowList() + "\xB4\n");
  EXPECT_TRUE(FakeIo::log.empty());
}

// Sets environment variables for one test.
class Environment {
 public:
  void set(const char* name, const std::string& value) {
    setenv(name, value.c_str(), 1);
    names_.push_back(name);
  }
  ~Environment() {
    for (const char* name : names_) unsetenv(name);
  }

 private:
  std::vector<const char*> names_;
};

TEST_F(DirectBackendTest, RaisedPrivilegesIgnoreTheRedirectingVariables) {
  Environment environment;
  environment.set("OMRIX_LIBRARY_DIR", "/home/mallory/lib/");
  environment.set("OMRIX_STATE_DIR", "/home/mallory/state/");
  environment.set("OMRIX_SIM", "port=0x278");
  environment.set("OMRIX_PORT_IO", "direct");
  world_->secureExecution = true;
  world_->modulePath = "/usr/" OMRIX_INSTALL_LIBDIR "/libomrix_dll.so";
  platform::overrideSystem(std::make_unique<testing::ScriptedSystem>(world_));
  for (const char* name : {"OMRIX_LIBRARY_DIR", "OMRIX_STATE_DIR", "OMRIX_SIM"})
    EXPECT_EQ(platform::environment(name), "") << name;
  EXPECT_EQ(platform::environment("OMRIX_PORT_IO"), "direct");
  OnLibraryLoad();
  EXPECT_EQ(FieldText(state.libraryDirectory), "/usr/share/omrix/");
  const std::string stateDirectory = FieldText(state.stateDirectory);
  EXPECT_NE(stateDirectory.find("/.local/state/omrix/"), std::string::npos) << stateDirectory;
  EXPECT_EQ(stateDirectory.find("mallory"), std::string::npos) << stateDirectory;
  // The bring-up makes no directory in the real account's home.
  SetField(state.stateDirectory, Directory());
  state.makeStateDirectory = false;

  ASSERT_EQ(Init(), 1);
  EXPECT_EQ(Transcript(),
            "\n The driver for hardware access was loaded successfully\n\n"
            "-> WARNING: OMRIX_LIBRARY_DIR, OMRIX_STATE_DIR, OMRIX_SIM ignored, the "
            "program runs with raised privileges\n");
}

TEST_F(DirectBackendTest, RaisedPrivilegesNeedALibraryOnlyRootCanReplace) {
  Environment environment;
  environment.set("OMRIX_PORT_IO", "direct");
  world_->secureExecution = true;
  platform::overrideSystem(std::make_unique<testing::ScriptedSystem>(world_));
  const std::string library = Directory() + "libomrix_dll.so";
  testing::WriteWholeFile(library, "");
  ASSERT_EQ(chmod(Directory().c_str(), 0777), 0);
  struct Case {
    const char* name;
    std::string modulePath;
    std::string problem;
  };
  const Case cases[] = {
      {"root_owned_tree", "/usr/bin/env", ""},
      {"directory_others_may_write", library,
       "direct port I/O refused with raised privileges: \xB4" +
           Directory().substr(0, Directory().size() - 1) +
           "\xB4 is writable by others than root (the library and every directory above it "
           "must be root's alone)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    world_->modulePath = c.modulePath;
    std::string problem;
    EXPECT_EQ(platform::selectPortBackend(Directory(), problem), c.problem.empty());
    EXPECT_EQ(problem, c.problem);
  }
}

// Touches the real port at 0x378: only where someone asks for it on a machine with one.
TEST_F(DirectBackendTest, RealPortAnswersTheProbe) {
  if (platform::environment("OMRIX_TEST_REAL_PORTS") != "1")
    GTEST_SKIP() << "set OMRIX_TEST_REAL_PORTS=1 to test against the real port at 0x378";
  platform::overrideSystem(nullptr);
  platform::forceNextPortBackend(
      platform::makeDirectBackend({platform::realDirectPortOps(), Directory(), AllowList()}));
  ASSERT_EQ(HwaccInit_EnableDllMessages(&Sink), 1) << Transcript();
  state.portBase = 0x378;
  ASSERT_EQ(EnablePortAccess(), 1);
  EXPECT_NE(ProbePort(), 0) << "no port answers at 0x378";
  EXPECT_EQ(DisablePortAccess(), 1);
}

}  // namespace
}  // namespace omrix
