// The process's environment as the library reads it, for tests that set it.
#pragma once

namespace omrix::testing {

// Sets `name` to `value`, or removes it for a null value.
void SetEnvironment(const char* name, const char* value);

}  // namespace omrix::testing
