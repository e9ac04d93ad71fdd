#include "omrix/sim/bitfile.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace omrix::sim {
namespace {

constexpr uint8_t kPreamble[] = {0x00, 0x09, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F,
                                 0xF0, 0x0F, 0xF0, 0x00, 0x00, 0x01};

// Walks the image front to back. Every read checks what is left first, so a short image
// ends the parse as Truncated and nothing is ever read past its end.
class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

  size_t left() const { return bytes_.size() - pos_; }

  // The next bytes must equal `expected`. A mismatch in the bytes that are there makes the
  // image foreign even when it is also short.
  BitParse expect(const uint8_t* expected, size_t count) {
    const size_t available = std::min(count, left());
    if (!std::equal(expected, expected + available, bytes_.begin() + pos_)) {
      return BitParse::Corrupt;
    }
    if (available < count) return BitParse::Truncated;
    pos_ += count;
    return BitParse::Ok;
  }

  BitParse bigEndian(size_t width, uint32_t& value) {
    if (left() < width) return BitParse::Truncated;
    value = 0;
    for (size_t i = 0; i < width; ++i) value = (value << 8) | bytes_[pos_++];
    return BitParse::Ok;
  }

  BitParse take(size_t count, std::vector<uint8_t>::const_iterator& begin) {
    if (left() < count) return BitParse::Truncated;
    begin = bytes_.begin() + pos_;
    pos_ += count;
    return BitParse::Ok;
  }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t pos_ = 0;
};

// A text field: key, 2-byte length, the text and its terminating zero.
BitParse ReadText(Reader& reader, uint8_t key, std::string& text) {
  if (BitParse r = reader.expect(&key, 1); r != BitParse::Ok) return r;
  uint32_t length = 0;
  if (BitParse r = reader.bigEndian(2, length); r != BitParse::Ok) return r;
  if (length == 0) return BitParse::Corrupt;  // not even the terminating zero
  std::vector<uint8_t>::const_iterator begin;
  if (BitParse r = reader.take(length, begin); r != BitParse::Ok) return r;
  const auto end = begin + (length - 1);
  // The length counts the text and one zero; a zero inside would make it another text.
  if (*end != 0 || std::find(begin, end, uint8_t{0}) != end) return BitParse::Corrupt;
  text.assign(begin, end);
  return BitParse::Ok;
}

bool HoldsSyncWord(const std::vector<uint8_t>& stream) {
  return std::search(stream.begin(), stream.end(), std::begin(kSyncWord), std::end(kSyncWord)) !=
         stream.end();
}

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value, size_t width) {
  for (size_t i = width; i-- > 0;) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutText(std::vector<uint8_t>& out, uint8_t key, const std::string& text) {
  // The length field has to hold the text and its zero.
  if (text.size() + 1 > 0xFFFF) throw std::length_error("bit file text field too long");
  out.push_back(key);
  PutBigEndian(out, static_cast<uint32_t>(text.size() + 1), 2);
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

}  // namespace

BitParse ParseBitFile(const std::vector<uint8_t>& bytes, BitFile& out) {
  Reader reader(bytes);
  if (BitParse r = reader.expect(kPreamble, sizeof kPreamble); r != BitParse::Ok) return r;

  BitFile file;
  const std::pair<uint8_t, std::string*> texts[] = {
      {'a', &file.designName}, {'b', &file.partName}, {'c', &file.date}, {'d', &file.time}};
  for (const auto& [key, text] : texts) {
    if (BitParse r = ReadText(reader, key, *text); r != BitParse::Ok) return r;
  }

  const uint8_t keyE = 'e';
  if (BitParse r = reader.expect(&keyE, 1); r != BitParse::Ok) return r;
  uint32_t length = 0;
  if (BitParse r = reader.bigEndian(4, length); r != BitParse::Ok) return r;
  std::vector<uint8_t>::const_iterator begin;
  if (BitParse r = reader.take(length, begin); r != BitParse::Ok) return r;
  file.bitstream.assign(begin, begin + length);
  // An empty stream fails here too: it cannot hold the sync word.
  if (!HoldsSyncWord(file.bitstream)) return BitParse::Corrupt;

  out = std::move(file);
  return BitParse::Ok;
}

std::vector<uint8_t> MakeBitFile(const BitFile& file) {
  if (file.bitstream.size() > 0xFFFFFFFFu) throw std::length_error("bitstream too long");
  std::vector<uint8_t> out(std::begin(kPreamble), std::end(kPreamble));
  PutText(out, 'a', file.designName);
  PutText(out, 'b', file.partName);
  PutText(out, 'c', file.date);
  PutText(out, 'd', file.time);
  out.push_back('e');
  PutBigEndian(out, static_cast<uint32_t>(file.bitstream.size()), 4);
  out.insert(out.end(), file.bitstream.begin(), file.bitstream.end());
  return out;
}

std::string DesignNameOf(const std::string& fieldA) { return fieldA.substr(0, fieldA.find(';')); }

}  // namespace omrix::sim
