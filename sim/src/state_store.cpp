#include "omrix/sim/state_store.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

#include "state_files.h"

namespace omrix::sim {
namespace {

constexpr std::string_view kMagic = "omrix-sim board state 2";
// Files from before the CPU record; they load with an empty one.
constexpr std::string_view kMagicWithoutCpu = "omrix-sim board state 1";
constexpr const char* kNoDesign = "none";
constexpr const char* kForeignDesign = "foreign";

std::string SystemError(const std::string& what, const std::string& path) {
  return what + " '" + path + "': " + std::strerror(errno);
}

std::string DesignText(Design design) {
  if (design == Design::None) return kNoDesign;
  const DesignInfo* info = FindDesign(design);
  return info ? info->designName : kForeignDesign;
}

std::optional<Design> DesignFromText(const std::string& text) {
  if (text == kNoDesign) return Design::None;
  if (text == kForeignDesign) return Design::Foreign;
  const DesignInfo* info = FindDesign(text);
  if (!info) return std::nullopt;
  return info->design;
}

std::string Serialise(const BoardState& state) {
  std::ostringstream out;
  out << kMagic << '\n' << "design " << DesignText(state.design) << '\n' << "registers";
  for (const uint8_t value : state.registers) out << ' ' << static_cast<unsigned>(value);
  // "cpu <starts> <slot>:<ns> ...", the recent starts oldest first.
  out << '\n' << "cpu " << state.cpu.starts;
  for (const CpuStart& start : state.cpu.recent) out << ' ' << start.slot << ':' << start.atNs;
  out << '\n' << "flash " << state.flash.size() << '\n';
  out.write(reinterpret_cast<const char*>(state.flash.data()),
            static_cast<std::streamsize>(state.flash.size()));
  out << "ram " << state.ram.size() << '\n';
  out.write(reinterpret_cast<const char*>(state.ram.data()),
            static_cast<std::streamsize>(state.ram.size()));
  return out.str();
}

// Reads the file front to back; the first thing that does not fit ends the parse.
class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  std::optional<std::string_view> line() {
    const std::size_t end = text_.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view result = text_.substr(0, end);
    text_.remove_prefix(end + 1);
    return result;
  }

  // A line "<key> <rest>"; the rest.
  std::optional<std::string> field(std::string_view key) {
    const std::optional<std::string_view> text = line();
    if (!text || text->substr(0, key.size()) != key || text->size() <= key.size() ||
        (*text)[key.size()] != ' ') {
      return std::nullopt;
    }
    return std::string(text->substr(key.size() + 1));
  }

  // A line "<key> <count>" and then exactly that many bytes.
  bool block(std::string_view key, std::size_t expected, std::vector<uint8_t>& bytes) {
    const std::optional<std::string> count = field(key);
    if (!count || *count != std::to_string(expected) || text_.size() < expected) return false;
    bytes.assign(text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(expected));
    text_.remove_prefix(expected);
    return true;
  }

  bool atEnd() const { return text_.empty(); }

 private:
  std::string_view text_;
};

template <typename T>
std::optional<T> Number(std::string_view text) {
  T value{};
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc{} || stop != end) return std::nullopt;
  return value;
}

std::optional<CpuRecord> CpuFromText(std::string_view text) {
  std::vector<std::string_view> words;
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t space = std::min(text.find(' ', at), text.size());
    words.push_back(text.substr(at, space - at));
    at = space + 1;
  }
  CpuRecord record;
  const std::optional<uint64_t> starts = Number<uint64_t>(words.front());
  if (!starts || words.size() - 1 > Board::kRecentCpuStarts || words.size() - 1 > *starts) {
    return std::nullopt;
  }
  record.starts = *starts;
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::size_t colon = words[i].find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::optional<int> slot = Number<int>(words[i].substr(0, colon));
    const std::optional<uint64_t> atNs = Number<uint64_t>(words[i].substr(colon + 1));
    constexpr int kLastSlot = Board::kCpuSlotMask >> Board::kCpuSlotShift;
    if (!slot || *slot < 0 || *slot > kLastSlot || !atNs) return std::nullopt;
    record.recent.push_back(CpuStart{*slot, *atNs});
  }
  return record;
}

std::optional<BoardState> Deserialise(std::string_view text) {
  Parser parser(text);
  const std::optional<std::string_view> magic = parser.line();
  if (magic != kMagic && magic != kMagicWithoutCpu) return std::nullopt;
  BoardState state;
  const std::optional<std::string> designText = parser.field("design");
  const std::optional<Design> design = designText ? DesignFromText(*designText) : std::nullopt;
  if (!design) return std::nullopt;
  state.design = *design;
  const std::optional<std::string> registerText = parser.field("registers");
  if (!registerText) return std::nullopt;
  std::istringstream registers(*registerText);
  for (uint8_t& value : state.registers) {
    unsigned number = 0;
    if (!(registers >> number) || number > 0xFF) return std::nullopt;
    value = static_cast<uint8_t>(number);
  }
  if (magic == kMagic) {
    const std::optional<std::string> cpuText = parser.field("cpu");
    std::optional<CpuRecord> cpu = cpuText ? CpuFromText(*cpuText) : std::nullopt;
    if (!cpu) return std::nullopt;
    state.cpu = std::move(*cpu);
  }
  if (!parser.block("flash", FlashChip::kSize, state.flash) ||
      !parser.block("ram", Board::kRamSize, state.ram) || !parser.atEnd()) {
    return std::nullopt;
  }
  return state;
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const long written = files::WriteSome(fd, bytes.data() + done, bytes.size() - done);
    if (written <= 0) return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

UniqueFd::UniqueFd(int fd) : fd_(fd) {}
UniqueFd::~UniqueFd() { reset(); }
UniqueFd::UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    reset();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

int UniqueFd::get() const { return fd_; }
bool UniqueFd::valid() const { return fd_ >= 0; }

int UniqueFd::release() { return std::exchange(fd_, -1); }

void UniqueFd::reset() {
  if (fd_ >= 0) files::CloseDescriptor(fd_);
  fd_ = -1;
}

StateLock::Result StateLock::acquire(const std::string& path, std::string& error) {
  UniqueFd fd(files::OpenLockFile(path));
  if (!fd.valid()) {
    error = SystemError("cannot open lock file", path);
    return Result::Failed;
  }
  switch (files::LockExclusive(fd.get())) {
    case files::LockResult::Held: break;
    case files::LockResult::Busy: return Result::Busy;
    case files::LockResult::Failed: error = SystemError("cannot lock", path); return Result::Failed;
  }
  fd_ = std::move(fd);
  return Result::Held;
}

void StateLock::release() { fd_.reset(); }
bool StateLock::held() const { return fd_.valid(); }

bool WriteBoardState(const std::string& path, const BoardState& state, std::string& error) {
  const std::string temporary = path + ".tmp";
  const std::string bytes = Serialise(state);
  UniqueFd fd(files::OpenForReplacing(temporary));
  if (!fd.valid()) {
    error = SystemError("cannot create", temporary);
    return false;
  }
  // On the disk before the rename, so a crash leaves the old file or the new one, never a torn
  // one.
  const bool written = WriteAll(fd.get(), bytes) && files::FlushToDisk(fd.get());
  // close reports late write errors (e.g. a full disk on NFS).
  const bool closed = files::CloseDescriptor(fd.release());
  if (!written || !closed) {
    error = SystemError("cannot write", temporary);
    files::RemoveFile(temporary);
    return false;
  }
  if (!files::MoveOver(temporary, path)) {
    error = SystemError("cannot replace", path);
    files::RemoveFile(temporary);
    return false;
  }
  return true;
}

std::optional<BoardState> ReadBoardState(const std::string& path, std::string& error) {
  UniqueFd fd(files::OpenForReading(path));
  if (!fd.valid()) {
    if (errno != ENOENT) error = SystemError("cannot open", path);
    return std::nullopt;
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const long got = files::ReadSome(fd.get(), buffer, sizeof buffer);
    if (got < 0) {
      error = SystemError("cannot read", path);
      return std::nullopt;
    }
    if (got == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  std::optional<BoardState> state = Deserialise(bytes);
  if (!state) error = "'" + path + "' is not a board state file";
  return state;
}

}  // namespace omrix::sim
