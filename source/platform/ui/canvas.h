#pragma once
// The 2D canvas: CPU drawing into a bitmap, and the process-wide lock that serialises 2D drawing
// with 3D scenes (a 3D context holds it for a whole scene so no other thread draws meanwhile).
//
// Pixel rules: the target holds BGRA 8-bit pixels with straight (not premultiplied) alpha.
// Every draw blends source-over, computed premultiplied in float and stored straight again, with
// its colour's alpha times the opacity as coverage. A pixel belongs to a shape when its centre
// lies inside it (left and top edges inclusive), so shapes have hard edges. The canvas matrix
// applies its translation and scale; rotation and shear are ignored. Drawing is clipped to the
// target, and a canvas without a target (or an empty one) draws nothing.

#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/colors.h"
#include "rtl/math3d.h"
#include "rtl/object.h"
#include "rtl/set.h"
#include "rtl/types2d.h"

namespace ui {

class TBitmap;

enum class TBrushKind : uint8_t { None, Solid };
RTL_ENUM_TYPEINFO(TBrushKind, "None", "Solid")

enum class TCorner : uint8_t { TopLeft, TopRight, BottomLeft, BottomRight };
RTL_ENUM_TYPEINFO(TCorner, "TopLeft", "TopRight", "BottomLeft", "BottomRight")
using TCorners = rtl::TSet<TCorner>;
inline constexpr TCorners AllCorners{TCorner::TopLeft, TCorner::TopRight, TCorner::BottomLeft,
                                     TCorner::BottomRight};

enum class TTextAlign : uint8_t { Center, Leading, Trailing };
RTL_ENUM_TYPEINFO(TTextAlign, "Center", "Leading", "Trailing")

enum class TFillTextFlag : uint8_t { RightToLeft };
RTL_ENUM_TYPEINFO(TFillTextFlag, "RightToLeft")
using TFillTextFlags = rtl::TSet<TFillTextFlag>;

enum class TCanvasAttribute : uint8_t { MaxBitmapSize };

struct TBrush {
  TBrushKind Kind = TBrushKind::Solid;
  rtl::TAlphaColor Color = 0xFF000000;
};

struct TStrokeBrush {
  TBrushKind Kind = TBrushKind::Solid;
  rtl::TAlphaColor Color = 0xFF000000;
  // In canvas units; the matrix scales it.
  float Thickness = 1;
};

class TCanvas : public rtl::TObject {
  RTL_CLASS(TCanvas, rtl::TObject)
public:
  // The built-in font's cell, in canvas units.
  static constexpr int GlyphWidth = 8;
  static constexpr int GlyphHeight = 16;

  // The global canvas lock. It is re-entrant: the thread holding it may take it again and must
  // release it once per take. Unlock by a thread that does not hold it raises EInvalidOperation.
  static void Lock();
  static void Unlock();
  // Takes the lock when it is free or already held by the calling thread.
  static bool TryLock();

  // Scenes nest. BeginScene answers whether drawing may go ahead (always, so far); every
  // BeginScene needs its EndScene. An EndScene without an open scene does nothing.
  bool BeginScene();
  void EndScene();
  int BeginSceneCount() const { return FSceneCount; }
  bool IsInScene() const { return FSceneCount > 0; }
  // Drawing reaches the pixels at once: nothing to flush.
  void Flush() {}

  // The target's size in pixels.
  int32_t Width() const;
  int32_t Height() const;
  const rtl::TMatrix& Matrix() const { return FMatrix; }
  void SetMatrix(const rtl::TMatrix& AMatrix) { FMatrix = AMatrix; }
  TStrokeBrush& Stroke() { return FStroke; }
  TBrush& Fill() { return FFill; }

  // Sets every pixel of the target to AColor, ignoring matrix and blending.
  void Clear(rtl::TAlphaColor AColor);
  // Sets the pixels of ARect (canvas units) to AColor, without blending.
  void ClearRect(const rtl::TRectF& ARect, rtl::TAlphaColor AColor);
  // Fills ARect with Fill.Color, blended.
  void FillRect(const rtl::TRectF& ARect, float AOpacity);
  // Draws the ASrc part of ABitmap (its pixels) into ADst: nearest neighbour when AHighSpeed,
  // else bilinear sampled at pixel centres (a 1:1 draw copies exactly), edges clamped.
  void DrawBitmap(const TBitmap& ABitmap, const rtl::TRectF& ASrc, const rtl::TRectF& ADst, float AOpacity,
                  bool AHighSpeed = false);
  // Strokes ARect with Stroke: the line is centred on the edge. The radii and corners are accepted
  // and ignored; corners are square.
  void DrawRect(const rtl::TRectF& ARect, float AXRadius, float AYRadius, const TCorners& ACorners,
                float AOpacity);
  // A dashed 1-pixel line along ARect's edge in AColor.
  void DrawDashRect(const rtl::TRectF& ARect, float AXRadius, float AYRadius, const TCorners& ACorners,
                    float AOpacity, rtl::TAlphaColor AColor);
  // Writes AText (UTF-8) in Fill.Color with the built-in 8 x 16 font: printable ASCII, "?" for
  // anything else. CR LF or LF breaks lines; word wrap breaks at spaces and splits words wider
  // than the rectangle. Lines align by AHAlign, the block by AVAlign; clipped at ARect. No flag
  // changes the result.
  void FillText(const rtl::TRectF& ARect, std::string_view AText, bool AWordWrap, float AOpacity,
                const TFillTextFlags& AFlags, TTextAlign AHAlign, TTextAlign AVAlign = TTextAlign::Center);

  // MaxBitmapSize: the largest bitmap side a canvas draws into (8192). Tests set it.
  static int GetAttribute(TCanvasAttribute AAttribute);
  static void SetAttribute(TCanvasAttribute AAttribute, int AValue);

protected:
  explicit TCanvas(TBitmap* ATarget = nullptr) : FTarget(ATarget) {}

private:
  rtl::TRectF ToDevice(const rtl::TRectF& ARect) const;
  float DeviceScale() const;
  void FillDeviceRect(const rtl::TRectF& ADeviceRect, rtl::TAlphaColor AColor, float AOpacity);

  TBitmap* FTarget;
  int FSceneCount = 0;
  rtl::TMatrix FMatrix{1, 0, 0, 0, 1, 0, 0, 0, 1};
  TStrokeBrush FStroke;
  TBrush FFill;
};

// Writes AWidth BGRA pixels of ASource into ADest as clearing ADest to transparent and drawing
// ASource over it 1:1 at full opacity would: opaque runs are copied, the other pixels blended onto
// transparent black, bit for bit as DrawBitmap blends. ADest's previous bytes are never read.
void DrawRowOverTransparent(uint8_t* ADest, const uint8_t* ASource, int32_t AWidth);

// The built-in font: 16 rows of 8 pixels (bit 7 is the left pixel) for the characters 32 to 126.
const uint8_t* GlyphRows(char ACharacter);

} // namespace ui
