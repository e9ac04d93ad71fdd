// Writes the data files the library loads by name into the directory given as the argument:
// one .bit file per known design, the sample CPU program "demo.bin" and the sample user-space
// image "demo.rom".

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "omrix/sim/designs.h"

namespace {

using omrix::sim::DesignInfo;
using omrix::sim::FindDesign;
using omrix::sim::KnownDesigns;
using Bytes = std::vector<uint8_t>;

constexpr size_t kProgramSize = 3000;
constexpr size_t kUserSpaceSize = 0x7C000;  // the user space: the flash below its top 16 KB sector
constexpr size_t kRomBitFileOffset = 0x40000;

// A small fixed generator, so the sample program is the same on every build.
class Lcg {
 public:
  explicit Lcg(uint32_t seed) : state_(seed) {}
  uint8_t next() {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<uint8_t>(state_ >> 24);
  }

 private:
  uint32_t state_;
};

// Code interleaved with erased runs, so programming has bytes to skip; a run also ends it.
Bytes MakeDemoProgram() {
  Bytes program(kProgramSize, 0xFF);
  Lcg random(0xDE30u);
  const std::pair<size_t, size_t> code[] = {{0, 700}, {956, 1400}, {1432, 2100}, {2612, 2900}};
  for (const auto& [begin, end] : code) {
    for (size_t i = begin; i < end; ++i) program[i] = random.next();
  }
  return program;
}

uint8_t Reversed(uint8_t byte) {
  uint8_t result = 0;
  for (int i = 0; i < 8; ++i) {
    if (byte & (1u << i)) result = static_cast<uint8_t>(result | (0x80u >> i));
  }
  return result;
}

// The flash stores FPGA files bit-reversed, because the FPGA reads each byte LSB first.
Bytes MakeDemoRom(const Bytes& program, const Bytes& bitFile) {
  Bytes rom(kUserSpaceSize, 0xFF);
  std::copy(program.begin(), program.end(), rom.begin());
  for (size_t i = 0; i < bitFile.size(); ++i) rom[kRomBitFileOffset + i] = Reversed(bitFile[i]);
  return rom;
}

// Written beside the target and renamed over it, so a failed run leaves no half file.
bool WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::filesystem::path temporary = path;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::fprintf(stderr, "omrix_make_data: cannot write %s\n", temporary.string().c_str());
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::fprintf(stderr, "omrix_make_data: cannot rename %s to %s: %s\n",
                 temporary.string().c_str(), path.string().c_str(), error.message().c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: omrix_make_data OUTPUT_DIRECTORY\n");
    return 2;
  }
  try {
    const std::filesystem::path directory = argv[1];
    std::filesystem::create_directories(directory);

    bool ok = true;
    for (const DesignInfo& info : KnownDesigns()) {
      ok = WriteFile(directory / info.fileName, MakeDesignFile(info)) && ok;
    }
    const Bytes program = MakeDemoProgram();
    ok = WriteFile(directory / "demo.bin", program) && ok;
    const Bytes demoBit = MakeDesignFile(*FindDesign(omrix::sim::Design::Demo));
    ok = WriteFile(directory / "demo.rom", MakeDemoRom(program, demoBit)) && ok;
    return ok ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "omrix_make_data: %s\n", e.what());
    return 1;
  }
}
