#include <stdlib.h>

#include "support/environment.h"

namespace omrix::testing {

// The C runtime's copy is the one getenv reads; an empty value removes the name.
void SetEnvironment(const char* name, const char* value) {
  _putenv_s(name, value != nullptr ? value : "");
}

}  // namespace omrix::testing
