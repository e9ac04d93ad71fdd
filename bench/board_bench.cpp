// The library's CPU time on the long board operations, against the modelled hardware time
// (port accesses x 1 us). Target: library_share at most 0.02.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "board/flash.h"
#include "board/fpga.h"
#include "bus/bus.h"
#include "core/library_state.h"
#include "core/text.h"
#include "bus/pattern.h"
#include "omrix/sim/bitfile.h"
#include "omrix/sim/designs.h"
#include "setup/device_setup.h"
#include "setup/setup_data_writer.h"
#include "replay.h"
#include "testing/test_seams.h"

namespace {

using omrix::bench::MeasureAgainstReplay;
using omrix::bench::Operation;

std::string WorkDirectory() {
  static const std::string directory = [] {
    std::string base = std::filesystem::temp_directory_path().string() + "/omrix-bench-XXXXXX";
    if (mkdtemp(base.data()) == nullptr) std::abort();
    return base + "/";
  }();
  return directory;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> RandomBytes(std::size_t count, bool withoutErased) {
  std::mt19937 generator(17);
  std::vector<std::uint8_t> bytes(count);
  for (auto& byte : bytes) {
    byte = static_cast<std::uint8_t>(generator());
    if (withoutErased && byte == 0xFF) byte = 0x5A;  // every byte costs a program cycle
  }
  return bytes;
}

void Reset() {
  omrix::testing::ResetLibrary(WorkDirectory());
  omrix::SetField(omrix::state.setupFpgaFile, "setup.bit");
}

void PrepareEpp() {
  omrix::state.PPcontrol = omrix::kModeEpp;
  omrix::state.PPwait = 0;
}

// The setup design running and told EPP, as after a setup.
void LoadSetupDesign(omrix::sim::Simulator& board) {
  board.loadDesign(omrix::sim::Design::Setup);
  board.setBoardRegister(0, 4);
}

void BM_ConfigurationViaPc100KB(benchmark::State& state) {
  Reset();
  omrix::sim::BitFile file{"omrix_setup.ncd;UserID=0xFFFFFFFF", "2s100pq208", "2005/01/01",
                           "12:00:00", RandomBytes(100 * 1024, false)};
  std::copy(std::begin(omrix::sim::kSyncWord), std::end(omrix::sim::kSyncWord),
            file.bitstream.begin() + 4);
  const std::string path = WorkDirectory() + "big.bit";
  WriteFile(path, omrix::sim::MakeBitFile(file));
  MeasureAgainstReplay(state, {}, LoadSetupDesign,
                       {PrepareEpp, [&] { omrix::FpgaConfig(path.c_str(), 1, 0); }});
}

void BM_CpuSlotProgramAndVerify64KB(benchmark::State& state) {
  Reset();
  const std::string path = WorkDirectory() + "cpu.bin";
  WriteFile(path, RandomBytes(64 * 1024, true));
  MeasureAgainstReplay(
      state, {}, LoadSetupDesign,
      {PrepareEpp, [&] { omrix::FlashProgram(path.c_str(), 0x10000, 0x1FFFF, 0, 1, 0); }});
}

void BM_SaveUserSpace(benchmark::State& state) {
  Reset();
  const std::string path = WorkDirectory() + "save.rom";
  MeasureAgainstReplay(state, {}, LoadSetupDesign,
                       {PrepareEpp, [&] { omrix::FlashRead2File(path.c_str(), 0, 0x7BFFF); }});
}

// A setup starts from the defaults with "setup.bit" beside the library.
void PrepareSetup() {
  omrix::state.PPcontrol = 0;
  omrix::state.PPwait = 0;
  omrix::state.portBase = omrix::kNoDevice;
  omrix::ResetPatternGenerator();
  omrix::WriteSetupData(omrix::RecordForNewFile());
}

void StageSetupDesign() {
  WriteFile(WorkDirectory() + "setup.bit",
            omrix::sim::MakeDesignFile(*omrix::sim::FindDesign(omrix::sim::Design::Setup)));
}

omrix::sim::SimConfig BoardFrom(const std::string& text) {
  std::vector<std::string> problems;
  return omrix::sim::ParseSimConfig(text, problems);
}

void BM_SetupSearchFindsEppBoard(benchmark::State& state) {
  Reset();
  StageSetupDesign();
  MeasureAgainstReplay(state, BoardFrom("ports=3bc,378;board=378"), [](omrix::sim::Simulator&) {},
                       {PrepareSetup, [] { omrix::SetupOmrix(0); }});
}

void BM_SetupEndsInSppOnASlowBoard(benchmark::State& state) {
  Reset();
  StageSetupDesign();
  MeasureAgainstReplay(state, BoardFrom("ports=378;bidir=;epp=;settle=20"),
                       [](omrix::sim::Simulator&) {},
                       {PrepareSetup, [] { omrix::SetupOmrix(0x378); }});
}

BENCHMARK(BM_SetupSearchFindsEppBoard)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SetupEndsInSppOnASlowBoard)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConfigurationViaPc100KB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CpuSlotProgramAndVerify64KB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveUserSpace)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
