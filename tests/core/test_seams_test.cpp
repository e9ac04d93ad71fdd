// The reset the tests rely on really returns everything to the state after load.
#include <gtest/gtest.h>

#include "bus/pattern.h"
#include "core/frame.h"
#include "core/library_state.h"
#include "core/text.h"
#include "platform/platform.h"
#include "support/library_fixture.h"
#include "testing/test_seams.h"

namespace omrix {
namespace {

class TestSeams : public testing::LibraryTest {};

TEST_F(TestSeams, PatternSourceIsTheClassicRandSequence) {
  // The first values of the C runtime's rand() without srand.
  for (std::uint32_t expected : {41u, 18467u, 6334u, 26500u, 19169u})
    EXPECT_EQ(PatternRandom(), expected);
  ResetPatternGenerator();
  EXPECT_EQ(PatternRandom(), 41u);
}

TEST_F(TestSeams, ResetUndoesEverything) {
  ASSERT_EQ(HwaccInit_EnableDllMessages(&Sink), 1);
  state.portBase = 0x378;
  state.PPcontrol = 0x44;
  SetField(state.fpgaConfigFile, "FLASH");
  testing::Board().loadDesign(sim::Design::Setup);
  testing::SetCalendarTime(1104537600);
  EXPECT_EQ(platform::system().calendarTime(), 1104537600);
  PatternRandom();

  testing::ResetLibrary(Directory());
  EXPECT_EQ(state.portBase, 0);
  EXPECT_EQ(state.PPcontrol, 0);
  EXPECT_EQ(state.messageCallback, nullptr);
  EXPECT_EQ(state.driverHandle, platform::kInvalidHandle);
  EXPECT_EQ(FieldText(state.fpgaConfigFile), "");
  EXPECT_EQ(FieldText(state.libraryDirectory), Directory());
  EXPECT_EQ(PatternRandom(), 41u);
  EXPECT_GT(platform::system().calendarTime(), 1104537600);
  EXPECT_EQ(testing::Board().design(), sim::Design::None);
  EXPECT_EQ(testing::Board().config().stateDir, Directory() + "omrix-sim/");
  EXPECT_EQ(HwaccDeInit(), 0);
  // No backend until the next bring-up: nothing is reached.
  EXPECT_EQ(platform::portBackend().in(0x378), 0xFF);
}

}  // namespace
}  // namespace omrix
