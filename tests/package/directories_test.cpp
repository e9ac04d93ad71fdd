// The library's data and state directories.
#include <gtest/gtest.h>

#include "package/directory_cases.h"
#include "platform/directories.h"

namespace omrix::platform {
namespace {

TEST(DirectoriesTest, DataAndStateForEachWayTheLibraryIsFound) {
  for (const testing::DirectoryCase& c : testing::kDirectoryCases) {
    const Directories chosen = ChooseDirectories(
        {c.libraryVariable, c.stateVariable, c.stateHome, c.home, c.moduleDirectory, c.buildTree});
    EXPECT_EQ(chosen.data, c.data) << c.what;
    EXPECT_EQ(chosen.state, c.state) << c.what;
    EXPECT_EQ(chosen.makeState, c.makeState) << c.what;
  }
}

}  // namespace
}  // namespace omrix::platform
