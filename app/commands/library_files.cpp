#include "library_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#include "checked_file.h"
#include "directories.h"

namespace omrix::commands {

namespace {

namespace fs = std::filesystem;

// The library's texts about a file in its directory that name neither the directory nor why.
// The library writes its own files in the state directory and loads installed ones by name.
enum class Place { State, Loaded };
struct UnplacedFileText {
  const char* text;
  const char* file;
  bool writing;
  Place place;
};
constexpr UnplacedFileText kUnplacedFileTexts[] = {
    {"ERROR: Could not write file \xB4omrix.dat\xB4\n", "omrix.dat", true, Place::State},
    {"\n ERROR: could not open file \xB4omrix.dat\xB4 --> enter FILE EXIT and re-run program\n",
     "omrix.dat", false, Place::State},
    {"ERROR: reading MCS BASIC-52 header file\n", "basic52.dat", false, Place::Loaded},
    {"ERROR: creating MCS BASIC-52 binary header file\n", "basic52.$$$", true, Place::State},
};
// The words FpgaConfig takes for a flash reload and a clear, in any case, by file-name part.
constexpr const char* kSourceWords[] = {"FLASH", "CLEAR"};

std::string FileNamePart(const std::string& path) {
  const std::size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string Directory(const std::string& path) {
  return path.substr(0, path.size() - FileNamePart(path).size());
}

std::string UpperCase(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// The absolute path of `name` from the current directory: the directories resolved as the
// system resolves them, the file's own name kept, so a link to a design stays that link.
std::string AbsolutePath(const std::string& name) {
  std::error_code error;
  const fs::path absolute = fs::absolute(PathOf(name), error);
  if (error) return name;
  const fs::path file = absolute.filename();
  if (file.empty() || file == "." || file == "..") {
    const fs::path whole = fs::weakly_canonical(absolute, error);
    return NameOf(error ? absolute : whole);
  }
  const fs::path directory = fs::weakly_canonical(absolute.parent_path(), error);
  return NameOf(error ? absolute : directory / file);
}

// Why a file that was there to be written could not be: the first cause found, or "".
std::string WriteReason(const std::string& path) {
  if (path.size() > kLongestPath) return SystemReason(ENAMETOOLONG);
  struct stat existing {};
  if (::stat(path.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) return SystemReason(EISDIR);
    // The library leaves a file its owner made read-only as it is.
    if ((existing.st_mode & 0222) == 0) return SystemReason(EACCES);
    if (::access(path.c_str(), W_OK) != 0) return SystemReason(errno);
  }
  return DirectoryWriteReason(Directory(path));
}

std::string NotePrefix(const std::string& path) { return "-> \xB4" + path + "\xB4: "; }

std::string ReadReason(const std::string& path) {
  std::string reason;
  if (!CheckedFile::Open(path, reason)) return reason;
  return "";
}

// Where the library reads a file it loads by name: the state directory's own copy first.
std::string LoadedFilePath(const std::string& name) {
  const Directories directories = ProgramDirectories();
  std::error_code error;
  if (!directories.state.empty() && fs::exists(PathOf(directories.state + name), error))
    return directories.state + name;
  return directories.data + name;
}

}  // namespace

std::string LongPathLine(const std::string& path) {
  return "-> ERROR: file name longer than " + std::to_string(kLongestPath) + " bytes: '" + path +
         "'\n";
}

std::string UnrecordableNameLine(const std::string& path) {
  if (path.size() > kLongestPath) return LongPathLine(path);
  // The setup data file keeps one name a line, followed by a blank and "//" and a comment.
  constexpr const char* kWhiteSpace = " \t\r\n\v\f";
  const bool blankAtEnd = path.empty() || path.find_first_of(kWhiteSpace) == 0 ||
                          path.find_last_of(kWhiteSpace) == path.size() - 1;
  if (!blankAtEnd && path.find_first_of("\r\n") == std::string::npos &&
      path.find(" //") == std::string::npos && path.find("\t//") == std::string::npos)
    return "";
  return "-> ERROR: file name '" + path +
         "' cannot be recorded in \xB4omrix.dat\xB4 (a line break, a blank at either end, or // "
         "after a blank)\n";
}

std::string DirectorySeparators() {
  std::string separators = "/";
  if (fs::path::preferred_separator != '/')
    separators += static_cast<char>(fs::path::preferred_separator);
  return separators;
}

std::string LibraryDirectory() { return ProgramDirectories().data; }

bool ConfigurationSource(const std::string& name, std::string& source, std::string& refusal) {
  for (const char* word : kSourceWords) {
    if (UpperCase(FileNamePart(name)) == word) {
      source = word;
      return true;
    }
  }
  std::vector<std::string> candidates{AbsolutePath(name)};
  const std::string libraryDirectory = LibraryDirectory();
  if (name.find_first_of(DirectorySeparators()) == std::string::npos && !libraryDirectory.empty())
    candidates.push_back(AbsolutePath(libraryDirectory + name));
  std::optional<std::string> unusable;  // the first file there that cannot be loaded
  for (const std::string& candidate : candidates) {
    std::string reason;
    if (CheckedFile::Open(candidate, reason)) {
      refusal = UnrecordableNameLine(candidate);
      source = candidate;
      return refusal.empty();
    }
    if (!unusable && reason != SystemReason(ENOENT))
      unusable = "-> ERROR: FPGA configuration file '" + candidate + "': " + reason + "\n";
  }
  if (unusable) {
    refusal = *unusable;
  } else if (candidates.size() == 1) {
    refusal = "-> ERROR: FPGA configuration file '" + candidates.front() +
              "' not found: " + SystemReason(ENOENT) + "\n";
  } else {
    refusal = "-> ERROR: FPGA configuration file '" + name + "' not found in '" +
              Directory(candidates.front()) + "' nor in '" + Directory(candidates.back()) +
              "': " + SystemReason(ENOENT) + "\n";
  }
  return false;
}

std::string UnplacedFileNote(const std::string& libraryText) {
  for (const UnplacedFileText& known : kUnplacedFileTexts) {
    if (libraryText != known.text) continue;
    const std::string path = known.place == Place::State ? ProgramDirectories().state + known.file
                                                         : LoadedFilePath(known.file);
    std::string reason = known.writing ? WriteReason(path) : ReadReason(path);
    // The system has nothing against the file now: a write failed for what has passed since,
    // a read for what the file holds.
    if (reason.empty())
      reason = known.writing ? "the write failed, though the file can be written now (a full "
                               "disk or a file size limit at the time?)"
                             : "readable, its content refused";
    return NotePrefix(path) + reason + "\n";
  }
  return "";
}

bool IsUnplacedFileNote(const std::string& line) {
  const std::string directory = LibraryDirectory();
  for (const UnplacedFileText& known : kUnplacedFileTexts) {
    const std::string prefix = NotePrefix(directory + known.file);
    if (line.compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

}  // namespace omrix::commands
