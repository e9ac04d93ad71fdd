// The window while the library works: how long the GUI thread stands still during a 64 KB
// program-and-verify on the simulated board (target: at most 50 ms), and what one piece of
// output costs in a window that already holds 10^5 lines (target: at most 50 µs).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "commands/menu.h"
#include "main_frame.h"

namespace {

using namespace omrix::commands;
using namespace omrix::shell;

class ChoosingPrompts final : public Prompts {
 public:
  explicit ChoosingPrompts(std::string file) : file_(std::move(file)) {}
  Answer MessageBox(const std::string&, Buttons, Icon) override { return Answer::Cancel; }
  std::optional<std::string> ChooseFile(const FileChooser&) override { return file_; }
  // The benchmark runs no test routine: nothing beeps, no loop waits for a window.
  void Beep() override {}
  std::unique_ptr<Progress> ShowProgress() override { return nullptr; }

 private:
  std::string file_;
};

// Runs the event loop until `done`, and gives the longest time between two turns of it.
qint64 LongestStallMs(const std::function<bool()>& done) {
  QElapsedTimer clock;
  clock.start();
  qint64 last = 0;
  qint64 longest = 0;
  while (!done()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    const qint64 now = clock.elapsed();
    longest = std::max(longest, now - last);
    last = now;
  }
  return longest;
}

void GuiStallDuringProgramAndVerify(benchmark::State& state) {
  const std::string directory = std::string(std::getenv("OMRIX_LIBRARY_DIR")) + "/";
  for (const char* name : {"setup.bit", "demo.bit"})
    std::filesystem::copy_file(std::string(OMRIX_DATA_DIR) + "/" + name, directory + name);
  {
    std::ofstream image(directory + "full.bin", std::ios::binary);
    for (int i = 0; i < 0x10000; ++i) image.put(static_cast<char>(i * 7));
  }
  ChoosingPrompts prompts(directory + "full.bin");
  CMainFrame frame(LinkedLibrary(), prompts);
  frame.logDirectory = QString::fromStdString(directory);
  frame.StartUp();
  LongestStallMs([&] { return !frame.Busy(); });
  frame.PostCommand(ID_SETUP_378);
  LongestStallMs([&] { return !frame.Busy(); });
  qint64 longest = 0;
  for (auto _ : state) {
    frame.PostCommand(ID_PROGRAM_CPU1);
    longest = std::max(longest, LongestStallMs([&] { return !frame.Busy(); }));
  }
  state.counters["longest_stall_ms"] = static_cast<double>(longest);
  frame.PostCommand(ID_APP_EXIT);
  LongestStallMs([&] { return !frame.Busy(); });
}
BENCHMARK(GuiStallDuringProgramAndVerify)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->UseRealTime();

void AppendOutputToALongSession(benchmark::State& state) {
  COutputEdit edit;
  QString lines;
  for (int i = 0; i < 100000; ++i) lines += QStringLiteral("Sector erase flash at 10000h...\n");
  edit.AppendOutput(lines);
  for (auto _ : state) edit.AppendOutput(QStringLiteral("-> done\n"));
  state.counters["lines"] = static_cast<double>(edit.document()->blockCount());
}
BENCHMARK(AppendOutputToALongSession)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  // The library takes its directory when it is loaded, before main: run again with a new one.
  if (std::getenv("OMRIX_GUI_BENCH_DIRECTORY") == nullptr) {
    char pattern[] = "/tmp/omrix-gui-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 1;
    setenv("OMRIX_GUI_BENCH_DIRECTORY", pattern, 1);
    setenv("OMRIX_LIBRARY_DIR", pattern, 1);
    unsetenv("OMRIX_SIM");
    unsetenv("OMRIX_PORT_IO");
    execv("/proc/self/exe", argv);
    return 1;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(std::getenv("OMRIX_GUI_BENCH_DIRECTORY"), ignored);
  return 0;
}
