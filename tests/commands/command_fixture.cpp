#include "command_fixture.h"

#include <cstdio>

#include "board/basic.h"
#include "board/cpu.h"
#include "board/flash.h"
#include "board/fpga.h"
#include "bus/bus.h"
#include "bus/probe.h"
#include "core/frame.h"
#include "setup/device_setup.h"
#include "setup/setup_data.h"
#include "testing/test_seams.h"

namespace omrix::commands::testing {

namespace {

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
  return text;
}

std::string Text(const char* text) {
  return text != nullptr ? std::string("'") + text + "'" : "null";
}

}  // namespace

Answer ScriptedPrompts::MessageBox(const std::string& text, Buttons, Icon) {
  boxes.push_back(text);
  if (whileBoxIsOpen) whileBoxIsOpen();
  if (answers.empty()) return Answer::Ok;
  const Answer answer = answers.front();
  answers.pop_front();
  return answer;
}

std::optional<std::string> ScriptedPrompts::ChooseFile(const FileChooser& chooser) {
  choosers.push_back(chooser.title);
  if (files.empty()) return std::nullopt;
  std::optional<std::string> file = files.front();
  files.pop_front();
  return file;
}

std::unique_ptr<Progress> ScriptedPrompts::ShowProgress() {
  class ScriptedProgress final : public Progress {
   public:
    ScriptedProgress(ScriptedPrompts& prompts) : prompts_(prompts) {}
    void StepIt() override { prompts_.barSteps.back().push_back(prompts_.OutputSize()); }
    bool CheckCancel() override {
      // One request, reported once, however long the loop goes on polling.
      const bool asked = !reported_ && prompts_.clock.now >= prompts_.clock.cancelAt;
      reported_ = reported_ || asked;
      return asked;
    }

   private:
    ScriptedPrompts& prompts_;
    bool reported_ = false;
  };
  barSteps.emplace_back();
  return std::make_unique<ScriptedProgress>(*this);
}

Library RecordingLibrary(std::vector<std::string>& calls) {
  Library l;
  l.HwaccInit_EnableDllMessages = [&calls](MessageFunction callback) {
    calls.push_back("HwaccInit_EnableDllMessages");
    return omrix::HwaccInit_EnableDllMessages(callback);
  };
  l.HwaccDeInit = [&calls] {
    calls.push_back("HwaccDeInit()");
    return omrix::HwaccDeInit();
  };
  l.InterpreteOmrixDat = [&calls] {
    calls.push_back("InterpreteOmrixDat()");
    return omrix::InterpreteOmrixDat();
  };
  l.SetupOmrix = [&calls](std::int32_t port) {
    calls.push_back("SetupOmrix(" + Hex(static_cast<std::uint32_t>(port)) + ")");
    return omrix::SetupOmrix(port);
  };
  l.DeInitOmrix = [&calls](std::int32_t mode) {
    calls.push_back("DeInitOmrix(" + std::to_string(mode) + ")");
    return omrix::DeInitOmrix(mode);
  };
  l.IsDeviceInitialized = [] { return omrix::IsDeviceInitialized(); };
  l.outbyte = [&calls](std::int32_t address, std::int32_t data) {
    calls.push_back("outbyte(" + Hex(static_cast<std::uint32_t>(address)) + ", " +
                    Hex(static_cast<std::uint32_t>(data)) + ")");
    omrix::outbyte(address, data);
  };
  l.inbyte = [&calls](std::int32_t address) {
    calls.push_back("inbyte(" + Hex(static_cast<std::uint32_t>(address)) + ")");
    return omrix::inbyte(address);
  };
  l.PPinitSet = [&calls](std::int32_t level) {
    calls.push_back("PPinitSet(" + std::to_string(level) + ")");
    omrix::PPinitSet(level);
  };
  l.PPackGet = [&calls] {
    calls.push_back("PPackGet()");
    return omrix::PPackGet();
  };
  l.GetTransferRate = [&calls](std::int32_t kind, std::int32_t write, std::int32_t read,
                               std::int32_t kilobytes) {
    calls.push_back("GetTransferRate(" + std::to_string(kind) + ")");
    return omrix::GetTransferRate(kind, write, read, kilobytes);
  };
  l.FpgaConfig = [&calls](const char* source, std::int32_t fullPath, std::int32_t record) {
    calls.push_back("FpgaConfig(" + Text(source) + ", " + std::to_string(fullPath) + ", " +
                    std::to_string(record) + ")");
    return omrix::FpgaConfig(source, fullPath, record);
  };
  l.FpgaCfgForSetup = [&calls](std::int32_t forSetup, std::int32_t force) {
    calls.push_back("FpgaCfgForSetup(" + std::to_string(forSetup) + ", " + std::to_string(force) +
                    ")");
    return omrix::FpgaCfgForSetup(forSetup, force);
  };
  l.CpuReset = [&calls](std::int32_t disable) {
    calls.push_back("CpuReset(" + std::to_string(disable) + ")");
    omrix::CpuReset(disable);
  };
  l.CpuRunFile = [&calls](std::int32_t file) {
    calls.push_back("CpuRunFile(" + std::to_string(file) + ")");
    omrix::CpuRunFile(file);
  };
  l.FlashSectorErase = [&calls](std::uint32_t sector) {
    calls.push_back("FlashSectorErase(" + Hex(sector) + ")");
    return omrix::FlashSectorErase(sector);
  };
  l.FlashProgram = [&calls](const char* file, std::uint32_t first, std::uint32_t last,
                            std::uint32_t offset, std::int32_t verify, std::int32_t reverse) {
    calls.push_back("FlashProgram(" + Text(file) + ", " + Hex(first) + ", " + Hex(last) + ", " +
                    std::to_string(offset) + ", " + std::to_string(verify) + ", " +
                    std::to_string(reverse) + ")");
    return omrix::FlashProgram(file, first, last, offset, verify, reverse);
  };
  l.FlashVerify = [&calls](const char* file, std::uint32_t first, std::uint32_t last,
                           std::uint32_t offset, std::int32_t reverse) {
    calls.push_back("FlashVerify(" + Text(file) + ", " + Hex(first) + ", " + Hex(last) + ", " +
                    std::to_string(offset) + ", " + std::to_string(reverse) + ")");
    return omrix::FlashVerify(file, first, last, offset, reverse);
  };
  l.FlashRead2File = [&calls](const char* file, std::uint32_t first, std::uint32_t last) {
    calls.push_back("FlashRead2File(" + Text(file) + ", " + Hex(first) + ", " + Hex(last) + ")");
    return omrix::FlashRead2File(file, first, last);
  };
  l.Basic2File = [&calls](const char* file, std::uint32_t end) {
    calls.push_back("Basic2File(" + Text(file) + ", " + Hex(end) + ")");
    return omrix::Basic2File(file, end);
  };
  l.BasicFlash = [&calls](const char* file, std::uint32_t base) {
    calls.push_back("BasicFlash(" + Text(file) + ", " + Hex(base) + ")");
    return omrix::BasicFlash(file, base);
  };
  return l;
}

void CommandTest::SetUp() {
  LibraryTest::SetUp();
  sim::SimConfig board;
  board.sectorEraseMs = 5;
  board.stateDir = Directory() + "omrix-sim/";
  omrix::testing::ResetLibrary(Directory(), board);
  for (const char* name :
       {"setup.bit", "demo.bit", "demo.bin", "demo.rom", "basic52.dat", "hello.b52"})
    StageDataFile(name);
  prompts_.output = &output_;
  commands_.emplace(RecordingLibrary(calls_), output_, prompts_,
                    [this](std::chrono::milliseconds time) { prompts_.clock.now += time; });
}

void CommandTest::TearDown() {
  commands_.reset();
  LibraryTest::TearDown();
}

void CommandTest::SetUpBoard() {
  ASSERT_TRUE(commands_->BringUpDriver().succeeded());
  ASSERT_FALSE(commands_->InterpretSetupData().succeeded());  // a new omrix.dat: no device yet
  prompts_.boxes.clear();
  ASSERT_TRUE(commands_->Run(ID_SETUP_378).succeeded());
  calls_.clear();
  output_.text_.clear();
}

}  // namespace omrix::commands::testing
