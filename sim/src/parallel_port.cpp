#include "omrix/sim/parallel_port.h"

#include "omrix/sim/board.h"

namespace omrix::sim {
namespace {

// Status bits 0-2 are not connected and read as 1.
constexpr uint8_t kUnusedStatusBits = 0x07;
// Control bits 6 and 7 do not exist and read as 1.
constexpr uint8_t kUnusedControlBits = 0xC0;
constexpr uint8_t kControlMask = 0x3F;

}  // namespace

ParallelPort::ParallelPort(uint16_t base, bool bidirectional, bool epp)
    : base_(base), bidirectional_(bidirectional), epp_(epp) {}

uint16_t ParallelPort::base() const { return base_; }
bool ParallelPort::bidirectional() const { return bidirectional_; }
bool ParallelPort::hasEpp() const { return epp_; }

uint8_t ParallelPort::read(uint16_t offset, Board* board) {
  switch (offset) {
    case kData:
      if (!dataLinesInput()) return dataLatch_;
      return board ? board->sampleDataLines().value_or(kFloatingLines) : kFloatingLines;
    case kStatus: return readStatus(board);
    case kControl: return static_cast<uint8_t>(control_ | kUnusedControlBits);
    case kEppAddress:
      if (!epp_ || !board) return kUnimplemented;
      return board->eppAddressRead().value_or(kFloatingLines);
    case kEppData:
      if (!epp_ || !board) return kUnimplemented;
      return board->eppDataRead().value_or(kFloatingLines);
    default: return kUnimplemented;
  }
}

void ParallelPort::write(uint16_t offset, uint8_t value, Board* board) {
  const HostPins before = hostPins();
  switch (offset) {
    case kData: dataLatch_ = value; break;
    case kControl: control_ = static_cast<uint8_t>(value & kControlMask); break;
    case kEppAddress:
      if (epp_ && board) board->eppAddressWrite(value);
      return;
    case kEppData:
      if (epp_ && board) board->eppDataWrite(value);
      return;
    default: return;  // the status register is read-only
  }
  if (board) board->hostPinsChanged(before, hostPins());
}

HostPins ParallelPort::hostPins() const {
  HostPins pins;
  // STROBE, AUTOFEED and SELECT IN are inverted between register and pin, INIT is not.
  pins.control.nStrobe = (control_ & kStrobe) == 0;
  pins.control.nAutoFeed = (control_ & kAutoFeed) == 0;
  pins.control.nInit = (control_ & kInit) != 0;
  pins.control.nSelectIn = (control_ & kSelectIn) == 0;
  if (!dataLinesInput()) pins.data = dataLatch_;
  return pins;
}

bool ParallelPort::dataLinesInput() const {
  // A unidirectional port ignores the direction bit and always drives.
  return bidirectional_ && (control_ & kDirectionInput) != 0;
}

uint8_t ParallelPort::readStatus(Board* board) const {
  const StatusPins pins = board ? board->sampleStatusPins(hostPins()) : StatusPins{};
  uint8_t status = kUnusedStatusBits;
  if (!pins.busy) status |= 0x80;  // the port inverts BUSY
  if (pins.nAck) status |= 0x40;
  if (pins.paperEnd) status |= 0x20;
  if (pins.select) status |= 0x10;
  if (pins.nError) status |= 0x08;
  return status;
}

}  // namespace omrix::sim
