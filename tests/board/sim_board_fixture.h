// A library brought up on the simulated board with a device current at 0x378 and the data
// files staged; erase times shortened so the tests stay quick.
#pragma once

#include <string>

#include "bus/bus.h"
#include "core/frame.h"
#include "core/library_state.h"
#include "core/text.h"
#include "driver/driver.h"
#include "support/library_fixture.h"
#include "testing/test_seams.h"

namespace omrix::testing {

inline sim::SimConfig QuickBoard() {
  sim::SimConfig board;
  board.sectorEraseMs = 5;
  board.chipEraseMs = 20;
  return board;
}

class SimBoardTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    Start(QuickBoard());
  }
  // A new board each time: its own state directory, so nothing an earlier one kept is loaded.
  void Start(sim::SimConfig board) {
    board.stateDir = Directory() + "omrix-sim-" + std::to_string(boards_++) + "/";
    ResetLibrary(Directory(), board);
    for (const char* name :
         {"setup.bit", "demo.bit", "noreg.bit", "demo.bin", "demo.rom", "basic52.dat"})
      StageDataFile(name);
    ASSERT_EQ(omrix::HwaccInit_EnableDllMessages(&Sink), 1);
    state.portBase = 0x378;
    ASSERT_EQ(EnablePortAccess(), 1);
    SetField(state.setupFpgaFile, "setup.bit");
    SetField(state.fpgaConfigFile, "CLEAR");
    UseMode(kModeEpp);
    ClearTranscript();
  }
  static void UseMode(std::uint8_t mode) {
    state.PPcontrol = mode;
    state.PPwait = 0;
  }
  std::string Path(const std::string& name) const { return Directory() + name; }

 private:
  int boards_ = 0;
};

}  // namespace omrix::testing
