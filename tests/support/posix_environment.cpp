#include <stdlib.h>
#include <sys/resource.h>

#include <csignal>

#include "support/environment.h"

extern char** environ;

namespace omrix::testing {

const char* NullDevice() { return "/dev/null"; }

std::vector<std::string> EnvironmentEntries() {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) entries.emplace_back(*entry);
  return entries;
}

void SetEnvironment(const char* name, const char* value) {
  if (value != nullptr)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  saved_ = limit.rlim_cur;
  limit.rlim_cur = static_cast<rlim_t>(bytes);
  setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = static_cast<rlim_t>(saved_);
  setrlimit(RLIMIT_FSIZE, &limit);
}

}  // namespace omrix::testing
