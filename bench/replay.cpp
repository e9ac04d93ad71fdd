#include "replay.h"

#include <cstdlib>
#include <ctime>

#include "core/frame.h"
#include "core/library_state.h"
#include "driver/driver.h"

namespace omrix::bench {

namespace {

// Brings the driver up on `port` with the device at 0x378.
void BringUp(std::unique_ptr<platform::PortBackend> port) {
  platform::forceNextPortBackend(std::move(port));
  HwaccInit_EnableDllMessages(nullptr);
  state.portBase = 0x378;
  EnablePortAccess();
}

}  // namespace

void MeasureAgainstReplay(benchmark::State& state, const sim::SimConfig& boardConfig,
                          const std::function<void(sim::Simulator&)>& setUpBoard,
                          const Operation& operation) {
  sim::Simulator board(boardConfig);
  auto recording = std::make_unique<RecordingSimPort>(board);
  RecordingSimPort* recorder = recording.get();
  BringUp(std::move(recording));
  setUpBoard(board);
  operation.prepare();
  const std::uint64_t startNs = board.nowNs();
  operation.run();
  const double simulatedSeconds = static_cast<double>(board.nowNs() - startNs) * 1e-9;
  const std::uint64_t accesses = recorder->accesses;
  if (recorder->reads.empty()) recorder->reads.push_back(0xFF);

  auto replay = std::make_unique<ReplayPort>();
  ReplayPort* player = replay.get();
  player->reads = recorder->reads;
  BringUp(std::move(replay));
  double cpuSeconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    player->next = 0;
    operation.prepare();
    state.ResumeTiming();
    const std::clock_t before = std::clock();
    operation.run();
    cpuSeconds += static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
  }
  const double modelledSeconds = static_cast<double>(accesses) * 1e-6;
  const double iterations = static_cast<double>(state.iterations());
  state.counters["port_accesses"] = static_cast<double>(accesses);
  state.counters["modelled_ms"] = modelledSeconds * 1e3;
  state.counters["simulated_ms"] = simulatedSeconds * 1e3;  // with sleeps and busy times
  state.counters["library_share_pct"] = 100 * cpuSeconds / (iterations * modelledSeconds);
  state.SetLabel("library CPU time against a replay of the board's answers");
}

}  // namespace omrix::bench
