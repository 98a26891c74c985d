#pragma once
// How a material definition samples its textures and which extra shader sources it carries:
// sampler and shader definitions with their JSON form.
//
// This is a part header of Vantrel.DefTypes.h, which includes it at its end; include that header.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "context/Vantrel.Context.Texturing.h"
#include "context/Vantrel.Context.Types.h"
#include "rtl/colors.h"
#include "ui/types3d.h"

namespace vantrel {

// The language a shader definition's source is written in.
enum class TShaderLanguage : uint8_t { GLSL, HLSL, MSL };
RTL_ENUM_TYPEINFO(TShaderLanguage, "GLSL", "HLSL", "MSL")

// How a texture is stored and sampled: kind, pixel formats, border colour, filters and wrap modes.
class TSamplerDef : public TCustomDef {
  VANTREL_DEF_CLASS(TSamplerDef, TCustomDef)
public:
  TSamplerDef() = default;

  TVantrelTextureKind TextureKind = TVantrelTextureKind::Texture2D;
  TPixelFormatEx InternalFormat = TPixelFormatEx::RGBA8;
  TPixelFormatEx Format = TPixelFormatEx::BGRA;
  TVantrelTextureDataType DataType = TVantrelTextureDataType::dtUnsignedByte;
  rtl::TAlphaColorF BorderColor;
  ui::TTextureFilter MinFilter = ui::TTextureFilter::Linear;
  ui::TTextureFilter MagFilter = ui::TTextureFilter::Linear;
  TVantrelTextureWrap WrapS = TVantrelTextureWrap::ClampToEdge;
  TVantrelTextureWrap WrapT = TVantrelTextureWrap::ClampToEdge;
  TVantrelTextureWrap WrapR = TVantrelTextureWrap::ClampToEdge;

  // The base members, then "Kind", "InternalFormat", "Format", "DataType" (ordinals),
  // "BorderColor" (four F4 numbers), "MinFilter", "MagFilter", "WrapS", "WrapT", "WrapR" by name.
  std::unique_ptr<rtl::TJSONObject> ToJSON() const override;
  // Texts are compared lower-cased. An unknown kind reads Texture2D; the formats default to 59, 4
  // and 1 when absent; an absent or empty colour, filter or wrap keeps the current value; an
  // unknown filter text reads Linear and an unknown wrap text ClampToEdge (only the stored names
  // select the others, so "repeat" is ClampToEdge here).
  void FromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;
};

// An extra shader source of a material: its stage, language and lines.
class TShaderDef : public TCustomDef {
  VANTREL_DEF_CLASS(TShaderDef, TCustomDef)
public:
  TShaderDef() = default;

  TContextShaderKindEx Kind = TContextShaderKindEx::VertexShader;
  TShaderLanguage Language = TShaderLanguage::GLSL;

  const std::vector<std::string>& GetSourceCode() const { return FSourceCode; }
  // Copies the lines.
  void SetSourceCode(const std::vector<std::string>& ALines) { FSourceCode = ALines; }

  // The base members, then "Kind" (only for the vertex, pixel and geometry stages), "Language"
  // and "SourceCode": each line followed by CR LF.
  std::unique_ptr<rtl::TJSONObject> ToJSON() const override;
  // "Kind" and "Language" are compared upper-cased; an unknown or absent text keeps the current
  // value. "SourceCode" replaces the lines: CR, LF or CR LF end a line, and a break at the end
  // adds no empty line.
  void FromJSON(TModelDef* AModel, const rtl::TJSONObject& AValue) override;

private:
  std::vector<std::string> FSourceCode;
};

namespace detail {
// The start-up rows of the texture part, called by InitializeDefTypes / FinalizeDefTypes.
void RegisterTextureDefClasses(bool ARegister);
} // namespace detail

} // namespace vantrel
