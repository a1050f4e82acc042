#include <gtest/gtest.h>

#include <QFocusEvent>
#include <QLineEdit>
#include <QTest>
#include <vector>

#include "app/Beep.h"
#include "app/LinkedFolder.h"
#include "app/Main1.h"
#include "app/SlaveAddressSpinBox.h"

namespace {

class SlaveAddressBox : public testing::Test {
 protected:
  SlaveAddressBox() {
    SetBeepListener([this](uint32_t sound) { beeps.push_back(sound); });
  }
  void TearDown() override { SetBeepListener(nullptr); }

  QLineEdit& Edit() { return *form.SpinEdit1->findChild<QLineEdit*>(); }

  void Type(const QString& keys) { QTest::keyClicks(form.SpinEdit1, keys); }

  void ClearText() {
    Edit().selectAll();
    QTest::keyClick(form.SpinEdit1, Qt::Key_Backspace);
  }

  void LeaveBox() {
    QFocusEvent focusOut(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(form.SpinEdit1, &focusOut);
  }

  LinkedFolder folder;
  TMainForm form;
  std::vector<uint32_t> beeps;
};

TEST_F(SlaveAddressBox, EmptyTextReadsAsOne) {
  ClearText();
  Type("42");
  EXPECT_EQ(form.SlaveAddress, 42);
  ClearText();
  EXPECT_EQ(Edit().text(), "");
  EXPECT_EQ(form.SlaveAddress, 1);
}

TEST_F(SlaveAddressBox, ValueAboveTheRangeIsClampedWhenFocusLeaves) {
  ClearText();
  Type("300");
  LeaveBox();
  EXPECT_EQ(Edit().text(), "247");
  EXPECT_EQ(form.SlaveAddress, 247);
}

TEST_F(SlaveAddressBox, LoneMinusReadsAsOneAndZeroBecomesOneOnLeaving) {
  ClearText();
  Type("-");
  EXPECT_EQ(form.SlaveAddress, 1);
  ClearText();
  Type("0");
  EXPECT_EQ(form.SlaveAddress, 0);
  LeaveBox();
  EXPECT_EQ(Edit().text(), "1");
  EXPECT_EQ(form.SlaveAddress, 1);
}

TEST_F(SlaveAddressBox, LetterIsRefusedWithTheDefaultBeep) {
  ClearText();
  Type("12");
  Type("a");
  EXPECT_EQ(Edit().text(), "12");
  EXPECT_EQ(form.SlaveAddress, 12);
  EXPECT_EQ(beeps, std::vector<uint32_t>{BeepSound::Default});
}

TEST_F(SlaveAddressBox, AtMostThreeCharacters) {
  ClearText();
  Type("1234");
  EXPECT_EQ(Edit().text(), "123");
  EXPECT_EQ(form.SlaveAddress, 123);
}

TEST_F(SlaveAddressBox, ArrowKeysChangeTheAddressWithinTheRange) {
  ClearText();
  Type("246");
  QTest::keyClick(form.SpinEdit1, Qt::Key_Up);
  EXPECT_EQ(form.SlaveAddress, 247);
  QTest::keyClick(form.SpinEdit1, Qt::Key_Up);
  EXPECT_EQ(form.SlaveAddress, 247);
  EXPECT_TRUE(beeps.empty());
}

}  // namespace
