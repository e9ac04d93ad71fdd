// The simulated board as omrixctl left it, read from its persisted state. The tool cannot
// show this itself: its next start-up configures the FPGA again, which resets ConfigRegister.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "omrix/sim/simulator.h"
#include "tool_runner.h"

namespace omrix::cli::testing {

struct BoardView {
  sim::Design design = sim::Design::None;
  std::uint8_t configRegister = 0;
  std::vector<std::uint8_t> registers;  // mm-bus 0 to 6
};

inline BoardView ReadBoard(const LibraryDirectory& directory) {
  sim::SimConfig config;
  config.stateDir = directory.simStateDirectory();
  sim::Simulator simulator(config);
  BoardView view;
  EXPECT_TRUE(simulator.attach()) << "the board is still held by another process";
  view.design = simulator.design();
  view.configRegister = simulator.boardRegister(1);
  for (std::uint8_t address = 0; address <= 6; ++address)
    view.registers.push_back(simulator.boardRegister(address));
  return view;
}

// Puts bytes into the CPU's RAM of the persisted board, as a running BASIC-52 would leave them.
inline void PutIntoRam(const LibraryDirectory& directory, std::uint32_t address,
                       const std::string& bytes) {
  sim::SimConfig config;
  config.stateDir = directory.simStateDirectory();
  sim::Simulator simulator(config);
  ASSERT_TRUE(simulator.attach());
  std::vector<std::uint8_t>& ram = simulator.ram();
  ASSERT_LE(address + bytes.size(), ram.size());
  for (std::size_t i = 0; i < bytes.size(); ++i)
    ram[address + i] = static_cast<std::uint8_t>(bytes[i]);
  simulator.detach();
}

}  // namespace omrix::cli::testing
