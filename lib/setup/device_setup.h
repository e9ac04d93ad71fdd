// Finding the board at a port and making it the current device; and the start-up.
#pragma once

#include <cstdint>

namespace omrix {

std::int32_t SetupOmrix(std::int32_t port);
std::int32_t InterpreteOmrixDat();
int InitDeviceAtPort(const char* source, std::uint32_t identifier);

inline constexpr const char* kFactoryEntryCode = "R3kTBwN";

}  // namespace omrix
