#pragma once

#include <sys/types.h>

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
  // device's own name). A lock left by a process that has ended is removed.
  Outcome Take(const std::string& devicePath);
  // The live process the lock names, after HeldByOther.
  pid_t Owner() const { return owner_; }
  // Removes our lock file; harmless when we hold none.
  void Release();

  // Where the lock of the device at devicePath lives.
  static std::string PathFor(const std::string& devicePath);

 private:
  std::string held_;
  pid_t owner_ = 0;
};
