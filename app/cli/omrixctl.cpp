// omrixctl: the omrix board from a shell, through the library's exports only.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "omrix/omrix_dll.h"
#include "terminal_text.h"

namespace {

void PrintMessage(const char* text) {
  const std::string shown = omrix::cli::ToTerminalText(text);
  std::fwrite(shown.data(), 1, shown.size(), stdout);
  std::fflush(stdout);
}

void PrintUsage(FILE* to) {
  std::fputs(
      "usage: omrixctl [--port-io sim|direct]\n"
      "\n"
      "Brings up the port-I/O driver (by default on the simulated board), reports it and\n"
      "closes it again.\n"
      "\n"
      "exit status: 0 success, 1 the driver could not be loaded, 2 bad usage\n",
      to);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      PrintUsage(stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--port-io") == 0 && i + 1 < argc) {
      setenv("OMRIX_PORT_IO", argv[++i], 1);
      continue;
    }
    std::fprintf(stderr, "omrixctl: unknown argument '%s'\n", argv[i]);
    PrintUsage(stderr);
    return 2;
  }
  if (HwaccInit_EnableDllMessages(&PrintMessage) == 0) return 1;
  HwaccDeInit();
  return 0;
}
