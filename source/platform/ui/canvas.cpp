#include "ui/canvas.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "rtl/sync.h"
#include "rtl/utf8.h"
#include "ui/bitmap.h"

namespace ui {

RTL_DEFINE_CLASS(TCanvas, "ui.Canvas")

namespace {

rtl::TReentrantLock& GlobalCanvasLock() {
  static rtl::TReentrantLock lock;
  return lock;
}

int& MaxBitmapSize() {
  static int size = 8192;
  return size;
}

// A premultiplied colour in 0..1.
struct TPremultiplied {
  float B = 0, G = 0, R = 0, A = 0;
};

TPremultiplied FromColor(rtl::TAlphaColor AColor, float AOpacity) {
  const float a = static_cast<float>(AColor >> 24) / 255.0f * std::clamp(AOpacity, 0.0f, 1.0f);
  return {static_cast<float>(AColor & 0xFF) / 255.0f * a,
          static_cast<float>((AColor >> 8) & 0xFF) / 255.0f * a,
          static_cast<float>((AColor >> 16) & 0xFF) / 255.0f * a, a};
}

TPremultiplied FromPixel(const uint8_t* APixel) {
  const float a = APixel[3] / 255.0f;
  return {APixel[0] / 255.0f * a, APixel[1] / 255.0f * a, APixel[2] / 255.0f * a, a};
}

uint8_t ToByte(float AValue) {
  return static_cast<uint8_t>(std::lround(std::clamp(AValue, 0.0f, 1.0f) * 255.0f));
}

// Source-over of a premultiplied source onto a straight BGRA pixel.
void BlendPixel(uint8_t* APixel, const TPremultiplied& ASource) {
  if (ASource.A <= 0)
    return;
  const TPremultiplied dest = FromPixel(APixel);
  const float keep = 1.0f - ASource.A;
  const float a = ASource.A + dest.A * keep;
  if (a <= 0) {
    std::memset(APixel, 0, 4);
    return;
  }
  APixel[0] = ToByte((ASource.B + dest.B * keep) / a);
  APixel[1] = ToByte((ASource.G + dest.G * keep) / a);
  APixel[2] = ToByte((ASource.R + dest.R * keep) / a);
  APixel[3] = ToByte(a);
}

// The pixels whose centres lie in [ALow, AHigh), clipped to [0, ALimit).
struct TSpan {
  int First = 0, Last = -1; // inclusive
};

TSpan PixelSpan(float ALow, float AHigh, int ALimit) {
  TSpan span;
  span.First = std::max(0, static_cast<int>(std::ceil(ALow - 0.5f)));
  span.Last = std::min(ALimit - 1, static_cast<int>(std::ceil(AHigh - 0.5f)) - 1);
  return span;
}

// A mapped target; empty when the canvas has none.
class TTargetPixels {
public:
  explicit TTargetPixels(TBitmap* ABitmap) : FBitmap(ABitmap) {
    if (FBitmap && !FBitmap->Map(TMapAccess::ReadWrite, FData))
      FBitmap = nullptr;
  }
  ~TTargetPixels() {
    if (FBitmap)
      FBitmap->Unmap(FData);
  }
  TTargetPixels(const TTargetPixels&) = delete;
  TTargetPixels& operator=(const TTargetPixels&) = delete;

  bool Valid() const { return FBitmap != nullptr; }
  int Width() const { return FData.Width; }
  int Height() const { return FData.Height; }
  uint8_t* At(int AX, int AY) const { return FData.Data + static_cast<ptrdiff_t>(AY) * FData.Pitch + AX * 4; }

private:
  TBitmap* FBitmap;
  TBitmapData FData;
};

// Lines of text with the built-in font, as characters that fit one cell each.
std::vector<std::string> LayoutLines(std::string_view AText, bool AWordWrap, size_t AMaxColumns) {
  const std::string ascii = rtl::Utf8ToAscii(AText);
  std::vector<std::string> paragraphs(1);
  for (size_t i = 0; i < ascii.size(); ++i) {
    if (ascii[i] == '\r' && i + 1 < ascii.size() && ascii[i + 1] == '\n')
      continue;
    if (ascii[i] == '\n')
      paragraphs.emplace_back();
    else
      paragraphs.back() += ascii[i];
  }
  if (!AWordWrap)
    return paragraphs;
  std::vector<std::string> lines;
  for (const std::string& paragraph : paragraphs) {
    const size_t before = lines.size();
    std::string line;
    size_t pos = 0;
    while (pos <= paragraph.size()) {
      size_t end = paragraph.find(' ', pos);
      if (end == std::string::npos)
        end = paragraph.size();
      std::string word = paragraph.substr(pos, end - pos);
      pos = end + 1;
      // A word wider than a line is split over as many lines as it needs.
      while (word.size() > AMaxColumns) {
        if (!line.empty())
          lines.push_back(std::exchange(line, {}));
        lines.push_back(word.substr(0, AMaxColumns));
        word.erase(0, AMaxColumns);
      }
      if (word.empty())
        continue;
      if (line.empty())
        line = word;
      else if (line.size() + 1 + word.size() <= AMaxColumns)
        line += " " + word;
      else
        lines.push_back(std::exchange(line, word));
    }
    if (!line.empty() || lines.size() == before)
      lines.push_back(line);
  }
  return lines;
}

float AlignOffset(TTextAlign AAlign, float ASpace) {
  switch (AAlign) {
  case TTextAlign::Leading:
    return 0;
  case TTextAlign::Center:
    return ASpace / 2;
  case TTextAlign::Trailing:
    return ASpace;
  }
  return 0;
}

} // namespace

void TCanvas::Lock() {
  GlobalCanvasLock().Acquire();
}

void TCanvas::Unlock() {
  GlobalCanvasLock().Release();
}

bool TCanvas::TryLock() {
  return GlobalCanvasLock().TryAcquire();
}

bool TCanvas::BeginScene() {
  ++FSceneCount;
  return true;
}

void TCanvas::EndScene() {
  if (FSceneCount > 0)
    --FSceneCount;
}

int32_t TCanvas::Width() const {
  return FTarget ? FTarget->Width() : 0;
}

int32_t TCanvas::Height() const {
  return FTarget ? FTarget->Height() : 0;
}

int TCanvas::GetAttribute(TCanvasAttribute) {
  return MaxBitmapSize();
}

void TCanvas::SetAttribute(TCanvasAttribute, int AValue) {
  MaxBitmapSize() = AValue;
}

float TCanvas::DeviceScale() const {
  return std::abs(FMatrix.m11);
}

rtl::TRectF TCanvas::ToDevice(const rtl::TRectF& ARect) const {
  rtl::TRectF result{ARect.Left * FMatrix.m11 + FMatrix.m31, ARect.Top * FMatrix.m22 + FMatrix.m32,
                     ARect.Right * FMatrix.m11 + FMatrix.m31, ARect.Bottom * FMatrix.m22 + FMatrix.m32};
  if (result.Right < result.Left)
    std::swap(result.Left, result.Right);
  if (result.Bottom < result.Top)
    std::swap(result.Top, result.Bottom);
  return result;
}

void TCanvas::Clear(rtl::TAlphaColor AColor) {
  TTargetPixels pixels(FTarget);
  if (!pixels.Valid())
    return;
  for (int y = 0; y < pixels.Height(); ++y)
    for (int x = 0; x < pixels.Width(); ++x)
      std::memcpy(pixels.At(x, y), &AColor, 4);
}

void TCanvas::ClearRect(const rtl::TRectF& ARect, rtl::TAlphaColor AColor) {
  TTargetPixels pixels(FTarget);
  if (!pixels.Valid())
    return;
  const rtl::TRectF rect = ToDevice(ARect);
  const TSpan xs = PixelSpan(rect.Left, rect.Right, pixels.Width());
  const TSpan ys = PixelSpan(rect.Top, rect.Bottom, pixels.Height());
  for (int y = ys.First; y <= ys.Last; ++y)
    for (int x = xs.First; x <= xs.Last; ++x)
      std::memcpy(pixels.At(x, y), &AColor, 4);
}

void TCanvas::FillDeviceRect(const rtl::TRectF& ADeviceRect, rtl::TAlphaColor AColor, float AOpacity) {
  TTargetPixels pixels(FTarget);
  if (!pixels.Valid())
    return;
  const TPremultiplied source = FromColor(AColor, AOpacity);
  const TSpan xs = PixelSpan(ADeviceRect.Left, ADeviceRect.Right, pixels.Width());
  const TSpan ys = PixelSpan(ADeviceRect.Top, ADeviceRect.Bottom, pixels.Height());
  for (int y = ys.First; y <= ys.Last; ++y)
    for (int x = xs.First; x <= xs.Last; ++x)
      BlendPixel(pixels.At(x, y), source);
}

void TCanvas::FillRect(const rtl::TRectF& ARect, float AOpacity) {
  if (FFill.Kind != TBrushKind::None)
    FillDeviceRect(ToDevice(ARect), FFill.Color, AOpacity);
}

void TCanvas::DrawBitmap(const TBitmap& ABitmap, const rtl::TRectF& ASrc, const rtl::TRectF& ADst,
                         float AOpacity, bool AHighSpeed) {
  auto& source = const_cast<TBitmap&>(ABitmap);
  TBitmapData src;
  if (ASrc.IsEmpty() || ADst.IsEmpty() || !source.Map(TMapAccess::Read, src))
    return;
  struct TUnmap {
    TBitmap& Bitmap;
    TBitmapData& Data;
    ~TUnmap() { Bitmap.Unmap(Data); }
  } unmap{source, src};
  TTargetPixels pixels(FTarget);
  if (!pixels.Valid())
    return;
  const rtl::TRectF dst = ToDevice(ADst);
  const TSpan xs = PixelSpan(dst.Left, dst.Right, pixels.Width());
  const TSpan ys = PixelSpan(dst.Top, dst.Bottom, pixels.Height());
  // The source pixels the draw may read.
  const int srcLeft = std::clamp(static_cast<int>(std::floor(ASrc.Left)), 0, src.Width - 1);
  const int srcTop = std::clamp(static_cast<int>(std::floor(ASrc.Top)), 0, src.Height - 1);
  const int srcRight = std::clamp(static_cast<int>(std::ceil(ASrc.Right)) - 1, srcLeft, src.Width - 1);
  const int srcBottom = std::clamp(static_cast<int>(std::ceil(ASrc.Bottom)) - 1, srcTop, src.Height - 1);
  const float stepX = ASrc.Width() / dst.Width();
  const float stepY = ASrc.Height() / dst.Height();
  const float opacity = std::clamp(AOpacity, 0.0f, 1.0f);
  auto sourceAt = [&](int AX, int AY) {
    return FromPixel(src.Data + static_cast<ptrdiff_t>(AY) * src.Pitch + AX * 4);
  };

  // A draw that maps pixels 1:1 onto whole pixels samples each source pixel exactly once, with
  // nearest and bilinear alike: the viewport's blit every frame. Opaque rows are copied.
  const bool whole = stepX == 1 && stepY == 1 && ASrc.Left == std::floor(ASrc.Left) &&
                     ASrc.Top == std::floor(ASrc.Top) && dst.Left == std::floor(dst.Left) &&
                     dst.Top == std::floor(dst.Top);
  if (whole) {
    for (int y = ys.First; y <= ys.Last; ++y) {
      const int sy =
          std::clamp(static_cast<int>(ASrc.Top) + y - static_cast<int>(dst.Top), srcTop, srcBottom);
      for (int x = xs.First; x <= xs.Last;) {
        const int sx = static_cast<int>(ASrc.Left) + x - static_cast<int>(dst.Left);
        const uint8_t* from =
            src.Data + static_cast<ptrdiff_t>(sy) * src.Pitch + std::clamp(sx, srcLeft, srcRight) * 4;
        if (opacity >= 1.0f && from[3] == 255 && sx >= srcLeft && sx <= srcRight) {
          // The run of opaque source pixels from here.
          int run = 1;
          while (x + run <= xs.Last && sx + run <= srcRight && from[run * 4 + 3] == 255)
            ++run;
          std::memmove(pixels.At(x, y), from, static_cast<size_t>(run) * 4); // the source may be the target
          x += run;
          continue;
        }
        const TPremultiplied color = FromPixel(from);
        BlendPixel(pixels.At(x, y),
                   {color.B * opacity, color.G * opacity, color.R * opacity, color.A * opacity});
        ++x;
      }
    }
    return;
  }
  for (int y = ys.First; y <= ys.Last; ++y) {
    const float v = ASrc.Top + (y + 0.5f - dst.Top) * stepY;
    for (int x = xs.First; x <= xs.Last; ++x) {
      const float u = ASrc.Left + (x + 0.5f - dst.Left) * stepX;
      TPremultiplied color;
      if (AHighSpeed) {
        color = sourceAt(std::clamp(static_cast<int>(std::floor(u)), srcLeft, srcRight),
                         std::clamp(static_cast<int>(std::floor(v)), srcTop, srcBottom));
      } else {
        const float fx = std::clamp(u - 0.5f, static_cast<float>(srcLeft), static_cast<float>(srcRight));
        const float fy = std::clamp(v - 0.5f, static_cast<float>(srcTop), static_cast<float>(srcBottom));
        const int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
        const int x1 = std::min(x0 + 1, srcRight), y1 = std::min(y0 + 1, srcBottom);
        const float tx = fx - x0, ty = fy - y0;
        const TPremultiplied c00 = sourceAt(x0, y0), c10 = sourceAt(x1, y0);
        const TPremultiplied c01 = sourceAt(x0, y1), c11 = sourceAt(x1, y1);
        auto mix = [&](float a00, float a10, float a01, float a11) {
          return (a00 * (1 - tx) + a10 * tx) * (1 - ty) + (a01 * (1 - tx) + a11 * tx) * ty;
        };
        color = {mix(c00.B, c10.B, c01.B, c11.B), mix(c00.G, c10.G, c01.G, c11.G),
                 mix(c00.R, c10.R, c01.R, c11.R), mix(c00.A, c10.A, c01.A, c11.A)};
      }
      uint8_t* pixel = pixels.At(x, y);
      if (opacity >= 1.0f && color.A >= 1.0f) {
        // Opaque: store exactly, so a 1:1 draw is a copy.
        pixel[0] = ToByte(color.B);
        pixel[1] = ToByte(color.G);
        pixel[2] = ToByte(color.R);
        pixel[3] = 255;
        continue;
      }
      BlendPixel(pixel, {color.B * opacity, color.G * opacity, color.R * opacity, color.A * opacity});
    }
  }
}

void TCanvas::DrawRect(const rtl::TRectF& ARect, float, float, const TCorners&, float AOpacity) {
  if (FStroke.Kind == TBrushKind::None)
    return;
  TTargetPixels pixels(FTarget);
  if (!pixels.Valid())
    return;
  const rtl::TRectF rect = ToDevice(ARect);
  const float half = FStroke.Thickness * DeviceScale() / 2;
  const rtl::TRectF outer{rect.Left - half, rect.Top - half, rect.Right + half, rect.Bottom + half};
  const rtl::TRectF inner{rect.Left + half, rect.Top + half, rect.Right - half, rect.Bottom - half};
  const TPremultiplied source = FromColor(FStroke.Color, AOpacity);
  const TSpan xs = PixelSpan(outer.Left, outer.Right, pixels.Width());
  const TSpan ys = PixelSpan(outer.Top, outer.Bottom, pixels.Height());
  for (int y = ys.First; y <= ys.Last; ++y)
    for (int x = xs.First; x <= xs.Last; ++x) {
      const float cx = x + 0.5f, cy = y + 0.5f;
      const bool insideInner = cx >= inner.Left && cx < inner.Right && cy >= inner.Top && cy < inner.Bottom;
      if (!insideInner)
        BlendPixel(pixels.At(x, y), source);
    }
}

void TCanvas::DrawDashRect(const rtl::TRectF& ARect, float, float, const TCorners&, float AOpacity,
                           rtl::TAlphaColor AColor) {
  TTargetPixels pixels(FTarget);
  if (!pixels.Valid())
    return;
  // The border pixels of the rectangle, walked once around; dashes of 3 pixels with gaps of 3.
  const rtl::TRectF rect = ToDevice(ARect);
  const int left = static_cast<int>(std::lround(rect.Left)), top = static_cast<int>(std::lround(rect.Top));
  const int right = static_cast<int>(std::lround(rect.Right)) - 1;
  const int bottom = static_cast<int>(std::lround(rect.Bottom)) - 1;
  if (right < left || bottom < top)
    return;
  const TPremultiplied source = FromColor(AColor, AOpacity);
  constexpr int DashLength = 3;
  int step = 0;
  auto plot = [&](int AX, int AY) {
    if ((step++ / DashLength) % 2 == 0 && AX >= 0 && AY >= 0 && AX < pixels.Width() && AY < pixels.Height())
      BlendPixel(pixels.At(AX, AY), source);
  };
  for (int x = left; x <= right; ++x)
    plot(x, top);
  for (int y = top + 1; y <= bottom; ++y)
    plot(right, y);
  if (bottom > top)
    for (int x = right - 1; x >= left; --x)
      plot(x, bottom);
  if (right > left)
    for (int y = bottom - 1; y > top; --y)
      plot(left, y);
}

void TCanvas::FillText(const rtl::TRectF& ARect, std::string_view AText, bool AWordWrap, float AOpacity,
                       const TFillTextFlags&, TTextAlign AHAlign, TTextAlign AVAlign) {
  if (FFill.Kind == TBrushKind::None)
    return;
  TTargetPixels pixels(FTarget);
  if (!pixels.Valid())
    return;
  const int columns = static_cast<int>(std::floor(ARect.Width() / GlyphWidth));
  const std::vector<std::string> lines =
      LayoutLines(AText, AWordWrap, static_cast<size_t>(std::max(columns, 1)));
  const TPremultiplied source = FromColor(FFill.Color, AOpacity);
  const rtl::TRectF clip = ToDevice(ARect);
  const float scale = DeviceScale();
  if (scale <= 0)
    return;
  const float blockHeight = static_cast<float>(lines.size()) * GlyphHeight;
  float top = ARect.Top + AlignOffset(AVAlign, ARect.Height() - blockHeight);
  for (const std::string& line : lines) {
    float left =
        ARect.Left + AlignOffset(AHAlign, ARect.Width() - static_cast<float>(line.size()) * GlyphWidth);
    for (char character : line) {
      const rtl::TRectF cell = ToDevice({left, top, left + GlyphWidth, top + GlyphHeight});
      const uint8_t* rows = GlyphRows(character);
      const TSpan xs =
          PixelSpan(std::max(cell.Left, clip.Left), std::min(cell.Right, clip.Right), pixels.Width());
      const TSpan ys =
          PixelSpan(std::max(cell.Top, clip.Top), std::min(cell.Bottom, clip.Bottom), pixels.Height());
      for (int y = ys.First; y <= ys.Last; ++y) {
        const int row = std::clamp(static_cast<int>((y + 0.5f - cell.Top) / scale), 0, GlyphHeight - 1);
        for (int x = xs.First; x <= xs.Last; ++x) {
          const int column = std::clamp(static_cast<int>((x + 0.5f - cell.Left) / scale), 0, GlyphWidth - 1);
          if (rows[row] & (0x80 >> column))
            BlendPixel(pixels.At(x, y), source);
        }
      }
      left += GlyphWidth;
    }
    top += GlyphHeight;
  }
}

void DrawRowOverTransparent(uint8_t* ADest, const uint8_t* ASource, int32_t AWidth) {
  for (int32_t x = 0; x < AWidth;) {
    const uint8_t* from = ASource + size_t(x) * 4;
    if (from[3] == 255) {
      int32_t run = 1;
      while (x + run < AWidth && from[size_t(run) * 4 + 3] == 255)
        ++run;
      std::memcpy(ADest + size_t(x) * 4, from, size_t(run) * 4);
      x += run;
      continue;
    }
    uint8_t* to = ADest + size_t(x) * 4;
    std::memset(to, 0, 4);
    BlendPixel(to, FromPixel(from));
    ++x;
  }
}

} // namespace ui
