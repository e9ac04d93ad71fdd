#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "omrix/sim/bitfile.h"

namespace omrix::sim {

// Lets a failed expectation name the parse result instead of dumping its bytes.
inline void PrintTo(BitParse result, std::ostream* os) {
  switch (result) {
    case BitParse::Ok: *os << "Ok"; return;
    case BitParse::Truncated: *os << "Truncated"; return;
    case BitParse::Corrupt: *os << "Corrupt"; return;
  }
  *os << "BitParse(" << static_cast<int>(result) << ")";
}

namespace testing {

// The whole file, or nothing when it cannot be opened.
inline std::optional<std::vector<uint8_t>> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace testing
}  // namespace omrix::sim
