// The real implementations behind the platform interfaces.
#pragma once

#include <memory>

#include "platform.h"

namespace omrix::platform {

std::unique_ptr<System> makeLinuxSystem();
std::unique_ptr<FileSystem> makePosixFileSystem();

}  // namespace omrix::platform
