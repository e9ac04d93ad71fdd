// Measuring the library's own CPU time on a board operation, apart from the simulator's: the
// operation runs once against the simulated board while its answers are recorded, then again
// and again against a port that only plays the answers back.
#pragma once

#include <benchmark/benchmark.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "omrix/sim/simulator.h"
#include "platform/platform.h"

namespace omrix::bench {

// Forwards to a simulated board and keeps what every read returned.
class RecordingSimPort final : public platform::PortBackend, public platform::Clock {
 public:
  platform::Clock& clock() override { return *this; }
  explicit RecordingSimPort(sim::Simulator& board) : board_(board) {}
  std::vector<std::uint8_t> reads;
  std::uint64_t accesses = 0;
  void settle(std::int32_t count) override { board_.busyWait(count); }
  std::uint32_t tickCount() override { return board_.tickCount(); }
  void sleepMs(std::uint32_t ms) override { board_.sleepMs(ms); }

 protected:
  std::uint8_t rawIn(std::uint16_t port) override {
    ++accesses;
    reads.push_back(board_.in(port));
    return reads.back();
  }
  void rawOut(std::uint16_t port, std::uint8_t value) override {
    ++accesses;
    board_.out(port, value);
  }
  bool grant(const platform::PortRange&) override { return true; }
  bool revoke(const platform::PortRange&) override { return true; }

 private:
  sim::Simulator& board_;
};

// Answers every read with the next recorded byte and does nothing else; its clock counts one
// millisecond per thousand accesses, as the modelled board's would.
class ReplayPort final : public platform::PortBackend, public platform::Clock {
 public:
  platform::Clock& clock() override { return *this; }
  std::vector<std::uint8_t> reads;
  std::size_t next = 0;
  std::uint64_t accesses = 0;
  void settle(std::int32_t) override {}
  std::uint32_t tickCount() override { return static_cast<std::uint32_t>(accesses / 1000); }
  void sleepMs(std::uint32_t) override {}

 protected:
  std::uint8_t rawIn(std::uint16_t) override {
    ++accesses;
    const std::uint8_t value = reads[next];
    next = next + 1 < reads.size() ? next + 1 : 0;
    return value;
  }
  void rawOut(std::uint16_t, std::uint8_t) override { ++accesses; }
  bool grant(const platform::PortRange&) override { return true; }
  bool revoke(const platform::PortRange&) override { return true; }
};

struct Operation {
  std::function<void()> prepare;  // brings the library state to where the operation starts
  std::function<void()> run;
};

// Records `operation` against `board` (its state prepared by `setUpBoard`), then measures it
// against the replay. Reports the port accesses per run and the library's share of the
// modelled hardware time (accesses x 1 us).
void MeasureAgainstReplay(benchmark::State& state, const sim::SimConfig& boardConfig,
                          const std::function<void(sim::Simulator&)>& setUpBoard,
                          const Operation& operation);

}  // namespace omrix::bench
