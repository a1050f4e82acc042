#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

// The lock file that serial programs leave in /var/lock while they hold a
// port ("LCK..ttyUSB0", holding the process id in ASCII), read and written
// the way they do it.
class PortLockFile {
 public:
  enum class Outcome {
    Taken,        // ours until Release
    HeldByOther,  // names a live process
    NotWritable,  // the folder does not let us write; nothing to honour
  };

  PortLockFile() = default;
  ~PortLockFile() { Release(); }
  PortLockFile(const PortLockFile&) = delete;
  PortLockFile& operator=(const PortLockFile&) = delete;

  // Takes the lock for the device at devicePath (a link is followed to the
  // device's own name). A stale lock, left by a process that has ended (or
  // naming this one, which does not hold it), is removed.
  Outcome Take(const std::string& devicePath);
  // The live process the lock names, after HeldByOther.
  pid_t Owner() const { return owner_; }
  // After Taken: the process the stale lock that Take removed named (0 when
  // it named none); nothing when there was none.
  std::optional<pid_t> StaleOwner() const { return staleOwner_; }
  // Removes our lock file; harmless when we hold none.
  void Release();

  // Where the lock of the device at devicePath lives.
  static std::string PathFor(const std::string& devicePath);
  // The process the lock of the device at devicePath names, live or not;
  // nothing when there is no lock or it names no process.
  static std::optional<pid_t> NamedProcess(const std::string& devicePath);
  // Whether the device at devicePath has a lock file that Take would find
  // stale.
  static bool IsStale(const std::string& devicePath);

 private:
  std::string held_;
  pid_t owner_ = 0;
  std::optional<pid_t> staleOwner_;
};
