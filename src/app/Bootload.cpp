#include <cstdio>

#include "app/About.h"
#include "app/BootloadApplication.h"
#include "app/CommSel.h"
#include "app/DisplayCheck.h"
#include "app/Main1.h"

int main(int argc, char** argv) {
  // Without a display the toolkit would abort with a message of its own.
  if (const auto message = NoDisplayMessage()) {
    std::fprintf(stderr, "%s\n", message->c_str());
    return 1;
  }
  TBootloadApplication application(argc, argv);
  TMainForm mainForm;
  TAboutBox aboutBox(&mainForm);
  mainForm.AboutBox = &aboutBox;
  TCommSelFrm commSelFrm(&mainForm);
  mainForm.CommSelFrm = &commSelFrm;
  return application.exec();
}
