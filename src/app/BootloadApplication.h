#pragma once

#include <QApplication>
#include <QString>
#include <exception>

// The application object. It keeps the application title (the text naming
// the program, which the toolkit is not told about so that it appends
// nothing to window captions) and is the default exception handler: an
// exception that escapes any handler is shown in an error box and the
// program runs on.
class TBootloadApplication : public QApplication {
 public:
  TBootloadApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  static QString Title();
  static void SetTitle(const QString& title);

  // Shows the exception as the default handler does.
  static void ShowException(const std::exception& error);
};
