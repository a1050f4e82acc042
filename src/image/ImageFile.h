#pragma once

#include <QString>

class FirmwareImage;

// Reads the raw image file at path into the image (see FirmwareImage::Fill):
// its first 65,536 bytes, every block then marked present; bytes after them
// are ignored. The file is opened for reading only and held under an
// exclusive advisory lock while it is read. Throws std::runtime_error
// "Cannot open file <path>" when the file is missing, is no regular file,
// cannot be opened or is locked by another program, "Cannot read file
// <path>" when reading fails, and "Cannot use file <path>: it holds N
// bytes; a firmware image is 65536 bytes" when it is shorter than the image
// (the unit must never get a mix of two images); the image is unchanged
// then.
void LoadImageFromFile(FirmwareImage& image, const QString& path);
