// The session socket: a Unix-domain socket in a directory only its user can enter, one per
// board, served only to the host's own user.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "protocol.h"

namespace omrix::session {

// A file descriptor, closed when it goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(UniqueFd&& other) noexcept;
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// $XDG_RUNTIME_DIR/omrix, or /tmp/omrix-UID where there is no runtime directory; created
// 0700 when missing. "" with `problem` set when it is missing and cannot be made, or when it
// is not a directory of this user's that only this user can enter.
std::string SessionDirectory(std::string& problem);

// The socket of the board whose files live in `boardDirectory`: a name derived from it, so
// two boards can have two hosts. "" with `problem` set when there is no session directory.
std::string SocketPathFor(const std::string& boardDirectory, std::string& problem);

struct Peer {
  pid_t pid = 0;
  uid_t uid = 0;
};

// The process at the other end of a connected socket (for a client, the host that listens).
std::optional<Peer> PeerOf(int fd);

// Connects to a host. An empty fd with `noHost` when nobody listens there (no socket file,
// or one a killed host left); with `problem` for any other failure.
UniqueFd Connect(const std::string& path, bool& noHost, std::string& problem);

// The listening end; the socket file is removed when it goes, unless another host has put
// its own in its place meanwhile.
class Listener {
 public:
  // A socket file left by a killed host is replaced; a live host's is left alone, and
  // `problem` names its pid.
  static std::optional<Listener> Open(const std::string& path, std::string& problem);
  ~Listener();
  Listener(Listener&& other) noexcept = default;
  Listener& operator=(Listener&&) = delete;
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  int fd() const { return fd_.get(); }
  const std::string& path() const { return path_; }

  // A waiting client, non-blocking; empty when none waits.
  UniqueFd Accept() const;

 private:
  Listener(UniqueFd fd, std::string path, ino_t inode);
  UniqueFd fd_;
  std::string path_;
  ino_t inode_ = 0;
};

// Messages over a connected socket. Writes block until sent; reads never block.
class Channel {
 public:
  explicit Channel(UniqueFd fd) : fd_(std::move(fd)) {}

  int fd() const { return fd_.get(); }
  // False once the peer has gone; a gone peer is never written to again.
  bool Send(const Message& message);
  bool gone() const { return gone_; }

  enum class Got { Ready, Nothing, Closed, Bad };
  // Reads what has arrived and returns the next whole message. Closed: the peer went; Bad:
  // it broke the protocol, `problem` says how (the channel is then closed for reading).
  Got Receive(Message& message, std::string& problem);

 private:
  UniqueFd fd_;
  MessageReader reader_;
  bool gone_ = false;
  bool readable_ = true;
};

}  // namespace omrix::session
