// Arbitrary bytes as "omrix.dat", as "basic52.dat" and as an FPGA configuration file, in
// memory: the readers must never crash or overrun, a rewritten "omrix.dat" rewrites to itself
// and reads the same behind more than 1 MiB of comments, and only a file that holds the sync
// word is ever clocked into the FPGA.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "board/basic.h"
#include "board/fpga.h"
#include "core/library_state.h"
#include "core/text.h"
#include "platform/platform.h"
#include "setup/device_setup.h"
#include "setup/setup_data.h"
#include "setup/setup_data_reader.h"
#include "setup/setup_data_writer.h"
#include "testing/test_files.h"
#include "testing/test_seams.h"

namespace {

constexpr const char* kDirectory = "/fuzz/";
constexpr const char* kDataPath = "/fuzz/omrix.dat";

// Every read a reader of the file makes, in the order of the layout.
void ReadEverything(const std::string& text) {
  omrix::SetupDataRecord record;
  std::string entryCodeLine;
  const int sections = omrix::ParseSetupData(text, record, &entryCodeLine);
  if (sections < 0 || sections > omrix::kSetupDataSections) std::abort();
  if (record.fpgaConfigFile.size() >= omrix::kFileNameSize) std::abort();
}

// A port that reaches nothing and never waits: the start-up and the setup run through their
// file handling without a device.
class QuietPort final : public omrix::platform::PortBackend, public omrix::platform::Clock {
 public:
  omrix::platform::Clock& clock() override { return *this; }
  void settle(std::int32_t) override {}
  void sleepMs(std::uint32_t) override {}
  std::uint32_t tickCount() override { return ++ticks_; }

 protected:
  std::uint8_t rawIn(std::uint16_t) override { return 0xFF; }
  void rawOut(std::uint16_t, std::uint8_t) override {}
  bool grant(const omrix::platform::PortRange&) override { return true; }
  bool revoke(const omrix::platform::PortRange&) override { return true; }

 private:
  std::uint32_t ticks_ = 0;
};

template <typename Reader>
int ReadInMemory(const std::string& text, Reader reader) {
  auto files = std::make_unique<omrix::testing::MemoryFileSystem>();
  files->contents[kDataPath] = text;
  omrix::platform::overrideFileSystem(std::move(files));
  return reader();
}

std::string RewriteInMemory(const std::string& text, int& result) {
  auto files = std::make_unique<omrix::testing::MemoryFileSystem>();
  files->contents[kDataPath] = text;
  auto* observer = files.get();
  omrix::platform::overrideFileSystem(std::move(files));
  result = omrix::SaveSetupData();
  const auto found = observer->contents.find(kDataPath);
  return found != observer->contents.end() ? found->second : std::string();
}

// More than a mebibyte of comment lines, which every reader skips before the first section.
const std::string& CommentsPastOneMebibyte() {
  static const std::string comments = [] {
    std::string text;
    while (text.size() <= (1u << 20)) text += "// a comment line in front of the sections\n";
    return text;
  }();
  return comments;
}

void CheckConfigurationFile(const std::string& bytes) {
  auto files = std::make_unique<omrix::testing::MemoryFileSystem>();
  files->contents["/fuzz/design.bit"] = bytes;
  omrix::platform::overrideFileSystem(std::move(files));
  omrix::SetField(omrix::state.loadedFpgaFile, "running.bit");
  const int result = omrix::FpgaConfig("/fuzz/design.bit", 1, 0);
  const std::string sync("\xAA\x99\x55\x66", 4);
  const bool holdsSync = bytes.find(sync) != std::string::npos;
  const bool refused = omrix::FieldText(omrix::state.loadedFpgaFile) == "running.bit";
  if (holdsSync == refused || (refused && result != OMRIX_FPGA_FILE_ERROR)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool prepared = [] {
    omrix::testing::ResetLibrary(kDirectory);
    omrix::state.portBase = 0x378;
    omrix::SetField(omrix::state.fpgaConfigFile, "/home/lab user/designs/blink.bit");
    return true;
  }();
  (void)prepared;

  const std::string text(reinterpret_cast<const char*>(data), size);
  ReadEverything(text);

  int first = -1;
  const std::string rewritten = RewriteInMemory(text, first);
  if (first != 0 && first != 1) std::abort();
  if (first == 1 && !rewritten.empty()) std::abort();  // a corrupt file is deleted
  if (first == 0) {
    int second = -1;
    if (RewriteInMemory(rewritten, second) != rewritten || second != 0) std::abort();
  }
  // A sample of the inputs, so that the run keeps its pace.
  if (std::hash<std::string>{}(text) % 32 == 0) {
    int padded = -1;
    if (RewriteInMemory(CommentsPastOneMebibyte() + text, padded) != rewritten || padded != first)
      std::abort();
  }
  omrix::platform::overridePortBackend(std::make_unique<QuietPort>());
  CheckConfigurationFile(text);
  const int started = ReadInMemory(text, [] { return omrix::InterpreteOmrixDat(); });
  if (started != 0 && started != 1 && started != 2 && started != 4 && started != 8 && started != 16)
    std::abort();
  const int setUp = ReadInMemory(text, [] { return omrix::SetupOmrix(0x378); });
  if (setUp != 1 && setUp != 2) std::abort();  // no board answers here
  omrix::state.portBase = 0x378;

  // The same bytes as basic52.dat: sixteen header bytes come out whatever goes in.
  auto files = std::make_unique<omrix::testing::MemoryFileSystem>();
  files->contents["/fuzz/basic52.dat"] = text;
  auto* observer = files.get();
  omrix::platform::overrideFileSystem(std::move(files));
  const int header = omrix::BasicHeaderCreate("/fuzz/basic52.$$$");
  if (header != 0 && header != 1) std::abort();
  if (observer->contents["/fuzz/basic52.$$$"].size() != 16) std::abort();
  return 0;
}
