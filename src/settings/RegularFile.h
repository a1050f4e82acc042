#pragma once

#include <QByteArray>
#include <optional>

// The settings file's access to the file system, by the path's bytes. Only a
// regular file is read or written, never a FIFO, device or folder in its
// place; a link is followed for reading, but written through only when the
// link itself (and any link it leads through) and the regular file it leads
// to all belong to the user the program runs as, so that a link in a shared
// folder cannot make the program rewrite someone else's file.

// Whether a regular file is at path, links followed.
bool IsRegularFile(const QByteArray& path);

// Whether anything at all is at path, a dangling link included.
bool PathExists(const QByteArray& path);

// The whole content of the regular file at path, links followed; nothing
// when there is none, when it is larger than maxSize bytes, or when it cannot
// be read.
std::optional<QByteArray> ReadRegularFile(const QByteArray& path, qsizetype maxSize);

// Makes content the whole content of the file at path: a new file when
// nothing is there, otherwise the regular file there (or the one a link
// leads to, when this user owns the link and the file) keeps its owner and
// permissions. The old file is replaced in one step, so a write cut short
// leaves it as it was; only where its folder takes no new file is it
// rewritten in place. False when the path is refused or a write fails.
bool WriteRegularFile(const QByteArray& path, const QByteArray& content);
