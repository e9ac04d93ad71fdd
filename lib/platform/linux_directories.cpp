#include "account_directories.h"
#include "directories.h"

namespace omrix::platform {

std::string accountHome() { return AccountHome(); }

bool makePrivateDirectory(const std::string& directory) { return MakePrivateDirectory(directory); }

}  // namespace omrix::platform
