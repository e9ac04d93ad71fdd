// The operating system's files as the simulator's state store and RAM loader use them: binary,
// never inherited by child processes. One implementation per system, chosen by the build.
#pragma once

#include <cstddef>
#include <string>

namespace omrix::sim::files {

// Each returns a descriptor, or -1 with errno set.
int OpenForReading(const std::string& path);
int OpenForReplacing(const std::string& path);  // created or truncated
int OpenLockFile(const std::string& path);      // created if missing, never truncated

enum class LockResult { Held, Busy, Failed };
// An exclusive lock without waiting; the system drops it with the descriptor. Failed sets errno.
LockResult LockExclusive(int fd);

// Bytes moved, 0 at the end of a file, or -1 with errno set; interrupted calls are retried.
long ReadSome(int fd, void* buffer, std::size_t size);
long WriteSome(int fd, const void* buffer, std::size_t size);

// On the disk, so that a crash after a rename never leaves a torn file.
bool FlushToDisk(int fd);
bool CloseDescriptor(int fd);

// Replaces `to` by `from` in one step; false with errno set.
bool MoveOver(const std::string& from, const std::string& to);
void RemoveFile(const std::string& path);

}  // namespace omrix::sim::files
