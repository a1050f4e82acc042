#pragma once

#include <QByteArray>
#include <QString>
#include <variant>

// Files the program reads, or hands to a library that reads them, named by
// their path's bytes. Only a regular file is taken: it is checked before
// anything opens it, opened without waiting and read with a bound, so that a
// FIFO, a device or a folder in its place can neither hang the program nor
// fill its memory.

// Why the path (links followed) is no regular file, in the user's words
// ("it is a FIFO, not a regular file"); empty when it is one.
QString NotRegularFileCause(const QByteArray& path);

// The whole content of the regular file at path, or why not: it is none,
// it cannot be opened or read, or it holds more than maxSize bytes.
std::variant<QByteArray, QString> ReadFileToRead(const QByteArray& path, qsizetype maxSize);
