// A board from an OMRIX_SIM text that a test expects to be valid.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "omrix/sim/sim_config.h"

namespace omrix::sim::testing {

inline SimConfig Parsed(const std::string& text) {
  std::vector<std::string> errors;
  SimConfig config = ParseSimConfig(text, errors);
  EXPECT_TRUE(errors.empty()) << text << ": " << (errors.empty() ? "" : errors.front());
  return config;
}

}  // namespace omrix::sim::testing
