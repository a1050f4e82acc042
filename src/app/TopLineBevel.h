#pragma once

#include <QWidget>

// A bevel that draws only its top edge: a sunken line across the window
// under the menu.
class TTopLineBevel : public QWidget {
 public:
  explicit TTopLineBevel(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};
