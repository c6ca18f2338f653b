// The seven background pictures of the main window, drawn by our own code.
#pragma once

#include <QIcon>
#include <QImage>

namespace sonvola {

// Picture `index` (0..6): 1000 x 750 pixels, picture 4 1280 x 960, drawn
// for a screen of `scale` device pixels per pixel (sharp at 150 % and 200 %).
QImage backgroundPicture(int index, double scale = 1.0);

// The program's icon, drawn at `size` pixels square: a staff with a note
// over the bars of a spectrum, green on dark blue like the window.
QImage iconPicture(int size);
// The icon in the sizes a window manager asks for.
QIcon sonvolaIcon();

}  // namespace sonvola
