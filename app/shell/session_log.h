// omrix.log: the session written as it is said, so a crash or a kill keeps everything said
// until then, and replaced whole at a clean exit. Each running copy of the program holds its
// own log: the first omrix.log, a second one beside it omrix-2.log, and so on. The session
// before is kept beside it as omrix.log.1 (omrix-2.log.1, ...), whatever becomes of this one.
#pragma once

#include <string>

namespace omrix::shell {

class CSessionLog {
 public:
  CSessionLog() = default;
  ~CSessionLog();
  CSessionLog(const CSessionLog&) = delete;
  CSessionLog& operator=(const CSessionLog&) = delete;

  // Takes the first log in `directory` (ending in '/') that no running copy holds and begins
  // it afresh, the log found there kept as the previous one; it stays held until this object
  // goes. False, with Error(), when none can be taken.
  bool Open(const std::string& directory);
  bool IsOpen() const { return descriptor_ >= 0; }
  // 1 for omrix.log, n for omrix-n.log; 1 while none is open.
  int Copy() const { return copy_; }
  const std::string& Path() const { return path_; }

  // Written through at once.
  bool Append(const std::string& text);
  // `text` in place of the log: written beside it, on the disk, then renamed over it, so the
  // log as it was stays until the new one is whole.
  bool Replace(const std::string& text);

  // Why the last call failed, as a line for people: the path and the system's reason.
  const std::string& Error() const { return error_; }

 private:
  bool Fail(const std::string& path);

  int descriptor_ = -1;
  int copy_ = 1;
  std::string path_;
  std::string error_;
};

// The name of copy `copy`'s log: "omrix.log", "omrix-2.log", ...
std::string LogName(int copy);
// Where the session before the one in `log` is kept: "omrix.log.1" beside "omrix.log".
std::string PreviousLogName(const std::string& log);

}  // namespace omrix::shell
