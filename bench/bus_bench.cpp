// The library's own CPU time per port access in outbyte and inbyte, against a port that only
// counts; a real IN/OUT on a legacy port costs about 1 us, so 20 ns is 2 %. The same on the
// ppdev path against libieee1284 calls that only count (target: 20 ns beyond the calls), with
// the number of those calls per bus cycle next to the IN/OUT count of direct.
#include <benchmark/benchmark.h>

#include "bus/bus.h"
#include "core/frame.h"
#include "core/library_state.h"
#include "driver/driver.h"
#include "platform/backends.h"
#include "platform/ieee1284_ops.h"
#include "platform/platform.h"
#include "testing/test_seams.h"

namespace {

class CountingPort final : public omrix::platform::PortBackend, public omrix::platform::Clock {
 public:
  std::uint64_t accesses = 0;
  omrix::platform::Clock& clock() override { return *this; }
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
  const double accesses = static_cast<double>(port.accesses);
  state.counters["accesses_per_call"] = accesses / static_cast<double>(state.iterations());
  // CPU time per port access: the whole cycle's time divided by its accesses.
  state.counters["ns_per_access"] =
      benchmark::Counter(accesses, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
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

// libieee1284 as cheap as a call can be: each counts and answers at once.
struct CountingIeee1284 {
  static inline std::uint64_t calls = 0;
  static inline parport port{"parport0", 0x378, 0, nullptr, "/dev/parport0"};
  static inline parport* ports[] = {&port};
  static omrix::platform::Ieee1284Ops Ops() {
    omrix::platform::Ieee1284Ops ops{};
    ops.find_ports = [](parport_list* list, int) {
      list->portc = 1;
      list->portv = ports;
      return 0;
    };
    ops.free_ports = [](parport_list*) {};
    ops.open = [](parport*, int, int*) { return 0; };
    ops.close = [](parport*) { return 0; };
    ops.claim = [](parport*) { return 0; };
    ops.release = [](parport*) {};
    ops.compat_write = [](parport*, int, const char*, size_t) -> ssize_t { return 0; };
    ops.read_data = [](parport*) { return static_cast<int>(++calls & 0); };
    ops.write_data = [](parport*, unsigned char) { ++calls; };
    ops.data_dir = [](parport*, int) { return static_cast<int>(++calls & 0); };
    ops.read_status = [](parport*) { return static_cast<int>(++calls & 0); };
    ops.read_control = [](parport*) { return static_cast<int>(++calls & 0); };
    ops.write_control = [](parport*, unsigned char) { ++calls; };
    ops.epp_read_data = [](parport*, int, char* buffer, size_t) -> ssize_t {
      ++calls;
      *buffer = 0;
      return 1;
    };
    ops.epp_write_data = [](parport*, int, const char*, size_t) -> ssize_t {
      ++calls;
      return 1;
    };
    ops.epp_read_addr = [](parport*, int, char* buffer, size_t) -> ssize_t {
      ++calls;
      *buffer = 0;
      return 1;
    };
    ops.epp_write_addr = [](parport*, int, const char*, size_t) -> ssize_t {
      ++calls;
      return 1;
    };
    return ops;
  }
};

void StartOnPpdev(std::uint8_t mode) {
  omrix::testing::ResetLibrary("/tmp/");
  // The port lock of a benchmark lies beside its library directory, not in the machine's.
  omrix::platform::forceNextPortBackend(
      omrix::platform::makePpdevBackend(CountingIeee1284::Ops(), "/tmp/"));
  omrix::HwaccInit_EnableDllMessages(nullptr);
  omrix::state.portBase = 0x378;
  omrix::EnablePortAccess();
  omrix::state.PPcontrol = mode;
  omrix::state.PPwait = 0;
  CountingIeee1284::calls = 0;
}

void ReportPpdev(benchmark::State& state) {
  const double calls = static_cast<double>(CountingIeee1284::calls);
  state.counters["ieee1284_calls_per_call"] = calls / static_cast<double>(state.iterations());
  state.counters["ns_per_ieee1284_call"] =
      benchmark::Counter(calls, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_outbyte_ppdev(benchmark::State& state) {
  StartOnPpdev(static_cast<std::uint8_t>(state.range(0)));
  for (auto _ : state) omrix::outbyte(3, 0x5A);
  ReportPpdev(state);
}

void BM_inbyte_ppdev(benchmark::State& state) {
  StartOnPpdev(static_cast<std::uint8_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(omrix::inbyte(2));
  ReportPpdev(state);
}

// Arguments: PPcontrol of SPP, PS2, EPP.
BENCHMARK(BM_outbyte_ppdev)->ArgName("PPcontrol")->Arg(0x04)->Arg(0xA4)->Arg(0x44);
BENCHMARK(BM_inbyte_ppdev)->ArgName("PPcontrol")->Arg(0x04)->Arg(0xA4)->Arg(0x44);
BENCHMARK(BM_outbyte)->ArgName("PPcontrol")->Arg(0x04)->Arg(0xA4)->Arg(0x44);
BENCHMARK(BM_inbyte)->ArgName("PPcontrol")->Arg(0x04)->Arg(0xA4)->Arg(0x44);

}  // namespace

BENCHMARK_MAIN();
