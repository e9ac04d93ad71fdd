// windows.h for the Windows platform files only: its macros (SendMessage, ReplaceFile, min,
// max) would clash with names elsewhere.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

namespace omrix::platform {

// The system's text for a GetLastError() code, without its line end.
std::string WindowsErrorText(DWORD code);

}  // namespace omrix::platform
