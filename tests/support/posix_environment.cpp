#include <stdlib.h>

#include "support/environment.h"

namespace omrix::testing {

void SetEnvironment(const char* name, const char* value) {
  if (value != nullptr)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

}  // namespace omrix::testing
