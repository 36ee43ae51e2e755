// Our pictures as pixels: the XPM decoder the Win32 runtime draws from.

#include "ui/pictures.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vellomar::ui {
namespace {

TEST(PicturesTest, EveryPictureDecodesTo32By32WithATransparentEdge) {
  for (Picture picture : {Picture::SmileyClosed, Picture::SmileyLaughing, Picture::SmileyLarge,
                          Picture::Frown, Picture::Padlock}) {
    const std::optional<PixelImage> image = DecodeXpm(PictureXpm(picture));
    ASSERT_TRUE(image) << "picture " << static_cast<int>(picture);
    EXPECT_EQ(image->width, 32);
    EXPECT_EQ(image->height, 32);
    ASSERT_EQ(image->argb.size(), 32u * 32u);
    EXPECT_EQ(image->argb.front() >> 24, 0u) << "the corner is see-through";
    EXPECT_TRUE(std::any_of(image->argb.begin(), image->argb.end(), [](std::uint32_t pixel) {
      return pixel == 0xFF000000u;
    })) << "the black outline is there";
  }
  EXPECT_EQ(PictureXpm(Picture::None), nullptr);
  EXPECT_FALSE(DecodeXpm(nullptr));
}

TEST(PicturesTest, DecodesColoursAndKeysOfMoreThanOneCharacter) {
  const char* const xpm[] = {"3 2 3 2",      "   c None", "rr c #FF0000",
                             "b. c #0000fF", "rr  b.",    "b.rrrr"};
  const std::optional<PixelImage> image = DecodeXpm(xpm);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->argb, (std::vector<std::uint32_t>{0xFFFF0000u, 0u, 0xFF0000FFu, 0xFF0000FFu,
                                                     0xFFFF0000u, 0xFFFF0000u}));
}

TEST(PicturesTest, RefusesWhatItCannotDrawFaithfully) {
  const char* const short_row[] = {"2 1 1 1", "a c #000000", "a", nullptr};
  const char* const long_row[] = {"2 1 1 1", "a c #000000", "aaa", nullptr};
  const char* const unknown_key[] = {"2 1 1 1", "a c #000000", "ab", nullptr};
  const char* const colour_name[] = {"1 1 1 1", "a c black", "a", nullptr};
  const char* const short_colour[] = {"1 1 1 1", "a c #FFF", "a", nullptr};
  const char* const rows_missing[] = {"1 2 1 1", "a c #000000", "a", nullptr};
  const char* const bad_header[] = {"32 32", nullptr};
  const char* const huge[] = {"100000 1 1 1", "a c #000000", nullptr};
  for (const char* const* xpm : {short_row, long_row, unknown_key, colour_name, short_colour,
                                 rows_missing, bad_header, huge}) {
    EXPECT_FALSE(DecodeXpm(xpm)) << "header " << xpm[0] << ", first line "
                                 << (xpm[1] ? xpm[1] : "");
  }
}

}  // namespace
}  // namespace vellomar::ui
