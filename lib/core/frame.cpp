#include "frame.h"

#include <string>

#include "driver/driver.h"
#include "helpers.h"
#include "library_state.h"
#include "platform/platform.h"
#include "text.h"

namespace omrix {

LibraryState state;

namespace {

std::string DirectoryOf(const std::string& path) {
  const std::size_t cut = path.size() - std::string(FileNamePart(path.c_str())).size();
  return path.substr(0, cut);
}

std::string WithTrailingSlash(std::string directory) {
  if (directory.empty() || directory.back() != '/') directory += '/';
  return directory;
}

}  // namespace

void OnLibraryLoad() {
  std::string directory = platform::environment("OMRIX_LIBRARY_DIR");
  if (!directory.empty()) {
    directory = WithTrailingSlash(directory);
  } else {
    std::string modulePath;
    if (platform::system().ownModulePath(modulePath)) directory = DirectoryOf(modulePath);
  }
  // A directory that does not fit leaves the field empty rather than cut.
  if (!SetField(state.libraryDirectory, directory)) state.libraryDirectory.fill('\0');
}

std::int32_t HwaccInit_EnableDllMessages(MessageFunction callback) {
  state.portBase = kNoDevice;
  state.messageCallback = callback;
  // A second bring-up must not leave the first one's range claimed or its handle open.
  if (state.portRangeHeld) DisablePortAccess();
  if (state.driverHandle != platform::kInvalidHandle) DriverUnload();

  std::string problem;
  const bool selected =
      platform::selectPortBackend(FieldText(state.libraryDirectory), problem);
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
