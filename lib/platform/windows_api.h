// windows.h for the Windows platform files only: its macros (SendMessage, ReplaceFile, min,
// max) would clash with names elsewhere.
#pragma once

#include <windows.h>

#include <string>

namespace omrix::platform {

// The system's text for a GetLastError() code, without its line end.
std::string WindowsErrorText(DWORD code);

}  // namespace omrix::platform
