// The exported C interface: a thin layer over the library's own functions.
#include "bus/bus.h"
#include "core/frame.h"
#include "omrix/omrix_dll.h"
#include "setup/setup_data.h"

namespace {

// Process attach of the shared library.
const bool libraryLoaded = [] {
  omrix::OnLibraryLoad();
  return true;
}();

}  // namespace

std::int32_t HwaccInit_EnableDllMessages(MessageFunction callback) {
  return omrix::HwaccInit_EnableDllMessages(callback);
}
std::int32_t HwaccDeInit() { return omrix::HwaccDeInit(); }

void outbyte(std::int32_t address, std::int32_t data) { omrix::outbyte(address, data); }
void outbyteS(std::int32_t data) { omrix::outbyteS(data); }
std::int32_t inbyte(std::int32_t address) { return omrix::inbyte(address); }
std::int32_t inbyteS() { return omrix::inbyteS(); }
void PPinitSet(std::int32_t level) { omrix::PPinitSet(level); }
void PPirqenSet(std::int32_t enable) { omrix::PPirqenSet(enable); }
std::int32_t PPackGet() { return omrix::PPackGet(); }

std::int32_t DeInitOmrix(std::int32_t mode) { return omrix::DeInitOmrix(mode); }
std::int32_t IsDeviceInitialized() { return omrix::IsDeviceInitialized(); }
std::int32_t AutoSetup(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
  return omrix::AutoSetup(a, b, c, d);
}
