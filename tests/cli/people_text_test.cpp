// The library's Windows-1252 texts and the caller's UTF-8 file names, as people read them.
#include "commands/people_text.h"

#include <gtest/gtest.h>

#include <string>

namespace omrix::commands {
namespace {

struct TextCase {
  const char* name;
  std::string in;
  std::string out;
};

class PeopleTextTable : public ::testing::TestWithParam<TextCase> {};

TEST_P(PeopleTextTable, DecodesAsTheOutputWindow) {
  EXPECT_EQ(PeopleText(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PeopleTextTable,
    ::testing::Values(
        TextCase{"Ascii", "-> done\n", "-> done\n"}, TextCase{"Empty", "", ""},
        TextCase{"AcuteAccent", "\xB4omrix.dat\xB4", "\xC2\xB4omrix.dat\xC2\xB4"},
        TextCase{"Euro", "\x80", "\xE2\x82\xAC"},
        TextCase{"HighControlsRange", "\x9F\x8C", "\xC5\xB8\xC5\x92"},
        TextCase{"UndefinedByteIsItsC1Control",
                 "a\x81"
                 "b",
                 "a\xC2\x81"
                 "b"},
        TextCase{"LatinOne", "\xE9\xFF", "\xC3\xA9\xC3\xBF"},
        TextCase{"ValidUtf8Kept", "'/tmp/\xC3\xA9t\xC3\xA9.bin'", "'/tmp/\xC3\xA9t\xC3\xA9.bin'"},
        TextCase{"FourByteUtf8Kept", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
        // A file name in UTF-8 inside the library's Windows-1252 accents.
        TextCase{"FileNameBetweenAccents", "\xB4/home/jos\xC3\xA9/omrix.dat\xB4",
                 "\xC2\xB4/home/jos\xC3\xA9/omrix.dat\xC2\xB4"},
        TextCase{"OverlongIsNotUtf8", "\xC0\xAF", "\xC3\x80\xC2\xAF"},
        TextCase{"SurrogateIsNotUtf8", "\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},
        TextCase{"TruncatedIsNotUtf8", "\xE2\x82", "\xC3\xA2\xE2\x80\x9A"}),
    [](const ::testing::TestParamInfo<TextCase>& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace omrix::commands
