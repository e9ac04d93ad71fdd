// The ppdev backend against a played libieee1284: every register access becomes the right
// call with the right value, and every refusal its line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

#include "bus/bus.h"
#include "core/frame.h"
#include "core/library_state.h"
#include "core/text.h"
#include "driver/driver.h"
#include "platform/backends.h"
#include "platform/ieee1284_ops.h"
#include "support/library_fixture.h"

namespace omrix {
namespace {

using Calls = std::vector<std::string>;

// One machine's parallel ports as libieee1284 would show them; function pointers cannot
// capture, so the play is process-wide and reset by each test.
struct Play {
  static inline Calls calls;
  static inline parport port378{"parport0", 0x378, 0x778, nullptr, "/dev/parport0"};
  // A port libieee1284 would reach by raw I/O only, not through ppdev.
  static inline parport port278{"0x278", 0x278, 0, nullptr, "/dev/port"};
  static inline parport* ports[] = {&port378, &port278};
  static inline int openResult = E1284_OK;
  static inline int openErrno = 0;
  static inline int claimResult = E1284_OK;
  static inline int claimErrno = 0;
  static inline int status = 0;   // IEEE 1284 line levels
  static inline int control = 0;  // IEEE 1284 line levels
  static inline char eppByte = 0;
  static inline std::uint32_t sleptMs = 0;  // waiting for a claim, never really slept
  static inline std::string active;         // the kernel's active device on every port
  static inline std::string holders;        // the processes the kernel shows with it open

  static void Reset() {
    calls.clear();
    sleptMs = 0;
    active.clear();
    holders.clear();
    openResult = claimResult = E1284_OK;
    openErrno = claimErrno = 0;
    status = control = 0;
    eppByte = 0;
  }
  static std::string Hex(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
  }
  static platform::PpdevKernel Kernel() {
    return {
        [](std::uint32_t ms) { sleptMs += ms; }, [](const char*) { return active; },
        [] { return std::string("parport0"); },
        [](const char* device) { return holders.empty() ? holders : holders + " on " + device; }};
  }
  static platform::Ieee1284Ops Ops() {
    platform::Ieee1284Ops ops{};
    ops.find_ports = [](parport_list* list, int) {
      calls.push_back("find_ports");
      list->portc = 2;
      list->portv = ports;
      return static_cast<int>(E1284_OK);
    };
    ops.free_ports = [](parport_list*) { calls.push_back("free_ports"); };
    ops.open = [](parport*, int flags, int* capabilities) {
      // Asked for its capabilities, libieee1284 claims the port to learn them.
      calls.push_back(std::string(flags == F1284_EXCL ? "open exclusive" : "open shared") +
                      (capabilities != nullptr ? ", claiming" : ""));
      errno = openErrno;
      return openResult;
    };
    ops.close = [](parport*) {
      calls.push_back("close");
      return static_cast<int>(E1284_OK);
    };
    ops.claim = [](parport*) {
      calls.push_back("claim");
      errno = claimErrno;
      return claimResult;
    };
    ops.release = [](parport*) { calls.push_back("release"); };
    ops.read_data = [](parport*) {
      calls.push_back("read_data");
      return 0x5A;
    };
    ops.write_data = [](parport*, unsigned char value) {
      calls.push_back("write_data " + Hex(value));
    };
    ops.data_dir = [](parport*, int reverse) {
      calls.push_back("data_dir " + std::to_string(reverse));
      return static_cast<int>(E1284_OK);
    };
    ops.read_status = [](parport*) {
      calls.push_back("read_status");
      return status;
    };
    ops.read_control = [](parport*) {
      calls.push_back("read_control");
      return control;
    };
    ops.write_control = [](parport*, unsigned char value) {
      calls.push_back("write_control " + Hex(value));
      control = value;
    };
    ops.compat_write = [](parport*, int, const char*, size_t length) -> ssize_t {
      calls.push_back("compat_write " + std::to_string(length));
      return 0;
    };
    ops.epp_read_data = [](parport*, int, char* buffer, size_t) -> ssize_t {
      calls.push_back("epp_read_data");
      *buffer = eppByte;
      return 1;
    };
    ops.epp_write_data = [](parport*, int, const char* buffer, size_t) -> ssize_t {
      calls.push_back("epp_write_data " + Hex(*buffer));
      return 1;
    };
    ops.epp_read_addr = [](parport*, int, char* buffer, size_t) -> ssize_t {
      calls.push_back("epp_read_addr");
      *buffer = eppByte;
      return 1;
    };
    ops.epp_write_addr = [](parport*, int, const char* buffer, size_t) -> ssize_t {
      calls.push_back("epp_write_addr " + Hex(*buffer));
      return 1;
    };
    return ops;
  }
};

class PpdevTest : public testing::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    Play::Reset();
    platform::forceNextPortBackend(
        platform::makePpdevBackend(Play::Ops(), Directory(), Play::Kernel()));
    ASSERT_EQ(HwaccInit_EnableDllMessages(&Sink), 1);
    ClearTranscript();
  }
};

TEST_F(PpdevTest, RegistersAreTheLinesAsThePortRegistersShowThem) {
  state.portBase = 0x378;
  ASSERT_EQ(EnablePortAccess(), 1);
  EXPECT_EQ(Play::calls, (Calls{"find_ports", "open shared", "claim"}));
  platform::PortBackend& port = platform::portBackend();
  Play::calls.clear();

  port.out(0x378, 0xA5);
  EXPECT_EQ(port.in(0x378), 0x5A);
  // BUSY is inverted at the register; the three unconnected bits read 1.
  Play::status = S1284_BUSY | S1284_NACK;
  EXPECT_EQ(port.in(0x379), 0x47);
  Play::status = S1284_SELECT;
  EXPECT_EQ(port.in(0x379), 0x97);
  // STROBE, AUTOFD and SELECTIN are inverted; the direction goes to its own call, once; the
  // IRQ enable is kept for reading back.
  port.out(0x37A, 0x24);
  port.out(0x37A, 0x34);
  EXPECT_EQ(port.in(0x37A), 0xF4);
  port.out(0x37A, 0x0B);
  EXPECT_EQ(port.in(0x37A), 0xCB);
  Play::eppByte = '\x3C';
  port.out(0x37B, 0x01);
  port.out(0x37C, 0x55);
  EXPECT_EQ(port.in(0x37B), 0x3C);
  EXPECT_EQ(port.in(0x37C), 0x3C);
  EXPECT_EQ(Play::calls,
            (Calls{"write_data A5", "read_data", "read_status", "read_status", "data_dir 1",
                   "write_control 0F", "write_control 0F", "read_control", "data_dir 0",
                   "write_control 00", "read_control", "epp_write_addr 01", "epp_write_data 55",
                   "epp_read_addr", "epp_read_data"}));

  Play::calls.clear();
  ASSERT_EQ(DisablePortAccess(), 1);
  // Back in compatibility mode without a handshake first: closing in EPP mode pulses nInit.
  EXPECT_EQ(Play::calls, (Calls{"compat_write 0", "release", "close", "free_ports"}));
}

TEST_F(PpdevTest, EachBusCycleOfEachModeBecomesItsCalls) {
  struct Case {
    const char* name;
    std::uint8_t mode;
    bool read;
    Calls calls;
  };
  // The control lines as libieee1284 takes them: STROBE, AUTOFD and SELECTIN inverted.
  const Calls write = {"write_data 03", "write_control 07", "write_control 0F",
                       "write_data 5A", "write_control 0E", "write_control 0F"};
  const Case cases[] = {
      {"spp_write", kModeSpp, false, write},
      {"ps2_write", kModePs2, false, write},  // the PC drives the lines: no turn-around
      {"spp_read",
       kModeSpp,
       true,
       {"write_data 03", "write_control 07", "write_control 0F", "write_control 0D",
        "write_data 01", "read_status", "write_data 00", "read_status", "write_control 0F",
        "write_control 0F"}},
      {"ps2_read",
       kModePs2,
       true,
       {"write_data 03", "write_control 07", "write_control 0F", "data_dir 1", "write_control 0D",
        "read_data", "write_control 0F", "data_dir 0", "write_control 0F"}},
      {"epp_write", kModeEpp, false, {"epp_write_addr 03", "epp_write_data 5A"}},
      {"epp_read", kModeEpp, true, {"epp_write_addr 03", "epp_read_data"}},
  };
  state.portBase = 0x378;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(EnablePortAccess(), 1);
    state.PPcontrol = c.mode;
    state.PPwait = 0;
    Play::calls.clear();
    if (c.read) {
      inbyte(3);
    } else {
      outbyte(3, 0x5A);
    }
    EXPECT_EQ(Play::calls, c.calls);
    ASSERT_EQ(DisablePortAccess(), 1);
  }
}

struct RefusalCase {
  const char* name;
  std::uint16_t base;
  int openResult, openErrno, claimResult, claimErrno;
  std::uint32_t waitedMs;  // for another program to let go
  const char* line;
};

class PpdevRefusals : public PpdevTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(PpdevRefusals, SayWhyBeforeTheUsualTexts) {
  const RefusalCase& c = GetParam();
  Play::openResult = c.openResult;
  Play::openErrno = c.openErrno;
  Play::claimResult = c.claimResult;
  Play::claimErrno = c.claimErrno;
  Play::holders = "cabletool, pid 4321";
  state.portBase = c.base;
  EXPECT_EQ(EnablePortAccess(), 0);
  EXPECT_EQ(Transcript(), c.line);
  EXPECT_TRUE(platform::portBackend().granted().empty());
  // A claim another program keeps is waited for a while, never for ever.
  EXPECT_EQ(Play::sleptMs, c.waitedMs);
  // Once the cause has gone, the same port is had.
  Play::openResult = Play::claimResult = E1284_OK;
  if (c.base == 0x378) {
    EXPECT_EQ(EnablePortAccess(), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Causes, PpdevRefusals,
    ::testing::Values(
        RefusalCase{"NoPortAtTheBase", 0x3BC, E1284_OK, 0, E1284_OK, 0, 0,
                    "-> ERROR: no parallel port at 3BCh --> is the parport_pc module loaded? "
                    "(ls /dev/parport*)\n"},
        RefusalCase{"OnlyRawIoAtTheBase", 0x278, E1284_OK, 0, E1284_OK, 0, 0,
                    "-> ERROR: no parallel port at 278h --> is the parport_pc module loaded? "
                    "(ls /dev/parport*)\n"},
        RefusalCase{"PermissionDenied", 0x378, E1284_INIT, EACCES, E1284_OK, 0, 0,
                    "-> ERROR: no permission for the parallel port at 378h --> add the user to "
                    "group lp and log in again\n"},
        RefusalCase{"ClaimedByAnotherProgram", 0x378, E1284_OK, 0, E1284_SYS, EBUSY, 3000,
                    "-> ERROR: port 378h is in use by another program "
                    "(cabletool, pid 4321 on /dev/parport0)\n"},
        // The kernel registers no device beside one that took the port exclusively.
        RefusalCase{"HeldExclusivelyByAnotherProgram", 0x378, E1284_OK, 0, E1284_SYS, ENXIO, 3000,
                    "-> ERROR: port 378h is in use by another program "
                    "(cabletool, pid 4321 on /dev/parport0)\n"},
        RefusalCase{"ClaimFailsOtherwise", 0x378, E1284_OK, 0, E1284_SYS, EIO, 0, ""}),
    [](const ::testing::TestParamInfo<RefusalCase>& test) { return std::string(test.param.name); });

// libieee1284 claims a port once per process while it looks for ports; that claim, like
// any, would wait for as long as another program holds the port.
TEST_F(PpdevTest, LooksForPortsOnlyOnceThePortItClaimsIsFree) {
  Play::active = "ppdev0";
  Play::holders = "cabletool, pid 4321";
  state.portBase = 0x378;
  EXPECT_EQ(EnablePortAccess(), 0);
  EXPECT_EQ(Transcript(),
            "-> ERROR: port 378h is in use by another program "
            "(cabletool, pid 4321 on /dev/parport0)\n");
  EXPECT_EQ(Play::sleptMs, 3000u);
  EXPECT_EQ(Play::calls, Calls{});
  Play::active = "none";
  EXPECT_EQ(EnablePortAccess(), 1);
  EXPECT_EQ(Play::calls, (Calls{"find_ports", "open shared", "claim"}));
}

// The kernel would let a second claim wait for as long as the first is held.
TEST_F(PpdevTest, AnotherOmrixProgramIsToldAtOnceWhoHoldsThePort) {
  auto other = platform::makePpdevBackend(Play::Ops(), Directory(), Play::Kernel());
  const platform::PortRange range{0x378, 5};
  ASSERT_TRUE(other->claim(range));
  Play::calls.clear();
  std::ifstream comm("/proc/self/comm");
  std::string name;
  std::getline(comm, name);
  state.portBase = 0x378;
  EXPECT_EQ(EnablePortAccess(), 0);
  EXPECT_EQ(Transcript(), "-> ERROR: port 378h is in use by another program (" + name + ", pid " +
                              std::to_string(getpid()) + ")\n");
  EXPECT_EQ(Play::calls, Calls{});
  ASSERT_TRUE(other->release(range));
  EXPECT_EQ(EnablePortAccess(), 1);
}

// While an emulation design runs, the port is other programs' between the library's calls.
TEST_F(PpdevTest, EmulationLendsThePortUntilTheNextCall) {
  struct Case {
    const char* name;
    const char* loaded;  // the design a call leaves loaded
    bool lent;
  };
  const Case cases[] = {
      {"at89_cable", "emuat89ispcable.bit", true},
      {"avr_dongle_in_capitals", "EMUAVRISPDONGLE.BIT", true},
      {"dlc5_with_a_path", "/opt/omrix/share/omrix/emudlc5.bit", true},
      {"setup_design", "setup.bit", false},
      {"io_test_design", "LIOTESTA.BIT", false},
      {"cleared", "", false},
  };
  state.portBase = 0x378;
  ASSERT_EQ(EnablePortAccess(), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Play::calls.clear();
    {
      const LibraryCall call;
      SetField(state.loadedFpgaFile, c.loaded);
    }
    const Calls lending = {"compat_write 0", "release"};
    EXPECT_EQ(Play::calls, c.lent ? lending : Calls{});
    // Meanwhile nothing reaches the lines the other program drives.
    platform::portBackend().out(0x378, 0x11);
    EXPECT_EQ(platform::portBackend().in(0x378), c.lent ? 0xFF : 0x5A);
    EXPECT_EQ(Play::calls, c.lent ? lending : (Calls{"write_data 11", "read_data"}));
    // The next call has the port again before it does anything, and keeps it.
    Play::calls.clear();
    {
      const LibraryCall call;
      EXPECT_EQ(Play::calls, c.lent ? Calls{"claim"} : Calls{});
      SetField(state.loadedFpgaFile, "demo.bit");
    }
    EXPECT_EQ(platform::portBackend().in(0x378), 0x5A);
  }
  EXPECT_EQ(Transcript(), "");
}

TEST_F(PpdevTest, PortKeptByTheCableSoftwareReadsAsAbsentAndSaysSo) {
  struct Case {
    const char* name;
    const char* active;  // what the kernel lists
    int claimResult, claimErrno;
    Calls calls;
  };
  const Case cases[] = {
      {"claim_refused", "", E1284_SYS, EBUSY, Calls(31, "claim")},
      // The kernel's claim would wait for as long as the other program holds the port.
      {"listed_as_active", "ppdev0", E1284_OK, 0, Calls{}},
  };
  state.portBase = 0x378;
  ASSERT_EQ(EnablePortAccess(), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      const LibraryCall call;
      SetField(state.loadedFpgaFile, "emudlc5.bit");
    }
    Play::active = c.active;
    Play::claimResult = c.claimResult;
    Play::claimErrno = c.claimErrno;
    Play::calls.clear();
    Play::sleptMs = 0;
    ClearTranscript();
    {
      const LibraryCall call;
      EXPECT_EQ(inbyte(1), 0xFF);
    }
    EXPECT_EQ(Transcript(), "-> ERROR: port 378h is in use by another program\n");
    EXPECT_EQ(Play::sleptMs, 3000u);
    // No line was driven.
    EXPECT_EQ(Play::calls, c.calls);
    // Once the other program lets go, the next call has the port.
    Play::active = "none";
    Play::claimResult = E1284_OK;
    Play::calls.clear();
    {
      const LibraryCall call;
      SetField(state.loadedFpgaFile, "demo.bit");
    }
    EXPECT_EQ(Play::calls, (Calls{"claim"}));
  }
}

}  // namespace
}  // namespace omrix
