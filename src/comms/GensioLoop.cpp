#include "comms/GensioLoop.h"

#include <gensio/gensio.h>
#include <gensio/gensio_err.h>
#include <gensio/gensio_os_funcs.h>
#include <gensio/gensio_unix.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>
#include <system_error>

GensioLoop::Use::Use() : loop_(Instance()) {
  loop_.Enter();
}

GensioLoop::Use::~Use() {
  loop_.Leave();
}

GensioLoop& GensioLoop::Instance() {
  static GensioLoop loop;
  return loop;
}

GensioLoop::GensioLoop() {
  // A selector never woken by a signal: only the loop's thread waits in it,
  // and other threads reach it through the command descriptor alone.
  if (gensio_unix_funcs_alloc(nullptr, 0, &os_) != 0 || os_ == nullptr)
    throw std::runtime_error("libgensio could not start");
  commandFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (commandFd_ < 0) {
    const int error = errno;
    gensio_os_funcs_free(os_);
    throw std::system_error(error, std::generic_category(), "eventfd");
  }
  int error = os_->add_iod(os_, GENSIO_IOD_SOCKET, commandFd_, &commandIod_);
  if (error == 0) {
    error = os_->set_fd_handlers(
        commandIod_, this,
        [](gensio_iod*, void* self) { static_cast<GensioLoop*>(self)->RunCommands(); }, nullptr,
        nullptr, [](gensio_iod*, void* self) { static_cast<GensioLoop*>(self)->cleared_ = true; });
  }
  if (error != 0) {
    if (commandIod_ != nullptr) os_->release_iod(commandIod_);
    ::close(commandFd_);
    gensio_os_funcs_free(os_);
    throw std::runtime_error(std::string("libgensio descriptors: ") + gensio_err_to_str(error));
  }
  os_->set_read_handler(commandIod_, true);
}

GensioLoop::~GensioLoop() {
  // An abandoned connection still uses the loop, whose thread may be held
  // for good: the process ends around it.
  if (users_ > 0) {
    thread_.detach();
    return;
  }
  Stop();
  // No thread serves the loop any more: this one waits for the selector to
  // let the descriptor go.
  os_->clear_fd_handlers(commandIod_);
  while (!cleared_) gensio_os_funcs_service(os_, nullptr);
  os_->release_iod(commandIod_);
  ::close(commandFd_);
  gensio_os_funcs_free(os_);
}

void GensioLoop::Enter() {
  const std::lock_guard lock(usersLock_);
  if (users_++ > 0) return;
  stopping_ = false;
  thread_ = std::thread([this] {
    while (!stopping_) gensio_os_funcs_service(os_, nullptr);
  });
}

void GensioLoop::Leave() {
  const std::lock_guard lock(usersLock_);
  if (--users_ == 0) Stop();
}

void GensioLoop::Stop() {
  if (!thread_.joinable()) return;
  Post([this] { stopping_ = true; });
  thread_.join();
}

void GensioLoop::Post(std::function<void()> work) {
  {
    const std::lock_guard lock(commandsLock_);
    commands_.push_back(std::move(work));
  }
  // The counter cannot overflow from these few requests.
  eventfd_write(commandFd_, 1);
}

void GensioLoop::RunCommands() {
  eventfd_t count = 0;
  eventfd_read(commandFd_, &count);
  std::deque<std::function<void()>> work;
  {
    const std::lock_guard lock(commandsLock_);
    work.swap(commands_);
  }
  for (auto& command : work) command();
}
