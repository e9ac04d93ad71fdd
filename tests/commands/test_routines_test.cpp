// The test routines' numbers over every hexadecimal digit, and the one rule for the file a
// typed configuration name stands for.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "command_fixture.h"
#include "testing/test_seams.h"

namespace omrix::commands::testing {
namespace {

namespace fs = std::filesystem;
using Calls = std::vector<std::string>;

constexpr std::int32_t kReadValue = 0x5A;

struct NumberCase {
  const char* typed;
  const char* call;
  const char* answer;
};

// Every digit in both cases, in the address and in the data.
const NumberCase kNumbers[] = {
    {"o 01 23", "outbyte(0x1, 0x23)", "23h written to address 01h\n\n"},
    {"o 45 67", "outbyte(0x45, 0x67)", "67h written to address 45h\n\n"},
    {"o 89 AB", "outbyte(0x89, 0xAB)", "ABh written to address 89h\n\n"},
    {"o CD EF", "outbyte(0xCD, 0xEF)", "EFh written to address CDh\n\n"},
    {"o ab cd", "outbyte(0xAB, 0xCD)", "CDh written to address ABh\n\n"},
    {"o ef 19", "outbyte(0xEF, 0x19)", "19h written to address EFh\n\n"},
    {"o 19 99", "outbyte(0x19, 0x99)", "99h written to address 19h\n\n"},
    {"i 9F", "inbyte(0x9F)", "5Ah read from address 9Fh\n\n"},
    {"i 9f", "inbyte(0x9F)", "5Ah read from address 9Fh\n\n"},
};

void PrintTo(const NumberCase& c, std::ostream* out) { *out << c.typed; }

class Numbers : public CommandTest, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(Numbers, AreReadInHexadecimal) {
  const NumberCase& c = GetParam();
  Library library = RecordingLibrary(calls_);
  library.inbyte = [this](std::int32_t address) {
    char call[32];
    std::snprintf(call, sizeof call, "inbyte(0x%X)", static_cast<unsigned>(address));
    calls_.push_back(call);
    return kReadValue;
  };
  library.outbyte = [this](std::int32_t address, std::int32_t data) {
    char call[48];
    std::snprintf(call, sizeof call, "outbyte(0x%X, 0x%X)", static_cast<unsigned>(address),
                  static_cast<unsigned>(data));
    calls_.push_back(call);
  };
  TestRoutines routines(library, output_, prompts_);
  routines.Execute(c.typed);
  EXPECT_EQ(calls_, Calls{c.call});
  EXPECT_EQ(output_.text_, c.answer);
}

INSTANTIATE_TEST_SUITE_P(Routines, Numbers, ::testing::ValuesIn(kNumbers),
                         [](const ::testing::TestParamInfo<NumberCase>& test) {
                           return "Case" + std::to_string(test.index);
                         });

// The routines run from a working directory of their own, beside the library's.
class ConfigurationNames : public CommandTest {
 protected:
  void SetUp() override {
    CommandTest::SetUp();
    setenv("OMRIX_LIBRARY_DIR", Directory().c_str(), 1);
    SetUpBoard();
    previous_ = fs::current_path();
    fs::create_directories(Directory() + "work/sub");
    fs::current_path(Directory() + "work");
    work_ = fs::current_path().string() + "/";
    library_ = fs::canonical(Directory()).string() + "/";
  }
  void TearDown() override {
    fs::current_path(previous_);
    CommandTest::TearDown();
  }
  std::string Execute(const std::string& text) {
    output_.text_.clear();
    calls_.clear();
    commands_->testRoutines().Execute(text);
    return output_.text_;
  }
  static std::string Loaded(const std::string& source) {
    return "FpgaConfig('" + source + "', 1, 1)";
  }

  fs::path previous_;
  std::string work_;
  std::string library_;
};

TEST_F(ConfigurationNames, StandForOneAbsolutePathOrAreRefusedWithTheirReason) {
  fs::copy_file(Staged("demo.bit"), work_ + "sub/demo.bit");
  fs::copy_file(Staged("demo.bit"), work_ + "mine.bit");
  struct Case {
    std::string typed;
    std::string loaded;  // "": refused with `refusal`
    std::string refusal;
  };
  const Case cases[] = {
      {"c demo.bit", Loaded(library_ + "demo.bit"), ""},
      {"c mine.bit", Loaded(work_ + "mine.bit"), ""},
      {"c ./sub/../sub/demo.bit", Loaded(work_ + "sub/demo.bit"), ""},
      {"c flash", Loaded("FLASH"), ""},
      {"c Clear", Loaded("CLEAR"), ""},
      // A directory part is never looked for in the library's directory.
      {"c ./demo.bit", "",
       "-> ERROR: FPGA configuration file '" + work_ +
           "demo.bit' not found: No such file or directory\n"},
      {"c gone.bit", "",
       "-> ERROR: FPGA configuration file 'gone.bit' not found in '" + work_ + "' nor in '" +
           library_ + "': No such file or directory\n"},
      {"c sub", "", "-> ERROR: FPGA configuration file '" + work_ + "sub': Is a directory\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    const std::string answer = Execute(c.typed);
    EXPECT_EQ(calls_, c.loaded.empty() ? Calls{} : Calls{c.loaded});
    if (!c.refusal.empty()) {
      EXPECT_EQ(answer, c.refusal + "\n");
    }
  }
  // The file found is the one loaded, from wherever the next start runs.
  Execute("c mine.bit");
  fs::current_path(previous_);
  output_.text_.clear();
  commands_->Run(ID_UPDATE_FPGA);
  EXPECT_NE(output_.text_.find("Configure FPGA via PC with file: '" + work_ + "mine.bit' ...\n"),
            std::string::npos)
      << output_.text_;
  EXPECT_EQ(omrix::testing::Board().design(), sim::Design::Demo);
}

TEST_F(ConfigurationNames, MayBeAsLongAsTheFieldHolds) {
  const std::string directory = work_ + std::string(200, 'd') + "/";
  fs::create_directory(directory);
  for (const std::size_t length : {kLongestPath, kLongestPath + 1}) {
    SCOPED_TRACE(length);
    const std::string path = directory + std::string(length - directory.size() - 4, 'n') + ".bit";
    ASSERT_EQ(path.size(), length);
    fs::copy_file(Staged("demo.bit"), path);
    const std::string answer = Execute("c " + path);
    if (length == kLongestPath) {
      EXPECT_EQ(calls_, Calls{Loaded(path)});
    } else {
      EXPECT_EQ(calls_, Calls{});
      EXPECT_EQ(answer, LongPathLine(path) + "\n");
    }
  }
}

}  // namespace
}  // namespace omrix::commands::testing
