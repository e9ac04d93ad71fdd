#pragma once

#include <cstddef>
#include <ostream>

#include "omrix/sim/board.h"

namespace omrix::sim {

// Let failed expectations show the CPU's state instead of its bytes.
inline void PrintTo(const CpuState& cpu, std::ostream* os) {
  *os << (cpu.running ? "running" : "held") << " on slot " << cpu.slot;
}

inline void PrintTo(const CpuStart& start, std::ostream* os) {
  *os << "slot " << start.slot << " at " << start.atNs << " ns";
}

inline void PrintTo(const CpuRecord& record, std::ostream* os) {
  *os << record.starts << " starts, recent:";
  for (std::size_t i = 0; i < record.recent.size(); ++i) {
    *os << (i == 0 ? " " : ", ");
    PrintTo(record.recent[i], os);
  }
}

}  // namespace omrix::sim
