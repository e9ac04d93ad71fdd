#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "omrix/sim/sim_config.h"
#include "omrix/sim/simulator.h"

namespace omrix::sim {
namespace {

void ExpectSame(const SimConfig& actual, const SimConfig& expected) {
  EXPECT_EQ(actual.ports, expected.ports);
  EXPECT_EQ(actual.board, expected.board);
  EXPECT_EQ(actual.bidir, expected.bidir);
  EXPECT_EQ(actual.epp, expected.epp);
  EXPECT_EQ(actual.settle, expected.settle);
  EXPECT_EQ(actual.settlePs2, expected.settlePs2);
  EXPECT_EQ(actual.ack, expected.ack);
  EXPECT_EQ(actual.accessNs, expected.accessNs);
  EXPECT_EQ(actual.stateDir, expected.stateDir);
  EXPECT_EQ(actual.ramFile, expected.ramFile);
  EXPECT_EQ(actual.programUs, expected.programUs);
  EXPECT_EQ(actual.sectorEraseMs, expected.sectorEraseMs);
  EXPECT_EQ(actual.chipEraseMs, expected.chipEraseMs);
  EXPECT_EQ(actual.fpgaReloadMs, expected.fpgaReloadMs);
  EXPECT_EQ(actual.flashStuck, expected.flashStuck);
  EXPECT_EQ(actual.badBit, expected.badBit);
  EXPECT_EQ(actual.stuckAfter, expected.stuckAfter);
  EXPECT_EQ(actual.stuckValue, expected.stuckValue);
  EXPECT_EQ(actual.noise, expected.noise);
  EXPECT_EQ(actual.seed, expected.seed);
  EXPECT_EQ(actual.typecode, expected.typecode);
  EXPECT_EQ(actual.brokenPatterns, expected.brokenPatterns);
  EXPECT_EQ(actual.erased, expected.erased);
}

struct Case {
  std::string text;
  std::function<void(SimConfig&)> change;  // applied to the defaults to get the expected result
  std::vector<std::string> errorMentions;  // one entry per expected message, text it must contain
};

// Names each case by its input in test output.
void PrintTo(const Case& c, std::ostream* os) {
  *os << '"';
  for (const char ch : c.text) {
    if (ch == '\t') {
      *os << "\\t";
    } else if (ch == '\n') {
      *os << "\\n";
    } else {
      *os << ch;
    }
  }
  *os << '"';
}

const std::function<void(SimConfig&)> kDefaults = [](SimConfig&) {};

class ParseSimConfigTest : public ::testing::TestWithParam<Case> {};

TEST_P(ParseSimConfigTest, ParsesOrReports) {
  const Case& c = GetParam();
  std::vector<std::string> errors;
  const SimConfig parsed = ParseSimConfig(c.text, errors);
  SimConfig expected;
  c.change(expected);
  ExpectSame(parsed, expected);
  ASSERT_EQ(errors.size(), c.errorMentions.size());
  for (std::size_t i = 0; i < errors.size(); ++i) {
    EXPECT_EQ(errors[i].rfind("OMRIX_SIM: ", 0), 0u) << errors[i];
    EXPECT_NE(errors[i].find(c.errorMentions[i]), std::string::npos) << errors[i];
    for (const char ch : errors[i]) EXPECT_GE(static_cast<signed char>(ch), 0x20) << errors[i];
  }
}

const Case kGood[] = {
    {"", kDefaults, {}},
    {" ;; ; ", kDefaults, {}},
    {"ports=378,278,3bc",
     [](SimConfig& c) {
       c.ports = {0x378, 0x278, 0x3BC};
     },
     {}},
    {"ports=0x378,0X278",
     [](SimConfig& c) {
       c.ports = {0x378, 0x278};
     },
     {}},
    {"ports=FFFF,0",
     [](SimConfig& c) {
       c.ports = {0xFFFF, 0};
     },
     {}},
    {"ports=", [](SimConfig& c) { c.ports = {}; }, {}},
    {"  ports = 278 , 3BC ;  board = 278  ",
     [](SimConfig& c) {
       c.ports = {0x278, 0x3BC};
       c.board = 0x278;
     },
     {}},
    {"\tsettle=4;\n", [](SimConfig& c) { c.settle = 4; }, {}},
    {"ports=278,,378,",
     [](SimConfig& c) {
       c.ports = {0x278, 0x378};
     },
     {}},
    {"board=none", [](SimConfig& c) { c.board.reset(); }, {}},
    {"board=NONE", [](SimConfig& c) { c.board.reset(); }, {}},
    {"board=0x3bc", [](SimConfig& c) { c.board = 0x3BC; }, {}},
    {"bidir=", [](SimConfig& c) { c.bidir = std::vector<uint16_t>{}; }, {}},
    {"bidir=378", [](SimConfig& c) { c.bidir = std::vector<uint16_t>{0x378}; }, {}},
    {"epp=", [](SimConfig& c) { c.epp = std::vector<uint16_t>{}; }, {}},
    {"epp=3bc,", [](SimConfig& c) { c.epp = std::vector<uint16_t>{0x3BC}; }, {}},
    {"epp=3bc,378",
     [](SimConfig& c) {
       c.epp = std::vector<uint16_t>{0x3BC, 0x378};
     },
     {}},
    {"settle=12;settle_ps2=0", [](SimConfig& c) { c.settle = 12; }, {}},
    {"settle_ps2=2147483647", [](SimConfig& c) { c.settlePs2 = 2147483647; }, {}},
    {"ack=0", [](SimConfig& c) { c.ack = 0; }, {}},
    {"access_ns=250", [](SimConfig& c) { c.accessNs = 250; }, {}},
    {"access_ns=1", [](SimConfig& c) { c.accessNs = 1; }, {}},
    {"state=/tmp/omrix sim/board1", [](SimConfig& c) { c.stateDir = "/tmp/omrix sim/board1"; }, {}},
    {"ram=/tmp/hi.bin", [](SimConfig& c) { c.ramFile = "/tmp/hi.bin"; }, {}},
    {" ram = basic/10 PRINT.bin ;ack=0",
     [](SimConfig& c) {
       c.ramFile = "basic/10 PRINT.bin";
       c.ack = 0;
     },
     {}},
    {"ram=a.bin;ram=b.bin", [](SimConfig& c) { c.ramFile = "b.bin"; }, {}},
    {"settle=1;settle=2", [](SimConfig& c) { c.settle = 2; }, {}},
    {"ACK=0", [](SimConfig& c) { c.ack = 0; }, {}},
    {"program_us=0", [](SimConfig& c) { c.programUs = 0; }, {}},
    {"program_us=300", [](SimConfig& c) { c.programUs = 300; }, {}},
    {"sector_erase_ms=15000", [](SimConfig& c) { c.sectorEraseMs = 15000; }, {}},
    {"chip_erase_ms=4294967295", [](SimConfig& c) { c.chipEraseMs = 4294967295u; }, {}},
    {"fpga_reload_ms=40", [](SimConfig& c) { c.fpgaReloadMs = 40; }, {}},
    {"flash_stuck=7FF90", [](SimConfig& c) { c.flashStuck = 0x7FF90; }, {}},
    {"flash_stuck=0x0", [](SimConfig& c) { c.flashStuck = 0u; }, {}},
    {"flash_stuck=7ffff", [](SimConfig& c) { c.flashStuck = 0x7FFFFu; }, {}},
    {"bad_bit=40000:7",
     [](SimConfig& c) {
       c.badBit = FlashBit{0x40000, 7};
     },
     {}},
    {"bad_bit = 0x7FF90 : 0 ",
     [](SimConfig& c) {
       c.badBit = FlashBit{0x7FF90, 0};
     },
     {}},
    {"stuck_after=0", [](SimConfig& c) { c.stuckAfter = 0u; }, {}},
    {"stuck_after=18446744073709551615", [](SimConfig& c) { c.stuckAfter = UINT64_MAX; }, {}},
    {"stuck_value=a5", [](SimConfig& c) { c.stuckValue = 0xA5; }, {}},
    {"stuck_value=0xFF;stuck_after=9",
     [](SimConfig& c) {
       c.stuckValue = 0xFF;
       c.stuckAfter = 9u;
     },
     {}},
    {"noise=0.01", [](SimConfig& c) { c.noise = 0.01; }, {}},
    {"noise=0", [](SimConfig& c) { c.noise = 0.0; }, {}},
    {"noise=1", [](SimConfig& c) { c.noise = 1.0; }, {}},
    {"noise=1.000", [](SimConfig& c) { c.noise = 1.0; }, {}},
    {"noise=.25", [](SimConfig& c) { c.noise = 0.25; }, {}},
    {"noise=0.5;seed=42",
     [](SimConfig& c) {
       c.noise = 0.5;
       c.seed = 42;
     },
     {}},
    {"seed=0", [](SimConfig& c) { c.seed = 0; }, {}},
    {"seed=18446744073709551615", [](SimConfig& c) { c.seed = UINT64_MAX; }, {}},
    {"typecode=0", [](SimConfig& c) { c.typecode = 0; }, {}},
    {"typecode=42", [](SimConfig& c) { c.typecode = 42; }, {}},
    {"typecode=4294967295", [](SimConfig& c) { c.typecode = 4294967295u; }, {}},
    {"patterns=broken", [](SimConfig& c) { c.brokenPatterns = true; }, {}},
    {"patterns=Broken", [](SimConfig& c) { c.brokenPatterns = true; }, {}},
    {"patterns=broken;patterns=ok", kDefaults, {}},
    {"erased=1", [](SimConfig& c) { c.erased = true; }, {}},
    {"erased=1;erased=0", kDefaults, {}},
};

const Case kBad[] = {
    {"foo=1", kDefaults, {"unknown key 'foo'"}},
    {"ports", kDefaults, {"'ports'"}},
    {"=378", kDefaults, {"'=378'"}},
    {"ports=37g", kDefaults, {"'37g'"}},
    {"ports=378,zz", kDefaults, {"'378,zz'"}},
    {"ports=10000", kDefaults, {"'10000'"}},
    {"ports=FFFFFFFFFFFFFFFFFFFFFFFF", kDefaults, {"'ports'"}},
    {"ports=0x", kDefaults, {"'0x'"}},
    {"ports=-378", kDefaults, {"'-378'"}},
    {"ports=378 278", kDefaults, {"'378 278'"}},
    {"board=", kDefaults, {"'board'"}},
    {"board=12345", kDefaults, {"'12345'"}},
    {"board=0x378x", kDefaults, {"'0x378x'"}},
    {"bidir=xyz", kDefaults, {"'bidir'"}},
    {"epp=+378", kDefaults, {"'epp'"}},
    {"settle=-1", kDefaults, {"'-1'"}},
    {"settle=abc", kDefaults, {"'settle'"}},
    {"settle=1.5", kDefaults, {"'1.5'"}},
    {"settle=2147483648", kDefaults, {"'2147483648'"}},
    {"settle_ps2=99999999999999999999999", kDefaults, {"'settle_ps2'"}},
    {"ack=2", kDefaults, {"'2'"}},
    {"ack=", kDefaults, {"'ack'"}},
    {"access_ns=-5", kDefaults, {"'access_ns'"}},
    {"access_ns=0", kDefaults, {"'0'"}},  // a clock that stands still never ends a wait
    {"access_ns=18446744073709551616", kDefaults, {"'access_ns'"}},
    {"ports=278;foo=1;ack=7;settle=3",
     [](SimConfig& c) {
       c.ports = {0x278};
       c.settle = 3;
     },
     {"'foo'", "'ack'"}},
    {"settle=5;settle=x", [](SimConfig& c) { c.settle = 5; }, {"'x'"}},
    {"ram=", kDefaults, {"'ram'"}},
    {"ram= ;ram=x.bin;ram=", [](SimConfig& c) { c.ramFile = "x.bin"; }, {"'ram'", "'ram'"}},
    {"program_us=-1", kDefaults, {"'program_us'"}},
    {"program_us=7.5", kDefaults, {"'7.5'"}},
    {"sector_erase_ms=", kDefaults, {"'sector_erase_ms'"}},
    {"chip_erase_ms=4294967296", kDefaults, {"'4294967296'"}},
    {"fpga_reload_ms=20ms", kDefaults, {"'20ms'"}},
    {"flash_stuck=80000", kDefaults, {"'80000'"}},
    {"flash_stuck=", kDefaults, {"'flash_stuck'"}},
    {"flash_stuck=zz", kDefaults, {"'zz'"}},
    {"bad_bit=40000", kDefaults, {"'40000'"}},
    {"bad_bit=40000:8", kDefaults, {"'40000:8'"}},
    {"bad_bit=80000:1", kDefaults, {"'80000:1'"}},
    {"bad_bit=:1", kDefaults, {"'bad_bit'"}},
    {"bad_bit=40000:", kDefaults, {"'bad_bit'"}},
    {"bad_bit=40000:1:2", kDefaults, {"'40000:1:2'"}},
    {"stuck_after=-3", kDefaults, {"'-3'"}},
    {"stuck_after=18446744073709551616", kDefaults, {"'stuck_after'"}},
    {"stuck_value=100", kDefaults, {"'100'"}},
    {"stuck_value=", kDefaults, {"'stuck_value'"}},
    {"flash_stuck=100;bad_bit=1:9;stuck_value=0x5A",
     [](SimConfig& c) {
       c.flashStuck = 0x100u;
       c.stuckValue = 0x5A;
     },
     {"'bad_bit'"}},
    {"noise=-0.1", kDefaults, {"'-0.1'"}},
    {"noise=-0", kDefaults, {"'-0'"}},
    {"noise=1.01", kDefaults, {"'1.01'"}},
    {"noise=2", kDefaults, {"'noise'"}},
    {"noise=", kDefaults, {"'noise'"}},
    {"noise=1e-2", kDefaults, {"'1e-2'"}},
    {"noise=0.01%", kDefaults, {"'0.01%'"}},
    {"noise=nan", kDefaults, {"'nan'"}},
    {"noise=inf", kDefaults, {"'inf'"}},
    {"noise=+0.5", kDefaults, {"'+0.5'"}},
    {"noise=0,5", kDefaults, {"'0,5'"}},
    {"seed=-1", kDefaults, {"'-1'"}},
    {"seed=0x10", kDefaults, {"'0x10'"}},
    {"seed=", kDefaults, {"'seed'"}},
    {"seed=18446744073709551616", kDefaults, {"'seed'"}},
    {"typecode=4294967296", kDefaults, {"'4294967296'"}},
    {"typecode=-17", kDefaults, {"'typecode'"}},
    {"typecode=0x11", kDefaults, {"'0x11'"}},
    {"typecode=", kDefaults, {"'typecode'"}},
    {"patterns=bad", kDefaults, {"'bad'"}},
    {"patterns=", kDefaults, {"'patterns'"}},
    {"patterns=1", kDefaults, {"'patterns'"}},
    {"erased=yes", kDefaults, {"'yes'"}},
    {"erased=2", kDefaults, {"'erased'"}},
    {"erased=", kDefaults, {"'erased'"}},
    {"noise=0.02;noise=x;typecode=9;erased=true",
     [](SimConfig& c) {
       c.noise = 0.02;
       c.typecode = 9;
     },
     {"'noise'", "'erased'"}},
};

INSTANTIATE_TEST_SUITE_P(Good, ParseSimConfigTest, ::testing::ValuesIn(kGood));
INSTANTIATE_TEST_SUITE_P(Bad, ParseSimConfigTest, ::testing::ValuesIn(kBad));

TEST(ParseSimConfig, ErrorsAreAppended) {
  std::vector<std::string> errors{"earlier"};
  ParseSimConfig("a=1;b=2", errors);
  ASSERT_EQ(errors.size(), 3u);
  EXPECT_EQ(errors[0], "earlier");
}

TEST(ParseSimConfig, ParsedConfigurationDrivesTheSimulator) {
  std::vector<std::string> errors;
  const SimConfig config = ParseSimConfig("ports=3bc,278; board=3bc; epp=3bc,278; ack=0", errors);
  ASSERT_TRUE(errors.empty());
  Simulator sim(config);
  sim.loadDesign(Design::Setup);
  sim.setBoardRegister(Board::kModeRegister, Board::kModeEpp);
  sim.out(0x3BF, 1);
  sim.out(0x3C0, 0x77);
  EXPECT_EQ(sim.boardRegister(1), 0x01);  // 0x3BC has no EPP although listed
  EXPECT_EQ(sim.in(0x3C0), 0xFF);
  EXPECT_EQ(sim.in(0x3BD), 0xBF);  // the board is there, driving ACK low
  EXPECT_EQ(sim.in(0x378), 0xFF);  // no port at the default base
}

}  // namespace
}  // namespace omrix::sim
