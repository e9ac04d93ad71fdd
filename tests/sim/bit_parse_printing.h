#pragma once

#include <ostream>

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

}  // namespace omrix::sim
