// omrix_dll.dll as a program that binds by ordinal sees it: each name of the ordinal table at
// its ordinal, undecorated, and nothing else. Exit status 0 when all holds.
#include <windows.h>

#include <cstdio>
#include <iterator>
#include <map>
#include <string>

#include "omrix/omrix_dll.h"

namespace {

struct Library {
  HMODULE module;
  ~Library() {
    if (module != nullptr) FreeLibrary(module);
  }
};

void* ByOrdinal(HMODULE module, int ordinal) {
  return reinterpret_cast<void*>(
      GetProcAddress(module, MAKEINTRESOURCEA(static_cast<WORD>(ordinal))));
}

void* ByName(HMODULE module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(module, name));
}

// Every name the DLL's export directory lists, with the ordinal it gives it.
std::map<std::string, int> ExportedNames(HMODULE module) {
  const auto* base = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& entry =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  std::map<std::string, int> names;
  if (entry.Size == 0) return names;
  const auto* directory =
      reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
  const auto* nameAddresses = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
  const auto* nameOrdinals = reinterpret_cast<const WORD*>(base + directory->AddressOfNameOrdinals);
  for (DWORD i = 0; i < directory->NumberOfNames; ++i) {
    const char* name = reinterpret_cast<const char*>(base + nameAddresses[i]);
    names[name] = static_cast<int>(directory->Base + nameOrdinals[i]);
  }
  return names;
}

int failures = 0;

void Fail(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  ++failures;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: dll_ordinals_test PATH-OF-omrix_dll.dll\n");
    return 2;
  }
  const Library library{LoadLibraryA(argv[1])};
  if (library.module == nullptr) {
    std::fprintf(stderr, "cannot load %s (error %lu)\n", argv[1], GetLastError());
    return 1;
  }
  const std::map<std::string, int> exported = ExportedNames(library.module);
  for (const omrix::ExportOrdinal& row : omrix::kExportOrdinals) {
    const void* byOrdinal = ByOrdinal(library.module, row.ordinal);
    const void* byName = ByName(library.module, row.name);
    if (byName == nullptr) Fail(std::string(row.name) + ": not exported by name");
    if (byOrdinal != byName)
      Fail(std::string(row.name) + ": not at ordinal " + std::to_string(row.ordinal));
  }
  if (exported.size() != std::size(omrix::kExportOrdinals))
    Fail(std::to_string(exported.size()) + " names exported, " +
         std::to_string(std::size(omrix::kExportOrdinals)) + " in the ordinal table");
  for (const auto& [name, ordinal] : exported)
    if (name.find('@') != std::string::npos) Fail(name + ": a decorated name");
  const int beyondTheTable = static_cast<int>(std::size(omrix::kExportOrdinals)) + 1;
  if (ByOrdinal(library.module, beyondTheTable) != nullptr)
    Fail("ordinal " + std::to_string(beyondTheTable) + " exists");
  return failures == 0 ? 0 : 1;
}
