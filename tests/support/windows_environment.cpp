#include <stdlib.h>

#include "support/environment.h"

namespace omrix::testing {

// The C runtime's copy is the one getenv reads; an empty value removes the name.
const char* NullDevice() { return "NUL"; }

// The C runtime's copy, which SetEnvironment changes.
std::vector<std::string> EnvironmentEntries() {
  std::vector<std::string> entries;
  for (char** entry = _environ; *entry != nullptr; ++entry) entries.emplace_back(*entry);
  return entries;
}

void SetEnvironment(const char* name, const char* value) {
  _putenv_s(name, value != nullptr ? value : "");
}

}  // namespace omrix::testing
