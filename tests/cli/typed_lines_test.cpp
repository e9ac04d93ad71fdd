// The shell's input, on pipes and on a terminal, reaches the test routines byte for byte or not
// at all.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "running_tool.h"
#include "tool_runner.h"

namespace omrix::cli::testing {
namespace {

using Input = RunningTool::Input;

const std::pair<std::string, std::string> kTerminalType = {"TERM", "vt100"};

// A path as the tool names it: its separators are the system's own.
std::string InSystemSpelling(std::string text) {
  for (char& c : text)
    if (c == '/') c = static_cast<char>(std::filesystem::path::preferred_separator);
  return text;
}

struct TypedCase {
  const char* name;
  Input input;
  std::string locale;   // LC_ALL
  std::string typed;    // "@" is the library directory; each line is followed by "s 0"
  std::string shown;    // on stdout (on a terminal: the terminal); "" for none
  std::string refusal;  // on stderr (on a terminal: the terminal); "" for none
};

class TypedLines : public ::testing::TestWithParam<TypedCase> {};

TEST_P(TypedLines, ReachTheTestRoutinesAsTypedOrNotAtAll) {
  const TypedCase& c = GetParam();
  const LibraryDirectory directory;
  ASSERT_EQ(directory.run({"setup"}).exitStatus, 0);
  // A name that loses its accent names another file that exists.
  for (const char* folder : {"jos\xC3\xA9", "jos"}) {
    std::filesystem::create_directory(directory.file(folder));
    std::filesystem::copy_file(directory.file("demo.bit"),
                               std::filesystem::path(directory.file(folder)) / "demo.bit");
  }
  const char* const lineEnd = c.input == Input::Terminal ? "\r" : "\n";
  RunningTool tool(directory, {"shell"}, c.input, {kTerminalType, {"LC_ALL", c.locale}});
  tool.type(InDirectory(c.typed, directory.path()) + lineEnd + "s 0" + lineEnd);
  // The line after it runs: the shell went on.
  ASSERT_TRUE(tool.waitFor("Signal PPinit reset, now at low level"));
  tool.type(std::string("quit") + lineEnd);
  const ToolRun run = tool.finish();
  EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
  const std::string& said = c.input == Input::Terminal ? run.out : run.err;
  if (c.shown.empty()) {
    EXPECT_EQ(run.out.find("Configure FPGA via PC"), std::string::npos) << run.out;
  } else {
    EXPECT_NE(run.out.find(InDirectory(InSystemSpelling(c.shown), directory.path())),
              std::string::npos)
        << run.out;
  }
  if (!c.refusal.empty()) {
    EXPECT_NE(said.find(c.refusal), std::string::npos) << said;
  }
}

const std::string kNulRefusal = "omrixctl: a line holding a NUL byte was not run";

std::vector<TypedCase> TypedCases() {
  const std::vector<TypedCase> all{
      TypedCase{"AccentOnAUtf8Terminal", Input::Terminal, "C.UTF-8", "c @jos\xC3\xA9/demo.bit",
                "Configure FPGA via PC with file: '@jos\xC3\xA9/demo.bit'", ""},
      TypedCase{"AccentOnAnAsciiTerminal", Input::Terminal, "C", "c @jos\xC3\xA9/demo.bit", "",
                "omrixctl: this line was not run: it holds bytes that are no "
                "characters"},
      TypedCase{"AccentPiped", Input::Pipes, "C", "c @jos\xC3\xA9/demo.bit",
                "Configure FPGA via PC with file: '@jos\xC3\xA9/demo.bit'", ""},
      // Ctrl-@ is an editing key there: the line is the rest, whole.
      TypedCase{"NulOnATerminal", Input::Terminal, "C.UTF-8", std::string("c dem\0o.bit", 11),
                "Configure FPGA via PC with file: '@demo.bit'", ""},
      TypedCase{"NulInALongPipedLine", Input::Pipes, "C",
                std::string("a\0", 2) + std::string(5000, 'b'), "", kNulRefusal},
      TypedCase{"Utf16Piped", Input::Pipes, "C", std::string("c\0 \0d\0e\0m\0o\0.\0b\0i\0t\0", 20),
                "", kNulRefusal}};
  std::vector<TypedCase> available;
  for (const TypedCase& c : all)
    if (c.input == Input::Pipes || PseudoTerminals()) available.push_back(c);
  return available;
}

INSTANTIATE_TEST_SUITE_P(Inputs, TypedLines, ::testing::ValuesIn(TypedCases()),
                         [](const ::testing::TestParamInfo<TypedCase>& test) {
                           return std::string(test.param.name);
                         });

}  // namespace
}  // namespace omrix::cli::testing
