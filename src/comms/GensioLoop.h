#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <thread>

struct gensio_iod;
struct gensio_os_funcs;

// The process's one libgensio loop. libgensio ties process-wide state to the
// first operating-system handler it is given and uses it from then on, so
// every connection shares one handler, alive until the process ends. One
// thread serves it, the only thread that calls into the library, while any
// connection uses it; it ends with the last one, so that the thread-local
// state of the libraries below is freed as the thread ends.
class GensioLoop {
 public:
  // Keeps the loop's thread running while it lives. Throws
  // std::system_error or std::runtime_error when the loop cannot start.
  class Use {
   public:
    Use();
    ~Use();
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

    GensioLoop& Loop() const { return loop_; }

   private:
    GensioLoop& loop_;
  };

  ~GensioLoop();
  GensioLoop(const GensioLoop&) = delete;
  GensioLoop& operator=(const GensioLoop&) = delete;

  gensio_os_funcs* Os() const { return os_; }

  // Runs work on the loop's thread, after the work posted before it.
  void Post(std::function<void()> work);

 private:
  // Makes the loop on first use; a later call tries again after a failure.
  static GensioLoop& Instance();
  GensioLoop();
  void Enter();
  void Leave();
  void Stop();
  void RunCommands();

  gensio_os_funcs* os_ = nullptr;
  int commandFd_ = -1;
  gensio_iod* commandIod_ = nullptr;
  // Set on the loop's thread by the command that ends it.
  bool stopping_ = false;
  bool cleared_ = false;

  std::mutex commandsLock_;
  std::deque<std::function<void()>> commands_;

  std::mutex usersLock_;
  int users_ = 0;
  std::thread thread_;
};
