#include "ui/pictures.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "resources/frown.xpm"
#include "resources/padlock.xpm"
#include "resources/smiley_closed.xpm"
#include "resources/smiley_large.xpm"
#include "resources/smiley_laughing.xpm"

namespace vellomar::ui {

const char* const* PictureXpm(Picture picture) {
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

namespace {

// "c #RRGGBB" or "c None" after the key; nullopt for anything else.
std::optional<std::uint32_t> ParseColour(const char* text) {
  while (*text == ' ' || *text == '\t') ++text;
  if (*text++ != 'c') return std::nullopt;
  while (*text == ' ' || *text == '\t') ++text;
  if (std::strcmp(text, "None") == 0) return 0u;
  unsigned rgb = 0;
  int used = 0;
  if (std::sscanf(text, "#%6x%n", &rgb, &used) != 1 || used != 7 || text[7] != '\0') {
    return std::nullopt;
  }
  return 0xFF000000u | rgb;
}

}  // namespace

std::optional<PixelImage> DecodeXpm(const char* const* xpm) {
  if (xpm == nullptr || xpm[0] == nullptr) return std::nullopt;
  int width = 0, height = 0, colours = 0, per_pixel = 0;
  if (std::sscanf(xpm[0], "%d %d %d %d", &width, &height, &colours, &per_pixel) != 4 ||
      width <= 0 || height <= 0 || colours <= 0 || per_pixel <= 0 || width > 4096 ||
      height > 4096 || per_pixel > 4) {
    return std::nullopt;
  }
  std::map<std::string, std::uint32_t> palette;
  for (int i = 1; i <= colours; ++i) {
    const char* line = xpm[i];
    if (line == nullptr || std::strlen(line) < static_cast<std::size_t>(per_pixel)) {
      return std::nullopt;
    }
    const std::optional<std::uint32_t> colour = ParseColour(line + per_pixel);
    if (!colour) return std::nullopt;
    palette[std::string(line, per_pixel)] = *colour;
  }
  PixelImage pixels;
  pixels.width = width;
  pixels.height = height;
  pixels.argb.reserve(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    const char* row = xpm[1 + colours + y];
    if (row == nullptr || std::strlen(row) != static_cast<std::size_t>(width) * per_pixel) {
      return std::nullopt;
    }
    for (int x = 0; x < width; ++x) {
      const auto found = palette.find(std::string(row + x * per_pixel, per_pixel));
      if (found == palette.end()) return std::nullopt;
      pixels.argb.push_back(found->second);
    }
  }
  return pixels;
}

}  // namespace vellomar::ui
