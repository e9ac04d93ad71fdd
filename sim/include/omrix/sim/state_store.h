#pragma once

#include <optional>
#include <string>

#include "omrix/sim/board.h"

namespace omrix::sim {

// A file descriptor, closed when its owner goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd);
  ~UniqueFd();
  UniqueFd(UniqueFd&& other) noexcept;
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const;
  bool valid() const;
  void reset();
  int release();  // gives the descriptor up without closing it

 private:
  int fd_ = -1;
};

// An exclusive lock (flock) on a file, held while the object holds it; the kernel drops it
// with the descriptor, so a crashed holder never leaves the board locked.
class StateLock {
 public:
  enum class Result { Held, Busy, Failed };

  // Creates the file if needed. Busy: another open file holds the lock.
  Result acquire(const std::string& path, std::string& error);
  void release();
  bool held() const;

 private:
  UniqueFd fd_;
};

// The board's state file. Writing replaces the file atomically (temporary file, fsync,
// rename). Reading gives nullopt with an empty error when there is no file.
bool WriteBoardState(const std::string& path, const BoardState& state, std::string& error);
std::optional<BoardState> ReadBoardState(const std::string& path, std::string& error);

}  // namespace omrix::sim
