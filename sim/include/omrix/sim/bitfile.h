#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace omrix::sim {

// A Xilinx configuration file: the 13-byte preamble (00 09 0F F0 0F F0 0F F0 0F F0 00 00 01),
// fields a (design name), b (part), c (date), d (time) each with a 2-byte big-endian length
// and a terminating zero, and field e with a 4-byte big-endian length and the bitstream.
struct BitFile {
  std::string designName;  // field a without its zero, e.g. "omrix_setup.ncd;UserID=0xFFFFFFFF"
  std::string partName;    // field b, e.g. "2s100pq208"
  std::string date;        // field c, "2005/01/01"
  std::string time;        // field d, "12:00:00"
  std::vector<uint8_t> bitstream;  // field e
};

inline constexpr uint8_t kSyncWord[4] = {0xAA, 0x99, 0x55, 0x66};

enum class BitParse {
  Ok,         // well-formed: every field present, field e whole and holding the sync word
  Truncated,  // the bytes end before what the header announces
  Corrupt     // not a configuration file (bad preamble, field keys or lengths, no sync word)
};

// Parses a whole file image. Bytes after field e are ignored (an FPGA slot of the flash holds
// erased bytes after the file). `out` is filled only when the result is Ok.
BitParse ParseBitFile(const std::vector<uint8_t>& bytes, BitFile& out);

// The file image of `file`, byte for byte as the vendor's tools lay it out. Throws
// std::length_error for a text field of 65535 bytes or more (its length field cannot hold it).
std::vector<uint8_t> MakeBitFile(const BitFile& file);

// The design name a field a names: the text before its first ';' ("omrix_setup.ncd").
std::string DesignNameOf(const std::string& fieldA);

}  // namespace omrix::sim
