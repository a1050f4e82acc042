#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "comms/GensioLoop.h"

struct gensio;
struct gensio_iod;
struct gensio_os_funcs;
struct sergensio;

// One connection to a serial device server through libgensio. The library
// runs on the process's one loop thread (GensioLoop), the only one that calls
// into it; the others talk to it through descriptors. Bytes received from the server come out
// of DataDescriptor() and bytes written there go to the server, so the
// descriptor serves as a serial device's would: once the connection is
// lost, reading it gives end of file.
class GensioConnection {
 public:
  // A serial setting asked of the server; Error is a libgensio error code,
  // GE_TIMEDOUT when the server did not answer in time.
  struct Answer {
    int Error = 0;
    unsigned Value = 0;
  };
  enum class Setting { Baud, DataSize, Parity, StopBits };

  // Closes the connection and frees it once the loop is done with it. A
  // loop that does not answer within its limits (held by the library, as a
  // FIFO handed to it as a file holds it) may still use the connection: it
  // is then abandoned, with a line on standard error, and never freed.
  struct Closer {
    void operator()(GensioConnection* connection) const;
  };
  using Pointer = std::unique_ptr<GensioConnection, Closer>;

  // A connection with its descriptors made and handed to the loop. Throws
  // std::system_error or std::runtime_error when it cannot, also when the
  // loop does not answer in time.
  static Pointer Make();
  GensioConnection(const GensioConnection&) = delete;
  GensioConnection& operator=(const GensioConnection&) = delete;

  // How long the loop may take to take up or let go of a connection.
  static constexpr std::chrono::seconds LoopLimit{2};

  int DataDescriptor() const { return appFd_; }

  // Makes the stack ("telnet(rfc2217),tcp,HOST,PORT") and opens it: the
  // libgensio error, 0 when connected; GE_TIMEDOUT after limit.
  int Connect(const std::string& stack, std::chrono::milliseconds limit);

  // Sets a serial setting (0 only asks for it) and gives the server's answer.
  Answer Set(Setting setting, unsigned value, std::chrono::milliseconds limit);

  // Drops the bytes not yet sent and asks the server to purge both ways.
  void Flush();

  // True once the server closed the connection or it failed.
  bool Lost() const { return lost_; }

 private:
  struct Reply;

  // Makes the descriptors only; Attach hands them to the loop.
  GensioConnection();
  // Closes the descriptors; the loop must be done with the connection.
  ~GensioConnection();
  void Attach();
  // Closes the connection: false when the loop did not answer in time.
  bool Shutdown();

  // Runs work on the loop's thread and waits up to limit for it to
  // complete reply; false on a timeout.
  bool Request(const std::shared_ptr<Reply>& reply, std::function<void()> work,
               std::chrono::milliseconds limit);
  int WatchPump();
  void Disconnect();
  void Finish(const std::shared_ptr<Reply>& finished);
  void MarkLost();

  static int OnEvent(gensio* io, void* user, int event, int err, unsigned char* buf,
                     std::size_t* buflen, const char* const* auxdata);
  static void OnOpened(gensio* io, int err, void* data);
  static void OnClosed(gensio* io, void* data);
  static void OnSetting(sergensio* sio, int err, unsigned value, void* data);
  void SendPending();
  void TakeFromApplication();
  void PassToApplication(unsigned char* buf, std::size_t* length);
  void Complete(const std::shared_ptr<Reply>& reply, int error, unsigned value = 0);

  // First, so that it outlives the rest: the loop runs while it exists.
  GensioLoop::Use loopUse_;
  GensioLoop& loop_;
  gensio_os_funcs* os_;
  int appFd_ = -1;
  int pumpFd_ = -1;

  // Only the loop's thread touches these once the connection is made.
  gensio_iod* pumpIod_ = nullptr;
  gensio* io_ = nullptr;
  std::vector<unsigned char> unsent_;
  std::shared_ptr<Reply> opening_;
  std::shared_ptr<Reply> closing_;
  std::shared_ptr<Reply> setting_;
  std::shared_ptr<Reply> finished_;
  uintptr_t settingNumber_ = 0;

  std::atomic<bool> lost_ = false;
};
