// Files as the library finds and records them, seen from the commands: its directory, the
// names its 260-byte fields can hold, the FPGA configuration a typed name stands for, and the
// path and reason behind its texts that name a file without its directory.
#pragma once

#include <cstddef>
#include <string>

namespace omrix::commands {

// The longest path the library's file-name fields hold; a name the library must record is
// never handed over longer, which the field would cut.
inline constexpr std::size_t kLongestPath = 259;
// The line that refuses a longer path.
std::string LongPathLine(const std::string& path);
// The line that refuses a name the library would record but the setup data file cannot hold
// as it is; "" for a name it can.
std::string UnrecordableNameLine(const std::string& path);

// What ends a directory in a name on this system: '/', and on Windows also '\\'.
std::string DirectorySeparators();

// Where the designs and data files lie, ending in '/': OMRIX_LIBRARY_DIR when set, else beside
// libomrix_dll.so in a build tree or its installed data directory; "" when none can be told.
std::string LibraryDirectory();

// What FpgaConfig is given for a name a person typed (`c NAME`, omrixctl's fpga FILE): FLASH
// or CLEAR for those words, else the absolute path of the file used. A name with a directory
// part is taken from the current directory; a bare name is looked for there, then in the
// library's directory. False, with `refusal` the line that says why, when there is no such
// file or its path cannot be recorded.
bool ConfigurationSource(const std::string& name, std::string& source, std::string& refusal);

// The line that follows a library text naming a file of its directory ("omrix.dat",
// "basic52.dat") without the directory, when the file could not be read or written: the full
// path and the system's reason; "" for any other text.
std::string UnplacedFileNote(const std::string& libraryText);
// Whether `line` is such a note: part of the library's error before it, shown with it.
bool IsUnplacedFileNote(const std::string& line);

}  // namespace omrix::commands
