#pragma once
// The post-processing pass: after the main pass of every frame it draws one rectangle over its own
// renderer's frame buffer through a material whose pixel shader calls the user's GLSL function
// SurfaceShader for every pixel, with the previous renderer's image as input. Post passes chain.
//
// The pass's material builds both stages from fixed texts and the pass's SurfaceShader, binds the
// previous image ("RenderedTexture") and the pass's mask ("MaskTexture") and hands time values to
// the shader in the uniform block "ShaderData".

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Vantrel.Prelude.h"
#include "context/Vantrel.Context.Texturing.h"
#include "context/Vantrel.Context.Types.h"
#include "rendering/Vantrel.Controller.h"
#include "rtl/math3d.h"
#include "rtl/stopwatch.h"
#include "rtl/stringlist.h"
#include "ui/shaders.h"

namespace vantrel {

// The uniform block "ShaderData" (std140, binding 0). TimeInfo: x the time of creation or the
// last reset, y the latest apply, z the apply before it (seconds since process start), w the
// seconds since creation or the last reset.
struct TPostFXShaderData {
  TVector3D TimeInfo;
};
static_assert(sizeof(TPostFXShaderData) == 16);
static_assert(offsetof(TPostFXShaderData, TimeInfo) == 0);

inline constexpr const char* SPostFXShaderDataName = "ShaderData";
inline constexpr const char* SPostFXShaderTitle = "%s - failed to compile post-fx shader ...";

// The fixed texts; every line ends with CR LF.
inline constexpr const char* SPostFXVersionHeader = "#version 430\r\n\r\n\r\n";
// Ends with "}" and no line break.
inline constexpr const char* SPostFXVertexBody =
    "in vec3 a_Position;\r\n"
    "in vec3 a_Normal;\r\n"
    "in vec2 a_TexCoord0;\r\n"
    "out vec4 POSITION;\r\n"
    "out vec3 NORMAL;\r\n"
    "out vec2 TEX0;\r\n"
    "uniform vec4 _MVPMatrix[4];\r\n"
    "void main(){\r\n"
    "  vec4 v = vec4(a_Position.x, a_Position.y, a_Position.z, 1.0);\r\n"
    "  vec4 r = vec4(dot(_MVPMatrix[0], v), dot(_MVPMatrix[1], v), dot(_MVPMatrix[2], v), dot(_MVPMatrix[3], v));\r\n"
    "  POSITION = r;\r\n"
    "  NORMAL = a_Normal;\r\n"
    "  TEX0.xy = a_TexCoord0.xy;\r\n"
    "  gl_Position = r;\r\n"
    "}";
inline constexpr const char* SPostFXDeclarations =
    "struct TLocals{\r\n"
    "  vec4 WorldViewProjVertPos;\r\n"
    "  vec2 TexCoord0;\r\n"
    "  vec3 Normal;\r\n"
    "};\r\n"
    "uniform sampler2D _RenderedTexture;\r\n"
    "uniform sampler2D _MaskTexture;\r\n"
    "in vec4 POSITION;\r\n"
    "in vec3 NORMAL;\r\n"
    "in vec2 TEX0;\r\n"
    "layout (binding=0, std140) uniform ShaderData{\r\n"
    "  vec4 _TimeInfo;\r\n"
    "};\r\n"
    "layout(location = 0) out vec4 o_FragColor;\r\n";
// Copies the input image.
inline constexpr const char* SPostFXDefaultSurfaceShader =
    "vec3 SurfaceShader(inout TLocals DATA){\r\n"
    "return tex2D(_RenderedTexture, DATA.TexCoord0.xy).rgb;\r\n"
    "}\r\n"
    "\r\n";
inline constexpr const char* SPostFXMain =
    "void main(){\r\n"
    "  TLocals LOCALS;\r\n"
    "  LOCALS.WorldViewProjVertPos = POSITION;\r\n"
    "  LOCALS.TexCoord0 = TEX0;\r\n"
    "  LOCALS.Normal = NORMAL;\r\n"
    "  o_FragColor.rgb = SurfaceShader(LOCALS);\r\n"
    "  o_FragColor.a = 1.0;\r\n"
    "}\r\n";

// The vertex stage's text.
std::string PostFXVertexText();
// The pixel stage's text around ASurfaceShader's lines (each followed by CR LF), or around the
// default surface function for nil. Non-ASCII code points become one "?" each.
std::string PostFXPixelText(const TStrings* ASurfaceShader);
// "postfx-" + the address as 16 upper-case hex digits + AExtension.
std::string PostFXShaderName(const void* AMaterial, const char* AExtension);
// A time stamp of the process clock in seconds since process start, as the shader gets it.
float PostFXSeconds(int64_t ATimeStamp);

class TVantrelRenderPassPostFX;

// The pass's material: builds its shaders from the fixed texts and the owner pass's
// SurfaceShader, binds the previous image and the mask, and hands the time values to the shader.
class TPostFXMaterial : public TVantrelRenderPassMaterial {
  RTL_CLASS(TPostFXMaterial, TVantrelRenderPassMaterial)
public:
  // The time values start now.
  TPostFXMaterial();

  // Restarts the time values: x = y = z = now, w = 0.
  void ResetTime();
  // Releases the current program and registers both stages anew.
  void BuildPostFXShaders();
  void SetUpdateShaderProgram(bool AValue) { FUpdateShaderProgram = AValue; }
  bool UpdateShaderProgram() const { return FUpdateShaderProgram; }
  bool ErrorOnBuildingShader() const { return FErrorOnBuildingShader; }
  const TPostFXShaderData& ShaderData() const { return FShaderData; }

protected:
  // First build, with the default surface function: the source is not stored yet.
  void DoInitialize() override;
  void DoApply(TContext3D* AContext) override;

private:
  void ReleaseShaders();
  std::vector<TContextShaderSource> VertexShaderSource() const;
  std::vector<TContextShaderSource> PixelShaderSource() const;
  TVantrelRenderPassPostFX* OwnerPostFX() const;
  void RegisterShaderData();
  void UpdateTimeInfo();
  void ApplyMaskTexture(TContext3D* AContext);

  TPostFXShaderData FShaderData{};
  TStopwatch FStopWatch = TStopwatch::Create();
  bool FUpdateShaderProgram = false;
  bool FErrorOnBuildingShader = false;
};

class TPostFXMaterialSource : public TVantrelRenderPassMaterialSource {
  RTL_CLASS(TPostFXMaterialSource, TVantrelRenderPassMaterialSource)
public:
  TPostFXMaterialSource();
  void BeforeDestruction() override;

protected:
  TOwned<TMaterial> CreateMaterial() override;
  // Nothing of this source depends on the context.
  void DoChange() override {}

private:
  int FContextResetOvrId = 0;
};

class TVantrelRenderPassPostFX : public TVantrelRenderPassController {
  RTL_CLASS(TVantrelRenderPassPostFX, TVantrelRenderPassController)
public:
  explicit TVantrelRenderPassPostFX(TComponent* AOwner, std::string AId = {});
  static void RegisterProperties(TPropertyList& AList);
  void BeforeDestruction() override;
  void Loaded() override;

  TStrings* GetSurfaceShader() const { return FSurfaceShader.get(); }
  // Copies the lines, then rebuilds the shaders.
  void SetSurfaceShader(const TStrings* AValue);
  TVantrelTextureBitmap* GetMaskTexture() const { return FMaskTexture.get(); }
  // Copies the bitmap.
  void SetMaskTexture(const TBitmap* AValue);
  // Builds the material's shaders now and once more, with the uniform block, at its next apply.
  void RebuildShaders();
  void ResetTime();

protected:
  void InitPassDefaults() override;
  TOwned<TVantrelRenderPassMaterialSource> CreateShader() override;
  void DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) override;
  void DoOnRenderPassFinished(TContext3D* AContext, int32_t ACount, TRenderPass* APass) override;

private:
  TOwned<TStringList> FSurfaceShader;
  TBlendSettings FPrevBlends{};
  TOwned<TVantrelTextureBitmap> FMaskTexture;

  TVantrelContext* RendererContext() const;
};

void InitializePostFX();
void FinalizePostFX();

} // namespace vantrel
