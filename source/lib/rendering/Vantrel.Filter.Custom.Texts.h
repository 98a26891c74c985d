#pragma once
// The image filters' pixel shaders, in the legacy dialect (no version line, "varying vec4 TEX0",
// texture2D, gl_FragColor). Uniforms carry a leading underscore and are set by the name without it.
// Blur and glow taps clamp their coordinate to [0, 1].

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace vantrel {

// c = (TEX0.x, 1 - TEX0.y) through the inverse transform's two rows; the input is sampled at
// (n.x, 1 - n.y) inside the unit square and is transparent outside it.
inline constexpr const char* SAffineFilterText =
    "varying vec4 TEX0;\n"
    "uniform sampler2D _Input;\n"
    "uniform vec3 _Matrix1;\n"
    "uniform vec3 _Matrix2;\n"
    "void main() {\n"
    "  vec2 c = vec2(TEX0.x, 1.0 - TEX0.y);\n"
    "  vec2 n = vec2(c.x * _Matrix1.x + c.y * _Matrix1.y + _Matrix1.z, c.x * _Matrix2.x + c.y * _Matrix2.y + _Matrix2.z);\n"
    "  if (n.x >= 0.0 && n.x <= 1.0 && n.y >= 0.0 && n.y <= 1.0)\n"
    "    gl_FragColor = texture2D(_Input, vec2(n.x, 1.0 - n.y));\n"
    "  else\n"
    "    gl_FragColor = vec4(0.0);\n"
    "}\n";

// TEX0 through the inverse projective transform, without a y flip; divided by z unless z is 1.
inline constexpr const char* SPerspectiveFilterText =
    "varying vec4 TEX0;\n"
    "uniform sampler2D _Input;\n"
    "uniform vec3 _Matrix1;\n"
    "uniform vec3 _Matrix2;\n"
    "uniform vec3 _Matrix3;\n"
    "void main() {\n"
    "  float x = TEX0.x;\n"
    "  float y = TEX0.y;\n"
    "  float z = _Matrix3.x * x + _Matrix3.y * y + _Matrix3.z;\n"
    "  vec2 n = vec2(x * _Matrix1.x + y * _Matrix1.y + _Matrix1.z, x * _Matrix2.x + y * _Matrix2.y + _Matrix2.z);\n"
    "  if (z != 1.0)\n"
    "    n = n / z;\n"
    "  if (n.x >= 0.0 && n.x <= 1.0 && n.y >= 0.0 && n.y <= 1.0)\n"
    "    gl_FragColor = texture2D(_Input, n);\n"
    "  else\n"
    "    gl_FragColor = vec4(0.0);\n"
    "}\n";

// The output spans LeftTop .. RightBottom of the input (fractions of its size, y down).
inline constexpr const char* SCropFilterText =
    "varying vec4 TEX0;\n"
    "uniform sampler2D _Input;\n"
    "uniform vec2 _LeftTop;\n"
    "uniform vec2 _RightBottom;\n"
    "void main() {\n"
    "  vec2 s = _RightBottom - _LeftTop;\n"
    "  vec2 c = vec2(TEX0.x, 1.0 - TEX0.y) * s + _LeftTop;\n"
    "  c.y = 1.0 - c.y;\n"
    "  if (c.x >= 0.0 && c.x <= 1.0 && c.y >= 0.0 && c.y <= 1.0)\n"
    "    gl_FragColor = texture2D(_Input, c);\n"
    "  else\n"
    "    gl_FragColor = vec4(0.0);\n"
    "}\n";

// A shader text joined at compile time from pieces, so that texts that share their taps and
// declarations are written once.
template <size_t Size> struct TShaderText {
  std::array<char, Size> Chars{};

  constexpr operator std::string_view() const { return {Chars.data(), Size - 1}; }
};

template <size_t... N> constexpr TShaderText<(N + ...) - sizeof...(N) + 1> JoinShaderText(const char (&... AParts)[N]) {
  TShaderText<(N + ...) - sizeof...(N) + 1> result;
  size_t at = 0;
  ((std::copy_n(AParts, N - 1, result.Chars.begin() + at), at += N - 1), ...);
  return result;
}

// The pieces of the blur and glow texts. A tap reads the input at an offset in texels (of
// 1 / Width) along x or y, clamped to [0, 1], and weighs it.
inline constexpr char SBlurInputDecl[] = "varying vec4 TEX0;\n"
                                         "uniform sampler2D _Input;\n";
inline constexpr char SBlurWidthDecl[] = "uniform float _Width;\n";
inline constexpr char SGlowFillColorDecl[] = "uniform vec4 _FillColor;\n";
inline constexpr char SGlowOriginalDecl[] = "uniform sampler2D _Original;\n";

inline constexpr char SColorTapH[] =
    "vec4 tap(float o, float w) {\n"
    "  return texture2D(_Input, vec2(clamp(TEX0.x + o / _Width, 0.0, 1.0), TEX0.y)) * w;\n"
    "}\n";
inline constexpr char SColorTapV[] =
    "vec4 tap(float o, float w) {\n"
    "  return texture2D(_Input, vec2(TEX0.x, clamp(TEX0.y + o / _Width, 0.0, 1.0))) * w;\n"
    "}\n";
inline constexpr char SAlphaTapH[] =
    "float tap(float o, float w) {\n"
    "  return texture2D(_Input, vec2(clamp(TEX0.x + o / _Width, 0.0, 1.0), TEX0.y)).a * w;\n"
    "}\n";
inline constexpr char SAlphaTapV[] =
    "float tap(float o, float w) {\n"
    "  return texture2D(_Input, vec2(TEX0.x, clamp(TEX0.y + o / _Width, 0.0, 1.0))).a * w;\n"
    "}\n";

// 19 taps at offsets -9 .. 9 texels, the published weights in the published order: symmetric
// about the centre, whose weight is the edge weight.
inline constexpr char SGaussianBlurMain[] =
    "void main() {\n"
    "  vec4 sum = vec4(0.0);\n"
    "  sum += tap(-9.0, 0.03887254);\n"
    "  sum += tap(-8.0, 0.04317348);\n"
    "  sum += tap(-7.0, 0.04736194);\n"
    "  sum += tap(-6.0, 0.05131925);\n"
    "  sum += tap(-5.0, 0.05492492);\n"
    "  sum += tap(-4.0, 0.05806265);\n"
    "  sum += tap(-3.0, 0.06062653);\n"
    "  sum += tap(-2.0, 0.06252690);\n"
    "  sum += tap(-1.0, 0.06369559);\n"
    "  sum += tap(0.0, 0.03887254);\n"
    "  sum += tap(1.0, 0.06369559);\n"
    "  sum += tap(2.0, 0.06252690);\n"
    "  sum += tap(3.0, 0.06062653);\n"
    "  sum += tap(4.0, 0.05806265);\n"
    "  sum += tap(5.0, 0.05492492);\n"
    "  sum += tap(6.0, 0.05131925);\n"
    "  sum += tap(7.0, 0.04736194);\n"
    "  sum += tap(8.0, 0.04317348);\n"
    "  sum += tap(9.0, 0.03887254);\n"
    "  gl_FragColor = sum;\n"
    "}\n";

// The glow passes blur alpha with 15 taps (weights summing to 1.069076); each variant ends main
// with its own output line.
inline constexpr char SGlowBlurredAlpha[] =
    "float blurredAlpha() {\n"
    "  float a = 0.0;\n"
    "  a += tap(-7.0, 0.034537863);\n"
    "  a += tap(-6.0, 0.0481169038);\n"
    "  a += tap(-5.0, 0.0599573553);\n"
    "  a += tap(-4.0, 0.0717819855);\n"
    "  a += tap(-3.0, 0.082568936);\n"
    "  a += tap(-2.0, 0.0912527889);\n"
    "  a += tap(-1.0, 0.0968955457);\n"
    "  a += tap(0.0, 0.0988529697);\n"
    "  a += tap(1.0, 0.0968955457);\n"
    "  a += tap(2.0, 0.0912527889);\n"
    "  a += tap(3.0, 0.082568936);\n"
    "  a += tap(4.0, 0.0717819855);\n"
    "  a += tap(5.0, 0.0599573553);\n"
    "  a += tap(6.0, 0.0481169038);\n"
    "  a += tap(7.0, 0.034537863);\n"
    "  return a;\n"
    "}\n"
    "void main() {\n"
    "  float a = blurredAlpha();\n";

inline constexpr auto SGaussianBlurHFilterText =
    JoinShaderText(SBlurInputDecl, SBlurWidthDecl, SColorTapH, SGaussianBlurMain);
inline constexpr auto SGaussianBlurVFilterText =
    JoinShaderText(SBlurInputDecl, SBlurWidthDecl, SColorTapV, SGaussianBlurMain);

inline constexpr auto SGlowHFilterText = JoinShaderText(SBlurInputDecl, SBlurWidthDecl, SAlphaTapH, SGlowBlurredAlpha,
                                                        "  gl_FragColor = vec4(0.0, 0.0, 0.0, a);\n"
                                                        "}\n");
inline constexpr auto SGlowVFilterText =
    JoinShaderText(SBlurInputDecl, SGlowFillColorDecl, SBlurWidthDecl, SAlphaTapV, SGlowBlurredAlpha,
                   "  gl_FragColor = _FillColor * a;\n"
                   "}\n");

inline constexpr auto SInnerGlowHFilterText = JoinShaderText(SBlurInputDecl, SBlurWidthDecl, SAlphaTapH,
                                                             SGlowBlurredAlpha,
                                                             "  gl_FragColor = vec4(0.0, 0.0, 0.0, 1.0 - a);\n"
                                                             "}\n");
inline constexpr auto SInnerGlowVFilterText =
    JoinShaderText(SBlurInputDecl, SGlowOriginalDecl, SGlowFillColorDecl, SBlurWidthDecl, SAlphaTapV,
                   SGlowBlurredAlpha,
                   "  gl_FragColor = _FillColor * a * texture2D(_Original, TEX0.xy).a;\n"
                   "}\n");
// The same for the Mac architecture, which reads Original upside down.
inline constexpr auto SInnerGlowVMacFilterText =
    JoinShaderText(SBlurInputDecl, SGlowOriginalDecl, SGlowFillColorDecl, SBlurWidthDecl, SAlphaTapV,
                   SGlowBlurredAlpha,
                   "  gl_FragColor = _FillColor * a * texture2D(_Original, vec2(TEX0.x, 1.0 - TEX0.y)).a;\n"
                   "}\n");

// The input mirrored vertically, fading out over Length from the top row.
inline constexpr const char* SReflectionFilterText =
    "varying vec4 TEX0;\n"
    "uniform sampler2D _Input;\n"
    "uniform float _Opacity;\n"
    "uniform float _Length;\n"
    "void main() {\n"
    "  vec4 c = texture2D(_Input, vec2(TEX0.x, 1.0 - TEX0.y));\n"
    "  float f = clamp((1.0 - TEX0.y) / _Length, 0.0, 1.0);\n"
    "  gl_FragColor = c * (1.0 - f) * _Opacity;\n"
    "}\n";

// A page fold from Input to Target with Back on the folded page, on TEX0 without a y flip.
inline constexpr const char* SSwipeFilterText =
    "varying vec4 TEX0;\n"
    "uniform vec2 _APoint;\n"
    "uniform vec2 _A1Point;\n"
    "uniform vec2 _BPoint;\n"
    "uniform vec2 _CPoint;\n"
    "uniform vec2 _LineAB;\n"
    "uniform vec2 _LineAB1;\n"
    "uniform float _K;\n"
    "uniform float _Len;\n"
    "uniform sampler2D _Input;\n"
    "uniform sampler2D _Target;\n"
    "uniform sampler2D _Back;\n"
    "float cross2(vec2 a, vec2 b) {\n"
    "  return a.x * b.y - a.y * b.x;\n"
    "}\n"
    "bool inTri(vec2 p, vec2 q, vec2 r, vec2 t) {\n"
    "  float c1 = cross2(p - t, q - t);\n"
    "  float c2 = cross2(q - t, r - t);\n"
    "  float c3 = cross2(r - t, p - t);\n"
    "  return c1 * c2 > 0.0 && c2 * c3 > 0.0;\n"
    "}\n"
    "vec4 mirror(vec2 t) {\n"
    "  vec2 a = vec2(_APoint.x * _K, _APoint.y);\n"
    "  vec2 a1 = vec2(_A1Point.x * _K, _A1Point.y);\n"
    "  vec2 p = vec2(t.x * _K, t.y);\n"
    "  vec2 n = normalize(a - a1);\n"
    "  vec2 s = p - 2.0 * n * dot(n, p) - ((a1 - 2.0 * n * dot(n, a1)) - a);\n"
    "  return texture2D(_Back, vec2(s.x / _K, 1.0 - s.y));\n"
    "}\n"
    "vec4 choose(vec2 t) {\n"
    "  if (t.x < 0.0 || t.x > 1.0 || t.y < 0.0 || t.y > 1.0)\n"
    "    return texture2D(_Target, TEX0.xy);\n"
    "  if (inTri(_APoint, _BPoint, _CPoint, t))\n"
    "    return mirror(t);\n"
    "  if (inTri(_A1Point, _BPoint, _CPoint, t))\n"
    "    return texture2D(_Target, TEX0.xy);\n"
    "  return texture2D(_Input, t);\n"
    "}\n"
    "void main() {\n"
    "  vec2 p = TEX0.xy;\n"
    "  float y1 = _LineAB.x * p.x + _LineAB.y;\n"
    "  float y2 = _LineAB1.x * p.x + _LineAB1.y;\n"
    "  vec4 color;\n"
    "  if ((y1 <= p.y && p.y <= y2) || (y2 <= p.y && p.y <= y1)) {\n"
    "    vec2 q = vec2((p.y - _LineAB1.y) / _LineAB1.x, p.y);\n"
    "    float l = length(_APoint - _A1Point) / (_CPoint - _A1Point).x * (q.x - p.x);\n"
    "    float r = l / _Len;\n"
    "    float k = r * r * r * r * _Len * 0.1;\n"
    "    color = choose(p + k * normalize(_A1Point - _APoint));\n"
    "  } else {\n"
    "    color = choose(p);\n"
    "  }\n"
    "  if (abs(p.x * _LineAB1.x + _LineAB1.y - p.y) < 0.001)\n"
    "    color = choose(p);\n"
    "  gl_FragColor = color;\n"
    "}\n";

} // namespace vantrel
