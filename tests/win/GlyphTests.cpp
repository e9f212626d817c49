// A button glyph against the picture it is made from: the run button's glyph is rebuilt from the same kept picture
// every time the server comes and goes, so making one, and drawing it greyed, must leave that picture exactly as it
// was.
#include "panel/Pictures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using tsm::MemoryDC;
using tsm::TGlyph;
using tsm::UniqueBitmap;

constexpr int kSize = 24;
constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kGreen = RGB(0, 176, 64);

UniqueBitmap BlankPicture() {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = kSize;
  info.bmiHeader.biHeight = kSize;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  return UniqueBitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
}

// A 24 x 24 picture as the resources hold them: a magenta ground (its bottom-left pixel says so) and a black-edged
// green square, so that a picture whose ground had turned black would lose its edge to transparency next time.
UniqueBitmap MakePicture() {
  UniqueBitmap picture = BlankPicture();
  if (!picture) return picture;
  const MemoryDC dc(nullptr, picture.Get());
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const bool inside = x >= 4 && x < 20 && y >= 4 && y < 20;
      const bool edge = inside && (x == 4 || x == 19 || y == 4 || y == 19);
      SetPixel(dc.Get(), x, y, edge ? kBlack : inside ? kGreen : kMagenta);
    }
  return picture;
}

std::vector<COLORREF> PixelsOf(HBITMAP picture) {
  std::vector<COLORREF> pixels;
  const MemoryDC dc(nullptr, picture);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) pixels.push_back(GetPixel(dc.Get(), x, y));
  return pixels;
}

// What a glyph draws onto a white face, as pixels.
std::vector<COLORREF> DrawnOnWhite(const TGlyph& glyph) {
  const UniqueBitmap face = BlankPicture();
  {
    const MemoryDC dc(nullptr, face.Get());
    const RECT all{0, 0, kSize, kSize};
    FillRect(dc.Get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    glyph.Draw(dc.Get(), 0, 0, true);
  }
  return PixelsOf(face.Get());
}

TEST(Glyph, LeavesThePictureItIsMadeFromAsItWas) {
  const UniqueBitmap picture = MakePicture();
  ASSERT_TRUE(picture);
  const std::vector<COLORREF> before = PixelsOf(picture.Get());
  ASSERT_EQ(before.back(), kMagenta);

  const TGlyph first(picture.Get());
  const UniqueBitmap face = BlankPicture();
  {
    const MemoryDC dc(nullptr, face.Get());
    first.Draw(dc.Get(), 0, 0, false); // the greyed form is made from the picture now
  }
  EXPECT_EQ(PixelsOf(picture.Get()), before);
}

TEST(Glyph, MadeAgainFromTheSamePictureDrawsTheSame) {
  const UniqueBitmap picture = MakePicture();
  ASSERT_TRUE(picture);
  const std::vector<COLORREF> once = DrawnOnWhite(TGlyph(picture.Get()));
  // The ground is transparent and the black edge is not.
  EXPECT_EQ(once.front(), RGB(255, 255, 255));
  EXPECT_EQ(once[4 * kSize + 10], kBlack);

  const std::vector<COLORREF> again = DrawnOnWhite(TGlyph(picture.Get()));
  EXPECT_EQ(again, once);
}

} // namespace
