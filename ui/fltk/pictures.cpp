#include "ui/fltk/pictures.h"

#include <FL/Fl_Pixmap.H>
#include <FL/Fl_RGB_Image.H>

#include <map>
#include <memory>

#include "ui/pictures.h"

namespace vellomar::ui {

Fl_Image* PictureImage(Picture picture) {
  static std::map<Picture, std::unique_ptr<Fl_Pixmap>> images;
  const char* const* xpm = PictureXpm(picture);
  if (!xpm) return nullptr;
  auto& image = images[picture];
  if (!image) image = std::make_unique<Fl_Pixmap>(xpm);
  return image.get();
}

const Fl_RGB_Image* PictureIcon(Picture picture) {
  static std::map<Picture, std::unique_ptr<Fl_RGB_Image>> icons;
  auto* pixmap = static_cast<Fl_Pixmap*>(PictureImage(picture));
  if (!pixmap) return nullptr;
  auto& icon = icons[picture];
  if (!icon) icon = std::make_unique<Fl_RGB_Image>(pixmap);
  return icon.get();
}

}  // namespace vellomar::ui
