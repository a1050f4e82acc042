#pragma once

#include <QString>

class QListWidget;

// Adds text as the new last line, makes it the top visible line and selects
// it.
void AppendLogLine(QListWidget& list, const QString& text);

// Replaces the text of the last line; selection and scroll position stay.
void SetLastLogLine(QListWidget& list, const QString& text);

// Adds text as the new last line without scrolling to or selecting it.
void AddLogLine(QListWidget& list, const QString& text);
