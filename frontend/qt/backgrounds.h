// The seven background pictures of the main window, drawn by our own code.
#pragma once

#include <QIcon>
#include <QImage>

namespace sonvola {

// Picture `index` (0..6): 1000 x 750 pixels, picture 4 1280 x 960.
QImage backgroundPicture(int index);

// The program's icon, drawn at `size` pixels square: a staff with a note
// over the bars of a spectrum, green on dark blue like the window.
QImage iconPicture(int size);
// The icon in the sizes a window manager asks for.
QIcon sonvolaIcon();

}  // namespace sonvola
