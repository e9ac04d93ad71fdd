#pragma once

#include <cstdint>
#include <utility>

#include "omrix/sim/simulator.h"

namespace omrix::sim::testing {

// The port-access sequences the library drives for its mm-bus cycles, written out
// access by access so the board model is exercised with exactly these.
class HostBus {
 public:
  // PPcontrol values of the three transfer modes.
  static constexpr uint8_t kSpp = 0x04;
  static constexpr uint8_t kPs2 = 0xA4;
  static constexpr uint8_t kEpp = 0x44;

  HostBus(Simulator& sim, uint16_t base, uint8_t ppControl = kSpp, int32_t wait = 0)
      : sim_(sim), base_(base), ppControl_(ppControl), wait_(wait) {}

  void setMode(uint8_t ppControl) { ppControl_ = ppControl; }
  void setWait(int32_t wait) { wait_ = wait; }

  void outbyte(uint8_t address, uint8_t data) {
    if (epp()) {
      sim_.out(eppAddress(), address);
      sim_.out(eppData(), data);
      return;
    }
    addressPhase(address);
    outbyteS(data);
  }

  void outbyteS(uint8_t data) {
    if (epp()) {
      sim_.out(eppData(), data);
      return;
    }
    sim_.out(dataPort(), data);
    sim_.out(control(), static_cast<uint8_t>(drive() | 0x01));
    sim_.out(control(), drive());
  }

  uint8_t inbyte(uint8_t address) {
    if (epp()) {
      sim_.out(eppAddress(), address);
      return sim_.in(eppData());
    }
    addressPhase(address);
    return inbyteS();
  }

  uint8_t inbyteS() {
    if (epp()) return sim_.in(eppData());
    sim_.out(control(), static_cast<uint8_t>(ppControl_ | 0x02));
    uint8_t result = 0;
    if ((ppControl_ & 0xA0) != 0) {
      sim_.busyWait(wait_);
      result = sim_.in(dataPort());
    } else {
      sim_.out(dataPort(), 0x01);
      sim_.busyWait(wait_);
      highStatus_ = static_cast<uint8_t>(sim_.in(statusPort()) & 0xB8);
      sim_.out(dataPort(), 0x00);
      sim_.busyWait(wait_);
      lowStatus_ = static_cast<uint8_t>(sim_.in(statusPort()) & 0xB8);
      result = AssembleNibbles(highStatus_, lowStatus_);
    }
    sim_.out(control(), ppControl_);
    sim_.out(control(), drive());
    return result;
  }

  // Writes the mode code of the current PPcontrol to ModeRegister.
  void sendTransferMode() {
    if ((ppControl_ & 0xA0) == 0xA0) {
      outbyte(0, 2);
    } else if ((ppControl_ & 0x40) != 0) {
      ppControl_ = static_cast<uint8_t>(ppControl_ & ~0x40);
      outbyte(0, 4);
      ppControl_ = static_cast<uint8_t>(ppControl_ | 0x40);
      outbyte(0, 4);
    } else {
      outbyte(0, 0);
    }
  }

  // Status readings (masked with 0xB8) of the two phases of the last nibble read.
  uint8_t highStatus() const { return highStatus_; }
  uint8_t lowStatus() const { return lowStatus_; }

  static uint8_t AssembleNibbles(uint8_t high, uint8_t low) {
    const auto bit = [](uint8_t s, int from, int to) {
      return static_cast<uint8_t>(((s >> from) & 1) << to);
    };
    return static_cast<uint8_t>(bit(high, 7, 4) | bit(high, 3, 5) | bit(high, 4, 6) |
                                bit(high, 5, 7) | bit(low, 7, 0) | bit(low, 3, 1) |
                                bit(low, 4, 2) | bit(low, 5, 3));
  }

  uint16_t dataPort() const { return base_; }
  uint16_t statusPort() const { return static_cast<uint16_t>(base_ + 1); }
  uint16_t control() const { return static_cast<uint16_t>(base_ + 2); }
  uint16_t eppAddress() const { return static_cast<uint16_t>(base_ + 3); }
  uint16_t eppData() const { return static_cast<uint16_t>(base_ + 4); }

 private:
  bool epp() const { return (ppControl_ & 0x40) != 0; }
  uint8_t drive() const { return static_cast<uint8_t>(ppControl_ & 0x5F); }

  void addressPhase(uint8_t address) {
    sim_.out(dataPort(), address);
    sim_.out(control(), static_cast<uint8_t>(drive() | 0x08));
    sim_.out(control(), drive());
  }

  Simulator& sim_;
  uint16_t base_;
  uint8_t ppControl_;
  int32_t wait_;
  uint8_t highStatus_ = 0;
  uint8_t lowStatus_ = 0;
};

// A simulator with the default port and the board at 0x378 running the setup design.
inline Simulator SetupBoard(SimConfig config = {}) {
  Simulator sim(std::move(config));
  sim.loadDesign(Design::Setup);
  return sim;
}

}  // namespace omrix::sim::testing
