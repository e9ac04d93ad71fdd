#pragma once

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

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

  // Fixed states of the port lines for FPGA configuration, by code.
  void setPortLines(int code) {
    switch (code) {
      case 0: writes({{kC, 0x00}, {kD, 0x00}}); return;
      case 1: writes({{kC, 0x00}, {kD, 0x02}, {kC, 0x0B}, {kD, 0x00}, {kC, 0x00}}); return;
      case 2: writes({{kC, 0x00}, {kD, 0x00}, {kC, 0x0B}}); return;
      case 3: writes({{kC, 0x00}, {kD, 0x02}, {kC, 0x0B}}); return;
      default: return;
    }
  }

  // The three ways of loading the FPGA, access for access. `extraBits` more 1 bits after
  // the file model a stream that does not end on a byte boundary.
  void configureViaPc(const std::vector<uint8_t>& file, int extraBits = 0) {
    setPortLines(3);
    sim_.out(dataPort(), 0x02);
    sim_.out(dataPort(), 0x00);
    sim_.sleepMs(1);
    sim_.out(dataPort(), 0x02);
    for (const uint8_t byte : file) {
      for (int bit = 7; bit >= 0; --bit) {
        const uint8_t din = static_cast<uint8_t>((byte >> bit) & 1);
        sim_.out(dataPort(), static_cast<uint8_t>(din | 0x02));
        sim_.out(dataPort(), static_cast<uint8_t>(din | 0x06));
      }
    }
    for (int i = 0; i < extraBits; ++i) {
      sim_.out(dataPort(), 0x03);
      sim_.out(dataPort(), 0x07);
    }
    setPortLines(0);
    sendTransferMode();
  }

  void configureViaFlash() {
    setPortLines(3);
    outbyte(0, 1);
    setPortLines(1);
    sim_.sleepMs(35);
    sendTransferMode();
  }

  void clearFpga() {
    setPortLines(3);
    outbyte(0, 1);
    setPortLines(2);
  }

  // Flash bus cycles through the flash window.
  void flashAddress(uint32_t address) {
    outbyte(4, static_cast<uint8_t>(address));
    outbyte(5, static_cast<uint8_t>(address >> 8));
    outbyte(6, static_cast<uint8_t>(address >> 16));
  }

  void flashWriteCycle(uint32_t address, uint8_t data) {
    flashAddress(address);
    outbyte(3, data);
    flashControl({0x01, 0x05, 0x01, 0x00});
  }

  uint8_t flashReadCycle(uint32_t address) {
    flashAddress(address);
    beginFlashReads();
    const uint8_t value = inbyte(3);
    endFlashReads();
    return value;
  }

  void flashControl(std::initializer_list<uint8_t> values) {
    for (const uint8_t value : values) outbyte(2, value);
  }

  void beginFlashReads() {
    outbyte(2, 0x01);
    outbyte(2, 0x03);
  }

  void endFlashReads() {
    outbyte(2, 0x01);
    outbyte(2, 0x00);
  }

  // In read mode: writes only the address bytes that differ from `previous`, then reads.
  uint8_t flashReadNext(uint32_t address, uint32_t previous) {
    for (int i = 0; i < 3; ++i) {
      const auto byte = static_cast<uint8_t>(address >> (8 * i));
      if (byte != static_cast<uint8_t>(previous >> (8 * i)))
        outbyte(static_cast<uint8_t>(4 + i), byte);
    }
    return inbyte(3);
  }

  void flashCycles(std::initializer_list<std::pair<uint32_t, uint8_t>> cycles) {
    for (const auto& [address, data] : cycles) flashWriteCycle(address, data);
  }

  // Reset line pulse, reset command, one dummy read strobe, settling time.
  void flashReset() {
    outbyte(2, 0x00);
    sim_.sleepMs(1);
    outbyte(2, 0x08);
    sim_.sleepMs(1);
    outbyte(2, 0x00);
    sim_.sleepMs(1);
    flashCycles({{0xAAA, 0xAA}, {0x555, 0x55}, {0xAAA, 0xF0}});
    flashControl({0x01, 0x03, 0x01, 0x00});
    sim_.sleepMs(100);
  }

  void flashProgram(uint32_t address, uint8_t data) {
    flashCycles({{0xAAA, 0xAA}, {0x555, 0x55}, {0xAAA, 0xA0}, {address, data}});
  }

  void flashSectorErase(uint32_t address) {
    flashCycles({{0xAAA, 0xAA},
                 {0x555, 0x55},
                 {0xAAA, 0x80},
                 {0xAAA, 0xAA},
                 {0x555, 0x55},
                 {address, 0x30}});
  }

  void flashChipErase() {
    flashCycles(
        {{0xAAA, 0xAA}, {0x555, 0x55}, {0xAAA, 0x80}, {0xAAA, 0xAA}, {0x555, 0x55}, {0xAAA, 0x10}});
  }

  // Status readings (masked with 0xB8) of the two phases of the last nibble read.
  uint8_t highStatus() const { return highStatus_; }
  uint8_t lowStatus() const { return lowStatus_; }

  static uint8_t AssembleNibbles(uint8_t high, uint8_t low) {
    const auto bit = [](uint8_t s, int from, int to) {
      return static_cast<uint8_t>(((s >> from) & 1) << to);
    };
    return static_cast<uint8_t>(bit(high, 7, 4) | bit(high, 3, 5) | bit(high, 4, 6) |
                                bit(high, 5, 7) | bit(low, 7, 0) | bit(low, 3, 1) | bit(low, 4, 2) |
                                bit(low, 5, 3));
  }

  uint16_t dataPort() const { return base_; }
  uint16_t statusPort() const { return static_cast<uint16_t>(base_ + 1); }
  uint16_t control() const { return static_cast<uint16_t>(base_ + 2); }
  uint16_t eppAddress() const { return static_cast<uint16_t>(base_ + 3); }
  uint16_t eppData() const { return static_cast<uint16_t>(base_ + 4); }

 private:
  static constexpr uint16_t kD = 0;
  static constexpr uint16_t kC = 2;

  void writes(std::initializer_list<std::pair<uint16_t, uint8_t>> list) {
    for (const auto& [offset, value] : list) sim_.out(static_cast<uint16_t>(base_ + offset), value);
  }

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
