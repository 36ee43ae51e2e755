#include "ui/fltk/pictures.h"

#include <FL/Fl_Pixmap.H>
#include <FL/Fl_RGB_Image.H>

#include <map>
#include <memory>

#include "resources/frown.xpm"
#include "resources/padlock.xpm"
#include "resources/smiley_closed.xpm"
#include "resources/smiley_large.xpm"
#include "resources/smiley_laughing.xpm"

namespace vellomar::ui {
namespace {

const char* const* XpmOf(Picture picture) {
  switch (picture) {
    case Picture::SmileyClosed:
      return smiley_closed_xpm;
    case Picture::SmileyLaughing:
      return smiley_laughing_xpm;
    case Picture::SmileyLarge:
      return smiley_large_xpm;
    case Picture::Frown:
      return frown_xpm;
    case Picture::Padlock:
      return padlock_xpm;
    case Picture::None:
      break;
  }
  return nullptr;
}

}  // namespace

Fl_Image* PictureImage(Picture picture) {
  static std::map<Picture, std::unique_ptr<Fl_Pixmap>> images;
  const char* const* xpm = XpmOf(picture);
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
