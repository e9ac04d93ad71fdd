#include "transport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <sstream>
#include <utility>

namespace omrix::session {

namespace {

constexpr mode_t kPrivateDirectory = 0700;
constexpr mode_t kOthersBits = 077;
constexpr int kListenBacklog = 16;
constexpr std::size_t kReadChunk = 4096;
constexpr std::uint64_t kFnvOffset = 14695981039346656037ULL;
constexpr std::uint64_t kFnvPrime = 1099511628211ULL;

std::string SystemReason(int error) { return std::strerror(error); }

// A stable name for a directory: FNV-1a over its bytes, in hex.
std::string NameOf(const std::string& directory) {
  std::uint64_t hash = kFnvOffset;
  for (const char c : directory) {
    hash ^= static_cast<unsigned char>(c);
    hash *= kFnvPrime;
  }
  std::ostringstream name;
  name << "board-" << std::hex << std::setw(16) << std::setfill('0') << hash << ".sock";
  return name.str();
}

bool AddressOf(const std::string& path, sockaddr_un& address, std::string& problem) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    problem = "the session socket's name '" + path + "' is longer than " +
              std::to_string(sizeof address.sun_path - 1) + " bytes";
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

UniqueFd NewSocket() { return UniqueFd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)); }

}  // namespace

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) close(fd_);
}

UniqueFd::UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

std::string SessionDirectory(std::string& problem) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string directory = runtime != nullptr && *runtime == '/'
                                    ? std::string(runtime) + "/omrix"
                                    : "/tmp/omrix-" + std::to_string(geteuid());
  if (mkdir(directory.c_str(), kPrivateDirectory) != 0 && errno != EEXIST) {
    problem = "cannot make the session directory '" + directory + "': " + SystemReason(errno);
    return "";
  }
  struct stat status {};
  if (lstat(directory.c_str(), &status) != 0) {
    problem = "cannot look at '" + directory + "': " + SystemReason(errno);
    return "";
  }
  // Anyone can make a name in /tmp: only a directory of our own that nobody else can enter
  // keeps another user from standing in for the host.
  if (!S_ISDIR(status.st_mode) || status.st_uid != geteuid() ||
      (status.st_mode & kOthersBits) != 0) {
    problem = "the session directory '" + directory +
              "' is not a directory of this user's that only this user can enter";
    return "";
  }
  return directory + "/";
}

std::string SocketPathFor(const std::string& boardDirectory, std::string& problem) {
  const std::string directory = SessionDirectory(problem);
  return directory.empty() ? "" : directory + NameOf(boardDirectory);
}

std::optional<Peer> PeerOf(int fd) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return std::nullopt;
  return Peer{credentials.pid, credentials.uid};
}

UniqueFd Connect(const std::string& path, bool& noHost, std::string& problem) {
  noHost = false;
  sockaddr_un address{};
  if (!AddressOf(path, address, problem)) return {};
  UniqueFd fd = NewSocket();
  if (!fd) {
    problem = "cannot make a socket: " + SystemReason(errno);
    return {};
  }
  if (connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
    return fd;
  if (errno == ENOENT || errno == ECONNREFUSED) {
    noHost = true;
  } else {
    problem = "cannot reach the session host at '" + path + "': " + SystemReason(errno);
  }
  return {};
}

Listener::Listener(UniqueFd fd, std::string path, ino_t inode)
    : fd_(std::move(fd)), path_(std::move(path)), inode_(inode) {}

std::optional<Listener> Listener::Open(const std::string& path, std::string& problem) {
  sockaddr_un address{};
  if (!AddressOf(path, address, problem)) return std::nullopt;
  bool noHost = false;
  if (UniqueFd live = Connect(path, noHost, problem)) {
    const std::optional<Peer> peer = PeerOf(live.get());
    problem = "a session host (pid " + (peer ? std::to_string(peer->pid) : std::string("?")) +
              ") already holds this board";
    return std::nullopt;
  }
  if (!noHost) return std::nullopt;
  struct stat status {};
  if (lstat(path.c_str(), &status) == 0) {
    if (!S_ISSOCK(status.st_mode)) {
      problem = "'" + path + "' is in the way of the session socket";
      return std::nullopt;
    }
    unlink(path.c_str());  // a killed host's: nobody answers there
  }
  UniqueFd fd = NewSocket();
  if (!fd || bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd.get(), kListenBacklog) != 0 ||
      fcntl(fd.get(), F_SETFL, fcntl(fd.get(), F_GETFL) | O_NONBLOCK) != 0) {
    problem = "cannot serve on '" + path + "': " + SystemReason(errno);
    return std::nullopt;
  }
  if (lstat(path.c_str(), &status) != 0) {
    problem = "cannot look at '" + path + "': " + SystemReason(errno);
    return std::nullopt;
  }
  return Listener(std::move(fd), path, status.st_ino);
}

Listener::~Listener() {
  if (!fd_) return;
  struct stat status {};
  if (lstat(path_.c_str(), &status) == 0 && status.st_ino == inode_) unlink(path_.c_str());
}

UniqueFd Listener::Accept() const {
  return UniqueFd(accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
}

bool Channel::Send(const Message& message) {
  if (gone_) return false;
  const std::string line = Encode(message);
  std::size_t sent = 0;
  while (sent < line.size()) {
    const ssize_t wrote = send(fd_.get(), line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // A slow reader: wait until it takes more; a reader that has gone ends the wait, and so
      // does a signal, which ends a host or a client anyway.
      pollfd writable{fd_.get(), POLLOUT, 0};
      if (poll(&writable, 1, -1) >= 0 || errno != EINTR) continue;
      gone_ = true;
      return false;
    }
    if (wrote <= 0) {
      gone_ = true;
      return false;
    }
    sent += static_cast<std::size_t>(wrote);
  }
  return true;
}

Channel::Got Channel::Receive(Message& message, std::string& problem) {
  std::array<char, kReadChunk> chunk{};
  for (;;) {
    switch (reader_.Next(message, problem)) {
      case MessageReader::Status::Ready: return Got::Ready;
      case MessageReader::Status::Malformed:
      case MessageReader::Status::Oversized: readable_ = false; return Got::Bad;
      case MessageReader::Status::More: break;
    }
    if (!readable_) return Got::Closed;
    const ssize_t got = recv(fd_.get(), chunk.data(), chunk.size(), MSG_DONTWAIT);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Got::Nothing;
    if (got <= 0) {
      readable_ = false;
      gone_ = true;
      return Got::Closed;
    }
    reader_.Feed(chunk.data(), static_cast<std::size_t>(got));
  }
}

}  // namespace omrix::session
