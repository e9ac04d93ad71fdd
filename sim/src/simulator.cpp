#include "omrix/sim/simulator.h"

#include <algorithm>
#include <utility>

namespace omrix::sim {
namespace {

constexpr uint16_t kMonochromeAdapterPort = 0x3BC;  // its port never had EPP
constexpr uint64_t kNsPerMs = 1'000'000;

bool Listed(const std::optional<std::vector<uint16_t>>& list, uint16_t base) {
  return !list || std::find(list->begin(), list->end(), base) != list->end();
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

Simulator::Simulator(SimConfig config) : config_(std::move(config)) {
  for (const uint16_t base : config_.ports) {
    const bool known = std::any_of(slots_.begin(), slots_.end(),
                                   [base](const PortSlot& s) { return s.port.base() == base; });
    if (known) continue;
    const bool epp = base != kMonochromeAdapterPort && Listed(config_.epp, base);
    slots_.push_back(PortSlot{ParallelPort(base, Listed(config_.bidir, base), epp), {}});
  }
  // A board configured at a base where no port exists is never reached.
  const bool boardReachable =
      config_.board && std::any_of(slots_.begin(), slots_.end(), [this](const PortSlot& s) {
        return s.port.base() == *config_.board;
      });
  if (boardReachable) board_.emplace(config_.ack, config_.settle, config_.settlePs2);
}

const SimConfig& Simulator::config() const { return config_; }

uint8_t Simulator::in(uint16_t address) {
  nowNs_ += config_.accessNs;
  uint16_t offset = 0;
  PortSlot* slot = slotAt(address, offset);
  if (!slot) {
    ++unoccupied_.otherReads;
    return kOpenBus;
  }
  ++slot->counts.reads[offset];
  return slot->port.read(offset, boardBehind(slot->port));
}

void Simulator::out(uint16_t address, uint8_t value) {
  nowNs_ += config_.accessNs;
  if (board_) board_->hostWrote();
  uint16_t offset = 0;
  PortSlot* slot = slotAt(address, offset);
  if (!slot) {
    ++unoccupied_.otherWrites;
    return;
  }
  ++slot->counts.writes[offset];
  slot->port.write(offset, value, boardBehind(slot->port));
}

void Simulator::busyWait(int32_t units) {
  if (units <= 0) return;
  nowNs_ += static_cast<uint64_t>(units) * kBusyWaitUnitNs;
  if (board_) board_->hostWaited(units);
}

void Simulator::sleepMs(uint32_t ms) {
  nowNs_ += ms * kNsPerMs;
  // A millisecond is far beyond any settle time.
  if (ms > 0 && board_) board_->settleFully();
}

uint64_t Simulator::nowNs() const { return nowNs_; }

uint32_t Simulator::tickCount() const { return static_cast<uint32_t>(nowNs_ / kNsPerMs); }

void Simulator::loadDesign(Design design) {
  if (board_) board_->loadDesign(design);
}

Design Simulator::design() const { return board_ ? board_->design() : Design::None; }

void Simulator::setAck(int level) {
  if (board_) board_->setAck(level);
}

uint8_t Simulator::boardRegister(uint8_t address) const {
  return board_ ? board_->storedRegister(address) : Board::kNoRegister;
}

void Simulator::setBoardRegister(uint8_t address, uint8_t value) {
  if (board_) board_->setStoredRegister(address, value);
}

uint8_t Simulator::boardBusAddress() const { return board_ ? board_->busAddress() : 0; }

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

Board* Simulator::boardBehind(const ParallelPort& port) {
  return board_ && port.base() == *config_.board ? &*board_ : nullptr;
}

}  // namespace omrix::sim
