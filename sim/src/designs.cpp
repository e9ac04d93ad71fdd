#include "omrix/sim/designs.h"

#include <iterator>

#include "omrix/sim/bitfile.h"

namespace omrix::sim {
namespace {

constexpr size_t kBitstreamSize = 16384;
// Dummy word and sync word open every configuration stream.
constexpr uint8_t kStreamHead[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0x99, 0x55, 0x66};
// Writes DESYNC to the command register, so the FPGA stops taking configuration data.
constexpr uint8_t kStreamTail[] = {0x30, 0x00, 0x80, 0x01, 0x00, 0x00, 0x00, 0x0D};

// FNV-1a, so each design name seeds its own stream.
uint64_t HashName(const char* name) {
  uint64_t hash = 0xCBF29CE484222325u;
  for (; *name; ++name) {
    hash ^= static_cast<unsigned char>(*name);
    hash *= 0x100000001B3u;
  }
  return hash;
}

// splitmix64: fixed arithmetic, so the files are the same on every compiler and library.
uint64_t NextRandom(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

std::vector<uint8_t> MakeBitstream(const char* designName) {
  std::vector<uint8_t> stream(std::begin(kStreamHead), std::end(kStreamHead));
  uint64_t state = HashName(designName);
  while (stream.size() < kBitstreamSize - sizeof kStreamTail) {
    stream.push_back(static_cast<uint8_t>(NextRandom(state) >> 56));
  }
  stream.insert(stream.end(), std::begin(kStreamTail), std::end(kStreamTail));
  return stream;
}

constexpr CableEmulation kAt89IspCable{"AT89isp cable", {"RST", "MOSI", "MISO", "SCK"}};
constexpr CableEmulation kAvrIspDongle{"AVR ISP dongle", {"RST", "MOSI", "MISO", "SCK"}};
constexpr CableEmulation kDlc5Cable{"DLC5 / Parallel Cable III", {"TCK", "TMS", "TDO", "TDI"}};

// Constant-initialised and never destroyed: a board saved from an exit handler still finds it.
constexpr std::array<DesignInfo, kKnownDesignCount> kDesigns = {{
    {Design::Setup, "setup.bit", "omrix_setup.ncd", true, true, false, 0x01, TestLed::Dark, nullptr,
     "setup: ModeRegister, ConfigRegister, the flash window (2 echoes 3)"},
    {Design::Demo, "demo.bit", "omrix_demo.ncd", true, true, false, 0x00, TestLed::Dark, nullptr,
     "a user run configuration; registers as setup, so the identifier can be read"},
    {Design::NoRegisters, "noreg.bit", "omrix_noreg.ncd", false, false, false, 0x00, TestLed::Dark,
     nullptr, "a user design without registers"},
    {Design::Basic52, "basic52.bit", "omrix_basic52.ncd", true, false, true, 0x00, TestLed::Dark,
     nullptr, "BASIC-52: ModeRegister, ConfigRegister, the CPU RAM window"},
    {Design::IoTestA, "LIOTESTA.BIT", "omrix_iotest_a.ncd", true, false, false, 0x01,
     TestLed::FlashingFast, nullptr, "I/O test A: the TEST LED flashes fast"},
    {Design::IoTestB, "LIOTESTB.BIT", "omrix_iotest_b.ncd", true, false, false, 0x01,
     TestLed::FlashingSlow, nullptr, "I/O test B: the TEST LED flashes slowly"},
    {Design::PraxIoTestA, "pRAXnodeTestA.BIT", "praxnode_iotest_a.ncd", true, false, false, 0x01,
     TestLed::FlashingFast, nullptr, "pRAXnode I/O test A: the TEST LED flashes fast"},
    {Design::PraxIoTestB, "pRAXnodeTestB.BIT", "praxnode_iotest_b.ncd", true, false, false, 0x01,
     TestLed::FlashingSlow, nullptr, "pRAXnode I/O test B: the TEST LED flashes slowly"},
    {Design::EmuAt89Isp, "emuat89ispcable.bit", "omrix_emu_at89isp.ncd", true, false, false, 0x01,
     TestLed::Dark, &kAt89IspCable,
     "AT89isp cable: RST, MOSI, MISO, SCK on X2 4b, 4a, 5b, 5a and X1 P5-P8"},
    {Design::EmuAvrIsp, "emuavrispdongle.bit", "omrix_emu_avrisp.ncd", true, false, false, 0x01,
     TestLed::Dark, &kAvrIspDongle,
     "AVR ISP dongle (STK200/STK300): RST, MOSI, MISO, SCK on X2 4b, 4a, 5b, 5a and X1 P5-P8"},
    {Design::EmuDlc5, "emudlc5.bit", "omrix_emu_dlc5.ncd", true, false, false, 0x01, TestLed::Dark,
     &kDlc5Cable,
     "DLC5 / Parallel Cable III: TCK, TMS, TDO, TDI on X2 4b, 4a, 5b, 5a and X1 P5-P8"},
    {Design::IntDlc5, "intdlc5.bit", "omrix_intdlc5.ncd", false, false, false, 0x00, TestLed::Dark,
     nullptr, "prepares internal JTAG programming"},
}};

}  // namespace

const std::array<DesignInfo, kKnownDesignCount>& KnownDesigns() { return kDesigns; }

const DesignInfo* FindDesign(const std::string& fieldA) {
  const std::string name = DesignNameOf(fieldA);
  for (const DesignInfo& info : KnownDesigns()) {
    if (name == info.designName) return &info;
  }
  return nullptr;
}

const DesignInfo* FindDesign(Design design) {
  for (const DesignInfo& info : KnownDesigns()) {
    if (info.design == design) return &info;
  }
  return nullptr;
}

std::vector<uint8_t> MakeDesignFile(const DesignInfo& info) {
  BitFile file;
  file.designName = std::string(info.designName) + ";UserID=0xFFFFFFFF";
  file.partName = "2s100pq208";
  file.date = "2005/01/01";
  file.time = "12:00:00";
  file.bitstream = MakeBitstream(info.designName);
  return MakeBitFile(file);
}

}  // namespace omrix::sim
