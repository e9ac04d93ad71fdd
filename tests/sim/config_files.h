#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "omrix/sim/bitfile.h"

namespace omrix::sim::testing {

inline const std::string kSetupFieldA = "omrix_setup.ncd;UserID=0xFFFFFFFF";
inline const std::string kDemoFieldA = "omrix_demo.ncd;UserID=0xFFFFFFFF";

// A small but well-formed configuration file: dummy word, sync word, a desync command and
// `padding` further bytes of bitstream.
inline std::vector<uint8_t> SmallBitFile(const std::string& fieldA, std::size_t padding = 0) {
  BitFile file;
  file.designName = fieldA;
  file.partName = "2s100pq208";
  file.date = "2005/01/01";
  file.time = "12:00:00";
  file.bitstream = {0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0x99, 0x55, 0x66,
                    0x30, 0x00, 0x80, 0x01, 0x00, 0x00, 0x00, 0x0D};
  file.bitstream.resize(file.bitstream.size() + padding, 0x00);
  return MakeBitFile(file);
}

// The bit order of every byte reversed, as the FPGA slots of the flash hold a file.
inline std::vector<uint8_t> ReverseEachByte(std::vector<uint8_t> bytes) {
  for (uint8_t& byte : bytes) {
    uint8_t reversed = 0;
    for (int bit = 0; bit < 8; ++bit)
      reversed = static_cast<uint8_t>(reversed << 1 | ((byte >> bit) & 1));
    byte = reversed;
  }
  return bytes;
}

}  // namespace omrix::sim::testing
