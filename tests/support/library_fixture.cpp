#include "library_fixture.h"

#include <filesystem>
#include <memory>

#include "support/environment.h"
#include "testing/test_seams.h"

namespace omrix::testing {

namespace {
std::string& SinkText() {
  static std::string text;
  return text;
}
std::unique_ptr<TemporaryDirectory>& CurrentDirectory() {
  static std::unique_ptr<TemporaryDirectory> directory;
  return directory;
}
}  // namespace

sim::SimConfig SimBoard(const std::string& text) {
  std::vector<std::string> problems;
  sim::SimConfig config = sim::ParseSimConfig(text, problems);
  EXPECT_TRUE(problems.empty()) << text << ": " << (problems.empty() ? "" : problems.front());
  return config;
}

void LibraryTest::SetUp() {
  // The user's own settings must not reach the tests.
  for (const char* name : {"OMRIX_PORT_IO", "OMRIX_SIM", "OMRIX_LIBRARY_DIR"})
    SetEnvironment(name, nullptr);
  CurrentDirectory() = std::make_unique<TemporaryDirectory>();
  directory_ = CurrentDirectory()->path();
  ResetLibrary(directory_);
  ClearTranscript();
}

void LibraryTest::TearDown() {
  ResetLibrary(directory_);
  CurrentDirectory().reset();
}

void LibraryTest::StageDataFile(const std::string& name) const {
  std::filesystem::copy_file(std::string(OMRIX_DATA_DIR) + "/" + name, directory_ + name,
                             std::filesystem::copy_options::overwrite_existing);
}

std::string LibraryTest::Transcript() { return SinkText(); }
void LibraryTest::ClearTranscript() { SinkText().clear(); }
void LibraryTest::Sink(const char* text) { SinkText() += text; }

}  // namespace omrix::testing
