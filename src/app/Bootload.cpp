#include "app/About.h"
#include "app/BootloadApplication.h"
#include "app/CommSel.h"
#include "app/Main1.h"

int main(int argc, char** argv) {
  TBootloadApplication application(argc, argv);
  TMainForm mainForm;
  TAboutBox aboutBox(&mainForm);
  mainForm.AboutBox = &aboutBox;
  TCommSelFrm commSelFrm(&mainForm);
  mainForm.CommSelFrm = &commSelFrm;
  return application.exec();
}
