#include "people_text.h"

#include <cstdint>

namespace omrix::commands {

namespace {

// Windows-1252's 0x80-0x9F; the five bytes the code page leaves undefined stand for the C1
// control of the same number, as ICU and the WHATWG encoding standard read them.
constexpr std::uint16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The length of the well-formed UTF-8 sequence of two or more bytes at `at`; 0 if none
// starts there (shortest form only, no surrogates, nothing past U+10FFFF).
std::size_t Utf8SequenceAt(const std::string& text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length;
  std::uint32_t code;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    code = lead & 0x1Fu;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    code = lead & 0x0Fu;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    code = lead & 0x07u;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[at + k]);
    if ((next & 0xC0) != 0x80) return 0;
    code = code << 6 | (next & 0x3Fu);
  }
  constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string PeopleText(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (std::size_t at = 0; at < bytes.size();) {
    const auto byte = static_cast<unsigned char>(bytes[at]);
    if (byte < 0x80) {
      out += bytes[at++];
    } else if (const std::size_t length = Utf8SequenceAt(bytes, at)) {
      out.append(bytes, at, length);
      at += length;
    } else {
      AppendUtf8(out, byte < 0xA0 ? kHighControls[byte - 0x80] : byte);
      ++at;
    }
  }
  return out;
}

}  // namespace omrix::commands
