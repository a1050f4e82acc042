#pragma once

#include <QPixmap>

// The About box's pictures, drawn here rather than shipped as files.

// A 66 x 52 integrated-circuit chip; its magenta background is transparent.
QPixmap ChipPicture();

// A 130 x 66 stamp of the word BETA in slanted red stencil capitals; its grey
// background is transparent.
QPixmap BetaStamp();
