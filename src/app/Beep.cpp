#include "app/Beep.h"

#include <QApplication>
#include <utility>

namespace {

BeepListener& Listener() {
  static BeepListener listener;
  return listener;
}

}  // namespace

void MessageBeep(uint32_t soundCode) {
  if (Listener()) Listener()(soundCode);
  QApplication::beep();
}

void SetBeepListener(BeepListener listener) {
  Listener() = std::move(listener);
}
