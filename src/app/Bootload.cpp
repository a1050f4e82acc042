#include <csignal>
#include <cstdio>
#include <system_error>

#include "app/About.h"
#include "app/BootloadApplication.h"
#include "app/CommSel.h"
#include "app/DisplayCheck.h"
#include "app/Main1.h"
#include "update/SignalWatch.h"

int main(int argc, char** argv) {
  // Without a display the toolkit would abort with a message of its own.
  if (const auto message = NoDisplayMessage()) {
    std::fprintf(stderr, "%s\n", message->c_str());
    return 1;
  }
  // Before the toolkit starts its threads, so that none of them is ended by
  // these signals.
  SignalWatch endSignals({SIGTERM, SIGINT, SIGHUP});
  TBootloadApplication application(argc, argv);
  // A signal while start-up shows a box ends that box's loop; the program
  // then ends as soon as start-up is over, its port closed with the window.
  TMainForm* form = nullptr;
  bool endedInStartUp = false;
  try {
    endSignals.Deliver([&form, &endedInStartUp](int signal) {
      if (form != nullptr) {
        form->EndOnSignal(signal);
      } else {
        endedInStartUp = true;
        QCoreApplication::exit(0);
      }
    });
  } catch (const std::system_error& error) {
    // Without it a signal could not release the port: do not take one.
    std::fprintf(stderr,
                 "bootload: cannot watch for signals (%s); close other programs and start again\n",
                 error.what());
    return 1;
  }
  TMainForm mainForm;
  if (endedInStartUp) return 0;
  form = &mainForm;
  TAboutBox aboutBox(&mainForm);
  mainForm.AboutBox = &aboutBox;
  TCommSelFrm commSelFrm(&mainForm);
  mainForm.CommSelFrm = &commSelFrm;
  return application.exec();
}
