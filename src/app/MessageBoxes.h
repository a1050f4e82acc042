#pragma once

#include <QMessageBox>
#include <QString>

// The message with a full stop added, unless it is empty or already ends in
// a full stop or a character that sorts before one (a space, a closing
// bracket, an exclamation mark...).
QString WithFullStop(const QString& message);

// The error box of the application's default exception handler: error icon,
// OK button, titled with the application title.
void ShowErrorBox(const QString& message);

// A plain box without icon, one OK button, titled with the application title.
void ShowPlainMessage(const QString& text);

enum class MessageKind { Warning, Error, Information, Confirmation, Custom };

// Plays the system sound for kind, then shows a modal box of that kind and
// returns the button the user pressed. The help context has no help system
// to open here and is accepted for the callers' sake.
QMessageBox::StandardButton BeepAndShowMessage(const QString& text, MessageKind kind,
                                               QMessageBox::StandardButtons buttons,
                                               int32_t helpContext);
