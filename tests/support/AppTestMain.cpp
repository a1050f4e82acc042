#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "app/BootloadApplication.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TBootloadApplication app(argc, argv);
  // The kept settings of the units updated go to a folder of this run, not the user's.
  const QTemporaryDir state;
  qputenv("XDG_STATE_HOME", state.path().toUtf8());
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
