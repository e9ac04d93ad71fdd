// Every library test runs in its own library directory with a fresh library state and board.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "omrix/sim/sim_config.h"
#include "support/files.h"

namespace omrix::testing {

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The library directory of this test, ending in '/'.
  const std::string& Directory() const { return directory_; }
  // Copies a data file of the build into the library directory.
  void StageDataFile(const std::string& name) const;

  // Everything the library sent to Sink since the test began, in one text.
  static std::string Transcript();
  static void ClearTranscript();
  static void Sink(const char* text);

 private:
  std::string directory_;
};

// A simulated board from an OMRIX_SIM text that the test expects to be valid.
sim::SimConfig SimBoard(const std::string& text);

}  // namespace omrix::testing
