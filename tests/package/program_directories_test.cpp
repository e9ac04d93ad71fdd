// The programs choose the library's directories as the library does.
#include <gtest/gtest.h>

#include "commands/directories.h"
#include "package/directory_cases.h"

namespace omrix::commands {
namespace {

TEST(ProgramDirectoriesTest, DataAndStateAsTheLibraryChoosesThem) {
  for (const testing::DirectoryCase& c : testing::kDirectoryCases) {
    const Directories chosen = ChooseDirectories(
        {c.libraryVariable, c.stateVariable, c.stateHome, c.home, c.moduleDirectory, c.buildTree});
    EXPECT_EQ(chosen.data, c.data) << c.what;
    EXPECT_EQ(chosen.state, c.state) << c.what;
    EXPECT_EQ(chosen.makeState, c.makeState) << c.what;
  }
}

}  // namespace
}  // namespace omrix::commands
