// The real implementations behind the platform interfaces.
#pragma once

#include <cstdint>
#include <memory>

#include "platform.h"

namespace omrix::platform {

std::unique_ptr<System> makeSystem();
std::unique_ptr<FileSystem> makeFileSystem();
// How many written files the real file layer has flushed to the device (a seam for tests).
std::uint64_t fileFlushCount();

}  // namespace omrix::platform
