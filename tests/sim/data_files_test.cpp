#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "omrix/sim/bitfile.h"
#include "omrix/sim/designs.h"
#include "bit_parse_printing.h"
#include "support/files.h"

namespace omrix::sim {
namespace {

using Bytes = std::vector<uint8_t>;

const std::string kDataDir = std::string(OMRIX_DATA_DIR) + "/";

constexpr size_t kUserSpaceSize = 0x7C000;
constexpr size_t kRomBitFileOffset = 0x40000;

// Swapping halves, then pairs, then neighbours mirrors the byte.
uint8_t Mirrored(uint8_t b) {
  unsigned v = b;
  v = ((v & 0xF0u) >> 4) | ((v & 0x0Fu) << 4);
  v = ((v & 0xCCu) >> 2) | ((v & 0x33u) << 2);
  v = ((v & 0xAAu) >> 1) | ((v & 0x55u) << 1);
  return static_cast<uint8_t>(v);
}

Bytes Read(const std::string& name) {
  auto bytes = omrix::testing::ReadBytes(kDataDir + name);
  EXPECT_TRUE(bytes.has_value()) << kDataDir + name;
  return bytes.value_or(Bytes{});
}

bool AllErased(Bytes::const_iterator begin, Bytes::const_iterator end) {
  return std::all_of(begin, end, [](uint8_t b) { return b == 0xFF; });
}

TEST(DataFiles, EachDesignFileParsesAndNamesItsDesign) {
  for (const DesignInfo& info : KnownDesigns()) {
    SCOPED_TRACE(info.fileName);
    const Bytes bytes = Read(info.fileName);
    BitFile file;
    ASSERT_EQ(ParseBitFile(bytes, file), BitParse::Ok);
    EXPECT_EQ(FindDesign(file.designName), &info);
    EXPECT_EQ(bytes, MakeDesignFile(info));
  }
}

TEST(DataFiles, DemoProgramFitsTheCpuAndHasErasedRunsToSkip) {
  const Bytes program = Read("demo.bin");
  EXPECT_EQ(program.size(), 3000u);
  const Bytes run(32, 0xFF);
  EXPECT_NE(std::search(program.begin(), program.end(), run.begin(), run.end()), program.end());
  EXPECT_FALSE(AllErased(program.begin(), program.end()));
}

TEST(DataFiles, DemoRomHoldsTheProgramAndTheBitReversedDemoDesign) {
  const Bytes rom = Read("demo.rom");
  const Bytes program = Read("demo.bin");
  const Bytes bit = Read("demo.bit");
  ASSERT_EQ(rom.size(), kUserSpaceSize);
  ASSERT_FALSE(program.empty());
  ASSERT_FALSE(bit.empty());

  EXPECT_TRUE(std::equal(program.begin(), program.end(), rom.begin()));
  const auto bitBegin = rom.begin() + kRomBitFileOffset;
  EXPECT_TRUE(AllErased(rom.begin() + static_cast<std::ptrdiff_t>(program.size()), bitBegin));

  // Read back as the FPGA reload reads its slot: every byte mirrored, erased bytes after it.
  Bytes slot;
  std::transform(bitBegin, rom.end(), std::back_inserter(slot), Mirrored);
  EXPECT_TRUE(std::equal(bit.begin(), bit.end(), slot.begin()));
  EXPECT_TRUE(AllErased(slot.begin() + static_cast<std::ptrdiff_t>(bit.size()), slot.end()));
  BitFile file;
  ASSERT_EQ(ParseBitFile(slot, file), BitParse::Ok);
  EXPECT_EQ(FindDesign(file.designName), FindDesign(Design::Demo));
}

}  // namespace
}  // namespace omrix::sim
