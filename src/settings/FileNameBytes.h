#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// File names as the system keeps them: bytes, which need not be valid UTF-8,
// carried in a QString without loss. Each byte that is not part of valid
// UTF-8 becomes a lone surrogate, U+DC80 to U+DCFF ("surrogate escape"), and
// turns back into that byte; on screen it shows as a replacement character.
QString FileNameFromBytes(QByteArrayView bytes);
QByteArray FileNameBytes(QStringView name);

// The name of the working folder; empty when the system cannot tell it.
QString CurrentFolderName();
