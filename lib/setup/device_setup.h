// Finding the board at a port and making it the current device; and the start-up.
#pragma once

#include <cstdint>

namespace omrix {

std::int32_t SetupOmrix(std::int32_t port);
std::int32_t InterpreteOmrixDat();

// InitDeviceAtPort's result: 0 for the recorded board configured as recorded, else these bits.
inline constexpr int kIdentifierNotVerified = 0x01;
inline constexpr int kWrongBoard = 0x02;
inline constexpr int kNotConfiguredAsRecorded = 0x04;
inline constexpr int kDeviceUnusable = 0x08;
// The results that leave no usable device.
inline constexpr int kDeviceFailed = kDeviceUnusable | kWrongBoard;
int InitDeviceAtPort(const char* source, std::uint32_t identifier);

inline constexpr const char* kFactoryEntryCode = "R3kTBwN";

}  // namespace omrix
