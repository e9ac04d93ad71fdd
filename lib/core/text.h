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

// libraryDirectory followed by `name`; false when the result would not fit a 260-byte field.
bool LibraryPath(const std::string& name, std::string& path);

}  // namespace omrix
