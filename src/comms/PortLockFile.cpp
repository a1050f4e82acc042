#include "comms/PortLockFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>

#include "comms/PortHolder.h"

namespace {

constexpr char LockFolder[] = "/var/lock";
constexpr char DevicePrefix[] = "/dev/";
constexpr mode_t LockFileMode = 0644;
// A lock we find stale is removed once, then the take is tried again.
constexpr int TakeAttempts = 2;

std::optional<pid_t> LockedProcess(const std::string& lockPath) {
  std::ifstream file(lockPath);
  long pid = 0;
  if (!(file >> pid) || pid <= 0) return std::nullopt;
  return static_cast<pid_t>(pid);
}

// Whether the lock names a live process other than this one, which does
// not hold a port through a lock file it finds.
bool NamesAnotherLiveProcess(std::optional<pid_t> owner) {
  return owner && *owner != getpid() && ProcessHolder(*owner);
}

}  // namespace

std::string PortLockFile::PathFor(const std::string& devicePath) {
  const std::unique_ptr<char, decltype(&std::free)> real(realpath(devicePath.c_str(), nullptr),
                                                         &std::free);
  std::string name = real ? real.get() : devicePath;
  if (name.starts_with(DevicePrefix)) name.erase(0, sizeof DevicePrefix - 1);
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return std::string(LockFolder) + "/LCK.." + name;
}

std::optional<pid_t> PortLockFile::NamedProcess(const std::string& devicePath) {
  return LockedProcess(PathFor(devicePath));
}

bool PortLockFile::IsStale(const std::string& devicePath) {
  const std::string path = PathFor(devicePath);
  struct stat status {};
  return lstat(path.c_str(), &status) == 0 && !NamesAnotherLiveProcess(LockedProcess(path));
}

PortLockFile::Outcome PortLockFile::Take(const std::string& devicePath) {
  Release();
  staleOwner_.reset();
  const std::string path = PathFor(devicePath);
  for (int attempt = 0; attempt < TakeAttempts; ++attempt) {
    const int fd =
        open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, LockFileMode);
    if (fd >= 0) {
      char text[16];
      const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
      const bool written = write(fd, text, static_cast<std::size_t>(length)) == length;
      close(fd);
      if (!written) {
        unlink(path.c_str());
        return Outcome::NotWritable;
      }
      held_ = path;
      return Outcome::Taken;
    }
    if (errno != EEXIST) return Outcome::NotWritable;
    const std::optional<pid_t> owner = LockedProcess(path);
    if (NamesAnotherLiveProcess(owner)) {
      owner_ = *owner;
      return Outcome::HeldByOther;
    }
    if (unlink(path.c_str()) == 0) staleOwner_ = owner.value_or(0);
  }
  return Outcome::NotWritable;
}

void PortLockFile::Release() {
  if (held_.empty()) return;
  unlink(held_.c_str());
  held_.clear();
}
