// A library brought up on a recording port with a device current at 0x378.
#pragma once

#include <memory>

#include "core/frame.h"
#include "core/library_state.h"
#include "driver/driver.h"
#include "support/library_fixture.h"
#include "support/scripted_platform.h"

namespace omrix::testing {

class RecordedBoardTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    world_ = std::make_shared<DriverWorld>();
    world_->running = true;
    port_ = InstallScriptedPlatform(world_);
    ASSERT_EQ(omrix::HwaccInit_EnableDllMessages(&Sink), 1);
    state.portBase = 0x378;
    ASSERT_EQ(EnablePortAccess(), 1);
    ClearTranscript();
  }
  std::vector<std::string> Recorded() const { return BusCycles(port_->accesses, 0x378); }

  std::shared_ptr<DriverWorld> world_;
  RecordingPort* port_ = nullptr;
};

}  // namespace omrix::testing
