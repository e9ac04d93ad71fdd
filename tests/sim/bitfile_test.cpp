#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "omrix/sim/bitfile.h"
#include "bit_parse_printing.h"
#include "support/files.h"

namespace omrix::sim {
namespace {

using Bytes = std::vector<uint8_t>;

const std::string kVendorDir = std::string(OMRIX_TESTDATA_DIR) + "/bitstreams/";

// A small well-formed image: header fields, then a stream with the sync word after a dummy word.
BitFile SmallFile() {
  BitFile file;
  file.designName = "omrix_setup.ncd;UserID=0xFFFFFFFF";
  file.partName = "2s100pq208";
  file.date = "2005/01/01";
  file.time = "12:00:00";
  file.bitstream = {0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0x99, 0x55, 0x66, 0x30, 0x00, 0x80, 0x01};
  return file;
}

// Offsets in the image of SmallFile(): where each field's key byte lies.
constexpr size_t kKeyA = 13;
constexpr size_t kKeyB = kKeyA + 3 + 34;
constexpr size_t kKeyC = kKeyB + 3 + 11;
constexpr size_t kKeyD = kKeyC + 3 + 11;
constexpr size_t kKeyE = kKeyD + 3 + 9;

void ExpectSameFile(const BitFile& actual, const BitFile& expected) {
  EXPECT_EQ(actual.designName, expected.designName);
  EXPECT_EQ(actual.partName, expected.partName);
  EXPECT_EQ(actual.date, expected.date);
  EXPECT_EQ(actual.time, expected.time);
  EXPECT_EQ(actual.bitstream, expected.bitstream);
}

TEST(VendorBitFiles, ParseWithTheirHeaderFieldsAndRebuildByteForByte) {
  struct Row {
    const char* file;
    const char* fieldA;
    const char* part;
    const char* date;
    const char* time;
    size_t streamLength;
  };
  const Row rows[] = {
      {"bscan_spi_xc3s100e.bit", "bscan_spi.ncd;UserID=0xFFFFFFFF", "3s100evq100", "2010/05/25",
       "21:04:52", 0xA028},
      {"Quickstart-Papilio_One_250K-v1.5.bit", "top_avr_core_v8.ncd;UserID=0xFFFFFFFF",
       "3s250evq100", "2010/10/15", "12:59:05", 0x29500},
  };
  if (!std::filesystem::is_directory(kVendorDir)) GTEST_SKIP() << "no " << kVendorDir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    const auto bytes = omrix::testing::ReadBytes(kVendorDir + row.file);
    ASSERT_TRUE(bytes.has_value());
    BitFile file;
    ASSERT_EQ(ParseBitFile(*bytes, file), BitParse::Ok);
    EXPECT_EQ(file.designName, row.fieldA);
    EXPECT_EQ(file.partName, row.part);
    EXPECT_EQ(file.date, row.date);
    EXPECT_EQ(file.time, row.time);
    EXPECT_EQ(file.bitstream.size(), row.streamLength);
    EXPECT_EQ(MakeBitFile(file), *bytes);
  }
}

TEST(VendorBitFiles, EveryCutOfTheHeaderAndOfTheStreamIsTruncated) {
  const std::string path = kVendorDir + "bscan_spi_xc3s100e.bit";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "no " << path;
  const auto bytes = omrix::testing::ReadBytes(path);
  ASSERT_TRUE(bytes.has_value());
  // Inside the preamble, each key, each length field, each text and the stream.
  const size_t cuts[] = {0,
                         1,
                         12,
                         13,
                         14,
                         15,
                         16,
                         47,
                         48,
                         49,
                         50,
                         62,
                         63,
                         76,
                         77,
                         88,
                         89,
                         90,
                         93,
                         94,
                         95,
                         97,
                         98,
                         99,
                         100,
                         101,
                         102,
                         20000,
                         bytes->size() - 1};
  for (size_t cut : cuts) {
    SCOPED_TRACE(cut);
    const Bytes prefix(bytes->begin(), bytes->begin() + static_cast<std::ptrdiff_t>(cut));
    BitFile file;
    EXPECT_EQ(ParseBitFile(prefix, file), BitParse::Truncated);
  }
}

TEST(BitFileParse, EveryPrefixOfAWellFormedImageIsTruncated) {
  const Bytes image = MakeBitFile(SmallFile());
  for (size_t cut = 0; cut < image.size(); ++cut) {
    SCOPED_TRACE(cut);
    // Sized exactly, so a read past the end is caught by the sanitizer build.
    const Bytes prefix(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(cut));
    BitFile file;
    EXPECT_EQ(ParseBitFile(prefix, file), BitParse::Truncated);
  }
}

TEST(BitFileParse, MalformedImagesAreCorruptAndLeaveTheOutputAlone) {
  struct Row {
    const char* name;
    void (*damage)(Bytes&);
  };
  const Row rows[] = {
      {"first preamble byte", [](Bytes& b) { b[0] = 0x01; }},
      {"middle preamble byte", [](Bytes& b) { b[6] = 0xF0; }},
      {"last preamble byte", [](Bytes& b) { b[12] = 0x02; }},
      {"bad preamble in a short image",
       [](Bytes& b) {
         b.resize(5);
         b[2] = 0x00;
       }},
      {"key a missing", [](Bytes& b) { b[kKeyA] = 'b'; }},
      {"key e replaced", [](Bytes& b) { b[kKeyE] = 'f'; }},
      {"keys b and c swapped", [](Bytes& b) { std::swap(b[kKeyB], b[kKeyC]); }},
      {"text without its zero", [](Bytes& b) { b[kKeyB - 1] = '!'; }},
      {"zero inside a text", [](Bytes& b) { b[kKeyC + 5] = 0; }},
      {"text field of length zero",
       [](Bytes& b) {
         b[kKeyD + 1] = 0;
         b[kKeyD + 2] = 0;
       }},
      {"text length running into the next field",
       [](Bytes& b) { b[kKeyA + 2] = static_cast<uint8_t>(b[kKeyA + 2] + 4); }},
      {"stream of length zero",
       [](Bytes& b) {
         b.resize(kKeyE + 5);
         b[kKeyE + 4] = 0;
       }},
      {"no sync word", [](Bytes& b) { b[kKeyE + 5 + 6] = 0x54; }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Bytes image = MakeBitFile(SmallFile());
    row.damage(image);
    BitFile out;
    out.designName = "untouched";
    EXPECT_EQ(ParseBitFile(image, out), BitParse::Corrupt);
    EXPECT_EQ(out.designName, "untouched");
    EXPECT_TRUE(out.bitstream.empty());
  }
}

TEST(BitFileParse, SyncWordCountsOnlyInsideTheStream) {
  struct Row {
    const char* name;
    Bytes stream;
    Bytes after;
    BitParse expected;
  };
  const Row rows[] = {
      {"sync word at the end", {0x00, 0x00, 0xAA, 0x99, 0x55, 0x66}, {}, BitParse::Ok},
      {"sync word only after the stream",
       {0x00, 0x00},
       {0xAA, 0x99, 0x55, 0x66},
       BitParse::Corrupt},
      {"sync word split by the stream's end", {0x00, 0xAA, 0x99}, {0x55, 0x66}, BitParse::Corrupt},
      {"sync word bytes out of order", {0xAA, 0x99, 0x66, 0x55}, {}, BitParse::Corrupt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    BitFile file = SmallFile();
    file.bitstream = row.stream;
    Bytes image = MakeBitFile(file);
    image.insert(image.end(), row.after.begin(), row.after.end());
    BitFile out;
    EXPECT_EQ(ParseBitFile(image, out), row.expected);
  }
}

TEST(BitFileParse, ErasedBytesAfterTheStreamAreIgnored) {
  const BitFile original = SmallFile();
  Bytes image = MakeBitFile(original);
  image.resize(image.size() + 4096, 0xFF);  // as the file lies in its flash slot
  BitFile file;
  ASSERT_EQ(ParseBitFile(image, file), BitParse::Ok);
  ExpectSameFile(file, original);
}

TEST(BitFileParse, StreamLengthBeyondTheImageIsTruncatedEvenWithErasedBytesAfter) {
  Bytes image = MakeBitFile(SmallFile());
  image[kKeyE + 1] = 0x01;  // announces 16 MB more than the image holds
  image.resize(image.size() + 64, 0xFF);
  BitFile file;
  EXPECT_EQ(ParseBitFile(image, file), BitParse::Truncated);
}

TEST(BitFileMake, TextLengthFieldsCoverTextAndZeroUpToTheirLimit) {
  BitFile file = SmallFile();
  file.designName.assign(0xFFFE, 'x');  // with its zero, the largest length there is
  file.date.clear();                    // just the zero
  BitFile parsed;
  ASSERT_EQ(ParseBitFile(MakeBitFile(file), parsed), BitParse::Ok);
  ExpectSameFile(parsed, file);

  file.designName.push_back('x');
  EXPECT_THROW(MakeBitFile(file), std::length_error);
}

TEST(DesignNameOf, IsTheTextBeforeTheFirstSemicolon) {
  const std::pair<const char*, const char*> rows[] = {
      {"omrix_setup.ncd;UserID=0xFFFFFFFF", "omrix_setup.ncd"},
      {"omrix_setup.ncd", "omrix_setup.ncd"},
      {"a.ncd;b;c", "a.ncd"},
      {";UserID=0xFFFFFFFF", ""},
      {"", ""},
  };
  for (const auto& [fieldA, name] : rows) {
    SCOPED_TRACE(fieldA);
    EXPECT_EQ(DesignNameOf(fieldA), name);
  }
}

}  // namespace
}  // namespace omrix::sim
