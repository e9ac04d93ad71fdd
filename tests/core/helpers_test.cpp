#include <gtest/gtest.h>

#include <string>

#include "core/helpers.h"
#include "core/library_state.h"
#include "core/text.h"

namespace omrix {
namespace {

TEST(FileNamePart, TakesTheTextAfterTheLastSeparatorOfEitherKind) {
  const std::pair<const char*, const char*> cases[] = {
      {"setup.bit", "setup.bit"},
      {"C:\\x\\SETUP.BIT", "SETUP.BIT"},
      {"/home/lab/omrix/FLASH", "FLASH"},
      {"/home/lab\\mixed/clear", "clear"},
      {"C:\\designs\\", ""},
      {"/usr/lib/", ""},
      {"", ""},
  };
  for (const auto& [path, part] : cases) EXPECT_STREQ(FileNamePart(path), part) << path;
}

TEST(SameFileName, ComparesFileNamePartsWithoutCase) {
  struct Case {
    const char* a;
    const char* b;
    int expected;
  };
  const Case cases[] = {
      {"A:\\Flash", "FLASH", 0},
      {"flash.bit", "FLASH", 1},
      {"/opt/omrix/lib/FLASH", "FLASH", 0},
      {"/opt/omrix/lib/clear", "CLEAR", 0},
      {"C:\\x\\SETUP.BIT", "setup.bit", 0},
      {"setup.bit", "setup.bi", 1},
      {"setup.bit", "setup.bit2", 1},
      {"", "", 0},
      {"/dir/", "", 0},
      // Letters beyond ASCII are compared as they are.
      {"\xC4"
       "x.bit",
       "\xE4"
       "x.bit",
       1},
  };
  for (const Case& c : cases) EXPECT_EQ(SameFileName(c.a, c.b), c.expected) << c.a << " | " << c.b;
}

TEST(SameFileName, LongNamesCompareByTheir259FirstCharacters) {
  const std::string base(259, 'a');
  EXPECT_EQ(SameFileName((base + "x").c_str(), (base + "y").c_str()), 0);
  EXPECT_EQ(SameFileName((std::string(258, 'a') + "x").c_str(), base.c_str()), 1);
}

TEST(ReverseBits, MirrorsTheByte) {
  const std::pair<std::uint8_t, std::uint8_t> cases[] = {{0x00, 0x00}, {0xFF, 0xFF}, {0x12, 0x48},
                                                         {0x01, 0x80}, {0xA0, 0x05}, {0x0F, 0xF0}};
  for (const auto& [in, out] : cases) EXPECT_EQ(ReverseBits(in), out) << int{in};
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<std::uint8_t>(b);
    EXPECT_EQ(ReverseBits(ReverseBits(byte)), byte);
  }
}

TEST(Fields, HoldAtMost259CharactersAndNeverCut) {
  FileNameField field{};
  ASSERT_TRUE(SetField(field, "setup.bit"));
  EXPECT_EQ(FieldText(field), "setup.bit");
  EXPECT_TRUE(SetField(field, std::string(259, 'p')));
  EXPECT_EQ(FieldText(field).size(), 259u);
  EXPECT_FALSE(SetField(field, std::string(260, 'q')));
  EXPECT_EQ(FieldText(field), std::string(259, 'p'));
  field.fill('z');  // no terminator: reading stops at the field's end
  EXPECT_EQ(FieldText(field).size(), 260u);
}

}  // namespace
}  // namespace omrix
