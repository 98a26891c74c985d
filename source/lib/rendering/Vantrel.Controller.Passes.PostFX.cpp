#include "rendering/Vantrel.Controller.Passes.PostFX.h"

#include "rtl/stopwatch.h"
#include "rtl/sysutils.h"
#include "rtl/utf8.h"

namespace vantrel {

namespace {

// The texture helpers every generated pixel stage starts with.
constexpr const char* STextureHelpers =
    "vec4 tex2D(in sampler2D p_Texture, in vec2 p_TexCoord){ return texture(p_Texture, p_TexCoord); }\r\n"
    "\r\n"
    "vec4 tex2DProj(in sampler2D p_Texture, in vec4 p_TexCoord){ return textureProj(p_Texture, p_TexCoord); }\r\n"
    "\r\n"
    "vec4 tex3D(in sampler3D p_Texture, in vec3 p_TexCoord){ return texture(p_Texture, p_TexCoord); }\r\n"
    "\r\n"
    "vec4 texCube(in samplerCube p_Texture, in vec3 p_TexCoord){ return texture(p_Texture, p_TexCoord); }\r\n"
    "\r\n";

} // namespace

std::string PostFXVertexText() {
  return std::string(SPostFXVersionHeader) + SPostFXVertexBody;
}

std::string PostFXPixelText(const TStrings* ASurfaceShader) {
  std::string text = std::string(SPostFXVersionHeader) + STextureHelpers + SPostFXDeclarations;
  if (ASurfaceShader)
    for (int i = 0; i < ASurfaceShader->GetCount(); ++i)
      text += (*ASurfaceShader)[i] + "\r\n";
  else
    text += SPostFXDefaultSurfaceShader;
  text += SPostFXMain;
  // The compiler takes ASCII: a character outside it becomes "?".
  return Utf8ToAscii(text);
}

std::string PostFXShaderName(const void* AMaterial, const char* AExtension) {
  return "postfx-" + IntToHex(reinterpret_cast<uintptr_t>(AMaterial), 16) + AExtension;
}

float PostFXSeconds(int64_t ATimeStamp) {
  // Counted from process start, so a float keeps millisecond steps however long the machine ran.
  return static_cast<float>(static_cast<double>(ATimeStamp) / 10'000'000.0);
}

} // namespace vantrel
