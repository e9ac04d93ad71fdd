// Messages to the host and the fixed-size text fields.
#pragma once

#include <cstdarg>
#include <string>

#include "library_state.h"

namespace omrix {

// Sends one text to the host's message sink, if one is registered.
void SendMessage(const char* text);
// printf-style; the whole text is sent however long it is.
void SendMessageF(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The text held in a field (up to its first zero byte, never beyond the field).
std::string FieldText(const FileNameField& field);
// Stores `text` with its zero; false, leaving the field unchanged, when it does not fit.
bool SetField(FileNameField& field, const std::string& text);

// Where a file the library loads by name is read: the state directory when it holds one by
// that name (a user's own setup.bit), else the installed one. False when the path would not
// fit a 260-byte field.
bool LibraryPath(const std::string& name, std::string& path);
// Where a file the library writes lies (omrix.dat, basic52.$$$); false as LibraryPath.
bool StatePath(const std::string& name, std::string& path);

}  // namespace omrix
