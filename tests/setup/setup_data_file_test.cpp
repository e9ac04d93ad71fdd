// Writing "omrix.dat" and the de-initialisation rewrite, through the real and a faulty file layer.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>

#include "core/library_state.h"
#include "core/text.h"
#include "platform/system_impl.h"
#include "setup/setup_data.h"
#include "setup/setup_data_reader.h"
#include "setup/setup_data_writer.h"
#include "support/library_fixture.h"
#include "testing/test_files.h"

namespace omrix {
namespace {

namespace fs = std::filesystem;

const char* const kWriteError = "ERROR: Could not write file \xB4omrix.dat\xB4\n";

using testing::ReadWholeFile;

std::string Golden(const std::string& name) {
  return ReadWholeFile(std::string(OMRIX_TEST_SOURCE_DIR) + "/setup/golden/" + name);
}

using testing::WriteWholeFile;

class SetupDataFileTest : public testing::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    state.messageCallback = &Sink;
  }
  std::string DataPath() const { return Directory() + "omrix.dat"; }
  std::vector<std::string> FilesInDirectory() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Directory()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  // Memory as a session leaves it before the rewrite of the edited factory file.
  void SetSessionState() {
    state.portBase = 0x378;
    state.PPirq = 0;
    state.PPcontrol = 0x40;
    state.PPwait = 2;
    state.auxPortBase = 0x999;  // the file's value is written, not this
    SetField(state.setupFpgaFile, "in-memory.bit");
    SetField(state.fpgaConfigFile, "/home/lab user/designs/blink.bit");
    SetField(state.flashFpgaFile0, "/home/lab user/designs/blink.bit");
    SetField(state.flashFpgaFile1, "ERASED");
    SetField(state.flashCpuFile0, "/srv/cpu0.bin");
    SetField(state.flashCpuFile1, "UNKNOWN");
    SetField(state.flashCpuFile2, "/srv/cpu2.bin");
    SetField(state.flashCpuFile3, "/srv/cpu3.b52");
  }
};

TEST_F(SetupDataFileTest, NewFileIsTheLayoutByteForByte) {
  EXPECT_EQ(FormatSetupData(RecordForNewFile()), Golden("new_file.dat"));
  ASSERT_EQ(WriteSetupData(RecordForNewFile()), 0);
  EXPECT_EQ(ReadWholeFile(DataPath()), Golden("new_file.dat"));
  EXPECT_EQ(FilesInDirectory(), std::vector<std::string>{"omrix.dat"});
  EXPECT_EQ(Transcript(), "");
}

TEST_F(SetupDataFileTest, FactoryFileAnnouncesTheNextSerialNumber) {
  InitData read;
  read.initEntryCode = "R3kTBwN";
  read.initPortBase = 0x378;
  read.initFpgaFile = "demo.bit";
  read.manufacturer = "Varnotek";
  read.deviceName = "omrix";
  read.signatureTester = "QA_bench_2";
  read.boardTypecode = 17;
  read.boardRevision = 3;
  read.fpgaType = "XC2S100";
  read.serialNumber = 1000;
  state.portBase = 0x378;
  state.PPcontrol = 0x44;  // the factory file records the default port settings
  SetField(state.fpgaConfigFile, "demo.bit");
  for (FileNameField* slot : {&state.flashFpgaFile0, &state.flashFpgaFile1, &state.flashCpuFile0,
                              &state.flashCpuFile1, &state.flashCpuFile2, &state.flashCpuFile3})
    SetField(*slot, "UNKNOWN");
  EXPECT_EQ(FormatSetupData(RecordForFactory(read, "setup.bit", 0x378)),
            Golden("factory_file.dat"));
}

TEST_F(SetupDataFileTest, RewriteKeepsTheFileSectionsAndTakesRunDataFromMemory) {
  WriteWholeFile(DataPath(), Golden("edited_factory_file.dat"));
  SetSessionState();
  ASSERT_EQ(SaveSetupData(), 0);
  EXPECT_EQ(ReadWholeFile(DataPath()), Golden("edited_factory_file_saved.dat"));
  EXPECT_EQ(FieldText(state.setupFpgaFile), "mysetup.bit");  // the file's value replaces memory's
  EXPECT_EQ(Transcript(), "");
}

TEST_F(SetupDataFileTest, RewriteSetsTheInitLineOfPPcontrol) {
  const std::pair<std::uint8_t, const char*> cases[] = {{0x00, "\n4 //HEX PPcontrol\n"},
                                                        {0x40, "\n44 //HEX PPcontrol\n"},
                                                        {0xA4, "\nA4 //HEX PPcontrol\n"},
                                                        {0x10, "\n14 //HEX PPcontrol\n"}};
  for (const auto& [control, line] : cases) {
    WriteWholeFile(DataPath(), Golden("new_file.dat"));
    state.PPcontrol = control;
    ASSERT_EQ(SaveSetupData(), 0);
    EXPECT_NE(ReadWholeFile(DataPath()).find(line), std::string::npos) << line;
  }
}

TEST_F(SetupDataFileTest, AFileWrittenOnWindowsRewritesAsItsLfTwin) {
  const std::string lf = Golden("edited_factory_file.dat");
  std::string unix;
  for (char c : lf)
    if (c != '\r') unix += c;
  SetSessionState();
  WriteWholeFile(DataPath(), unix);
  ASSERT_EQ(SaveSetupData(), 0);
  const std::string fromLf = ReadWholeFile(DataPath());
  SetSessionState();
  WriteWholeFile(DataPath(), lf);
  ASSERT_EQ(SaveSetupData(), 0);
  EXPECT_EQ(ReadWholeFile(DataPath()), fromLf);
}

TEST_F(SetupDataFileTest, RoundTripOfExtremeValues) {
  SetupDataRecord record;
  record.init.initEntryCode = "R3kTBwN";
  record.init.initPortBase = 0xFFFB;
  record.init.boardTypecode = 4294967295u;
  record.init.boardRevision = 0;
  record.init.serialNumber = 4294967295u;
  record.init.manufacturer = std::string(80, 'M');
  record.auxPortBase = 0x2BC;
  WriteWholeFile(DataPath(), FormatSetupData(record));
  SetField(state.fpgaConfigFile, "/home/a b/" + std::string(240, 'p'));  // 250 characters
  state.portBase = 0x278;
  ASSERT_EQ(SaveSetupData(), 0);
  const std::string saved = ReadWholeFile(DataPath());
  EXPECT_EQ(FormatSetupData(RecordForSave(record.init, 0x2BC, 0)), saved);
  SetupDataRecord read;
  ASSERT_EQ(ParseSetupData(saved, read), kSetupDataSections);
  EXPECT_EQ(read.init.manufacturer, std::string(80, 'M'));
  EXPECT_EQ(read.init.serialNumber, 4294967295u);
  EXPECT_EQ(read.init.boardTypecode, 4294967295u);
  EXPECT_EQ(read.init.initPortBase, 0xFFFBu);
  EXPECT_EQ(read.fpgaConfigFile, "/home/a b/" + std::string(240, 'p'));
  EXPECT_EQ(read.portBase, 0x278u);
}

TEST_F(SetupDataFileTest, MissingSectionsMakeTheFileCorrupt) {
  const std::string complete = Golden("new_file.dat");
  const char* const heads[] = {"#init_entrycode", "#init_data", "#setup_data", "#run_data",
                               "#flash_content"};
  std::vector<std::string> corrupt = {"", "just text\n", "#init_entrycode\n"};
  for (const char* head : heads) {
    std::string text = complete;
    text.replace(text.find(head), 1, "/");  // the head is now a comment
    corrupt.push_back(text);
  }
  // #setup_data before #init_data: the search never goes back.
  std::string swapped = complete;
  const std::size_t setupBegin = swapped.find("#setup_data");
  const std::string setupSection =
      swapped.substr(setupBegin, swapped.find("#run_data") - setupBegin);
  swapped.erase(setupBegin, setupSection.size());
  swapped.insert(swapped.find("#init_data"), setupSection);
  corrupt.push_back(swapped);
  for (const std::string& text : corrupt) {
    ClearTranscript();
    WriteWholeFile(DataPath(), text);
    EXPECT_EQ(SaveSetupData(), 1);
    EXPECT_EQ(Transcript(),
              "ERROR: \xB4omrix.dat\xB4 corrupted, file deleted --> enter FILE EXIT and "
              "re-run program\n");
    EXPECT_FALSE(fs::exists(DataPath()));
  }
}

TEST_F(SetupDataFileTest, FileEndingInsideTheLastSectionIsNotCorrupt) {
  std::string text = Golden("new_file.dat");
  text.resize(text.find("#flash_content\n") + 15);
  WriteWholeFile(DataPath(), text);
  EXPECT_EQ(SaveSetupData(), 0);
  EXPECT_EQ(Transcript(), "");
}

TEST_F(SetupDataFileTest, UnreadableFileIsLeftAlone) {
  EXPECT_EQ(SaveSetupData(), 1);  // missing
  EXPECT_EQ(Transcript(), "ERROR: Could not read file \xB4omrix.dat\xB4\n");
  EXPECT_FALSE(fs::exists(DataPath()));

  fs::create_directory(DataPath());  // opens, but cannot be read
  ClearTranscript();
  EXPECT_EQ(SaveSetupData(), 1);
  EXPECT_EQ(Transcript(), "ERROR: Could not read file \xB4omrix.dat\xB4\n");
  EXPECT_TRUE(fs::is_directory(DataPath()));
}

TEST_F(SetupDataFileTest, StateDirectoryTooLongTakesTheOpenFailurePath) {
  SetField(state.stateDirectory, "/" + std::string(250, 'd') + "/");
  EXPECT_EQ(SaveSetupData(), 1);
  EXPECT_EQ(Transcript(), "ERROR: Could not read file \xB4omrix.dat\xB4\n");
  ClearTranscript();
  EXPECT_EQ(WriteSetupData(RecordForNewFile()), 1);
  EXPECT_EQ(Transcript(), kWriteError);
}

struct WriteFault {
  const char* name;
  std::function<void(testing::FileFaults&)> arrange;
};

TEST_F(SetupDataFileTest, FailedWriteLeavesTheOldFileAndNoTemporaryFile) {
  const WriteFault faults[] = {
      {"open_for_writing", [](auto& f) { f.failOpenForWriting = true; }},
      {"disk_full_half_way", [](auto& f) { f.failWriteAfterBytes = 300; }},
      {"disk_full_at_once", [](auto& f) { f.failWriteAfterBytes = 0; }},
      {"close", [](auto& f) { f.failClose = true; }},
      {"rename", [](auto& f) { f.failRename = true; }},
  };
  for (const WriteFault& fault : faults) {
    SCOPED_TRACE(fault.name);
    const std::string old = Golden("edited_factory_file.dat");
    WriteWholeFile(DataPath(), old);
    auto injected = testing::InstallFaultyFiles();
    fault.arrange(*injected);
    ClearTranscript();
    state.portBase = 0x378;
    EXPECT_EQ(SaveSetupData(), 1);
    EXPECT_EQ(Transcript(), kWriteError);
    EXPECT_EQ(ReadWholeFile(DataPath()), old);
    EXPECT_EQ(FilesInDirectory(), std::vector<std::string>{"omrix.dat"});
  }
}

// The real file layer, noting how many files it had flushed to the device at each rename.
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

// A crash right after the rename must find the new file's data, not an empty file.
TEST_F(SetupDataFileTest, ReplacementIsOnTheDiskBeforeTheRename) {
  WriteWholeFile(DataPath(), Golden("new_file.dat"));
  std::vector<std::uint64_t> flushesAtRename;
  platform::overrideFileSystem(std::make_unique<FlushWatchingFiles>(flushesAtRename));
  const std::uint64_t before = platform::fileFlushCount();
  state.portBase = 0x378;
  ASSERT_EQ(SaveSetupData(), 0);
  EXPECT_EQ(flushesAtRename, std::vector<std::uint64_t>{before + 1});
}

TEST_F(SetupDataFileTest, ReadFailureInTheMiddleIsNotAnEndOfFile) {
  WriteWholeFile(DataPath(), Golden("new_file.dat"));
  testing::InstallFaultyFiles()->failRead = true;
  EXPECT_EQ(SaveSetupData(), 1);
  EXPECT_EQ(Transcript(), "ERROR: Could not read file \xB4omrix.dat\xB4\n");
  EXPECT_EQ(ReadWholeFile(DataPath()), Golden("new_file.dat"));
}

TEST_F(SetupDataFileTest, ReplacementKeepsPermissionsAndWritesThroughALink) {
  const std::string target = Directory() + "real-omrix.dat";
  WriteWholeFile(target, Golden("new_file.dat"));
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  fs::create_symlink(target, DataPath());
  state.portBase = 0x278;
  ASSERT_EQ(SaveSetupData(), 0);
  EXPECT_TRUE(fs::is_symlink(DataPath()));
  EXPECT_NE(ReadWholeFile(target).find("#run_data\n278 //HEX parallel port base-address\n"),
            std::string::npos)
      << ReadWholeFile(target);
  struct stat info {};
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(FilesInDirectory(), (std::vector<std::string>{"omrix.dat", "real-omrix.dat"}));
}

// A link to a device or a FIFO is no file to replace: as root, the rename would succeed.
TEST_F(SetupDataFileTest, LinkToSomethingElseThanAFileIsNeverReplaced) {
  const std::string fifo = Directory() + "pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  fs::create_symlink(fifo, DataPath());
  EXPECT_EQ(WriteSetupData(RecordForNewFile()), 1);
  EXPECT_EQ(Transcript(), "ERROR: Could not write file \xB4omrix.dat\xB4\n");
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_EQ(FilesInDirectory(), (std::vector<std::string>{"omrix.dat", "pipe"}));
}

TEST_F(SetupDataFileTest, LeftoverTemporaryFilesNeverStopARewriteAndStaleOnesGo) {
  for (int i = 0; i < 100; ++i)
    WriteWholeFile(DataPath() + ".tmp" + std::to_string(i), "left by a crash");
  const std::string stale = DataPath() + ".tmp0";
  const struct timespec anHourAgo[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, stale.c_str(), anHourAgo, 0), 0);
  ASSERT_EQ(WriteSetupData(RecordForNewFile()), 0);
  EXPECT_EQ(ReadWholeFile(DataPath()), Golden("new_file.dat"));
  EXPECT_FALSE(fs::exists(stale));
  // A fresh one may belong to a writer that is still at work.
  EXPECT_EQ(ReadWholeFile(DataPath() + ".tmp1"), "left by a crash");
  EXPECT_EQ(FilesInDirectory().size(), 100u);
}

TEST_F(SetupDataFileTest, ReadOnlyFileIsNotReplaced) {
  WriteWholeFile(DataPath(), Golden("new_file.dat"));
  ASSERT_EQ(chmod(DataPath().c_str(), 0444), 0);
  state.portBase = 0x378;
  EXPECT_EQ(DeInitOmrix(1), 1);
  EXPECT_EQ(Transcript(), kWriteError);
  EXPECT_EQ(ReadWholeFile(DataPath()), Golden("new_file.dat"));
  EXPECT_EQ(FilesInDirectory(), std::vector<std::string>{"omrix.dat"});
}

TEST_F(SetupDataFileTest, LargeFileIsReadWholeAndAnAbsurdOneIsLeftAlone) {
  std::string comments;
  for (int i = 0; i < 17000; ++i)
    comments += "// a comment line that another tool put in front of the sections\n";
  ASSERT_GT(comments.size(), 1u << 20);
  WriteWholeFile(DataPath(), comments + Golden("new_file.dat"));
  state.portBase = 0x378;
  EXPECT_EQ(SaveSetupData(), 0);
  EXPECT_EQ(Transcript(), "");

  WriteWholeFile(DataPath(), Golden("new_file.dat"));
  fs::resize_file(DataPath(), 65u << 20);  // sparse
  EXPECT_EQ(SaveSetupData(), 1);
  EXPECT_EQ(Transcript(), "ERROR: Could not read file \xB4omrix.dat\xB4\n");
  EXPECT_EQ(fs::file_size(DataPath()), 65u << 20);
}

}  // namespace
}  // namespace omrix
