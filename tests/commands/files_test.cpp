// The files the menu commands are given: names longer than the library's fields where nothing
// is recorded, the system's reasons behind a refusal, and a file that changes while its slot
// is programmed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "command_fixture.h"
#include "testing/test_seams.h"

namespace omrix::commands::testing {
namespace {

namespace fs = std::filesystem;
using Calls = std::vector<std::string>;

bool Holds(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A path of more than 259 bytes in directories that exist.
std::string LongPath(const std::string& directory, const std::string& name) {
  const std::string deep = directory + std::string(120, 'd') + "/" + std::string(120, 'e') + "/";
  fs::create_directories(deep);
  return deep + name;
}

struct UnrecordedCase {
  const char* name;
  CommandId id;
  const char* file;  // staged in the long directory from the data file of that name, or made
  const char* call;  // the call the long name must reach
};

void PrintTo(const UnrecordedCase& c, std::ostream* out) { *out << c.name; }

class UnrecordedNames : public CommandTest, public ::testing::WithParamInterface<UnrecordedCase> {};

TEST_P(UnrecordedNames, MayBeLongerThanTheLibraryFields) {
  const UnrecordedCase& c = GetParam();
  SetUpBoard();
  const std::string path = LongPath(Directory(), c.file);
  ASSERT_GT(path.size(), kLongestPath);
  if (fs::exists(Staged(c.file))) fs::copy_file(Staged(c.file), path);
  prompts_.files.push_back(path);
  commands_->Run(c.id);
  EXPECT_FALSE(Holds(output_.text_, "longer than")) << output_.text_;
  bool called = false;
  for (const std::string& call : calls_)
    called = called || call.rfind(c.call + ("('" + path), 0) == 0;
  EXPECT_TRUE(called) << ::testing::PrintToString(calls_);
}

INSTANTIATE_TEST_SUITE_P(
    Menu, UnrecordedNames,
    ::testing::Values(UnrecordedCase{"SaveFlash", ID_SAVE_FLASH, "saved.rom", "FlashRead2File"},
                      UnrecordedCase{"SaveBasicRam", ID_SAVE_BASIC_RAM, "saved.b52", "Basic2File"},
                      UnrecordedCase{"BasicProgram", ID_PROGRAM_CPU1, "hello.b52", "BasicFlash"}),
    [](const ::testing::TestParamInfo<UnrecordedCase>& test) {
      return std::string(test.param.name);
    });

TEST_F(CommandTest, LibraryFileFailuresNameTheFileAndTheReason) {
  setenv("OMRIX_LIBRARY_DIR", Directory().c_str(), 1);
  SetUpBoard();
  const std::string setupData = Directory() + "omrix.dat";

  // The BASIC area of an erased slot begins with a header made from basic52.dat.
  commands_->Run(ID_ERASE_CPU1);
  fs::remove(Directory() + "basic52.dat");
  output_.text_.clear();
  prompts_.files.push_back(Staged("hello.b52"));
  commands_->Run(ID_PROGRAM_CPU1);
  const std::string headerSource = Directory() + "basic52.dat";
  EXPECT_TRUE(Holds(output_.text_, "ERROR: reading MCS BASIC-52 header file\n-> \xB4" +
                                       headerSource + "\xB4: No such file or directory\n"))
      << output_.text_;

  // Made read-only by its owner: the library keeps it as it is.
  ASSERT_EQ(chmod(setupData.c_str(), 0444), 0);
  output_.text_.clear();
  commands_->Run(ID_APP_EXIT);
  EXPECT_TRUE(Holds(output_.text_, "ERROR: Could not write file \xB4omrix.dat\xB4\n-> \xB4" +
                                       setupData + "\xB4: Permission denied\n"))
      << output_.text_;

  output_.text_.clear();
  fs::remove(setupData);
  fs::create_directory(setupData);
  commands_->Run(ID_SETUP_378);
  EXPECT_TRUE(Holds(output_.text_,
                    "ERROR: could not open file \xB4omrix.dat\xB4 --> enter FILE "
                    "EXIT and re-run program\n-> \xB4" +
                        setupData + "\xB4: Is a directory\n"))
      << output_.text_;
}

// What happens to the file, and when: while the setup configuration is loaded before the
// erase, while the slot is erased, or inside the library's programming.
enum class When { LoadingSetup, Erasing, Programming };

struct ChangeCase {
  const char* name;
  When when;
  std::function<void(const std::string&)> change;
  const char* line;
};

void Replace(const std::string& path, const std::function<void(const std::string&)>& make) {
  fs::remove_all(path);
  make(path);
}

void Delete(const std::string& path) { fs::remove(path); }
void MakeFifo(const std::string& path) {
  Replace(path, [](const std::string& p) { mkfifo(p.c_str(), 0600); });
}
void MakeDirectory(const std::string& path) {
  Replace(path, [](const std::string& p) { fs::create_directory(p); });
}

const char* const kNothingErased = "' changed after it was checked: nothing erased\n";
const char* const kHoldsWhatWasRead =
    "' changed while it was programmed: CPU file1 holds the file as it was read then, not as it "
    "is now\n";
const char* const kHoldsWhatWasChecked =
    "' went while CPU file1 was erased: the slot holds the file as it was checked, its name is "
    "not recorded\n";

const ChangeCase kChanges[] = {
    {"GrownWhileProgrammed", When::Programming,
     [](const std::string& path) {
       std::ofstream(path, std::ios::binary | std::ios::app) << std::string(0x10000, '\x5A');
     },
     kHoldsWhatWasRead},
    {"ReplacedBySameSizeWhileProgrammed", When::Programming,
     [](const std::string& path) {
       const std::string content = omrix::testing::ReadWholeFile(path);
       Replace(path, [&](const std::string& p) {
         omrix::testing::WriteWholeFile(p, std::string(content.size(), '\x11'));
       });
     },
     kHoldsWhatWasRead},
    {"DeletedBeforeTheErase", When::LoadingSetup, Delete, kNothingErased},
    {"FifoBeforeTheErase", When::LoadingSetup, MakeFifo, kNothingErased},
    {"DirectoryBeforeTheErase", When::LoadingSetup, MakeDirectory, kNothingErased},
    {"DeletedWhileErased", When::Erasing, Delete, kHoldsWhatWasChecked},
    {"FifoWhileErased", When::Erasing, MakeFifo, kHoldsWhatWasChecked},
    {"DirectoryWhileErased", When::Erasing, MakeDirectory, kHoldsWhatWasChecked},
};

void PrintTo(const ChangeCase& c, std::ostream* out) { *out << c.name; }

class ChangedFiles : public CommandTest, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(ChangedFiles, NeverEndAsDoneNorEraseForNothing) {
  const ChangeCase& c = GetParam();
  SetUpBoard();
  const std::string path = Staged("changing.bin");
  fs::copy_file(Staged("demo.bin"), path);
  const std::string checked = omrix::testing::ReadWholeFile(path);
  Library library = RecordingLibrary(calls_);
  bool changed = false;
  const auto changeOnce = [&c, &changed, path] {
    if (!changed) c.change(path);
    changed = true;
  };
  switch (c.when) {
    case When::LoadingSetup:
      commands_->Run(ID_FPGA_CLEAR);  // so that the setup configuration is loaded again
      library.FpgaCfgForSetup = [changeOnce, load = library.FpgaCfgForSetup](std::int32_t forSetup,
                                                                             std::int32_t force) {
        if (forSetup != 0) changeOnce();
        return load(forSetup, force);
      };
      break;
    case When::Erasing:
      library.FlashSectorErase = [changeOnce,
                                  erase = library.FlashSectorErase](std::uint32_t sector) {
        changeOnce();
        return erase(sector);
      };
      break;
    case When::Programming:
      library.FlashProgram = [changeOnce, program = library.FlashProgram](
                                 const char* file, std::uint32_t first, std::uint32_t last,
                                 std::uint32_t offset, std::int32_t verify, std::int32_t reverse) {
        changeOnce();
        return program(file, first, last, offset, verify, reverse);
      };
      break;
  }
  commands_.emplace(library, output_, prompts_);
  calls_.clear();
  prompts_.files.push_back(path);

  const CommandResult result = commands_->Run(ID_PROGRAM_CPU1);
  EXPECT_FALSE(result.succeeded());
  EXPECT_TRUE(Holds(output_.text_, "-> ERROR: file '" + path + c.line)) << output_.text_;
  bool erased = false;
  for (const std::string& call : calls_) erased = erased || Holds(call, "FlashSectorErase");
  EXPECT_EQ(erased, c.when != When::LoadingSetup);
  EXPECT_EQ(calls_.back(), "FpgaCfgForSetup(0, 0)");  // the bracket is closed all the same
  if (c.when == When::Erasing) {
    const std::vector<std::uint8_t>& flash = omrix::testing::Board().flash();
    constexpr std::ptrdiff_t kSlot = 0x10000;
    EXPECT_TRUE(
        std::equal(checked.begin(), checked.end(), flash.begin() + kSlot,
                   [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
  }
}

INSTANTIATE_TEST_SUITE_P(Program, ChangedFiles, ::testing::ValuesIn(kChanges),
                         [](const ::testing::TestParamInfo<ChangeCase>& test) {
                           return std::string(test.param.name);
                         });

}  // namespace
}  // namespace omrix::commands::testing
