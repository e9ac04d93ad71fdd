#include "frame.h"

#include <string>

#include "driver/driver.h"
#include "helpers.h"
#include "library_state.h"
#include "platform/directories.h"
#include "platform/platform.h"
#include "text.h"

namespace omrix {

LibraryState state;

void OnLibraryLoad() {
  const platform::Directories directories = platform::libraryDirectories();
  // A directory that does not fit leaves the field empty rather than cut.
  if (!SetField(state.libraryDirectory, directories.data)) state.libraryDirectory.fill('\0');
  if (!SetField(state.stateDirectory, directories.state)) state.stateDirectory.fill('\0');
  state.makeStateDirectory = directories.makeState;
}

std::int32_t HwaccInit_EnableDllMessages(MessageFunction callback) {
  state.portBase = kNoDevice;
  state.messageCallback = callback;
  // A second bring-up must not leave the first one's range claimed or its handle open.
  if (state.portRangeHeld) DisablePortAccess();
  if (state.driverHandle != platform::kInvalidHandle) DriverUnload();

  // A missing state directory shows later, in the texts about the files that cannot be written.
  if (state.makeStateDirectory) platform::makePrivateDirectory(FieldText(state.stateDirectory));
  std::string problem;
  const bool selected = platform::selectPortBackend(FieldText(state.stateDirectory), problem);
  if (!selected) SendMessageF("-> ERROR: %s\n", problem.c_str());
  if (!selected || DriverLoad() == 0) {
    SendMessage("\n FATAL ERROR: The driver for hardware access could not be loaded\n\n");
    platform::system().beep(kBeepExclamation);
    return 0;
  }
  SendMessage("\n The driver for hardware access was loaded successfully\n\n");
  const std::string notice = platform::notices();
  if (!notice.empty()) SendMessage(notice.c_str());
  return 1;
}

std::int32_t HwaccDeInit() { return DriverUnload(); }

}  // namespace omrix
