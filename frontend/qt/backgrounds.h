// The seven background pictures of the main window, drawn by our own code.
#pragma once

#include <QImage>

namespace sonvola {

// Picture `index` (0..6): 1000 x 750 pixels, picture 4 1280 x 960.
QImage backgroundPicture(int index);

}  // namespace sonvola
