#include "context/Vantrel.Context.Types.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "context/Vantrel.Context.Types.OpenGL.h"
#include "rtl/log.h"

namespace vantrel {

TContextErrorHook ContextErrorHook;
bool RaiseShaderCompileErrors = true;

// ---- Records -------------------------------------------------------------------------------------

TVantrelShaderLight TVantrelShaderLight::Create(const TLightDescription& ALight) {
  TVantrelShaderLight result{};
  result.LightType = static_cast<int32_t>(ALight.LightType);
  result.Position = {ALight.Position.X, ALight.Position.Y, ALight.Position.Z, 1.0f};
  result.Direction = {ALight.Direction.X, ALight.Direction.Y, ALight.Direction.Z, 1.0f};
  result.Diffuse = TAlphaColorF::Create(ALight.Color);
  result.Ambient = {0, 0, 0, 1};
  result.Specular = {1, 1, 1, 1};
  result.Scattering = {0.1f, 0.0034f, 1.0f, 0.84f};
  result.SpotCutoff = ALight.SpotCutOff;
  result.SpotCosCutoff = f32(std::cos(double(ALight.SpotCutOff) * std::numbers::pi / 180));
  result.SpotExponent = ALight.SpotExponent;
  result.ConstantAttenuation = 1.0f;
  result.Intensity = 1.0f;
  result.Enabled = ALight.Enabled ? 1 : 0;
  return result;
}

TLightDescription TVantrelShaderLight::ToLightDescription() const {
  TLightDescription result;
  result.Enabled = IsEnabled();
  // Only the low byte can name a light type; a stray value stays a stray ordinal, never UB.
  result.LightType = static_cast<TLightType>(static_cast<uint8_t>(LightType));
  result.Color = Diffuse.ToAlphaColor();
  result.SpotCutOff = SpotCutoff;
  result.SpotExponent = SpotExponent;
  result.Position = Position.ToPoint3D();
  result.Direction = Direction.ToPoint3D();
  return result;
}

TVantrelShaderMaterial TVantrelShaderMaterial::Create() {
  TVantrelShaderMaterial result{};
  result.Emissive = {0, 0, 0, 1};
  result.Ambient = {0.5f, 0.5f, 0.5f, 1};
  result.Diffuse = {1, 1, 1, 1};
  result.Specular = {0.75f, 0.75f, 0.75f, 1};
  result.ToneMapExp = 1.0f;
  result.Displacement = {0.1f, 0.1f, 0.1f, 1};
  result.Features = {1, 0, 0, 0};
  result.Shininess = 32.0f;
  result.Textures = 1;
  for (TVantrelShaderTexture& texture : result.Texture)
    texture.Tiling = {1, 1};
  return result;
}

TBlendSetting TBlendSetting::Create() {
  return Create(true);
}

TBlendSetting TBlendSetting::CreateForFMX() {
  return Create(true, TBlendEquationFunc::befAdd, TBlendFactor::bfOne, TBlendFactor::bfOneMinusSrcAlpha,
                TBlendFactor::bfOne, TBlendFactor::bfOneMinusSrcAlpha);
}

TBlendSetting TBlendSetting::Create(bool AEnabled) {
  return Create(AEnabled, TBlendEquationFunc::befAdd, TBlendFactor::bfOne, TBlendFactor::bfOneMinusSrcColor,
                TBlendFactor::bfOne, TBlendFactor::bfOneMinusSrcAlpha);
}

TBlendSetting TBlendSetting::Create(bool AEnabled, TBlendEquationFunc AFunc, TBlendFactor AColorSource,
                                    TBlendFactor AColorDest, TBlendFactor AAlphaSource,
                                    TBlendFactor AAlphaDest) {
  return {AEnabled, AFunc, AFunc, AColorSource, AColorDest, AAlphaSource, AAlphaDest};
}

TBlendSetting TBlendSetting::Create(bool AEnabled, TBlendEquationFunc AFunc, TBlendFactor AColorSource,
                                    TBlendFactor AColorDest) {
  return Create(AEnabled, AFunc, AColorSource, AColorDest, AColorSource, AColorDest);
}

TSmoothSetting TSmoothSetting::Create() {
  return {TSmoothTargets{TSmoothTarget::stPoints, TSmoothTarget::stLines, TSmoothTarget::stPolygons}};
}

TOrthographicData TOrthographicData::Create(float ALeft, float ATop, float ARight, float ABottom, float ANear,
                                            float AFar) {
  return {ALeft, ATop, ARight, ABottom, ANear, AFar};
}

TPlaneF TPlaneF::Create(const TPoint3D& ANormal, float ADistance) {
  return {ANormal.X, ANormal.Y, ANormal.Z, ADistance};
}

TPlaneF TPlaneF::Create(double ANX, double ANY, double ANZ, double ADistance) {
  return {f32(ANX), f32(ANY), f32(ANZ), f32(ADistance)};
}

// ---- Error reporting -----------------------------------------------------------------------------

namespace {

// Logs the prefixed text as data (shader sources and names may hold '%') and hands it to the hook.
void Report(TObject* ASender, TContextErrorKind AKind, std::string_view APrefix, const std::string& AText) {
  std::string logged;
  logged.reserve(APrefix.size() + AText.size());
  logged.append(APrefix).append(AText);
  Log::d(std::string_view(logged));
  if (ContextErrorHook)
    ContextErrorHook(ASender, AKind, logged);
}

// Lines ended by CR, LF or CRLF; a break at the very end opens no further line.
std::vector<std::string_view> SplitSourceLines(std::string_view AText) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < AText.size()) {
    size_t end = AText.find_first_of("\r\n", start);
    if (end == std::string_view::npos)
      end = AText.size();
    lines.push_back(AText.substr(start, end - start));
    start = end + 1;
    if (end < AText.size() && AText[end] == '\r' && start < AText.size() && AText[start] == '\n')
      ++start;
  }
  return lines;
}

// The third colon-separated field of a log line ("ERROR: 0:3: ..." gives "3"), if there is one.
bool ThirdField(std::string_view ALine, std::string_view& AField) {
  const size_t first = ALine.find(':');
  if (first == std::string_view::npos)
    return false;
  const size_t second = ALine.find(':', first + 1);
  if (second == std::string_view::npos)
    return false;
  const size_t third = ALine.find(':', second + 1);
  AField =
      ALine.substr(second + 1, third == std::string_view::npos ? std::string_view::npos : third - second - 1);
  return true;
}

} // namespace

void RaiseContextException(TObject* ASender, std::string_view AMessage, std::span<const TFormatArg> AArgs) {
  const std::string text = Format(AMessage, AArgs);
  Report(ASender, TContextErrorKind::Context, SContextExceptionPrefix, text);
  throw EContext3DException(text);
}

void RaiseInitializationException(TObject* ASender, std::string_view AMessage,
                                  std::span<const TFormatArg> AArgs) {
  const std::string text = Format(AMessage, AArgs);
  Report(ASender, TContextErrorKind::Initialization, SInitializationExceptionPrefix, text);
  throw Exception(text);
}

void RaiseShaderCompileException(TObject* ASender, bool ARaise, std::string_view AMessage,
                                 std::string_view AName, std::string_view AInfoLog,
                                 std::string_view ASource) {
  const std::string text = Format(AMessage, AName, AnnotateShaderLog(AInfoLog, ASource));
  Report(ASender, TContextErrorKind::ShaderCompile, SShaderCompileExceptionPrefix, text);
  if (ARaise && RaiseShaderCompileErrors)
    throw EContext3DException(text);
}

std::string AnnotateShaderLog(std::string_view AInfoLog, std::string_view ASource) {
  const std::vector<std::string_view> source = SplitSourceLines(ASource);
  std::string result;
  size_t start = 0;
  while (start <= AInfoLog.size()) {
    size_t end = AInfoLog.find('\n', start);
    if (end == std::string_view::npos)
      end = AInfoLog.size();
    const std::string_view line = AInfoLog.substr(start, end - start);
    start = end + 1;
    if (line.empty())
      continue;
    result.append("\r\n").append(line).append("\r\n");
    std::string_view field;
    int number = 0;
    if (!ThirdField(line, field) || field.empty() || !TryStrToInt(field, number))
      continue;
    if (number < static_cast<int64_t>(source.size()))
      result.append("\t")
          .append(source[static_cast<size_t>(std::max<int64_t>(int64_t{number} - 1, 0))])
          .append("\r\n");
  }
  return result;
}

// ---- GPU error state -----------------------------------------------------------------------------

int32_t GetContextError() {
  return static_cast<int32_t>(DrainGLErrors());
}

bool HasContextError() {
  return HasGLErrors();
}

} // namespace vantrel
