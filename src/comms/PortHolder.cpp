#include "comms/PortHolder.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "comms/PortLockFile.h"

namespace {

namespace fs = std::filesystem;

// Pseudo-terminal slaves have these majors; 256 slaves to each.
constexpr unsigned PtySlaveFirstMajor = 136;
constexpr unsigned PtySlaveLastMajor = 143;
constexpr unsigned PtySlavesPerMajor = 256;
// /dev/ptmx: every master descriptor shows this device.
const dev_t PtyMultiplexer = makedev(5, 2);

std::optional<pid_t> ProcessId(const std::string& name) {
  pid_t pid = 0;
  const char* end = name.data() + name.size();
  const auto [last, error] = std::from_chars(name.data(), end, pid);
  if (error != std::errc() || last != end || pid <= 0) return std::nullopt;
  return pid;
}

// The index of a pseudo-terminal slave (N of /dev/pts/N); nothing for any
// other device.
std::optional<int> PtyIndex(dev_t device) {
  const unsigned group = major(device);
  if (group < PtySlaveFirstMajor || group > PtySlaveLastMajor) return std::nullopt;
  return static_cast<int>((group - PtySlaveFirstMajor) * PtySlavesPerMajor + minor(device));
}

// The slave index of a master descriptor, from its "tty-index:" line.
std::optional<int> MasterIndex(pid_t pid, const std::string& fd) {
  std::ifstream info("/proc/" + std::to_string(pid) + "/fdinfo/" + fd);
  for (std::string line; std::getline(info, line);) {
    int index = -1;
    if (std::sscanf(line.c_str(), "tty-index: %d", &index) == 1) return index;
  }
  return std::nullopt;
}

struct Descriptors {
  bool device = false;  // one open on the device
  bool master = false;  // one open on its master, when it is a pty slave
};

Descriptors DescriptorsOf(pid_t pid, dev_t device, std::optional<int> ptyIndex) {
  Descriptors found;
  std::error_code error;
  for (const fs::directory_entry& entry :
       fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    struct stat status {};
    if (stat(entry.path().c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) continue;
    if (status.st_rdev == device) found.device = true;
    if (ptyIndex && status.st_rdev == PtyMultiplexer &&
        MasterIndex(pid, entry.path().filename().string()) == ptyIndex) {
      found.master = true;
    }
  }
  return found;
}

// A live process other than this one.
std::optional<PortHolder> OtherProcess(std::optional<pid_t> pid) {
  if (!pid || *pid == getpid()) return std::nullopt;
  return ProcessHolder(*pid);
}

// The process that owns an advisory lock on the device's node: /proc/locks
// names it by the node's file system and inode, as "MAJ:MIN:INODE" in hex,
// hex and decimal.
std::optional<pid_t> AdvisoryLockOwner(const struct stat& node) {
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    long pid = 0;
    unsigned fsMajor = 0;
    unsigned fsMinor = 0;
    unsigned long inode = 0;
    const int fields = std::sscanf(line.c_str(), "%*s %*s %*s %*s %ld %x:%x:%lu", &pid, &fsMajor,
                                   &fsMinor, &inode);
    if (fields == 4 && pid > 0 && makedev(fsMajor, fsMinor) == node.st_dev &&
        inode == node.st_ino) {
      return static_cast<pid_t>(pid);
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<PortHolder> ProcessHolder(pid_t pid) {
  // Signal 0 only asks whether the process exists; EPERM says it does.
  if (pid <= 0 || (kill(pid, 0) != 0 && errno != EPERM)) return std::nullopt;
  PortHolder holder{pid, {}};
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::getline(comm, holder.Name);
  return holder;
}

std::vector<pid_t> ProcessesWithDeviceOpen(const std::string& path) {
  struct stat device {};
  if (stat(path.c_str(), &device) != 0 || !S_ISCHR(device.st_mode)) return {};
  const std::optional<int> ptyIndex = PtyIndex(device.st_rdev);
  std::vector<pid_t> processes;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
    const std::optional<pid_t> pid = ProcessId(entry.path().filename().string());
    if (!pid || *pid == getpid()) continue;
    const Descriptors open = DescriptorsOf(*pid, device.st_rdev, ptyIndex);
    if (open.device && !open.master) processes.push_back(*pid);
  }
  return processes;
}

std::optional<PortHolder> FindPortHolder(const std::string& path) {
  if (auto holder = OtherProcess(PortLockFile::NamedProcess(path))) return holder;
  struct stat node {};
  if (stat(path.c_str(), &node) != 0 || !S_ISCHR(node.st_mode)) return std::nullopt;
  if (auto holder = OtherProcess(AdvisoryLockOwner(node))) return holder;
  const std::vector<pid_t> open = ProcessesWithDeviceOpen(path);
  return open.size() == 1 ? ProcessHolder(open.front()) : std::nullopt;
}
