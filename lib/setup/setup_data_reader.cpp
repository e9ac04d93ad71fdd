#include "setup_data_reader.h"

#include <memory>

#include "core/helpers.h"
#include "core/text.h"
#include "platform/platform.h"

namespace omrix {

namespace {

// Far beyond any file the library writes (about 2 KB), yet a file this large is refused
// unread rather than held in memory; it is not corrupt, so it is never deleted for its size.
constexpr std::uint64_t kLargestSetupDataFile = 64u << 20;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The first token of the line; false when there is none, when it may run on past the
// visible part (the value would be cut), or when it holds a NUL (no file name or number does).
bool FirstToken(const ValueLine& line, std::string& token) {
  const std::string& text = line.visible;
  std::size_t begin = 0;
  while (begin < text.size() && IsBlank(text[begin])) ++begin;
  std::size_t end = begin;
  while (end < text.size() && !IsBlank(text[end])) ++end;
  if (begin == end || (line.cut && end == text.size())) return false;
  token = text.substr(begin, end - begin);
  return token.find('\0') == std::string::npos;
}

// Where the comment of a value line begins: the first "//" after a blank or a tab.
std::size_t CommentStart(const std::string& text) {
  for (std::size_t at = text.find("//", 1); at != std::string::npos; at = text.find("//", at + 1))
    if (text[at - 1] == ' ' || text[at - 1] == '\t') return at - 1;
  return std::string::npos;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Digits from `at` on in `base`, as far as they go; at least one, and the value fits 32 bits.
bool LeadingNumber(const std::string& token, std::size_t at, unsigned base, std::uint32_t& value) {
  std::uint64_t number = 0;
  std::size_t digits = 0;
  for (; at < token.size(); ++at, ++digits) {
    const int digit = HexDigit(token[at]);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) break;
    number = number * base + static_cast<unsigned>(digit);
    if (number > 0xFFFFFFFFu) return false;
  }
  if (digits == 0) return false;
  value = static_cast<std::uint32_t>(number);
  return true;
}

}  // namespace

bool ConvertText(const ValueLine& line, std::size_t capacity, std::string& value) {
  std::string token;
  if (!FirstToken(line, token) || token.size() > capacity) return false;
  value = token;
  return true;
}

bool ConvertPath(const ValueLine& line, std::size_t capacity, std::string& value) {
  const std::string& text = line.visible;
  // Without its comment the line is read as any other value line: its first token.
  std::size_t end = CommentStart(text);
  if (end == std::string::npos) return ConvertText(line, capacity, value);
  std::size_t begin = 0;
  while (begin < text.size() && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  if (end <= begin) return false;
  std::string path = text.substr(begin, end - begin);
  if (path.size() > capacity || path.find('\0') != std::string::npos) return false;
  value = std::move(path);
  return true;
}

bool ConvertHex(const ValueLine& line, std::uint32_t& value) {
  std::string token;
  if (!FirstToken(line, token)) return false;
  std::size_t at = token[0] == '+' ? 1 : 0;
  const bool prefixed = token.compare(at, 2, "0x") == 0 || token.compare(at, 2, "0X") == 0;
  if (prefixed && at + 2 < token.size() && HexDigit(token[at + 2]) >= 0) at += 2;
  return LeadingNumber(token, at, 16, value);
}

bool ConvertDecimal(const ValueLine& line, std::uint32_t& value) {
  std::string token;
  if (!FirstToken(line, token)) return false;
  return LeadingNumber(token, token[0] == '+' ? 1 : 0, 10, value);
}

std::optional<ValueLine> SetupDataReader::NextLine(std::size_t limit) {
  if (position_ >= text_.size()) return std::nullopt;
  const std::size_t newline = text_.find('\n', position_);
  const std::size_t end = newline == std::string::npos ? text_.size() : newline;
  std::size_t contentEnd = end;
  // A Windows line end reads as one character, as in text mode.
  if (contentEnd > position_ && text_[contentEnd - 1] == '\r') --contentEnd;
  const std::size_t length = contentEnd - position_;
  const std::size_t withLineEnd = length + (newline == std::string::npos ? 0 : 1);
  ValueLine line;
  line.cut = withLineEnd > limit;
  line.visible = text_.substr(position_, line.cut ? limit : length);
  position_ = newline == std::string::npos ? text_.size() : newline + 1;
  return line;
}

bool SetupDataReader::FindSection(const char* head) {
  while (auto line = NextLine(kHeadLineLimit)) {
    if (StartsWithIgnoringCase(line->visible, head)) return true;
  }
  return false;
}

void SetupDataReader::ReadText(std::size_t limit, std::size_t capacity, std::string& field) {
  if (auto line = NextLine(limit)) ConvertText(*line, capacity, field);
}

void SetupDataReader::ReadPath(std::size_t limit, std::size_t capacity, std::string& field) {
  if (auto line = NextLine(limit)) ConvertPath(*line, capacity, field);
}

void SetupDataReader::ReadHex(std::size_t limit, std::uint32_t& field) {
  if (auto line = NextLine(limit)) ConvertHex(*line, field);
}

void SetupDataReader::ReadDecimal(std::size_t limit, std::uint32_t& field) {
  if (auto line = NextLine(limit)) ConvertDecimal(*line, field);
}

int ParseSetupData(const std::string& text, SetupDataRecord& record, std::string* entryCodeLine) {
  SetupDataReader reader(text);
  InitData& init = record.init;
  const std::size_t pathCapacity = kFileNameSize - 1;

  if (!reader.FindSection(kInitEntryCodeHead)) return 0;
  if (auto line = reader.NextLine(kHeadLineLimit)) {
    ConvertText(*line, kInitTextCapacity, init.initEntryCode);
    if (entryCodeLine != nullptr) *entryCodeLine = line->visible;
  }

  if (!reader.FindSection(kInitDataHead)) return 1;
  reader.ReadHex(kNumberLineLimit, init.initPortBase);
  reader.ReadText(kHeadLineLimit, kInitTextCapacity, init.initFpgaFile);
  reader.ReadText(kHeadLineLimit, kInitTextCapacity, init.manufacturer);
  reader.ReadText(kHeadLineLimit, kInitTextCapacity, init.deviceName);
  reader.ReadText(kHeadLineLimit, kInitTextCapacity, init.signatureTester);
  reader.ReadDecimal(kHeadLineLimit, init.boardTypecode);
  reader.ReadDecimal(kHeadLineLimit, init.boardRevision);
  reader.ReadText(kHeadLineLimit, kInitTextCapacity, init.fpgaType);
  reader.ReadDecimal(kHeadLineLimit, init.serialNumber);
  reader.ReadText(kHeadLineLimit, kInitTextCapacity, init.systemImageFile);

  if (!reader.FindSection(kSetupDataHead)) return 2;
  reader.ReadText(kHeadLineLimit, pathCapacity, record.setupFpgaFile);
  reader.ReadHex(kHeadLineLimit, record.auxPortBase);

  if (!reader.FindSection(kRunDataHead)) return 3;
  reader.ReadHex(kNumberLineLimit, record.portBase);
  reader.ReadPath(kPathLineLimit, pathCapacity, record.fpgaConfigFile);
  reader.ReadHex(kNumberLineLimit, record.PPirq);
  reader.ReadHex(kNumberLineLimit, record.PPcontrol);
  reader.ReadHex(kNumberLineLimit, record.PPwait);
  reader.ReadHex(kNumberLineLimit, record.identifier);

  if (!reader.FindSection(kFlashContentHead)) return 4;
  for (std::string& name : record.flashSlotNames)
    reader.ReadPath(kPathLineLimit, pathCapacity, name);
  return kSetupDataSections;
}

bool LoadSetupDataText(std::string& text) {
  std::string path;
  if (!StatePath(kSetupDataFileName, path)) return false;
  return ReadWholeFile(path, kLargestSetupDataFile, text);
}

}  // namespace omrix
