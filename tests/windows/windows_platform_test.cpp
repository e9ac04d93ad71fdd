// The Windows file layer: what Windows does differently from Linux, held to what the library
// relies on.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/frame.h"
#include "driver/driver.h"
#include "platform/platform.h"
#include "platform/system_impl.h"
#include "setup/setup_data_reader.h"
#include "setup/setup_data_writer.h"
#include "support/environment.h"
#include "support/files.h"
#include "support/library_fixture.h"
#include "testing/test_seams.h"

namespace omrix {
namespace {

std::string ReadThroughTheLibrary(const std::string& path) {
  std::unique_ptr<platform::File> file = platform::files().open(path, platform::FileMode::Read);
  std::string text;
  if (!file) return text;
  char buffer[256];
  std::size_t got = 0;
  while (file->read(buffer, sizeof buffer, got) && got > 0) text.append(buffer, got);
  return text;
}

// NUL swallows everything and a directory holds no bytes: writing there would report success
// for data that is lost.
TEST(WindowsFiles, OutputsAreDiskFilesOnly) {
  testing::TemporaryDirectory directory;
  const std::string refused[] = {"NUL", "nul", directory.path() + "NUL", directory.path()};
  for (const std::string& path : refused) {
    SCOPED_TRACE(path);
    EXPECT_EQ(platform::files().open(path, platform::FileMode::WriteTruncate), nullptr);
    EXPECT_EQ(platform::files().open(path, platform::FileMode::CreateNew), nullptr);
  }
  EXPECT_NE(platform::files().open(directory.path() + "out.bin", platform::FileMode::WriteTruncate),
            nullptr);
}

// Text mode would end a read at 0x1A and add or drop carriage returns.
TEST(WindowsFiles, BytesRoundTripUnchanged) {
  testing::TemporaryDirectory directory;
  const std::string path = directory.path() + "bytes.bin";
  const std::string bytes(
      "a\x1A"
      "b\r\nc\nd\0e\r",
      10);
  {
    auto file = platform::files().open(path, platform::FileMode::WriteTruncate);
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(file->write(bytes.data(), bytes.size()));
    ASSERT_TRUE(file->close());
  }
  EXPECT_EQ(ReadThroughTheLibrary(path), bytes);
}

TEST(WindowsFiles, ReadOnlyAttributeIsWhatPermissionsSay) {
  testing::TemporaryDirectory directory;
  const std::string path = directory.path() + "kept.dat";
  testing::WriteWholeFile(path, "kept");
  platform::FileStatus status;
  ASSERT_TRUE(platform::files().setPermissions(path, 0444));
  ASSERT_TRUE(platform::files().status(path, status));
  EXPECT_FALSE(status.writable);
  EXPECT_EQ(platform::files().open(path, platform::FileMode::WriteTruncate), nullptr);
  EXPECT_EQ(testing::ReadWholeFile(path), "kept");
  ASSERT_TRUE(platform::files().setPermissions(path, 0644));
  ASSERT_TRUE(platform::files().status(path, status));
  EXPECT_TRUE(status.writable);
}

class WindowsSetupData : public testing::LibraryTest {};

// Notepad shows omrix.dat as lines; the reader takes it back as the same record.
TEST_F(WindowsSetupData, OmrixDatIsWrittenWithCrLfAndReadBack) {
  testing::ResetLibrary(Directory());
  ASSERT_EQ(WriteSetupData(RecordForNewFile()), 0);
  const std::string text = testing::ReadWholeFile(Directory() + "omrix.dat");
  ASSERT_FALSE(text.empty());
  for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
    ASSERT_TRUE(at > 0 && text[at - 1] == '\r') << "a bare LF at " << at;
  SetupDataRecord fromFile;
  SetupDataRecord fromLines;
  const std::string lines = FormatSetupData(RecordForNewFile());
  EXPECT_EQ(ParseSetupData(text, fromFile), ParseSetupData(lines, fromLines));
  EXPECT_EQ(FormatSetupData(fromFile), lines);
}

// The real file layer, noting how many files it had flushed to the disk at each rename.
class FlushWatchingFiles final : public platform::FileSystem {
 public:
  explicit FlushWatchingFiles(std::vector<std::uint64_t>& flushesAtRename)
      : flushesAtRename_(flushesAtRename) {}
  std::unique_ptr<platform::File> open(const std::string& path, platform::FileMode mode) override {
    return real_->open(path, mode);
  }
  std::unique_ptr<platform::File> createTemporary(const std::string& prefix,
                                                  std::string& path) override {
    return real_->createTemporary(prefix, path);
  }
  bool listDirectory(const std::string& directory, std::vector<std::string>& names) override {
    return real_->listDirectory(directory, names);
  }
  bool rename(const std::string& from, const std::string& to) override {
    flushesAtRename_.push_back(platform::fileFlushCount());
    return real_->rename(from, to);
  }
  bool remove(const std::string& path) override { return real_->remove(path); }
  bool status(const std::string& path, platform::FileStatus& status) override {
    return real_->status(path, status);
  }
  bool setPermissions(const std::string& path, std::uint32_t permissions) override {
    return real_->setPermissions(path, permissions);
  }
  std::string resolveLinks(const std::string& path) override { return real_->resolveLinks(path); }

 private:
  std::unique_ptr<platform::FileSystem> real_ = platform::makeFileSystem();
  std::vector<std::uint64_t>& flushesAtRename_;
};

// A crash right after the replacement must find the new file's data.
TEST_F(WindowsSetupData, OmrixDatIsOnTheDiskBeforeItReplacesTheOldOne) {
  const std::string path = Directory() + "omrix.dat";
  ASSERT_EQ(WriteSetupData(RecordForNewFile()), 0);
  std::vector<std::uint64_t> flushesAtRename;
  platform::overrideFileSystem(std::make_unique<FlushWatchingFiles>(flushesAtRename));
  const std::uint64_t before = platform::fileFlushCount();
  SetupDataRecord record = RecordForNewFile();
  record.portBase = 0x278;
  ASSERT_EQ(WriteSetupData(record), 0);
  EXPECT_EQ(flushesAtRename, std::vector<std::uint64_t>{before + 1});
  SetupDataRecord written;
  ASSERT_EQ(ParseSetupData(testing::ReadWholeFile(path), written), 5);
  EXPECT_EQ(written.portBase, 0x278u);
}

// The real service manager, with each service operation and its outcome written down.
class LoggedSystem final : public platform::System {
 public:
  LoggedSystem() : real_(platform::makeSystem()) {}
  bool queryVersion(platform::VersionInfo& info) override { return real_->queryVersion(info); }
  bool ownModulePath(std::string& path) override { return real_->ownModulePath(path); }
  bool programPath(std::string& path) override { return real_->programPath(path); }
  bool shortPathName(const std::string& path, std::string& shortPath) override {
    return real_->shortPathName(path, shortPath);
  }
  void beep(std::uint32_t) override {}
  std::int64_t calendarTime() override { return real_->calendarTime(); }
  platform::Handle openServiceManager(std::uint32_t access) override {
    return real_->openServiceManager(access);
  }
  platform::Handle createService(platform::Handle manager,
                                 const platform::ServiceConfig& config) override {
    created_ = config;
    return Log("create", real_->createService(manager, config));
  }
  platform::Handle openService(platform::Handle manager, const std::string& name,
                               std::uint32_t access) override {
    return Log("open", real_->openService(manager, name, access));
  }
  bool startService(platform::Handle service) override {
    return Log("start", real_->startService(service));
  }
  bool deleteService(platform::Handle service) override {
    return Log("delete", real_->deleteService(service));
  }
  bool closeServiceHandle(platform::Handle handle) override {
    return real_->closeServiceHandle(handle);
  }
  const std::vector<std::string>& log() const { return log_; }
  const platform::ServiceConfig& created() const { return created_; }

 private:
  platform::Handle Log(const char* what, platform::Handle handle) {
    Log(what, handle != platform::kInvalidHandle);
    return handle;
  }
  bool Log(const char* what, bool done) {
    log_.push_back(std::string(what) + (done ? "" : " failed"));
    return done;
  }
  std::unique_ptr<platform::System> real_;
  std::vector<std::string> log_;
  platform::ServiceConfig created_;
};

// Runs `operation` on the driver's service entry; false when there is none.
template <typename Operation>
bool WithService(Operation operation) {
  platform::System& system = platform::system();
  const platform::Handle manager = system.openServiceManager(kScManagerAllAccess);
  if (manager == platform::kInvalidHandle) return false;
  const platform::Handle service =
      system.openService(manager, kDriverServiceName, kServiceAllAccess);
  const bool exists = service != platform::kInvalidHandle;
  if (exists) operation(system, service);
  if (exists) system.closeServiceHandle(service);
  system.closeServiceHandle(manager);
  return exists;
}

bool ServiceExists() {
  return WithService([](platform::System&, platform::Handle) {});
}

// An entry left by an older install, whose driver file is gone.
void InstallStaleEntry() {
  platform::System& system = platform::system();
  const platform::Handle manager = system.openServiceManager(kScManagerAllAccess);
  ASSERT_NE(manager, platform::kInvalidHandle);
  platform::ServiceConfig config;
  config.name = config.displayName = kDriverServiceName;
  config.access = kServiceAllAccess;
  config.type = kServiceKernelDriver;
  config.startType = kServiceAutoStart;
  config.errorControl = kServiceErrorNormal;
  config.imagePath = "C:\\gone\\PORTGATE.sys";
  const platform::Handle service = system.createService(manager, config);
  EXPECT_NE(service, platform::kInvalidHandle);
  system.closeServiceHandle(service);
  system.closeServiceHandle(manager);
}

class WindowsDriverService : public testing::LibraryTest {
 protected:
  void TearDown() override {
    WithService(
        [](platform::System& system, platform::Handle service) { system.deleteService(service); });
    LibraryTest::TearDown();
  }
};

// The portgate backend against wine's service manager, which has no such driver: the device
// does not open and the service cannot start without PORTGATE.sys beside the program. The entry
// the bring-up made is deleted again, a stale one is replaced once, and the result is the fatal
// line. The prefix must have one service manager: a second one (from a second `wineboot --init`)
// keeps a list of its own, and each step, on a manager of its own, may reach either.
TEST_F(WindowsDriverService, BringUpWithoutTheDriverLeavesNoService) {
  struct Case {
    const char* name;
    bool staleEntry;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {"no entry", false, {"open failed", "create", "open", "start failed", "open", "delete"}},
      {"stale entry",
       true,
       {"open", "start failed", "create failed", "open", "delete", "create", "open", "start failed",
        "open", "delete"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ResetLibrary(Directory());
    ClearTranscript();
    if (c.staleEntry) InstallStaleEntry();
    ASSERT_EQ(ServiceExists(), c.staleEntry);
    testing::SetEnvironment("OMRIX_PORT_IO", "portgate");
    auto logged = std::make_unique<LoggedSystem>();
    const LoggedSystem& system = *logged;
    platform::overrideSystem(std::move(logged));

    EXPECT_EQ(HwaccInit_EnableDllMessages(&Sink), 0);
    testing::SetEnvironment("OMRIX_PORT_IO", nullptr);
    EXPECT_EQ(Transcript(),
              "\n FATAL ERROR: The driver for hardware access could not be loaded\n\n");
    EXPECT_EQ(system.log(), c.log);
    std::string program;
    ASSERT_TRUE(platform::system().programPath(program));
    EXPECT_EQ(system.created().imagePath,
              program.substr(0, program.find_last_of('\\') + 1) + "PORTGATE.sys");
    platform::overrideSystem(nullptr);
    EXPECT_FALSE(ServiceExists());
  }
}

}  // namespace
}  // namespace omrix
