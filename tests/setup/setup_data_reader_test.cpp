// The reading rules every reader of "omrix.dat" is built from.
#include <gtest/gtest.h>

#include "core/text.h"
#include "setup/setup_data_reader.h"
#include "setup/setup_data_writer.h"

namespace omrix {
namespace {

ValueLine Line(const std::string& text, bool cut = false) { return {text, cut}; }

TEST(ConvertHex, AcceptsEitherCaseAndPrefixAndRefusesWhatDoesNotFit) {
  struct Case {
    const char* line;
    bool ok;
    std::uint32_t value;
  };
  const Case cases[] = {
      {"378 //HEX parallel port base-address", true, 0x378},
      {"378", true, 0x378},
      {"  a4 //HEX PPcontrol", true, 0xA4},
      {"0x3bc", true, 0x3BC},
      {"0X3BC //x", true, 0x3BC},
      {"FFFFFFFF", true, 0xFFFFFFFF},
      {"00000000FFFFFFFF", true, 0xFFFFFFFF},
      {"0x", true, 0},
      {"12zz", true, 0x12},  // as far as the digits go
      {"100000000", false, 0},
      {"-1", false, 0},
      {"zz //HEX PPwait", false, 0},
      {"", false, 0},
      {"   //HEX", false, 0},
  };
  for (const Case& c : cases) {
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(ConvertHex(Line(c.line), value), c.ok) << c.line;
    EXPECT_EQ(value, c.ok ? c.value : 0xDEADBEEF) << c.line;
  }
}

TEST(ConvertDecimal, IsUnsigned32Bit) {
  struct Case {
    const char* line;
    bool ok;
    std::uint32_t value;
  };
  const Case cases[] = {
      {"17 //DEC board typecode", true, 17},
      {"4294967295", true, 4294967295u},
      {"4294967296", false, 0},
      {"99999999999999999999", false, 0},
      {"-3", false, 0},
      {"+5", true, 5},
      {"x5", false, 0},
      {"0", true, 0},
  };
  for (const Case& c : cases) {
    std::uint32_t value = 77;
    EXPECT_EQ(ConvertDecimal(Line(c.line), value), c.ok) << c.line;
    EXPECT_EQ(value, c.ok ? c.value : 77u) << c.line;
  }
}

TEST(ConvertText, TakesTheFirstTokenIfItFits) {
  std::string value = "default";
  EXPECT_TRUE(ConvertText(Line("setup.bit //ASC FPGA filename for setup"), 99, value));
  EXPECT_EQ(value, "setup.bit");
  EXPECT_TRUE(ConvertText(Line("\tQA bench 2 //ASC"), 99, value));
  EXPECT_EQ(value, "QA");
  EXPECT_FALSE(ConvertText(Line("  "), 99, value));
  EXPECT_FALSE(ConvertText(Line(std::string(100, 'x')), 99, value));
  EXPECT_TRUE(ConvertText(Line(std::string(99, 'y')), 99, value));
  EXPECT_EQ(value, std::string(99, 'y'));
  // A token that runs up to where a long line was cut may go on: not taken.
  EXPECT_FALSE(ConvertText(Line("abc", true), 99, value));
  EXPECT_TRUE(ConvertText(Line("abc //ASC", true), 99, value));
  EXPECT_EQ(value, "abc");
}

TEST(ConvertPath, KeepsBlanksUpToTheCommentAndIsOneTokenWithoutIt) {
  struct Case {
    const char* line;
    bool cut;
    bool ok;
    const char* value;
  };
  const Case cases[] = {
      {"/home/lab user/x.bit //ASC FPGA full-path-filename", false, true, "/home/lab user/x.bit"},
      {"/home/lab user/x.bit \t //ASC", false, true, "/home/lab user/x.bit"},
      {"/home/lab user/x.bit", false, true, "/home/lab"},
      {"FLASH\t//ASC FPGA full-path-filename", false, true, "FLASH"},
      {"/home/lab user/x.bit\t//ASC FPGA", false, true, "/home/lab user/x.bit"},
      {"/designs/x.bit note without comment", false, true, "/designs/x.bit"},
      {"C:\\omrix\\demo.bit //ASC", false, true, "C:\\omrix\\demo.bit"},
      {"FLASH //ASC", false, true, "FLASH"},
      {"a//b //ASC", false, true, "a//b"},
      {" //ASC nothing", false, false, ""},
      {"", false, false, ""},
      {"/long/path/cut/where/the/limit", true, false, ""},
      {"/long/path //ASC cut in the comment", true, true, "/long/path"},
  };
  for (const Case& c : cases) {
    std::string value = "UNKNOWN";
    EXPECT_EQ(ConvertPath(Line(c.line, c.cut), 259, value), c.ok) << c.line;
    EXPECT_EQ(value, c.ok ? c.value : "UNKNOWN") << c.line;
  }
  std::string value = "UNKNOWN";
  EXPECT_FALSE(ConvertPath(Line("/" + std::string(259, 'p') + " //ASC"), 259, value));
  EXPECT_TRUE(ConvertPath(Line("/" + std::string(258, 'p') + " //ASC"), 259, value));
}

TEST(Conversions, ValueWithANulIsNotConverted) {
  const ValueLine text = Line(std::string("setup.b\0it //ASC", 17));
  const ValueLine number = Line(std::string("37\08 //HEX", 11));
  std::string value = "default";
  std::uint32_t n = 7;
  EXPECT_FALSE(ConvertText(text, 99, value));
  EXPECT_FALSE(ConvertPath(text, 259, value));
  EXPECT_FALSE(ConvertHex(number, n));
  EXPECT_FALSE(ConvertDecimal(number, n));
  EXPECT_EQ(value, "default");
  EXPECT_EQ(n, 7u);
}

TEST(SetupDataReader, FindsHeadsInOrderIgnoringCaseAndTrailingText) {
  SetupDataReader reader("// comment\n\n#INIT_DATA and more\n1\n#setup_data\n2\n#run_data\n3\n");
  EXPECT_TRUE(reader.FindSection("#init_data"));
  std::uint32_t value = 0;
  reader.ReadHex(kNumberLineLimit, value);
  EXPECT_EQ(value, 1u);
  EXPECT_TRUE(reader.FindSection("#run_data"));  // #setup_data is passed over
  reader.ReadHex(kNumberLineLimit, value);
  EXPECT_EQ(value, 3u);
  EXPECT_FALSE(reader.FindSection("#setup_data"));  // searching goes on, never back
}

TEST(SetupDataReader, HeadMustStartTheLine) {
  SetupDataReader reader(" #run_data\nx#run_data\n#run_dat\n");
  EXPECT_FALSE(reader.FindSection("#run_data"));
}

TEST(SetupDataReader, WindowsLineEndsReadAsTheirLfTwin) {
  const std::string lf = "#run_data\n278 //HEX\n/a b/c.bit //ASC\n";
  const std::string crlf = "#run_data\r\n278 //HEX\r\n/a b/c.bit //ASC\r\n";
  for (const std::string& text : {lf, crlf}) {
    SetupDataReader reader(text);
    ASSERT_TRUE(reader.FindSection("#run_data"));
    std::uint32_t port = 0;
    reader.ReadHex(kNumberLineLimit, port);
    std::string path;
    reader.ReadPath(kPathLineLimit, 259, path);
    EXPECT_EQ(port, 0x278u);
    EXPECT_EQ(path, "/a b/c.bit");
  }
}

TEST(SetupDataReader, LongLineIsConsumedWholeAndKeepsTheParseInStep) {
  const std::string longComment(500, 'c');
  SetupDataReader reader("#run_data\n278 //" + longComment + "\n" + std::string(600, '1') +
                         "\n10\n#flash_content\n");
  ASSERT_TRUE(reader.FindSection("#run_data"));
  std::uint32_t port = 0, wait = 0, unreadable = 5;
  reader.ReadHex(kNumberLineLimit, port);        // value fits, the comment is dropped
  reader.ReadHex(kNumberLineLimit, unreadable);  // the value itself runs past the limit
  reader.ReadHex(kNumberLineLimit, wait);
  EXPECT_EQ(port, 0x278u);
  EXPECT_EQ(unreadable, 5u);
  EXPECT_EQ(wait, 0x10u);
  EXPECT_TRUE(reader.FindSection("#flash_content"));
}

TEST(SetupDataReader, LimitCountsTheLineEnd) {
  // 88 characters and the line end fit the 89 of a text line; one more does not.
  const std::string fits(88, 'f'), tooLong(89, 'g');
  SetupDataReader reader(fits + "\n" + tooLong + "\n");
  std::string value = "default";
  reader.ReadText(kHeadLineLimit, kInitTextCapacity, value);
  EXPECT_EQ(value, fits);
  value = "default";
  reader.ReadText(kHeadLineLimit, kInitTextCapacity, value);
  EXPECT_EQ(value, "default");
}

TEST(SetupDataReader, EndInsideASectionKeepsDefaults) {
  SetupDataReader reader("#run_data\n278");
  ASSERT_TRUE(reader.FindSection("#run_data"));
  std::uint32_t port = 0, irq = 0xFFFF;
  reader.ReadHex(kNumberLineLimit, port);
  reader.ReadHex(kNumberLineLimit, irq);
  EXPECT_EQ(port, 0x278u);
  EXPECT_EQ(irq, 0xFFFFu);
  EXPECT_FALSE(reader.NextLine(kNumberLineLimit).has_value());
}

TEST(SetupDataReader, FieldValuesThatDoNotFitKeepTheDefault) {
  SetupDataReader reader(std::string(259, 'a') + "\n" + std::string(260, 'b') + "\n");
  std::string field = "UNKNOWN";
  reader.ReadPath(kPathLineLimit, 259, field);
  EXPECT_EQ(field, std::string(259, 'a'));
  reader.ReadPath(kPathLineLimit, 259, field);
  EXPECT_EQ(field, std::string(259, 'a'));
}

TEST(SetupDataReader, BytesOfAnyValueNeverOverrun) {
  std::string text = "#run_data\n";
  for (int b = 0; b < 256; ++b)
    if (b != '\n') text += static_cast<char>(b);
  text += std::string("\n\0\0\n", 4);
  SetupDataReader reader(text);
  ASSERT_TRUE(reader.FindSection("#run_data"));
  std::string path = "UNKNOWN", value = "NOT_VALID";
  reader.ReadPath(kPathLineLimit, 259, path);
  reader.ReadText(kHeadLineLimit, kInitTextCapacity, value);
  EXPECT_EQ(path, "UNKNOWN");     // a zero byte cannot stand in a file name
  EXPECT_EQ(value, "NOT_VALID");  // nor make a value
}

void ExpectSameRecord(const SetupDataRecord& a, const SetupDataRecord& b) {
  EXPECT_EQ(a.init.initEntryCode, b.init.initEntryCode);
  EXPECT_EQ(a.init.initPortBase, b.init.initPortBase);
  EXPECT_EQ(a.init.initFpgaFile, b.init.initFpgaFile);
  EXPECT_EQ(a.init.manufacturer, b.init.manufacturer);
  EXPECT_EQ(a.init.deviceName, b.init.deviceName);
  EXPECT_EQ(a.init.signatureTester, b.init.signatureTester);
  EXPECT_EQ(a.init.boardTypecode, b.init.boardTypecode);
  EXPECT_EQ(a.init.boardRevision, b.init.boardRevision);
  EXPECT_EQ(a.init.fpgaType, b.init.fpgaType);
  EXPECT_EQ(a.init.serialNumber, b.init.serialNumber);
  EXPECT_EQ(a.init.systemImageFile, b.init.systemImageFile);
  EXPECT_EQ(a.setupFpgaFile, b.setupFpgaFile);
  EXPECT_EQ(a.auxPortBase, b.auxPortBase);
  EXPECT_EQ(a.portBase, b.portBase);
  EXPECT_EQ(a.fpgaConfigFile, b.fpgaConfigFile);
  EXPECT_EQ(a.PPirq, b.PPirq);
  EXPECT_EQ(a.PPcontrol, b.PPcontrol);
  EXPECT_EQ(a.PPwait, b.PPwait);
  EXPECT_EQ(a.identifier, b.identifier);
  EXPECT_EQ(a.flashSlotNames, b.flashSlotNames);
}

// Values that differ from every default, so a field read from the wrong line shows.
SetupDataRecord Unusual(std::uint32_t number, const std::string& path) {
  SetupDataRecord r;
  r.init = {"R3kTBwN", 0x3BC,      "init.bit", "Varnotek", "omrix",    "QA_bench_2",
            number,    number - 1, "XC2S100",  number - 2, "image.rom"};
  r.setupFpgaFile = "mysetup.bit";
  r.auxPortBase = 0x2BC;
  r.portBase = 0x278;
  r.fpgaConfigFile = path;
  r.PPirq = 7;
  r.PPcontrol = 0xA4;
  r.PPwait = 0x12;
  r.identifier = number;
  r.flashSlotNames = {path + "0", "ERASED", path + "2", "UNKNOWN", path + "4", path + "5"};
  return r;
}

TEST(ParseSetupData, EveryWrittenValueReadsBack) {
  const SetupDataRecord records[] = {
      SetupDataRecord{},
      Unusual(4294967295u, "/home/lab user/my designs/blink.bit"),
      Unusual(2, "FLASH"),
      Unusual(1104537600, "/" + std::string(250, 'x')),
  };
  for (const SetupDataRecord& written : records) {
    SetupDataRecord read;
    read.init.initEntryCode = "other";  // every field must come from the file
    read.flashSlotNames.fill("other");
    ASSERT_EQ(ParseSetupData(FormatSetupData(written), read), kSetupDataSections);
    ExpectSameRecord(read, written);
  }
}

TEST(ParseSetupData, CountsTheSectionsFoundInOrder) {
  const std::string full = FormatSetupData(SetupDataRecord{});
  const std::pair<const char*, int> cuts[] = {{"#init_entrycode", 0},
                                              {"#init_data", 1},
                                              {"#setup_data", 2},
                                              {"#run_data", 3},
                                              {"#flash_content", 4}};
  for (const auto& [head, found] : cuts) {
    SetupDataRecord record;
    EXPECT_EQ(ParseSetupData(full.substr(0, full.find(head)), record), found) << head;
  }
  std::string entryLine;
  SetupDataRecord record;
  ParseSetupData("#init_entrycode\nR3kTBwN-more text //ASC\n", record, &entryLine);
  EXPECT_EQ(entryLine, "R3kTBwN-more text //ASC");
  EXPECT_EQ(record.init.initEntryCode, "R3kTBwN-more");
}

TEST(ParseSetupData, ValuesThatCannotBeReadKeepTheCallersDefaults) {
  std::string text = FormatSetupData(Unusual(5, "/p"));
  text.replace(text.find("12 //HEX PPwait"), 2, "zz");
  text.replace(text.find("278 //HEX parallel"), 3, "-10");
  SetupDataRecord read;
  ASSERT_EQ(ParseSetupData(text, read), kSetupDataSections);
  EXPECT_EQ(read.PPwait, 0xFFu);
  EXPECT_EQ(read.portBase, 0xFFFFu);
  EXPECT_EQ(read.PPirq, 7u);
}

}  // namespace
}  // namespace omrix
