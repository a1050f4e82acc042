#include "app/BootloadApplication.h"
#include "app/Main1.h"

int main(int argc, char** argv) {
  TBootloadApplication application(argc, argv);
  TMainForm mainForm;
  return application.exec();
}
