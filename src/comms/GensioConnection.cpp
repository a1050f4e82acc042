#include "comms/GensioConnection.h"

#include <gensio/gensio.h>
#include <gensio/gensio_err.h>
#include <gensio/gensio_os_funcs.h>
#include <gensio/sergensio.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace {

// The most taken from the application in one go.
constexpr std::size_t TakeSize = 16384;
// Closing a connection whose server does not answer gives up after this.
constexpr auto CloseLimit = std::chrono::seconds(2);

void CloseDescriptor(int& fd) {
  if (fd >= 0) ::close(std::exchange(fd, -1));
}

}  // namespace

// The outcome of one request, handed from the library's thread to the
// thread that waits for it.
struct GensioConnection::Reply {
  std::mutex Lock;
  std::condition_variable Done;
  bool Completed = false;
  int Error = 0;
  unsigned Value = 0;
};

GensioConnection::Pointer GensioConnection::Make() {
  // NOLINTNEXTLINE(cppcoreguidelines-owning-memory): owned by the Pointer, freed by its Closer
  Pointer connection(new GensioConnection());
  connection->Attach();
  return connection;
}

void GensioConnection::Closer::operator()(GensioConnection* connection) const {
  if (connection->Shutdown()) {
    delete connection;  // NOLINT(cppcoreguidelines-owning-memory): the Pointer's own deleter
    return;
  }
  // Work for it is still queued on the loop: it must outlive that work.
  std::fprintf(stderr,
               "%s: a network connection was abandoned: the network loop did not let it go "
               "within %lld s (a file the TLS library opened may hold it); end the program "
               "and start it again\n",
               program_invocation_short_name, static_cast<long long>(LoopLimit.count()));
}

GensioConnection::GensioConnection() : loop_(loopUse_.Loop()), os_(loop_.Os()) {
  std::array<int, 2> pair{-1, -1};
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair.data()) != 0)
    throw std::system_error(errno, std::generic_category(), "socketpair");
  appFd_ = pair[0];
  pumpFd_ = pair[1];
}

void GensioConnection::Attach() {
  auto reply = std::make_shared<Reply>();
  const bool answered = Request(
      reply,
      [this, reply] {
        const int error = os_->add_iod(os_, GENSIO_IOD_SOCKET, pumpFd_, &pumpIod_);
        Complete(reply, error != 0 ? error : WatchPump());
      },
      LoopLimit);
  if (!answered) throw std::runtime_error("the network loop does not answer");
  if (reply->Error != 0) {
    throw std::runtime_error(std::string("libgensio descriptors: ") +
                             gensio_err_to_str(reply->Error));
  }
}

GensioConnection::~GensioConnection() {
  CloseDescriptor(appFd_);
  CloseDescriptor(pumpFd_);
}

bool GensioConnection::Shutdown() {
  auto closed = std::make_shared<Reply>();
  // A server that does not answer the close is left: freeing closes for good.
  Request(
      closed,
      [this, closed] {
        closing_ = closed;
        Disconnect();
      },
      CloseLimit);
  auto finished = std::make_shared<Reply>();
  return Request(
      finished, [this, finished] { Finish(finished); }, LoopLimit);
}

int GensioConnection::WatchPump() {
  const int error = os_->set_fd_handlers(
      pumpIod_, this,
      [](gensio_iod*, void* self) { static_cast<GensioConnection*>(self)->TakeFromApplication(); },
      [](gensio_iod* iod, void* self) {
        // The application reads again: let the server's bytes come.
        auto& connection = *static_cast<GensioConnection*>(self);
        connection.os_->set_write_handler(iod, false);
        if (connection.io_ != nullptr) gensio_set_read_callback_enable(connection.io_, true);
      },
      nullptr,
      [](gensio_iod*, void* self) {
        // The selector is done with the descriptor: it may go.
        auto& connection = *static_cast<GensioConnection*>(self);
        connection.loop_.Post([&connection] {
          connection.os_->release_iod(std::exchange(connection.pumpIod_, nullptr));
          connection.Complete(std::exchange(connection.finished_, nullptr), 0);
        });
      });
  if (error != 0) os_->release_iod(std::exchange(pumpIod_, nullptr));
  return error;
}

int GensioConnection::Connect(const std::string& stack, std::chrono::milliseconds limit) {
  auto reply = std::make_shared<Reply>();
  const bool answered = Request(
      reply,
      [this, reply, stack] {
        const int made = str_to_gensio(stack.c_str(), os_, &GensioConnection::OnEvent, this, &io_);
        if (made != 0) {
          io_ = nullptr;
          Complete(reply, made);
          return;
        }
        opening_ = reply;
        const int opened = gensio_open(io_, &GensioConnection::OnOpened, this);
        if (opened != 0) {
          opening_.reset();
          gensio_free(std::exchange(io_, nullptr));
          Complete(reply, opened);
        }
      },
      limit);
  return answered ? reply->Error : GE_TIMEDOUT;
}

GensioConnection::Answer GensioConnection::Set(Setting setting, unsigned value,
                                               std::chrono::milliseconds limit) {
  auto reply = std::make_shared<Reply>();
  const bool answered = Request(
      reply,
      [this, reply, setting, value] {
        sergensio* serial = io_ != nullptr ? gensio_to_sergensio(io_) : nullptr;
        if (serial == nullptr || lost_) {
          Complete(reply, GE_NOTREADY);
          return;
        }
        setting_ = reply;
        // Tells this request's answer from a late one to a request given up.
        // NOLINTNEXTLINE(performance-no-int-to-ptr): a number, never dereferenced
        void* kind = reinterpret_cast<void*>(++settingNumber_);
        int error = GE_INVAL;
        switch (setting) {
          case Setting::Baud:
            error = sergensio_baud(serial, value, &GensioConnection::OnSetting, kind);
            break;
          case Setting::DataSize:
            error = sergensio_datasize(serial, value, &GensioConnection::OnSetting, kind);
            break;
          case Setting::Parity:
            error = sergensio_parity(serial, value, &GensioConnection::OnSetting, kind);
            break;
          case Setting::StopBits:
            error = sergensio_stopbits(serial, value, &GensioConnection::OnSetting, kind);
            break;
        }
        if (error != 0) {
          setting_.reset();
          Complete(reply, error);
        }
      },
      limit);
  if (!answered) return {GE_TIMEDOUT, 0};
  return {reply->Error, reply->Value};
}

void GensioConnection::Flush() {
  auto reply = std::make_shared<Reply>();
  Request(
      reply,
      [this, reply] {
        unsent_.clear();
        std::array<unsigned char, TakeSize> discard{};
        while (::read(pumpFd_, discard.data(), discard.size()) > 0) {
        }
        if (io_ != nullptr && !lost_) {
          if (sergensio* serial = gensio_to_sergensio(io_); serial != nullptr)
            sergensio_flush(serial, SERGENSIO_FLUSH_RCV_XMIT_BUFFERS);
          gensio_set_write_callback_enable(io_, false);
        }
        os_->set_read_handler(pumpIod_, io_ != nullptr && !lost_);
        Complete(reply, 0);
      },
      CloseLimit);
}

bool GensioConnection::Request(const std::shared_ptr<Reply>& reply, std::function<void()> work,
                               std::chrono::milliseconds limit) {
  loop_.Post(std::move(work));
  std::unique_lock lock(reply->Lock);
  return reply->Done.wait_for(lock, limit, [&] { return reply->Completed; });
}

void GensioConnection::Complete(const std::shared_ptr<Reply>& reply, int error, unsigned value) {
  const std::lock_guard lock(reply->Lock);
  reply->Completed = true;
  reply->Error = error;
  reply->Value = value;
  reply->Done.notify_all();
}

void GensioConnection::Disconnect() {
  // Without descriptors handed over (Attach failed) there is nothing to stop.
  if (pumpIod_ != nullptr) {
    os_->set_read_handler(pumpIod_, false);
    os_->set_write_handler(pumpIod_, false);
  }
  if (io_ == nullptr) {
    Complete(std::exchange(closing_, nullptr), 0);
    return;
  }
  if (gensio_close(io_, &GensioConnection::OnClosed, this) != 0) {
    gensio_free(std::exchange(io_, nullptr));
    Complete(std::exchange(closing_, nullptr), 0);
  }
}

void GensioConnection::Finish(const std::shared_ptr<Reply>& finished) {
  // A close the server never answered: freeing closes for good.
  if (io_ != nullptr) gensio_free(std::exchange(io_, nullptr));
  if (pumpIod_ == nullptr) {
    Complete(finished, 0);
    return;
  }
  finished_ = finished;
  os_->clear_fd_handlers(pumpIod_);
}

void GensioConnection::MarkLost() {
  if (lost_.exchange(true)) return;
  // The application reads end of file, as from a device that hung up.
  shutdown(pumpFd_, SHUT_WR);
  os_->set_read_handler(pumpIod_, false);
  os_->set_write_handler(pumpIod_, false);
  if (io_ != nullptr) {
    gensio_set_read_callback_enable(io_, false);
    gensio_set_write_callback_enable(io_, false);
  }
  if (setting_) Complete(std::exchange(setting_, nullptr), GE_REMCLOSE);
}

int GensioConnection::OnEvent(gensio* io, void* user, int event, int err, unsigned char* buf,
                              std::size_t* buflen, const char* const*) {
  auto& connection = *static_cast<GensioConnection*>(user);
  if (io != connection.io_) return GE_NOTSUP;
  switch (event) {
    case GENSIO_EVENT_READ:
      if (err != 0) {
        connection.MarkLost();
        return 0;
      }
      connection.PassToApplication(buf, buflen);
      return 0;
    case GENSIO_EVENT_WRITE_READY:
      connection.SendPending();
      return 0;
    default:
      return GE_NOTSUP;
  }
}

void GensioConnection::OnOpened(gensio* io, int err, void* data) {
  auto& connection = *static_cast<GensioConnection*>(data);
  if (io != connection.io_ || !connection.opening_) return;
  if (err != 0) {
    gensio_free(std::exchange(connection.io_, nullptr));
  } else {
    connection.os_->set_read_handler(connection.pumpIod_, true);
    gensio_set_read_callback_enable(io, true);
  }
  connection.Complete(std::exchange(connection.opening_, nullptr), err);
}

void GensioConnection::OnClosed(gensio* io, void* data) {
  auto& connection = *static_cast<GensioConnection*>(data);
  if (io != connection.io_) return;
  gensio_free(std::exchange(connection.io_, nullptr));
  if (connection.closing_) connection.Complete(std::exchange(connection.closing_, nullptr), 0);
}

void GensioConnection::OnSetting(sergensio* sio, int err, unsigned value, void* data) {
  auto& connection = *static_cast<GensioConnection*>(sergensio_get_user_data(sio));
  // An answer to a request already given up is not the one awaited now.
  if (!connection.setting_ || reinterpret_cast<uintptr_t>(data) != connection.settingNumber_)
    return;
  connection.Complete(std::exchange(connection.setting_, nullptr), err, value);
}

void GensioConnection::TakeFromApplication() {
  if (io_ == nullptr || lost_) return;
  if (unsent_.empty()) {
    unsent_.resize(TakeSize);
    const ssize_t n = ::read(pumpFd_, unsent_.data(), unsent_.size());
    unsent_.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  }
  SendPending();
}

void GensioConnection::SendPending() {
  if (io_ == nullptr || lost_) return;
  gensiods count = 0;
  if (!unsent_.empty() && gensio_write(io_, &count, unsent_.data(), unsent_.size(), nullptr) != 0) {
    MarkLost();
    return;
  }
  unsent_.erase(unsent_.begin(), unsent_.begin() + static_cast<std::ptrdiff_t>(count));
  // What the server does not take yet waits; the application's next bytes
  // wait behind it.
  const bool waiting = !unsent_.empty();
  gensio_set_write_callback_enable(io_, waiting);
  os_->set_read_handler(pumpIod_, !waiting);
}

void GensioConnection::PassToApplication(unsigned char* buf, std::size_t* length) {
  const ssize_t n = ::send(pumpFd_, buf, *length, MSG_DONTWAIT | MSG_NOSIGNAL);
  const std::size_t taken = n > 0 ? static_cast<std::size_t>(n) : 0;
  if (taken < *length) {
    // The application is behind: hold the server's bytes back until it
    // reads again.
    gensio_set_read_callback_enable(io_, false);
    os_->set_write_handler(pumpIod_, true);
  }
  *length = taken;
}
