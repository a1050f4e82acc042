#include <gtest/gtest.h>

#include <QListWidget>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "app/Beep.h"
#include "app/BootloadApplication.h"
#include "app/LogList.h"
#include "app/MessageBoxes.h"
#include "support/ModalBoxCloser.h"
#include "update/DelayWithMessages.h"

namespace {

constexpr QEvent::Type CountedEvent = static_cast<QEvent::Type>(QEvent::User + 7);

// Counts the events of CountedEvent it receives; throws for any other user
// event type it is sent.
class EventCounter : public QObject {
 public:
  int Count = 0;

 protected:
  bool event(QEvent* event) override {
    if (event->type() == CountedEvent) {
      ++Count;
      return true;
    }
    if (event->type() >= QEvent::User) throw std::runtime_error(Message);
    return QObject::event(event);
  }

 public:
  std::string Message;
};

TEST(LogList, AppendSelectsAndShowsTheNewLastLine) {
  QListWidget list;
  list.resize(497, 105);
  list.show();
  for (int i = 0; i < 30; ++i) AppendLogLine(list, QString::number(i));
  EXPECT_EQ(list.count(), 30);
  EXPECT_EQ(list.currentRow(), 29);
  EXPECT_TRUE(list.item(29)->isSelected());
  EXPECT_TRUE(list.viewport()->rect().intersects(list.visualItemRect(list.item(29))));
  EXPECT_FALSE(list.viewport()->rect().intersects(list.visualItemRect(list.item(0))));
}

TEST(LogList, SetLastLineKeepsPositionAndSelection) {
  QListWidget list;
  for (const char* text : {"a", "b", "c"}) AppendLogLine(list, text);
  list.setCurrentRow(0);
  SetLastLogLine(list, "c 50%");
  EXPECT_EQ(list.count(), 3);
  EXPECT_EQ(list.item(2)->text(), "c 50%");
  EXPECT_EQ(list.currentRow(), 0);
  EXPECT_FALSE(list.item(2)->isSelected());
}

TEST(LogList, PlainAddNeitherSelectsNorMovesTheSelection) {
  QListWidget list;
  AppendLogLine(list, "a");
  AddLogLine(list, "b");
  EXPECT_EQ(list.count(), 2);
  EXPECT_EQ(list.currentRow(), 0);
}

TEST(DelayWithMessages, ZeroAndNegativeReturnAtOnceWithoutDispatching) {
  EventCounter counter;
  QCoreApplication::postEvent(&counter, new QEvent(CountedEvent));
  DelayWithMessages(0);
  DelayWithMessages(-5);
  EXPECT_EQ(counter.Count, 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(counter.Count, 1);
}

TEST(DelayWithMessages, DispatchesMessagesWhileItWaitsTheWholeTime) {
  EventCounter counter;
  QCoreApplication::postEvent(&counter, new QEvent(CountedEvent));
  std::thread poster([&counter] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    QCoreApplication::postEvent(&counter, new QEvent(CountedEvent));
  });
  const auto start = std::chrono::steady_clock::now();
  DelayWithMessages(300);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  poster.join();
  EXPECT_EQ(counter.Count, 2);
  EXPECT_GE(elapsed, std::chrono::milliseconds(300));
}

TEST(FullStopRule, AddsAFullStopOnlyWhereNeeded) {
  const std::pair<QString, QString> cases[] = {
      {"Ends with a stop.", "Ends with a stop."},
      {"Ends with a space ", "Ends with a space "},
      {"(in brackets)", "(in brackets)"},
      {"Careful!", "Careful!"},
      {"Unable to write to /tmp/x", "Unable to write to /tmp/x."},
      {"", ""},
      {"Port COM3", "Port COM3."},
      {"ends in a dash-", "ends in a dash-"},
      {"ends in a slash/", "ends in a slash/."},
  };
  for (const auto& [message, shown] : cases)
    EXPECT_EQ(WithFullStop(message), shown) << message.toStdString();
}

TEST(DefaultExceptionHandler, ShowsTheMessageInAnErrorBoxAndTheProgramRunsOn) {
  const QString savedTitle = TBootloadApplication::Title();
  TBootloadApplication::SetTitle("Some Product v1.00");
  EventCounter thrower;
  thrower.Message = "Resource HFile not found";
  ModalBoxCloser boxes;
  QCoreApplication::postEvent(&thrower, new QEvent(static_cast<QEvent::Type>(QEvent::User + 8)));
  QCoreApplication::postEvent(&thrower, new QEvent(CountedEvent));
  QCoreApplication::processEvents();
  TBootloadApplication::SetTitle(savedTitle);

  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "Resource HFile not found.");
  EXPECT_EQ(boxes.Boxes()[0].title, "Some Product v1.00");
  EXPECT_EQ(boxes.Boxes()[0].icon, QMessageBox::Critical);
  EXPECT_EQ(thrower.Count, 1);
}

TEST(BeepAndShowMessage, PlaysTheSoundOfTheKindThenShowsTheBox) {
  struct Case {
    MessageKind kind;
    uint32_t sound;
    QMessageBox::Icon icon;
  };
  const Case cases[] = {
      {MessageKind::Warning, 0x30, QMessageBox::Warning},
      {MessageKind::Error, 0x10, QMessageBox::Critical},
      {MessageKind::Information, 0x00, QMessageBox::Information},
      {MessageKind::Confirmation, 0x20, QMessageBox::Question},
      {MessageKind::Custom, 0x40, QMessageBox::NoIcon},
  };
  std::vector<uint32_t> beeps;
  SetBeepListener([&beeps](uint32_t sound) { beeps.push_back(sound); });
  ModalBoxCloser boxes;
  for (const Case& c : cases) {
    EXPECT_EQ(BeepAndShowMessage("Unable To Open Comm Port.", c.kind, QMessageBox::Ok, 0),
              QMessageBox::Ok);
  }
  SetBeepListener(nullptr);

  ASSERT_EQ(beeps.size(), std::size(cases));
  ASSERT_EQ(boxes.Boxes().size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(beeps[i], cases[i].sound);
    EXPECT_EQ(boxes.Boxes()[i].icon, cases[i].icon);
    EXPECT_EQ(boxes.Boxes()[i].text, "Unable To Open Comm Port.");
  }
  EXPECT_EQ(boxes.Boxes()[1].title, "Error");
}

}  // namespace
