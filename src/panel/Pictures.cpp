// The program's pictures: the variant drawn for the display's scale, drawn with a transparent colour, and the
// greyed form of a button's glyph. Runs on the window's (user-interface) thread.
#include "panel/Pictures.h"

#include "panel/VisualStyle.h"
#include "res/resource.h"
#include "win32/SystemText.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace tsm {
namespace {

// The picture as an icon whose mask is its transparent colour: white in the mask, black in the colour, as an image
// list masks it. The picture itself stays as it was: it is drawn again, and made into an icon again.
UniqueIcon MaskedIcon(HBITMAP picture, SIZE size) {
  const MemoryDC source(nullptr, picture);
  const WindowDC screen(nullptr);
  UniqueBitmap mask(::CreateBitmap(size.cx, size.cy, 1, 1, nullptr));
  UniqueBitmap colour(::CreateCompatibleBitmap(screen.Get(), size.cx, size.cy));
  if (!source.Get() || !mask || !colour) return {};
  {
    // Copied to one bit per pixel, the pixels of the source's background colour turn white and the rest black.
    const MemoryDC maskDc(nullptr, mask.Get());
    ::SetBkColor(source.Get(), ::GetPixel(source.Get(), 0, size.cy - 1));
    ::BitBlt(maskDc.Get(), 0, 0, size.cx, size.cy, source.Get(), 0, 0, SRCCOPY);
    const MemoryDC colourDc(screen.Get(), colour.Get());
    ::BitBlt(colourDc.Get(), 0, 0, size.cx, size.cy, source.Get(), 0, 0, SRCCOPY);
    constexpr DWORD kDestinationAndNotSource = 0x00220326;
    ::BitBlt(colourDc.Get(), 0, 0, size.cx, size.cy, maskDc.Get(), 0, 0, kDestinationAndNotSource);
  }
  ICONINFO icon{TRUE, 0, 0, mask.Get(), colour.Get()};
  return UniqueIcon(::CreateIconIndirect(&icon)); // copies both bitmaps
}

// Picture variants: the display scales they were drawn for, in the order of their resource ids.
constexpr int kPictureDpis[] = {96, 120, 144, 192};

UniqueBitmap LoadBitmapResource(HINSTANCE instance, int id) {
  UniqueBitmap picture(
      static_cast<HBITMAP>(::LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (picture) return picture;
  // Wine's LoadImage fails without a last error for a resource that is no bitmap: the reason comes only when known.
  const std::string reason = GetLastErrorText();
  throw std::runtime_error("Cannot load picture " + std::to_string(id) + (reason.empty() ? "" : ": " + reason));
}

// Nearest-neighbour, so that the picture keeps only its own colours and its transparent one stays exact.
UniqueBitmap Stretch(const UniqueBitmap& picture, int numerator, int denominator) {
  BITMAP info{};
  if (!picture || !::GetObjectA(picture.Get(), sizeof info, &info)) return {};
  const int width = ::MulDiv(info.bmWidth, numerator, denominator);
  const int height = ::MulDiv(info.bmHeight, numerator, denominator);
  BITMAPINFO format{};
  format.bmiHeader = {sizeof format.bmiHeader, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  UniqueBitmap result(::CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!result) return {};
  const MemoryDC source(nullptr, picture.Get());
  const MemoryDC target(nullptr, result.Get());
  ::SetStretchBltMode(target.Get(), COLORONCOLOR);
  ::StretchBlt(target.Get(), 0, 0, width, height, source.Get(), 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
  return result;
}

} // namespace

void DrawTransparent(HDC dc, HBITMAP picture, int x, int y) {
  BITMAP info{};
  if (!::GetObjectA(picture, sizeof info, &info)) return;
  MemoryDC source(dc, picture);
  const COLORREF transparent = ::GetPixel(source.Get(), 0, info.bmHeight - 1);
  ::GdiTransparentBlt(dc, x, y, info.bmWidth, info.bmHeight, source.Get(), 0, 0, info.bmWidth, info.bmHeight,
                      transparent);
}

void TPicture::Load(HINSTANCE instance, const Dpi& dpi) { Bitmap = LoadPicture(instance, Resource, dpi); }

UniqueBitmap LoadPicture(HINSTANCE instance, int id, const Dpi& dpi) {
  const auto fits =
      std::find_if(std::begin(kPictureDpis), std::end(kPictureDpis), [&](int drawn) { return drawn >= dpi.Value(); });
  if (fits != std::end(kPictureDpis))
    return LoadBitmapResource(instance, id + static_cast<int>(fits - std::begin(kPictureDpis)) * IDB_SCALE_STEP);
  const int largest = std::end(kPictureDpis)[-1];
  return Stretch(LoadBitmapResource(instance, id + (std::size(kPictureDpis) - 1) * IDB_SCALE_STEP), dpi.Value(),
                 largest);
}

TGlyph::TGlyph(HBITMAP bitmap) {
  BITMAP info{};
  if (!bitmap || !::GetObjectA(bitmap, sizeof info, &info)) return;
  bitmap_ = bitmap;
  size_ = {info.bmWidth, info.bmHeight};
}

void TGlyph::Draw(HDC dc, int x, int y, bool enabled) const {
  if (!bitmap_) return;
  if (enabled) {
    DrawTransparent(dc, bitmap_, x, y);
    return;
  }
  if (!disabled_) disabled_ = MaskedIcon(bitmap_, size_);
  if (!disabled_) return;
  // The embossed grey form the system gives disabled pictures; in high contrast, whose light and shadow colours may
  // be the face's own, the shape in the colour of disabled text.
  if (HighContrast())
    ::DrawStateA(dc, ::GetSysColorBrush(COLOR_GRAYTEXT), nullptr, reinterpret_cast<LPARAM>(disabled_.Get()), 0, x, y,
                 size_.cx, size_.cy, DST_ICON | DSS_MONO);
  else
    ::DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(disabled_.Get()), 0, x, y, size_.cx, size_.cy,
                 DST_ICON | DSS_DISABLED);
}

} // namespace tsm
