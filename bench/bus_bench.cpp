// The library's own CPU time per port access in outbyte and inbyte, against a port that only
// counts; a real IN/OUT on a legacy port costs about 1 us, so 20 ns is 2 %.
#include <benchmark/benchmark.h>

#include "bus/bus.h"
#include "core/frame.h"
#include "core/library_state.h"
#include "driver/driver.h"
#include "platform/platform.h"
#include "testing/test_seams.h"

namespace {

class CountingPort final : public omrix::platform::PortBackend {
 public:
  std::uint64_t accesses = 0;
  void settle(std::int32_t) override {}

 protected:
  std::uint8_t rawIn(std::uint16_t) override {
    ++accesses;
    return 0x00;
  }
  void rawOut(std::uint16_t, std::uint8_t) override { ++accesses; }
  bool grant(const omrix::platform::PortRange&) override { return true; }
  bool revoke(const omrix::platform::PortRange&) override { return true; }
};

CountingPort* StartOnCountingPort(std::uint8_t mode) {
  omrix::testing::ResetLibrary("/tmp/");
  auto port = std::make_unique<CountingPort>();
  CountingPort* observer = port.get();
  omrix::platform::forceNextPortBackend(std::move(port));
  omrix::HwaccInit_EnableDllMessages(nullptr);
  omrix::state.portBase = 0x378;
  omrix::EnablePortAccess();
  omrix::state.PPcontrol = mode;
  omrix::state.PPwait = 0;
  return observer;
}

void Report(benchmark::State& state, const CountingPort& port) {
  const double perCall = static_cast<double>(port.accesses) / static_cast<double>(state.iterations());
  state.counters["accesses_per_call"] = perCall;
  // CPU time per port access: the whole cycle's time divided by its accesses.
  state.counters["ns_per_access"] = benchmark::Counter(
      static_cast<double>(port.accesses), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_outbyte(benchmark::State& state) {
  CountingPort* port = StartOnCountingPort(static_cast<std::uint8_t>(state.range(0)));
  for (auto _ : state) omrix::outbyte(3, 0x5A);
  Report(state, *port);
}

void BM_inbyte(benchmark::State& state) {
  CountingPort* port = StartOnCountingPort(static_cast<std::uint8_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(omrix::inbyte(2));
  Report(state, *port);
}

// Arguments: PPcontrol of SPP, PS2, EPP.
BENCHMARK(BM_outbyte)->ArgName("PPcontrol")->Arg(0x04)->Arg(0xA4)->Arg(0x44);
BENCHMARK(BM_inbyte)->ArgName("PPcontrol")->Arg(0x04)->Arg(0xA4)->Arg(0x44);

}  // namespace

BENCHMARK_MAIN();
