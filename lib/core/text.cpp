#include "text.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace omrix {

void SendMessage(const char* text) {
  if (state.messageCallback != nullptr) state.messageCallback(text);
}

void SendMessageF(const char* format, ...) {
  if (state.messageCallback == nullptr) return;
  char small[512];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (length < 0) {
    va_end(again);
    return;
  }
  if (static_cast<std::size_t>(length) < sizeof small) {
    va_end(again);
    state.messageCallback(small);
    return;
  }
  std::vector<char> large(static_cast<std::size_t>(length) + 1);
  std::vsnprintf(large.data(), large.size(), format, again);
  va_end(again);
  state.messageCallback(large.data());
}

std::string FieldText(const FileNameField& field) {
  const void* end = std::memchr(field.data(), '\0', field.size());
  const std::size_t length =
      end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - field.data())
                     : field.size();
  return std::string(field.data(), length);
}

bool SetField(FileNameField& field, const std::string& text) {
  if (text.size() >= field.size() || text.find('\0') != std::string::npos) return false;
  std::memcpy(field.data(), text.data(), text.size());
  std::memset(field.data() + text.size(), 0, field.size() - text.size());
  return true;
}

namespace {

// `name` in the directory a field holds; false for no directory (never the working directory)
// or a path that would not fit.
bool PathIn(const FileNameField& directoryField, const std::string& name, std::string& path) {
  const std::string directory = FieldText(directoryField);
  if (directory.empty()) return false;
  std::string joined = directory + name;
  if (joined.size() >= kFileNameSize) return false;
  path = std::move(joined);
  return true;
}

}  // namespace

bool LibraryPath(const std::string& name, std::string& path) {
  std::string own;
  platform::FileStatus status;
  if (FieldText(state.stateDirectory) != FieldText(state.libraryDirectory) &&
      PathIn(state.stateDirectory, name, own) && platform::files().status(own, status) &&
      status.exists) {
    path = std::move(own);
    return true;
  }
  return PathIn(state.libraryDirectory, name, path);
}

bool StatePath(const std::string& name, std::string& path) {
  return PathIn(state.stateDirectory, name, path);
}

}  // namespace omrix
