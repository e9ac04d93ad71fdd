// Seams for tests only: linked into test programs, never into the shared library.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "omrix/sim/simulator.h"

namespace omrix::testing {

// Everything back to the state right after the library is loaded: LibraryState, the port
// backend (none until the next bring-up), the real system and file layers, the pattern
// generator, and a fresh simulated board (default settings, state kept in
// `libraryDirectory`omrix-sim/). The library reads and writes its files in `libraryDirectory`,
// which must end in '/'.
void ResetLibrary(const std::string& libraryDirectory,
                  const sim::SimConfig& board = sim::SimConfig{});

// Makes the platform's calendar time (seconds since 1970) answer `seconds` until the next reset.
void SetCalendarTime(std::int64_t seconds);

// The simulated board of this process.
sim::Simulator& Board();

}  // namespace omrix::testing
