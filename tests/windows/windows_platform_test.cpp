// The Windows file layer: what Windows does differently from Linux, held to what the library
// relies on.
#include <gtest/gtest.h>

#include <string>

#include "driver/driver.h"
#include "platform/platform.h"
#include "setup/setup_data_reader.h"
#include "setup/setup_data_writer.h"
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

// The driver's device, absent as on a machine without the driver file.
class MissingDevice final : public DriverDevice {
 public:
  platform::Handle open(const std::string&, DeviceOpenMode) override {
    return platform::kInvalidHandle;
  }
};

bool ServiceExists() {
  platform::System& system = platform::system();
  const platform::Handle manager = system.openServiceManager(kScManagerAllAccess);
  if (manager == platform::kInvalidHandle) return false;
  const platform::Handle service =
      system.openService(manager, kDriverServiceName, kServiceAllAccess);
  const bool exists = service != platform::kInvalidHandle;
  if (exists) system.closeServiceHandle(service);
  system.closeServiceHandle(manager);
  return exists;
}

class WindowsDriverService : public testing::LibraryTest {
 protected:
  void TearDown() override {
    overrideDriverDevice(nullptr);
    LibraryTest::TearDown();
  }
};

// The service manager creates the driver's service, but it cannot start without the driver
// file: the load fails and leaves no service behind. (Wine completes a deletion when the last
// handle closes, so a service made again at once may not yet be listed: not tested here.)
TEST_F(WindowsDriverService, ServiceThatCannotStartIsRemoved) {
  overrideDriverDevice(std::make_unique<MissingDevice>());
  ASSERT_FALSE(ServiceExists());
  EXPECT_EQ(DriverLoad(), 0);
  EXPECT_FALSE(ServiceExists());
}

}  // namespace
}  // namespace omrix
