// The one seam between the library and the operating system: port I/O, the service manager,
// clocks, paths and files. Everything above this layer is free of
// system headers and of knowledge about which port backend runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace omrix::platform {

using Handle = std::intptr_t;
inline constexpr Handle kInvalidHandle = -1;

// Why a backend refused to grant a range, when it knows.
enum class GrantRefusal {
  None,              // granted, or refused for no reason the backend can name
  Busy,              // another program holds the port
  NoPort,            // no parallel port at that base
  PermissionDenied,  // the port exists, but this user may not open it
  NotAllowed,        // no parallel port's base this backend may grant; the detail names the
                     // file that would allow it
  LockFailed,        // the port's lock could not be taken; the detail says why
};

// The processor's I/O addresses: 16 bits.
inline constexpr std::uint32_t kPortSpace = 0x10000;

struct PortRange {
  std::uint32_t first = 0;
  std::uint32_t count = 0;
  bool contains(std::uint32_t port) const { return port >= first && port - first < count; }
  // Some ports, and none beyond the last I/O address.
  bool withinPortSpace() const {
    return count != 0 && first < kPortSpace && count <= kPortSpace - first;
  }
};

// The one base where no port has EPP.
inline constexpr std::uint16_t kPortWithoutEpp = 0x3BC;

// A parallel port's registers: data, status and control, and the two EPP registers except at
// kPortWithoutEpp.
PortRange parallelPortRange(std::uint16_t base);

class DriverDevice;

// Time as the bus cycles measure it; by default the real one.
class Clock {
 public:
  virtual ~Clock() = default;
  // The read-settle delay in BusyWait units.
  virtual void settle(std::int32_t count);
  virtual std::uint32_t tickCount();
  virtual void sleepMs(std::uint32_t ms);
};

// A way to reach the parallel port, chosen when the driver is brought up. The base keeps the
// claimed ranges: an access outside them never reaches the hardware (reads 0xFF, writes dropped).
class PortBackend {
 public:
  // Out of line, where the emulated device is a complete type.
  PortBackend();
  virtual ~PortBackend();

  // False for a range no backend could grant, or one the backend refuses (lastRefusal() may
  // say why).
  bool claim(const PortRange& range);
  // Gives back a range claimed before; false for any other.
  bool release(const PortRange& range);
  std::uint8_t in(std::uint32_t port);
  void out(std::uint32_t port, std::uint8_t value);

  // Whether the process may use port I/O at all; without it the driver does not come up.
  virtual bool mayAccessPorts() { return true; }
  // The driver's device the library reaches the ports through. Unless the backend has the
  // real one, an emulation whose requests claim and release ranges of this backend.
  virtual DriverDevice& driverDevice();
  // A backend with a time of its own (the simulated board's) answers with it.
  virtual Clock& clock();

  // A line the library adds after its own success line, for backends a user must not mistake
  // for hardware; empty for the real ones.
  virtual std::string notice() const { return {}; }

  // A library call has returned: a backend whose board outlives the process keeps its state.
  virtual void callEnded() {}
  // The library lets the port go: such a backend keeps its board as it is now.
  virtual void closing() {}

  const std::vector<PortRange>& granted() const { return granted_; }
  // Why the last claim or reclaim was refused; for Busy the detail names the holder when known.
  GrantRefusal lastRefusal() const { return refusal_; }
  const std::string& refusalDetail() const { return refusalDetail_; }

  // Lets other programs drive the granted ports until reclaim(), which waits a bounded time for
  // them and is false, refused as Busy, when they keep a port; meanwhile it reads 0xFF.
  virtual void lend() {}
  virtual bool reclaim() { return true; }

 protected:
  virtual std::uint8_t rawIn(std::uint16_t port) = 0;
  virtual void rawOut(std::uint16_t port, std::uint8_t value) = 0;
  virtual bool grant(const PortRange& range) = 0;
  virtual bool revoke(const PortRange& range) = 0;
  // Called by a grant() that fails for a reason it can name.
  void refuse(GrantRefusal why, std::string detail = {}) {
    refusal_ = why;
    refusalDetail_ = std::move(detail);
  }

 private:
  bool isGranted(std::uint32_t port) const;

  std::vector<PortRange> granted_;
  std::unique_ptr<DriverDevice> emulatedDevice_;
  GrantRefusal refusal_ = GrantRefusal::None;
  std::string refusalDetail_;
};

struct VersionInfo {
  std::uint32_t platformId = 0;  // 1: 9x family, 2: NT family
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
  std::string release;  // e.g. the kernel release
};
inline constexpr std::uint32_t kPlatform9x = 1;
inline constexpr std::uint32_t kPlatformNT = 2;

struct ServiceConfig {
  std::string name;
  std::string displayName;
  std::uint32_t access = 0;
  std::uint32_t type = 0;
  std::uint32_t startType = 0;
  std::uint32_t errorControl = 0;
  std::string imagePath;
};

// Operating-system services other than the port.
class System {
 public:
  virtual ~System() = default;
  virtual bool queryVersion(VersionInfo& info) = 0;
  virtual bool ownModulePath(std::string& path) = 0;  // the library file
  virtual bool programPath(std::string& path) = 0;    // the running program
  virtual bool shortPathName(const std::string& path, std::string& shortPath) = 0;
  virtual void beep(std::uint32_t type) = 0;
  virtual std::int64_t calendarTime() = 0;  // seconds since 1970
  // The process's ids or capabilities were raised when it was started (AT_SECURE).
  virtual bool secureExecution();

  virtual Handle openServiceManager(std::uint32_t access) = 0;
  virtual Handle createService(Handle manager, const ServiceConfig& config) = 0;
  virtual Handle openService(Handle manager, const std::string& name, std::uint32_t access) = 0;
  virtual bool startService(Handle service) = 0;
  virtual bool deleteService(Handle service) = 0;
  virtual bool closeServiceHandle(Handle handle) = 0;
};

struct FileStatus {
  bool exists = false;
  bool isRegular = false;
  bool isDirectory = false;
  std::uint64_t size = 0;
  std::uint32_t permissions = 0;  // the mode's permission bits
  // The system lets this process write it and its owner has not made it read-only (root
  // passes every permission check, yet a file its owner protected is still not replaced).
  bool writable = false;
  std::uint64_t ageSeconds = 0;  // since its last modification
};

enum class FileMode {
  Read,           // existing file
  WriteTruncate,  // create, or truncate a regular file; nothing else is opened
  CreateNew       // fails if the name exists
};

// An open file; closed when destroyed.
class File {
 public:
  virtual ~File() = default;
  // Reads up to `size` bytes; `got` is 0 at the end of the file. False on a read error.
  virtual bool read(void* buffer, std::size_t size, std::size_t& got) = 0;
  // Writes all `size` bytes or fails.
  virtual bool write(const void* buffer, std::size_t size) = 0;
  // Flushes to the device and closes; false if anything written may be lost.
  virtual bool close() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual std::unique_ptr<File> open(const std::string& path, FileMode mode) = 0;
  // A new file named `prefix` and characters that make the name unique; the name goes to `path`.
  virtual std::unique_ptr<File> createTemporary(const std::string& prefix, std::string& path) = 0;
  // The names of a directory's entries, "." and ".." left out; the standard library's listing
  // serves every system, so only a test's file system replaces it.
  virtual bool listDirectory(const std::string& directory, std::vector<std::string>& names);
  virtual bool rename(const std::string& from, const std::string& to) = 0;
  virtual bool remove(const std::string& path) = 0;
  virtual bool status(const std::string& path, FileStatus& status) = 0;
  virtual bool setPermissions(const std::string& path, std::uint32_t permissions) = 0;
  // The file a path finally names, symbolic links followed; the path itself if it is none.
  virtual std::string resolveLinks(const std::string& path) = 0;
};

// --- The current platform ------------------------------------------------------------------

PortBackend& portBackend();
// The current backend's clock.
Clock& clock();
System& system();
FileSystem& files();

// Chooses the port backend from OMRIX_PORT_IO as it is now ("sim" when unset). Returns false,
// keeping a backend that reaches nothing, for a name that is no backend.
bool selectPortBackend(const std::string& libraryDirectory, std::string& problem);

// Test seams: replace the current parts. A null pointer restores the real one.
void overridePortBackend(std::unique_ptr<PortBackend> backend);
void overrideSystem(std::unique_ptr<System> system);
void overrideFileSystem(std::unique_ptr<FileSystem> fileSystem);
// Makes the next selectPortBackend() use this backend whatever OMRIX_PORT_IO says.
void forceNextPortBackend(std::unique_ptr<PortBackend> backend);

// The local calendar time `seconds` after 1970 began, wide enough for dates from 2038 on where
// the C library's time_t is 32 bits. False when the system cannot convert it.
bool LocalCalendarTime(std::int64_t seconds, std::tm& result);

// `text`, whose lines end in '\n', with the line ends of the system's text files.
std::string WithSystemLineEnds(std::string text);

// Environment variable, or empty when unset. In a secure execution the variables that could
// redirect the library read as unset.
std::string environment(const char* name);

// The lines the library adds after its own success line at bring-up: the backend's notice, and
// what the platform ignored.
std::string notices();

}  // namespace omrix::platform
