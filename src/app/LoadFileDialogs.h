#pragma once

#include <QString>
#include <cstdint>
#include <optional>

class QFileDialog;
class QWidget;

// The main window's open-file dialog: no file-type filter, no default
// extension, no initial folder and the toolkit's own title. A typed name
// need not exist: it fails when the file is opened.
QFileDialog* CreateOpenDialog(QWidget* parent);

// Shows the dialog modally; the chosen file's full path, or nothing when the
// user cancels.
std::optional<QString> ExecuteOpenDialog(QFileDialog& dialog);

// Shows a modal input box centred on the screen (title, one-line label, an
// empty edit field of at most 255 characters, OK and Cancel), reads its text
// as an integer and returns the low 16 bits. Cancel gives the empty text.
// Throws std::runtime_error "'<text>' is not a valid integer value" when the
// text is no integer.
uint16_t InputWord(QWidget* parent, const QString& title, const QString& label);
