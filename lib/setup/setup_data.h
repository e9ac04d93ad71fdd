// The de-initialisation rewrite of "omrix.dat" and the device state.
#pragma once

#include <cstdint>

#include "omrix/omrix_dll.h"

namespace omrix {

// Rewrites "omrix.dat" from the file's init sections and memory's run data. 0 or 1.
int SaveSetupData();

std::int32_t DeInitOmrix(std::int32_t mode);
// The modes as plain integers: an enumerator would also find the exported C function.
inline constexpr std::int32_t kDeInitExit = OMRIX_DEINIT_EXIT;
inline constexpr std::int32_t kDeInitForgetPort = OMRIX_DEINIT_FORGET_PORT;
inline constexpr std::int32_t kDeInitForJtag = OMRIX_DEINIT_FOR_JTAG;
std::int32_t IsDeviceInitialized();
std::int32_t AutoSetup(std::int32_t, std::int32_t, std::int32_t, std::int32_t);

inline constexpr const char* kCorruptSetupDataMessage =
    "ERROR: \xB4omrix.dat\xB4 corrupted, file deleted --> enter FILE EXIT and re-run program\n";
inline constexpr const char* kReadSetupDataError = "ERROR: Could not read file \xB4omrix.dat\xB4\n";

// Deletes the corrupt "omrix.dat" and says so.
void DeleteCorruptSetupData();

struct SetupDataRecord;
// The values the start-up takes from the file, other than the port: the run configuration, the
// port settings (made safe to use) and the slot names. Nothing is done with them here.
void TakeRecordedValues(const SetupDataRecord& record);

}  // namespace omrix
