#include "omrix/sim/simulator.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "state_files.h"

namespace omrix::sim {
namespace {

constexpr uint16_t kMonochromeAdapterPort = 0x3BC;  // its port never had EPP
constexpr uint64_t kNsPerMs = 1'000'000;
constexpr const char* kLockFile = "lock";
constexpr const char* kStateFile = "board.state";

void Complain(const std::string& problem) {
  std::fprintf(stderr, "omrix-sim: %s\n", problem.c_str());
}

bool Listed(const std::optional<std::vector<uint16_t>>& list, uint16_t base) {
  return !list || std::find(list->begin(), list->end(), base) != list->end();
}

// The RAM file's bytes; nullopt, said on stderr, when it cannot be read or does not fit.
std::optional<std::vector<uint8_t>> ReadRamFile(const std::string& path) {
  constexpr std::size_t kRoom = Board::kRamSize - Board::kRamProgramStart;
  const std::string keep = "; the RAM stays as it is";
  UniqueFd fd(files::OpenForReading(path));
  if (!fd.valid()) {
    Complain("cannot open RAM file '" + path + "': " + std::strerror(errno) + keep);
    return std::nullopt;
  }
  std::vector<uint8_t> bytes;
  uint8_t buffer[4096];
  // One byte beyond the room tells a file too large without reading all of, say, a device.
  while (bytes.size() <= kRoom) {
    const long got = files::ReadSome(fd.get(), buffer, sizeof buffer);
    if (got < 0) {
      Complain("cannot read RAM file '" + path + "': " + std::strerror(errno) + keep);
      return std::nullopt;
    }
    if (got == 0) return bytes;
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  Complain("RAM file '" + path + "' is larger than the " + std::to_string(kRoom) +
           " bytes from 0x200 to the RAM's end" + keep);
  return std::nullopt;
}

void Add(Simulator::AccessCounts& sum, const Simulator::AccessCounts& part) {
  for (uint16_t i = 0; i < ParallelPort::kRegisterCount; ++i) {
    sum.reads[i] += part.reads[i];
    sum.writes[i] += part.writes[i];
  }
  sum.otherReads += part.otherReads;
  sum.otherWrites += part.otherWrites;
}

}  // namespace

uint64_t Simulator::AccessCounts::total() const {
  uint64_t sum = otherReads + otherWrites;
  for (uint16_t i = 0; i < ParallelPort::kRegisterCount; ++i) sum += reads[i] + writes[i];
  return sum;
}

Simulator::Simulator(SimConfig config)
    : config_(std::move(config)),
      board_(config_),
      stuckFrom_(config_.stuckAfter),
      stuckValue_(config_.stuckValue) {
  for (const uint16_t base : config_.ports) {
    const bool known = std::any_of(slots_.begin(), slots_.end(),
                                   [base](const PortSlot& s) { return s.port.base() == base; });
    if (known) continue;
    const bool epp = base != kMonochromeAdapterPort && Listed(config_.epp, base);
    slots_.push_back(PortSlot{ParallelPort(base, Listed(config_.bidir, base), epp), {}});
  }
  // A board configured at a base where no port exists is never reached.
  boardReachable_ =
      config_.board && std::any_of(slots_.begin(), slots_.end(), [this](const PortSlot& s) {
        return s.port.base() == *config_.board;
      });
  if (!config_.ramFile.empty()) ramFile_ = ReadRamFile(config_.ramFile);
  putRamFile();
}

Simulator::~Simulator() { detach(); }

Simulator::Simulator(Simulator&& other) noexcept = default;

const SimConfig& Simulator::config() const { return config_; }

uint8_t Simulator::in(uint16_t address) {
  nowNs_ += config_.accessNs;
  advanceBoard();
  uint16_t offset = 0;
  PortSlot* slot = slotAt(address, offset);
  if (!slot) {
    ++unoccupied_.otherReads;
    return kOpenBus;
  }
  ++slot->counts.reads[offset];
  const uint8_t value = slot->port.read(offset, boardBehind(slot->port));
  if (!isBoardPort(slot->port)) return value;
  ++boardPortAccesses_;
  return stuckFrom_ && boardPortAccesses_ > *stuckFrom_ ? stuckValue_ : value;
}

void Simulator::out(uint16_t address, uint8_t value) {
  nowNs_ += config_.accessNs;
  advanceBoard();
  if (boardReachable_) board_.hostWrote();
  uint16_t offset = 0;
  PortSlot* slot = slotAt(address, offset);
  if (!slot) {
    ++unoccupied_.otherWrites;
    return;
  }
  ++slot->counts.writes[offset];
  if (isBoardPort(slot->port)) {
    ++boardPortAccesses_;
    mayHaveChanged_ = true;
  }
  slot->port.write(offset, value, boardBehind(slot->port));
}

void Simulator::busyWait(int32_t units) {
  if (units <= 0) return;
  nowNs_ += static_cast<uint64_t>(units) * kBusyWaitUnitNs;
  advanceBoard();
  if (boardReachable_) board_.hostWaited(units);
}

void Simulator::sleepMs(uint32_t ms) {
  nowNs_ += ms * kNsPerMs;
  advanceBoard();
  // A millisecond is far beyond any settle time.
  if (ms > 0 && boardReachable_) board_.settleFully();
}

uint64_t Simulator::nowNs() const { return nowNs_; }

uint32_t Simulator::tickCount() const { return static_cast<uint32_t>(nowNs_ / kNsPerMs); }

bool Simulator::attach() {
  if (attached_) return true;
  attached_ = true;
  // Without a directory the board lives only as long as this object.
  if (config_.stateDir.empty()) return true;
  const std::filesystem::path directory(config_.stateDir);
  std::error_code error;
  attachProblem_.clear();
  std::filesystem::create_directories(directory, error);
  if (error) {
    attachProblem_ = "cannot make state directory '" + config_.stateDir + "': " + error.message();
    Complain(attachProblem_ + "; the board's state is not kept");
    return true;
  }
  std::string problem;
  switch (lock_.acquire((directory / kLockFile).string(), problem)) {
    case StateLock::Result::Busy: attached_ = false; return false;
    case StateLock::Result::Failed:
      attachProblem_ = problem;
      Complain(problem + "; the board's state is not kept");
      return true;
    case StateLock::Result::Held: break;
  }
  const std::optional<BoardState> state =
      ReadBoardState((directory / kStateFile).string(), problem);
  if (state) {
    board_.restore(*state);
    // The file says what the RAM starts with, whatever the last process left there.
    putRamFile();
    ramFile_.reset();
    lastSaved_ = board_.state();
  } else if (!problem.empty()) {
    Complain(problem + "; starting from the board as it is");
  }
  return true;
}

void Simulator::detach() {
  if (!attached_) return;
  save();
  lock_.release();
  attached_ = false;
}

void Simulator::save() {
  if (!lock_.held()) return;
  const std::string path = (std::filesystem::path(config_.stateDir) / kStateFile).string();
  std::string problem;
  BoardState now = board_.state();
  if (!WriteBoardState(path, now, problem)) {
    Complain(problem);
    return;
  }
  lastSaved_ = std::move(now);
  mayHaveChanged_ = false;
}

void Simulator::saveIfChanged() {
  if (!lock_.held() || !mayHaveChanged_) return;
  mayHaveChanged_ = false;
  if (lastSaved_ && board_.state() == *lastSaved_) return;
  save();
}

bool Simulator::attached() const { return attached_; }
const std::string& Simulator::attachProblem() const { return attachProblem_; }
std::string Simulator::lockPath() const {
  return config_.stateDir.empty() ? std::string()
                                  : (std::filesystem::path(config_.stateDir) / kLockFile).string();
}

void Simulator::loadDesign(Design design) {
  mayHaveChanged_ = true;
  if (Board* board = reachableBoard()) board->loadDesign(design);
}

Design Simulator::design() const {
  const Board* board = reachableBoard();
  return board ? board->design() : Design::None;
}

TestLed Simulator::testLed() const {
  const Board* board = reachableBoard();
  return board ? board->testLed() : TestLed::Dark;
}

const CableEmulation* Simulator::cableEmulation() const {
  const Board* board = reachableBoard();
  return board ? board->cableEmulation() : nullptr;
}

void Simulator::setAck(int level) {
  if (Board* board = reachableBoard()) board->setAck(level);
}

uint8_t Simulator::boardRegister(uint8_t address) const {
  const Board* board = reachableBoard();
  return board ? board->storedRegister(address) : Board::kNoRegister;
}

void Simulator::setBoardRegister(uint8_t address, uint8_t value) {
  mayHaveChanged_ = true;
  if (Board* board = reachableBoard()) board->setStoredRegister(address, value);
}

uint8_t Simulator::boardBusAddress() const {
  const Board* board = reachableBoard();
  return board ? board->busAddress() : 0;
}

Simulator::AccessCounts Simulator::accessCounts() const {
  AccessCounts sum = unoccupied_;
  for (const PortSlot& slot : slots_) Add(sum, slot.counts);
  return sum;
}

Simulator::AccessCounts Simulator::accessCounts(uint16_t base) const {
  for (const PortSlot& slot : slots_) {
    if (slot.port.base() == base) return slot.counts;
  }
  return {};
}

void Simulator::resetAccessCounts() {
  unoccupied_ = {};
  for (PortSlot& slot : slots_) slot.counts = {};
}

std::vector<uint8_t>& Simulator::flash() {
  mayHaveChanged_ = true;
  return board_.flash().image();
}
const std::vector<uint8_t>& Simulator::flash() const { return board_.flash().image(); }
std::vector<uint8_t>& Simulator::ram() {
  mayHaveChanged_ = true;
  return board_.ram();
}
const std::vector<uint8_t>& Simulator::ram() const { return board_.ram(); }

CpuState Simulator::cpu() const {
  const Board* board = reachableBoard();
  return board ? board->cpu() : CpuState{};
}

const CpuRecord& Simulator::cpuRecord() const { return board_.cpuRecord(); }

void Simulator::setFlashStuck(std::optional<uint32_t> address) {
  board_.flash().setStuckAddress(address);
}

void Simulator::setFlashBadBit(std::optional<FlashBit> bit) { board_.flash().setBadBit(bit); }

void Simulator::setNoise(double probability, uint64_t seed) { board_.setNoise(probability, seed); }

void Simulator::setBrokenPatterns(bool broken) { board_.setBrokenPatterns(broken); }

void Simulator::setStuckBus(std::optional<uint64_t> afterAccesses, uint8_t value) {
  stuckFrom_.reset();
  if (afterAccesses) stuckFrom_ = boardPortAccesses_ + *afterAccesses;
  stuckValue_ = value;
}

Simulator::PortSlot* Simulator::slotAt(uint16_t address, uint16_t& offset) {
  for (PortSlot& slot : slots_) {
    const uint16_t base = slot.port.base();
    if (address >= base && address - base < ParallelPort::kRegisterCount) {
      offset = static_cast<uint16_t>(address - base);
      return &slot;
    }
  }
  return nullptr;
}

bool Simulator::isBoardPort(const ParallelPort& port) const {
  return boardReachable_ && port.base() == *config_.board;
}

Board* Simulator::boardBehind(const ParallelPort& port) {
  return isBoardPort(port) ? &board_ : nullptr;
}

Board* Simulator::reachableBoard() { return boardReachable_ ? &board_ : nullptr; }
const Board* Simulator::reachableBoard() const { return boardReachable_ ? &board_ : nullptr; }

void Simulator::advanceBoard() { board_.advanceTo(nowNs_); }

void Simulator::putRamFile() {
  if (!ramFile_) return;
  std::copy(ramFile_->begin(), ramFile_->end(), board_.ram().begin() + Board::kRamProgramStart);
}

}  // namespace omrix::sim
