#include "comms/PortHolder.h"

#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

namespace fs = std::filesystem;

std::optional<pid_t> ProcessId(const std::string& name) {
  pid_t pid = 0;
  const char* end = name.data() + name.size();
  const auto [last, error] = std::from_chars(name.data(), end, pid);
  if (error != std::errc() || last != end || pid <= 0) return std::nullopt;
  return pid;
}

bool HasDescriptorOn(pid_t pid, dev_t device) {
  std::error_code error;
  for (const fs::directory_entry& entry :
       fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    struct stat status {};
    if (stat(entry.path().c_str(), &status) == 0 && S_ISCHR(status.st_mode) &&
        status.st_rdev == device) {
      return true;
    }
  }
  return false;
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

std::optional<PortHolder> FindPortHolder(const std::string& path) {
  struct stat device {};
  if (stat(path.c_str(), &device) != 0 || !S_ISCHR(device.st_mode)) return std::nullopt;
  std::optional<pid_t> first;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
    const std::optional<pid_t> pid = ProcessId(entry.path().filename().string());
    if (!pid || (first && *pid > *first)) continue;
    if (HasDescriptorOn(*pid, device.st_rdev)) first = pid;
  }
  return first ? ProcessHolder(*first) : std::nullopt;
}
