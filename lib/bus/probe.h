// Finding out whether a port answers, which transfer mode carries data to the board, how long
// reads must settle, and whether the board is the right kind; and the transfer rate.
#pragma once

#include <cstdint>

namespace omrix {

// Bits of a ProbeResult.
inline constexpr std::uint32_t kProbePortTypeMask = 0x0007;
inline constexpr std::uint32_t kProbeSppPassed = 0x0020;
inline constexpr std::uint32_t kProbePs2Passed = 0x0040;
inline constexpr std::uint32_t kProbeEppPassed = 0x0080;
inline constexpr std::uint32_t kProbeDeviceError = 0x0100;
inline constexpr std::uint32_t kProbeNoPort = 0x0400;

inline constexpr std::uint32_t kBoardTypecode = 0x11;
inline constexpr std::uint32_t kBoardTypecodeAddress = 0x7FF90;
inline constexpr std::int32_t kPatternsPerRun = 0x7FFF;

std::uint32_t ProbeDevice(const char* setupFile);
int ProbePort();
std::int32_t PatternCheck(std::int32_t writeAddress, std::int32_t readAddress, std::uint8_t orMask,
                          std::int32_t count);
std::int32_t TunePPwait(std::int32_t writeAddress, std::int32_t readAddress, std::uint8_t orMask,
                        std::int32_t count, bool restart);
std::uint32_t DataTransferCheck(std::int32_t writeAddress, std::int32_t readAddress,
                                std::uint8_t orMask, std::uint32_t portType,
                                std::uint32_t expectedType);
std::uint32_t GetTransferRate(std::int32_t kind, std::int32_t writeAddress,
                              std::int32_t readAddress, std::int32_t kilobytes);

}  // namespace omrix
