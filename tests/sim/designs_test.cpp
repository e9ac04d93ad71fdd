#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "omrix/sim/bitfile.h"
#include "omrix/sim/designs.h"
#include "bit_parse_printing.h"

namespace omrix::sim {
namespace {

size_t CountSyncWords(const std::vector<uint8_t>& stream) {
  size_t count = 0;
  for (auto it = stream.begin();; ++it) {
    it = std::search(it, stream.end(), std::begin(kSyncWord), std::end(kSyncWord));
    if (it == stream.end()) return count;
    ++count;
  }
}

TEST(FindDesign, FindsEveryKnownDesignByItsFieldAAndByItsValue) {
  for (const DesignInfo& info : KnownDesigns()) {
    SCOPED_TRACE(info.fileName);
    const std::string name = info.designName;
    EXPECT_EQ(FindDesign(name + ";UserID=0xFFFFFFFF"), &info);
    EXPECT_EQ(FindDesign(name), &info);
    EXPECT_EQ(FindDesign(name + ";UserID=0x12345678;more"), &info);
    EXPECT_EQ(FindDesign(info.design), &info);
  }
}

TEST(FindDesign, UnknownOrDifferentlySpelledNamesAreNotFound) {
  const char* const rows[] = {
      "",
      ";UserID=0xFFFFFFFF",
      "bscan_spi.ncd;UserID=0xFFFFFFFF",
      "OMRIX_SETUP.NCD;UserID=0xFFFFFFFF",
      "Omrix_setup.ncd",
      "omrix_setup.NCD",
      "omrix_setup",
      "omrix_setup.ncd ",
      " omrix_setup.ncd",
      "xomrix_setup.ncd",
      "omrix_setup.ncdx;UserID=0xFFFFFFFF",
      "PRAXNODE_IOTEST_A.NCD",
  };
  for (const char* fieldA : rows) {
    SCOPED_TRACE(fieldA);
    EXPECT_EQ(FindDesign(std::string(fieldA)), nullptr);
  }
  EXPECT_EQ(FindDesign(Design::None), nullptr);
  EXPECT_EQ(FindDesign(Design::Foreign), nullptr);
}

TEST(KnownDesigns, NamesAndValuesAreUniqueAndSetupComesFirst) {
  const auto& designs = KnownDesigns();
  ASSERT_FALSE(designs.empty());
  EXPECT_EQ(designs.front().design, Design::Setup);
  std::set<std::string> files;
  std::set<std::string> names;
  std::set<Design> values;
  for (const DesignInfo& info : designs) {
    files.insert(info.fileName);
    names.insert(info.designName);
    values.insert(info.design);
  }
  EXPECT_EQ(files.size(), designs.size());
  EXPECT_EQ(names.size(), designs.size());
  EXPECT_EQ(values.size(), designs.size());
  // Every design there is, except an empty FPGA and a foreign stream, has its data file.
  EXPECT_EQ(designs.size(), static_cast<size_t>(Design::Foreign) - 1);
  EXPECT_EQ(values.count(Design::None) + values.count(Design::Foreign), 0u);
}

// The library opens these files by name on a case-sensitive file system.
TEST(KnownDesigns, DataFilesCarryTheNamesTheLibraryOpens) {
  const std::pair<Design, const char*> rows[] = {
      {Design::Setup, "setup.bit"},
      {Design::Demo, "demo.bit"},
      {Design::NoRegisters, "noreg.bit"},
      {Design::Basic52, "basic52.bit"},
      {Design::IoTestA, "LIOTESTA.BIT"},
      {Design::IoTestB, "LIOTESTB.BIT"},
      {Design::PraxIoTestA, "pRAXnodeTestA.BIT"},
      {Design::PraxIoTestB, "pRAXnodeTestB.BIT"},
      {Design::EmuAt89Isp, "emuat89ispcable.bit"},
      {Design::EmuAvrIsp, "emuavrispdongle.bit"},
      {Design::EmuDlc5, "emudlc5.bit"},
      {Design::IntDlc5, "intdlc5.bit"},
  };
  for (const auto& [design, fileName] : rows) {
    SCOPED_TRACE(fileName);
    const DesignInfo* info = FindDesign(design);
    ASSERT_NE(info, nullptr);
    EXPECT_STREQ(info->fileName, fileName);
  }
}

TEST(KnownDesigns, RegisterWindowsSitBehindTheBus) {
  for (const DesignInfo& info : KnownDesigns()) {
    SCOPED_TRACE(info.fileName);
    // Both windows are reached through ModeRegister, and both claim address 2.
    EXPECT_TRUE(info.modeAndConfig || !(info.flashWindow || info.ramWindow));
    EXPECT_FALSE(info.flashWindow && info.ramWindow);
    // Without registers there is no ConfigRegister to hold anything.
    EXPECT_TRUE(info.modeAndConfig || info.configAfterLoad == 0);
    EXPECT_NE(std::string(info.behaviour), "");
  }
}

TEST(MakeDesignFile, IsAWellFormedFileNamingItsDesign) {
  const uint8_t head[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0x99, 0x55, 0x66};
  const uint8_t desync[] = {0x30, 0x00, 0x80, 0x01, 0x00, 0x00, 0x00, 0x0D};
  for (const DesignInfo& info : KnownDesigns()) {
    SCOPED_TRACE(info.fileName);
    const std::vector<uint8_t> image = MakeDesignFile(info);
    BitFile file;
    ASSERT_EQ(ParseBitFile(image, file), BitParse::Ok);
    EXPECT_EQ(file.designName, std::string(info.designName) + ";UserID=0xFFFFFFFF");
    EXPECT_EQ(FindDesign(file.designName), &info);
    EXPECT_EQ(file.partName, "2s100pq208");
    EXPECT_EQ(file.date, "2005/01/01");
    EXPECT_EQ(file.time, "12:00:00");
    ASSERT_EQ(file.bitstream.size(), 16384u);
    EXPECT_TRUE(std::equal(std::begin(head), std::end(head), file.bitstream.begin()));
    EXPECT_TRUE(std::equal(std::begin(desync), std::end(desync), file.bitstream.end() - 8));
    EXPECT_EQ(CountSyncWords(file.bitstream), 1u);
    EXPECT_EQ(MakeDesignFile(info), image);
  }
}

TEST(MakeDesignFile, EachDesignHasItsOwnStream) {
  std::set<std::vector<uint8_t>> streams;
  for (const DesignInfo& info : KnownDesigns()) {
    BitFile file;
    ASSERT_EQ(ParseBitFile(MakeDesignFile(info), file), BitParse::Ok);
    // The body, so equal streams under different headers would still be caught.
    streams.insert(file.bitstream);
  }
  EXPECT_EQ(streams.size(), KnownDesigns().size());
}

}  // namespace
}  // namespace omrix::sim
