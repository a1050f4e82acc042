#include "comms/PortProblem.h"

#include <cerrno>
#include <system_error>

#include "comms/PortLockFile.h"

namespace {

// A path longer than this is cut in the message; the line stays readable.
constexpr std::size_t ShownPathLength = 100;

std::string ShownPath(const std::string& path) {
  if (path.size() <= ShownPathLength) return path;
  return path.substr(0, ShownPathLength) + "...";
}

std::string HolderText(const std::optional<PortHolder>& holder) {
  if (!holder) return {};
  const std::string process = "process " + std::to_string(holder->Pid);
  return " (" + (holder->Name.empty() ? process : holder->Name + ", " + process) + ")";
}

std::string CauseText(const PortProblem& problem) {
  using Cause = PortProblem::Cause;
  switch (problem.What) {
    case Cause::None:
      return "opened";
    case Cause::NoSuchDevice:
      return "no such device (not connected); plug the adapter in or choose another port";
    case Cause::PermissionDenied:
      return "permission denied; add your user to the dialout group, then log in again";
    case Cause::InUse:
      return "in use by another program" + HolderText(problem.Holder) +
             "; close it or choose another port";
    case Cause::NotASerialDevice:
      return "not a serial device (" + problem.Kind + "); choose a serial port";
    case Cause::Network:
      return problem.Kind;
    case Cause::Other:
      break;
  }
  return std::generic_category().message(problem.Error);
}

}  // namespace

PortProblem PortProblem::FromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return {Cause::NoSuchDevice, error, {}, {}};
    case EACCES:
    case EPERM:
      return {Cause::PermissionDenied, error, {}, {}};
    case EBUSY:
      return {Cause::InUse, error, {}, {}};
    case EISDIR:
      return {Cause::NotASerialDevice, error, "a directory", {}};
    default:
      return {Cause::Other, error, {}, {}};
  }
}

std::string DescribePortProblem(const std::string& path, const PortProblem& problem) {
  return ShownPath(path) + ": " + CauseText(problem);
}

std::string DescribeStaleHold(const std::string& path, std::optional<pid_t> lockOwner, bool flag) {
  std::string what;
  if (lockOwner) {
    const std::string owner =
        *lockOwner > 0 ? "left by process " + std::to_string(*lockOwner) : "naming no process";
    what = "lock file " + PortLockFile::PathFor(path) + " " + owner + " removed";
  }
  if (flag) {
    what += std::string(what.empty() ? "" : "; ") +
            "exclusive flag left set while no other program has the port open";
  }
  return ShownPath(path) + ": stale hold taken over: " + what;
}
