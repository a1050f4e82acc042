#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  // The kept settings of the units updated go to a folder of this run, not the user's.
  const QTemporaryDir state;
  qputenv("XDG_STATE_HOME", state.path().toUtf8());
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
