#pragma once

#include <QMessageBox>
#include <QString>

// The message with a full stop added, unless it is empty or already ends in
// a full stop or a character that sorts before one (a space, a closing
// bracket, an exclamation mark...).
QString WithFullStop(const QString& message);

// The error box of the application's default exception handler: error icon,
// OK button, titled with the application title. A detail, where given,
// stands in a line under the message.
void ShowErrorBox(const QString& message, const QString& detail = {});

// A plain box without icon, one OK button, titled with the application
// title, with an optional detail line under the text.
void ShowPlainMessage(const QString& text, const QString& detail = {});

// Writes a detail line, such as why a port did not open, to standard error.
void ReportDetail(const QString& detail);

enum class MessageKind { Warning, Error, Information, Confirmation, Custom };

// Plays the system sound for kind, then shows a modal box of that kind and
// returns the button the user pressed. The help context has no help system
// to open here and is accepted for the callers' sake. A detail, where given,
// stands in a line under the text.
QMessageBox::StandardButton BeepAndShowMessage(const QString& text, MessageKind kind,
                                               QMessageBox::StandardButtons buttons,
                                               int32_t helpContext, const QString& detail = {});
