#pragma once
// The program's pictures (resources/*.xpm) as pixels, for runtimes that draw them themselves.
// Toolkit-free: the FLTK runtime hands the XPM text to the toolkit, the Win32 runtime turns the
// pixels into a DIB.

#include <cstdint>
#include <optional>
#include <vector>

#include "ui/controls.h"

namespace vellomar::ui {

// The XPM text of a picture, or nullptr for Picture::None.
const char* const* PictureXpm(Picture picture);

// A decoded picture: `width` x `height` pixels, rows top to bottom, each 0xAARRGGBB with alpha
// 0 (the XPM colour "None") or 255.
struct PixelImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> argb;
};

// Decodes the XPM subset our pictures use: a "W H NCOLORS CPP" header, colours given as
// "c #RRGGBB" or "c None", then H rows of W * CPP characters. Anything else (a missing row, a
// short row, an unknown pixel key, a colour name) gives nullopt rather than a wrong picture.
std::optional<PixelImage> DecodeXpm(const char* const* xpm);

}  // namespace vellomar::ui
