#pragma once
// The program's pictures (resources/*.xpm) as FLTK images.

#include "ui/controls.h"

class Fl_Image;
class Fl_RGB_Image;

namespace vellomar::ui {

// The picture at its own size (32 x 32), or nullptr for Picture::None. Owned here, made once.
Fl_Image* PictureImage(Picture picture);
// The picture as a window icon, or nullptr for Picture::None.
const Fl_RGB_Image* PictureIcon(Picture picture);

}  // namespace vellomar::ui
