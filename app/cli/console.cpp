#include "console.h"

#include <cstdio>

#include "commands/people_text.h"

namespace omrix::cli {

void Show(const std::string& text) {
  const std::string shown = commands::PeopleText(text);
  std::fwrite(shown.data(), 1, shown.size(), stdout);
  std::fflush(stdout);
}

void Complain(const std::string& text) {
  const std::string line = "omrixctl: " + commands::PeopleText(text) + "\n";
  std::fflush(stdout);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace omrix::cli
