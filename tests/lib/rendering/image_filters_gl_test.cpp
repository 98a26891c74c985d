// The image filters on llvmpipe: the registry the start-up leaves, value records and clamping,
// the filter contexts, and each of the eight filters on tiny inputs uploaded through the
// orientation rule (Points and rows are y down; the top row is at texture t = 1).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Vantrel.Units.h"
#include "context/Vantrel.Context.GLES.Windows.h"
#include "rendering/Vantrel.Filter.Custom.h"
#include "rtl/sysutils.h"
#include "support/gl_fixture.h"
#include "ui/bitmap.h"
#include "ui/context3d.h"
#include "ui/filters.h"

namespace {

using namespace vantrel;
using rtl::TAlphaColor;
using rtl::TOwned;
using rtl::TPointF;
using rtl::TValue;
using ui::TBitmap;
using ui::TBitmapData;
using ui::TFilter;
using ui::TFilterManager;
using ui::TFilterValueRec;
using ui::TFilterValueType;

using TColorAt = std::function<TAlphaColor(int, int)>;

TOwned<TBitmap> MakeBitmap(int AWidth, int AHeight, const TColorAt& AColor) {
  auto bitmap = rtl::MakeOwned<TBitmap>(AWidth, AHeight);
  TBitmapData data;
  EXPECT_TRUE(bitmap->Map(ui::TMapAccess::Write, data));
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x)
      data.SetPixel(x, y, AColor(x, y));
  bitmap->Unmap(data);
  return bitmap;
}

TAlphaColor At(TBitmap& ABitmap, int AX, int AY) {
  TBitmapData data;
  EXPECT_TRUE(ABitmap.Map(ui::TMapAccess::Read, data));
  const TAlphaColor color = data.GetPixel(AX, AY);
  ABitmap.Unmap(data);
  return color;
}

// Opaque and different for every pixel of an image up to 8 x 8.
TAlphaColor Distinct(int AX, int AY) {
  return 0xFF000000u | uint32_t(AX * 30 + 15) << 16 | uint32_t(AY * 30 + 15) << 8 | uint32_t((AX * 7 + AY * 11) % 256);
}

int Channel(TAlphaColor AColor, int AShift) {
  return int((AColor >> AShift) & 0xFF);
}

// Every channel within ATolerance.
::testing::AssertionResult ColorNear(TAlphaColor AActual, TAlphaColor AExpected, int ATolerance = 1) {
  for (int shift : {0, 8, 16, 24})
    if (std::abs(Channel(AActual, shift) - Channel(AExpected, shift)) > ATolerance)
      return ::testing::AssertionFailure() << rtl::Format("%.8X instead of %.8X", AActual, AExpected);
  return ::testing::AssertionSuccess();
}

using TValues = std::vector<std::pair<std::string, TValue>>;

class FilterGL : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    InitializeUnits();
  }
  void TearDown() override {
    FinalizeUnits();
    ContextGLTest::TearDown();
  }

  // The filter's output (a copy), or nullptr when it has none.
  static TOwned<TBitmap> Run(const char* AName, TBitmap& AInput, const TValues& AValues = {}) {
    TOwned<TFilter> filter = TFilterManager::FilterByName(AName);
    EXPECT_TRUE(filter) << AName;
    if (!filter)
      return nullptr;
    for (const auto& [name, value] : AValues)
      filter->SetValue(name, value);
    filter->SetInput(&AInput);
    TBitmap* output = filter->Output();
    if (!output)
      return nullptr;
    auto copy = rtl::MakeOwned<TBitmap>();
    copy->Assign(output);
    return copy;
  }
};

// ---- Registry and values ---------------------------------------------------------------------------

std::string Number(float AValue) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", double(AValue));
  return text;
}

std::string Describe(const TValue& AValue, TFilterValueType AType) {
  switch (AType) {
  case TFilterValueType::Float:
    return Number(AValue.AsSingle());
  case TFilterValueType::Point: {
    const TPointF p = AValue.AsType<TPointF>();
    return "(" + Number(p.X) + "," + Number(p.Y) + ")";
  }
  case TFilterValueType::Color:
    return rtl::Format("$%.8X", uint32_t(AValue.AsInt64()));
  case TFilterValueType::Bitmap:
    return AValue.AsType<TBitmap*>() ? "bitmap" : "-";
  }
  return "?";
}

std::string Describe(const ui::TFilterRec& ARec) {
  std::string text = ARec.Name + " | " + ARec.Desc;
  static const char* const Types[] = {"Float", "Point", "Color", "Bitmap"};
  for (const TFilterValueRec& value : ARec.Values)
    text += "\n  " + value.Name + " " + Types[int(value.ValueType)] + " " + Describe(value.Value, value.ValueType) +
            " " + Describe(value.Min, value.ValueType) + " " + Describe(value.Max, value.ValueType) + " \"" +
            value.Desc + "\"";
  return text;
}

TEST_F(FilterGL, StartUpRegistersTheEightFiltersWithTheirTables) {
  const std::vector<std::pair<std::string, const rtl::TClass*>> expected = {
      {"Geometry", &TVantrelAffineFilter::StaticClass()},     {"Geometry", &TVantrelPerspectiveFilter::StaticClass()},
      {"Geometry", &TVantrelCropFilter::StaticClass()},       {"Blur", &TVantrelGaussianBlurFilter::StaticClass()},
      {"Style", &TVantrelGlowFilter::StaticClass()},          {"Style", &TVantrelInnerGlowFilter::StaticClass()},
      {"Style", &TVantrelReflectionFilter::StaticClass()},    {"Transition", &TVantrelSwipeFilter::StaticClass()}};
  const auto classes = TFilterManager::FilterClasses();
  ASSERT_EQ(classes.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(classes[i].first, expected[i].first) << i;
    EXPECT_EQ(classes[i].second, expected[i].second) << i;
  }
  EXPECT_EQ(TFilterManager::FilterCategories(), (std::vector<std::string>{"Geometry", "Blur", "Style", "Transition"}));

  const std::vector<std::string> tables = {
      "AffineTransform | Applies an affine transform to an image.\n"
      "  Center Point (150,150) (0,0) (65535,65535) \"The center point of the rotation.\"\n"
      "  Rotation Float 0 -180 180 \"Rotation angle in degrees.\"\n"
      "  Scale Float 1 0.05 4 \"Scale value as floating.\"",
      "PerspectiveTransform | Applies an perspective transform to an image.\n"
      "  TopLeft Point (0,0) (0,0) (65535,65535) \"Top left point of result transformation.\"\n"
      "  TopRight Point (300,0) (0,0) (65535,65535) \"Top right point of result transformation.\"\n"
      "  BottomRight Point (350,300) (0,0) (65535,65535) \"Bottom right point of result transformation.\"\n"
      "  BottomLeft Point (0,300) (0,0) (65535,65535) \"Bottom left point of result transformation.\"",
      "Crop | The size and shape of the cropped image depend on the rectangle you specify.\n"
      "  LeftTop Point (0,0) (0,0) (65535,65535) \"Left-top corner of cropping rect\"\n"
      "  RightBottom Point (150,150) (0,0) (65535,65535) \"Left-top corner of cropping rect\"",
      "GaussianBlur | An effect that GaussianBlurs.\n"
      "  BlurAmount Float 1 0.01 10 \"The GaussianBlur factor.\"",
      "GlowFilter | An effect that add glow.\n"
      "  BlurAmount Float 0.7 0.01 10 \"The blur factor.\"\n"
      "  Color Color $FFFFD700 $00000000 $00000000 \"The glow color.\"",
      "InnerGlowFilter | An effect that add glow.\n"
      "  BlurAmount Float 0.7 0.01 10 \"The blur factor.\"\n"
      "  Color Color $FFFFD700 $00000000 $00000000 \"The glow color.\"",
      "ReflectionFilter | An reflection effect.\n"
      "  Opacity Float 1 0 1 \"The opacity of result image.\"\n"
      "  Length Float 0.5 0 1 \"The length of reflection.\"",
      "SwipeTransition | A swipe transition effect.\n"
      "  MousePoint Point (5,5) (0,0) (65535,65535) \"The point of coursor\"\n"
      "  CornerPoint Point (0,0) (0,0) (65535,65535) \"The point of corner\"\n"
      "  Deep Float 50 0 100 \"The deep of fold\"\n"
      "  Target Bitmap - - - \"Target desription\"\n"
      "  Back Bitmap - - - \"Back page texture\""};
  for (size_t i = 0; i < classes.size(); ++i)
    EXPECT_EQ(Describe(classes[i].second->FilterAttr()), tables[i]);

  TOwned<TFilter> blur = TFilterManager::FilterByName("gaussianblur");
  ASSERT_TRUE(blur);
  EXPECT_EQ(&blur->ClassType(), &TVantrelGaussianBlurFilter::StaticClass());
  EXPECT_FALSE(TFilterManager::FilterByName("Nope"));
  EXPECT_EQ(TFilterManager::FilterClassByName("SWIPETRANSITION"), &TVantrelSwipeFilter::StaticClass());
}

TEST_F(FilterGL, RegistryAndValues) {
  {
    SCOPED_TRACE("a second registration keeps the first place and takes the new category");
    TFilterManager::RegisterFilter("Other", TVantrelAffineFilter::StaticClass());
    const auto classes = TFilterManager::FilterClasses();
    ASSERT_EQ(classes.size(), 8u);
    EXPECT_EQ(classes[0].second, &TVantrelAffineFilter::StaticClass());
    EXPECT_EQ(classes[0].first, "Other");
    EXPECT_EQ(TFilterManager::FilterCategories().front(), "Other");
  }
  TOwned<TFilter> affine = TFilterManager::FilterByName("AffineTransform");
  TOwned<TFilter> blur = TFilterManager::FilterByName("GaussianBlur");
  TOwned<TFilter> swipe = TFilterManager::FilterByName("SwipeTransition");
  struct TCase {
    TFilter* Filter;
    const char* Name;
    TValue Value;
    std::string Expected;
  };
  const TCase cases[] = {
      {affine.get(), "Scale", TValue::From(10.0f), "4"},
      {affine.get(), "scale", TValue::From(0.5f), "0.5"},
      {blur.get(), "BlurAmount", TValue::From(0.0f), "0.01"},
      {affine.get(), "Rotation", TValue::From(-300.0f), "-180"},
      {affine.get(), "Center", TValue::From(TPointF{-5, 70000}), "(0,65535)"},
      {swipe.get(), "MousePoint", TValue::From(TPointF{12.5f, 3}), "(12.5,3)"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    c.Filter->SetValue(c.Name, c.Value);
    const auto& rec = *std::find_if(c.Filter->Values().begin(), c.Filter->Values().end(),
                                    [&](const TFilterValueRec& AValue) { return rtl::SameText(AValue.Name, c.Name); });
    EXPECT_EQ(Describe(c.Filter->GetValue(c.Name), rec.ValueType), c.Expected);
  }
  try {
    affine->GetValue("Nope");
    ADD_FAILURE() << "no exception";
  } catch (const ui::EFilterException& E) {
    EXPECT_EQ(E.Message(), "filter value not found: Nope");
  }
  EXPECT_THROW(affine->SetValue("Nope", TValue::From(1.0f)), ui::EFilterException);

  // Flags and pass counts the constructors set.
  EXPECT_TRUE(affine->AntiAlise());
  EXPECT_FALSE(blur->AntiAlise());
  EXPECT_EQ(blur->PassCount(), 2);
  EXPECT_EQ(affine->PassCount(), 1);
  EXPECT_EQ(blur->PassShader(0)->Name(), "gaussianblurh.fps");
  EXPECT_EQ(blur->PassShader(1)->Name(), "gaussianblurv.fps");
  EXPECT_TRUE(swipe->NeedInternalSecondTex().empty());
  {
    // The inner glow's second pass carries a Mac text that reads Original upside down.
    TOwned<TFilter> inner = TFilterManager::FilterByName("InnerGlowFilter");
    const auto& sources = inner->PassShader(1)->Sources();
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_EQ(sources[1].Arch, ui::TContextShaderArch::Mac);
    const std::string mac(sources[1].Code.begin(), sources[1].Code.end());
    EXPECT_NE(mac.find("texture2D(_Original, vec2(TEX0.x, 1.0 - TEX0.y))"), std::string::npos);
  }
  affine.reset();
  blur.reset();
  swipe.reset();

  TFilterManager::UnInitialize();
  EXPECT_TRUE(TFilterManager::FilterClasses().empty());
  EXPECT_FALSE(TFilterManager::FilterByName("GaussianBlur"));
  TFilterManagerHack::ReregisterFilters();
  EXPECT_EQ(TFilterManager::FilterClasses().size(), 8u);
}

TEST_F(FilterGL, ContextsAreFrameworkContextsAndCanBeDropped) {
  auto input = MakeBitmap(4, 2, Distinct);
  ASSERT_TRUE(Run("AffineTransform", *input));
  ui::TContext3D* context = TFilterManager::FilterContext();
  ASSERT_NE(context, nullptr);
  EXPECT_TRUE(dynamic_cast<TContextOpenGLWindows*>(context));
  EXPECT_EQ(context->Width(), 4);
  TFilterManager::ResizeContext(0, 0);
  TFilterManager::ResetContext();
  EXPECT_EQ(TFilterManager::FilterContext(), nullptr);
  TFilterManager::ResizeContext(48, 40);
  ASSERT_NE(TFilterManager::FilterContext(), nullptr);
  EXPECT_EQ(TFilterManager::FilterContext()->Width(), 48);
  EXPECT_EQ(TFilterManager::FilterContext()->Height(), 40);
  TFilterManager::ResetContext();
}

// ---- The filters -------------------------------------------------------------------------------------

// Runs AName on AInput and compares every output pixel with AExpected(x, y) within ATolerance.
void ExpectImage(TBitmap* AOutput, int AWidth, int AHeight, const TColorAt& AExpected, int ATolerance = 0) {
  ASSERT_TRUE(AOutput);
  ASSERT_EQ(AOutput->Width(), AWidth);
  ASSERT_EQ(AOutput->Height(), AHeight);
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x)
      EXPECT_TRUE(ColorNear(At(*AOutput, x, y), AExpected(x, y), ATolerance)) << "at " << x << ", " << y;
}

TEST_F(FilterGL, GeometryFilters) {
  auto small = MakeBitmap(4, 2, Distinct);
  auto square = MakeBitmap(4, 4, Distinct);
  auto eight = MakeBitmap(8, 8, Distinct);
  {
    SCOPED_TRACE("affine identity");
    auto out = Run("AffineTransform", *small, {{"Rotation", TValue::From(0.0f)}, {"Scale", TValue::From(1.0f)}});
    ExpectImage(out.get(), 4, 2, Distinct);
  }
  {
    SCOPED_TRACE("affine quarter turn clockwise");
    auto out = Run("AffineTransform", *small, {{"Rotation", TValue::From(90.0f)}, {"Center", TValue::From(TPointF{2, 1})}});
    ExpectImage(out.get(), 2, 4, [](int x, int y) { return Distinct(y, 1 - x); });
  }
  {
    SCOPED_TRACE("affine sizes");
    auto wide = MakeBitmap(200, 100, [](int, int) { return 0xFF808080u; });
    auto turned = Run("AffineTransform", *wide, {{"Rotation", TValue::From(90.0f)}});
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->Width(), 100);
    EXPECT_EQ(turned->Height(), 200);
    auto scaled = Run("AffineTransform", *small, {{"Scale", TValue::From(4.0f)}});
    ASSERT_TRUE(scaled);
    EXPECT_EQ(scaled->Width(), 16);
    EXPECT_EQ(scaled->Height(), 8);
  }
  {
    SCOPED_TRACE("perspective onto the input's own corners");
    auto out = Run("PerspectiveTransform", *square,
                   {{"TopLeft", TValue::From(TPointF{0, 0})},
                    {"TopRight", TValue::From(TPointF{4, 0})},
                    {"BottomRight", TValue::From(TPointF{4, 4})},
                    {"BottomLeft", TValue::From(TPointF{0, 4})}});
    ExpectImage(out.get(), 4, 4, Distinct);
  }
  {
    SCOPED_TRACE("crop inside");
    auto out = Run("Crop", *eight, {{"LeftTop", TValue::From(TPointF{2, 3})}, {"RightBottom", TValue::From(TPointF{6, 5})}});
    ExpectImage(out.get(), 4, 2, [](int x, int y) { return Distinct(x + 2, y + 3); });
  }
  {
    SCOPED_TRACE("crop past the input's corner is transparent there");
    auto out = Run("Crop", *eight, {{"LeftTop", TValue::From(TPointF{6, 6})}, {"RightBottom", TValue::From(TPointF{10, 10})}});
    ExpectImage(out.get(), 4, 4, [](int x, int y) { return x < 2 && y < 2 ? Distinct(x + 6, y + 6) : 0u; });
  }
  {
    SCOPED_TRACE("crop of a larger image");
    auto wide = MakeBitmap(200, 100, [](int x, int y) { return 0xFF000000u | uint32_t(x) << 16 | uint32_t(y) << 8; });
    auto out = Run("Crop", *wide, {{"LeftTop", TValue::From(TPointF{10, 20})}, {"RightBottom", TValue::From(TPointF{110, 70})}});
    ExpectImage(out.get(), 100, 50, [](int x, int y) { return 0xFF000000u | uint32_t(x + 10) << 16 | uint32_t(y + 20) << 8; });
  }
}

TEST_F(FilterGL, StyleFilters) {
  const TAlphaColor rows[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
  auto column = MakeBitmap(1, 4, [&](int, int y) { return rows[y]; });
  const auto reflected = [&](float AOpacity) {
    return [&, AOpacity](int, int y) {
      const float f = std::min(1.0f, ((y + 0.5f) / 4) / 0.5f);
      const float factor = (1 - f) * AOpacity;
      const TAlphaColor in = rows[3 - y];
      TAlphaColor out = 0;
      for (int shift : {0, 8, 16, 24})
        out |= uint32_t(std::lround(Channel(in, shift) * factor)) << shift;
      return out;
    };
  };
  {
    SCOPED_TRACE("reflection");
    auto out = Run("ReflectionFilter", *column, {{"Opacity", TValue::From(1.0f)}, {"Length", TValue::From(0.5f)}});
    ExpectImage(out.get(), 1, 4, reflected(1), 1);
    auto half = Run("ReflectionFilter", *column, {{"Opacity", TValue::From(0.5f)}});
    ExpectImage(half.get(), 1, 4, reflected(0.5f), 1);
  }
  auto white = MakeBitmap(8, 8, [](int, int) { return 0xFFFFFFFFu; });
  {
    SCOPED_TRACE("glow of an opaque image: gold times 1.069, clamped");
    auto out = Run("GlowFilter", *white, {{"Color", TValue::From(TAlphaColor(0xFFFFD700), rtl::TypeInfoAlphaColor())}});
    ExpectImage(out.get(), 8, 8, [](int, int) { return 0xFFFFE600u; }, 1);
  }
  {
    SCOPED_TRACE("inner glow of an opaque image");
    auto out = Run("InnerGlowFilter", *white);
    ExpectImage(out.get(), 8, 8, [](int, int) { return 0u; }, 0);
  }
}

// The glow's two passes on the CPU: alpha blurred with bilinear taps (edges clamped) along x,
// stored in 8 bits, then along y and multiplied into the fill colour. At the default amount the
// taps lie 1.05 texels apart, so the glow of a 16 x 16 image reaches every pixel.
std::vector<double> GlowModel(const std::vector<double>& AAlpha, int ASize, float ABlurAmount) {
  static const double Weights[8] = {0.0988529697, 0.0968955457, 0.0912527889, 0.082568936,
                                    0.0717819855, 0.0599573553, 0.0481169038, 0.034537863};
  const double width = ASize / double(ABlurAmount) / 1.5;
  const auto sample = [&](const std::vector<double>& AImage, int AX, int AY, bool AAlongX, double ACoord) {
    const double u = std::clamp(ACoord, 0.0, 1.0) * ASize - 0.5;
    const int i0 = int(std::floor(u));
    const double f = u - i0;
    const auto at = [&](int AIndex) {
      const int i = std::clamp(AIndex, 0, ASize - 1);
      return AAlongX ? AImage[size_t(AY * ASize + i)] : AImage[size_t(i * ASize + AX)];
    };
    return (1 - f) * at(i0) + f * at(i0 + 1);
  };
  const auto pass = [&](const std::vector<double>& AImage, bool AAlongX) {
    std::vector<double> result(AImage.size());
    for (int y = 0; y < ASize; ++y)
      for (int x = 0; x < ASize; ++x) {
        const double centre = ((AAlongX ? x : y) + 0.5) / ASize;
        double a = 0;
        for (int k = -7; k <= 7; ++k)
          a += Weights[std::abs(k)] * sample(AImage, x, y, AAlongX, centre + k / width);
        result[size_t(y * ASize + x)] = std::round(std::min(a, 1.0) * 255) / 255;
      }
    return result;
  };
  return pass(pass(AAlpha, true), false);
}

TEST_F(FilterGL, GlowOfASquareFollowsTheTwoPassModel) {
  constexpr int Size = 16;
  const auto inSquare = [](int x, int y) { return x >= 6 && x < 10 && y >= 6 && y < 10; };
  auto input = MakeBitmap(Size, Size, [&](int x, int y) { return inSquare(x, y) ? 0xFFFFFFFFu : 0u; });
  std::vector<double> alpha(Size * Size);
  for (int y = 0; y < Size; ++y)
    for (int x = 0; x < Size; ++x)
      alpha[size_t(y * Size + x)] = inSquare(x, y) ? 1 : 0;
  const std::vector<double> model = GlowModel(alpha, Size, 0.7f);
  auto out = Run("GlowFilter", *input);
  ExpectImage(out.get(), Size, Size, [&](int x, int y) {
    const double a = model[size_t(y * Size + x)];
    const auto channel = [&](double AFill) { return uint32_t(std::lround(std::min(1.0, AFill * a) * 255)); };
    return channel(1) << 24 | channel(1) << 16 | channel(215 / 255.0) << 8 | channel(0);
  }, 2);
}

TEST_F(FilterGL, GaussianBlurIsCentredAndScalesItsReach) {
  {
    SCOPED_TRACE("uniform input stays uniform");
    auto flat = MakeBitmap(16, 16, [](int, int) { return 0xFF0A141Eu; });
    for (float amount : {1.0f, 2.5f}) {
      auto out = Run("GaussianBlur", *flat, {{"BlurAmount", TValue::From(amount)}});
      ExpectImage(out.get(), 16, 16, [](int, int) { return 0xFF0A141Eu; }, 1);
    }
  }
  {
    SCOPED_TRACE("a single texel keeps its place");
    auto dot = MakeBitmap(32, 32, [](int x, int y) { return x == 15 && y == 15 ? 0xFFFFFFFFu : 0xFF000000u; });
    auto out = Run("GaussianBlur", *dot);
    ASSERT_TRUE(out);
    double sum = 0, sx = 0, sy = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        const double v = Channel(At(*out, x, y), 16);
        sum += v;
        sx += v * x;
        sy += v * y;
      }
    ASSERT_GT(sum, 0);
    EXPECT_NEAR(sx / sum, 15, 0.05);
    EXPECT_NEAR(sy / sum, 15, 0.05);
  }
  {
    SCOPED_TRACE("ten times the amount reaches ten times as far");
    auto line = MakeBitmap(256, 1, [](int x, int) { return x == 128 ? 0xFFFFFFFFu : 0xFF000000u; });
    const auto lit = [&](float AAmount) {
      auto out = Run("GaussianBlur", *line, {{"BlurAmount", TValue::From(AAmount)}});
      std::vector<int> result;
      for (int x = 0; out && x < 256; ++x)
        if (Channel(At(*out, x, 0), 16) > 0)
          result.push_back(x);
      return result;
    };
    std::vector<int> near, far;
    for (int k = -9; k <= 9; ++k) {
      near.push_back(128 + k);
      far.push_back(128 + 10 * k);
    }
    EXPECT_EQ(lit(1), near);
    EXPECT_EQ(lit(10), far);
  }
}

TEST_F(FilterGL, SwipeFoldsThePageOntoTheTarget) {
  auto input = MakeBitmap(100, 100, [](int, int) { return 0xFFFF0000u; });
  auto target = MakeBitmap(100, 100, [](int, int) { return 0xFF0000FFu; });
  auto back = MakeBitmap(100, 100, [](int, int) { return 0xFF00FF00u; });
  TOwned<TFilter> filter = TFilterManager::FilterByName("SwipeTransition");
  filter->SetValue("MousePoint", TValue::From(TPointF{50, 50}));
  filter->SetValue("CornerPoint", TValue::From(TPointF{100, 100}));
  filter->SetValue("Deep", TValue::From(50.0f));
  filter->SetValue("Target", TValue::From(target.get()));
  filter->SetValue("Back", TValue::From(back.get()));
  filter->SetInput(input.get());
  TBitmap* out = filter->Output();
  ASSERT_TRUE(out);
  ASSERT_EQ(out->Width(), 100);
  ASSERT_EQ(out->Height(), 100);
  auto& swipe = dynamic_cast<TVantrelSwipeFilter&>(*filter);
  const auto near = [](TPointF AActual, TPointF AExpected) {
    return std::abs(AActual.X - AExpected.X) < 1e-4f && std::abs(AActual.Y - AExpected.Y) < 1e-4f;
  };
  EXPECT_TRUE(near(swipe.APoint(), {0.5f, 0.5f}));
  EXPECT_TRUE(near(swipe.A1Point(), {1, 1}));
  EXPECT_TRUE(near(swipe.BPoint(), {1, 0.5f}));
  EXPECT_TRUE(near(swipe.CPoint(), {0.5f, 1}));
  EXPECT_TRUE(near(swipe.LineAB(), {-1, 1.5f}));
  EXPECT_TRUE(near(swipe.LineAB1(), {-1, 0.79289f}));
  EXPECT_FLOAT_EQ(swipe.K(), 1);
  EXPECT_FLOAT_EQ(swipe.Length(), 0.5f);
  EXPECT_TRUE(ColorNear(At(*out, 9, 89), 0xFFFF0000));
  EXPECT_TRUE(ColorNear(At(*out, 59, 39), 0xFF00FF00));
  EXPECT_TRUE(ColorNear(At(*out, 94, 4), 0xFF0000FF));
}

TEST_F(FilterGL, NoOutputWithoutInputOrSize) {
  TOwned<TFilter> crop = TFilterManager::FilterByName("Crop");
  EXPECT_EQ(crop->Output(), nullptr);
  TBitmap empty;
  crop->SetInput(&empty);
  EXPECT_EQ(crop->Output(), nullptr);
  auto input = MakeBitmap(8, 8, Distinct);
  crop->SetInput(input.get());
  crop->SetValue("LeftTop", TValue::From(TPointF{4, 4}));
  crop->SetValue("RightBottom", TValue::From(TPointF{4, 6}));
  EXPECT_EQ(crop->Output(), nullptr);
}

} // namespace
