#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "materials/Vantrel.Material.Default.GLSL.h"
#include "materials/Vantrel.Material.Default.h"
#include "rtl/sysutils.h"
#include "support/gl_fixture.h"
#include "support/shader_variants.h"

namespace {

using namespace vantrel;

constexpr uintptr_t TestBlockReference = 0x7E57B10C;

// One linked program of a variant row with the block it reads, built once per test program.
struct TCachedProgram {
  vtest::TShaderVariantBuilders Builders;
  vtest::TLinkedVariant Linked;
  std::unique_ptr<TVantrelShaderData> Data;
};

class ShaderGenerationGL : public vtest::ContextGLTest {
protected:
  static void TearDownTestSuite() {
    // Stage shaders are released through the default context class; the class found here is put
    // back afterwards, since later fixtures finalise their textures through it.
    ui::TContext3DClass* previous = ui::TContextManager::DefaultContextClass();
    ui::TContextManager::RegisterContext(TContextOpenGLWindows::StaticClass(), true);
    Programs().clear();
    if (previous)
      ui::TContextManager::RegisterContext(*previous, true);
    else
      ui::TContextManager::UnregisterContexts();
  }

  static std::map<std::string, TCachedProgram>& Programs() {
    static std::map<std::string, TCachedProgram> programs;
    return programs;
  }

  // The row's program, with its block registered as "ShaderData": identity matrices, no fog and
  // no options, so the probes stay valid once the fog and translucency texts arrive.
  static TCachedProgram& Program(const std::string& ARowName,
                                 const std::function<void(vtest::TShaderVariantBuilders&)>& AEdit = {}) {
    auto found = Programs().find(ARowName);
    if (found != Programs().end())
      return found->second;
    TCachedProgram entry;
    entry.Builders = vtest::MakeVariantBuilders(vtest::ShaderVariantRow(ARowName));
    if (AEdit)
      AEdit(entry.Builders);
    entry.Linked = vtest::CompileAndLink(vtest::ShaderVariantRow(ARowName), entry.Builders.Vertex->ToString(),
                                         entry.Builders.Fragment->ToString());
    entry.Data = std::make_unique<TVantrelShaderData>(TVantrelShaderData::Create());
    TVantrelShaderData& data = *entry.Data;
    data.ModelViewProjectionMatrix = data.ViewMatrix = data.ProjectionMatrix = TMatrix3D::Identity();
    data.FogMode = 0;
    data.Options = 0;
    entry.Linked.Program->RegisterUniformBuffer("ShaderData", entry.Data.get(), sizeof(TVantrelShaderData));
    return Programs().emplace(ARowName, std::move(entry)).first->second;
  }

  void SetUp() override {
    ContextGLTest::SetUp();
    KeepProgramsForTheSuite();
    UseFrameBuffer(64, 64);
    glGenVertexArrays(1, &FVertexArray);
    glBindVertexArray(FVertexArray);
    glGenBuffers(1, &FBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, FBuffer);
    vtest::SetUpVariantQuad();
  }

  void TearDown() override {
    glUseProgram(0);
    glBindVertexArray(0);
    glDeleteBuffers(1, &FBuffer);
    glDeleteVertexArrays(1, &FVertexArray);
    ContextGLTest::TearDown();
  }

  static void SetVertexColor(const TAlphaColorF& AColor) {
    glVertexAttrib4f(2, AColor.R, AColor.G, AColor.B, AColor.A);
  }

  // Clears to the clear colour and draws the quad with the program and its block.
  void Draw(TCachedProgram& AProgram) {
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glClearColor(ClearColor.R, ClearColor.G, ClearColor.B, ClearColor.A);
    glClear(GL_COLOR_BUFFER_BIT);
    AProgram.Linked.Program->Use();
    AProgram.Linked.Program->PushUniformBuffers();
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  }

  static vtest::TRGBA8 ToRGBA8(double AR, double AG, double AB, double AA) {
    auto byte = [](double v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
    return {byte(AR), byte(AG), byte(AB), byte(AA)};
  }

  static constexpr TAlphaColorF ClearColor{0.1f, 0.2f, 0.3f, 1.0f};
  vtest::TRGBA8 Clear() const { return ToRGBA8(ClearColor.R, ClearColor.G, ClearColor.B, ClearColor.A); }

  // The world position of a pixel centre of the 64 x 64 target under identity matrices.
  static double Ndc(int APixel) { return (APixel + 0.5) / 32.0 - 1.0; }

private:
  GLuint FVertexArray = 0;
  GLuint FBuffer = 0;
};

// ---- Identity defines ---------------------------------------------------------------------------

TEST_F(ShaderGenerationGL, DriverDefinesComeFromTheContext) {
  auto builder = MakeOwned<TVantrelGLSLFragmentShader>(nullptr);
  auto text = [](GLenum AName) { return std::string(reinterpret_cast<const char*>(glGetString(AName))); };
  const std::string version = text(GL_VERSION);
  for (const std::string& expected : {UpperCase(text(GL_VENDOR)), UpperCase(text(GL_RENDERER)),
                                      UpperCase(version.substr(0, version.find(' ')))}) {
    SCOPED_TRACE(expected);
    EXPECT_TRUE(builder->Defined(expected));
  }
  GLint count = 0;
  glGetIntegerv(GL_NUM_EXTENSIONS, &count);
  ASSERT_GT(count, 0);
  for (GLint i = 0; i < count; ++i)
    EXPECT_TRUE(builder->Defined(UpperCase(reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, i)))));
}

// ---- Every variant compiles and links -----------------------------------------------------------

TEST_F(ShaderGenerationGL, EveryVariantCompilesAndLinks) {
  for (const vtest::TShaderVariantRow& row : vtest::ShaderVariantRows()) {
    SCOPED_TRACE(row.Name);
    auto builders = vtest::MakeVariantBuilders(row);
    try {
      vtest::CompileAndLink(row, builders.Vertex->ToString(), builders.Fragment->ToString());
    } catch (const Exception& E) {
      ADD_FAILURE() << E.Message();
    }
  }
}

TEST_F(ShaderGenerationGL, BehaviourBlockBindsOneAndIsRemovedByReference) {
  const vtest::TShaderVariantRow& row = vtest::ShaderVariantRow("TestBlock");
  auto builders = vtest::MakeVariantBuilders(row);
  {
    const vtest::TLinkedVariant linked =
        vtest::CompileAndLink(row, builders.Vertex->ToString(), builders.Fragment->ToString());
    const GLuint program = linked.Program->Prog();
    GLint binding = -1;
    glGetActiveUniformBlockiv(program, glGetUniformBlockIndex(program, "ShaderData"),
                              GL_UNIFORM_BLOCK_BINDING, &binding);
    EXPECT_EQ(binding, 0);
    glGetActiveUniformBlockiv(program, glGetUniformBlockIndex(program, "TestBlock"), GL_UNIFORM_BLOCK_BINDING,
                              &binding);
    EXPECT_EQ(binding, 1);
  }
  for (TVantrelNodeBuilder* builder : {static_cast<TVantrelNodeBuilder*>(builders.Vertex.get()),
                                       static_cast<TVantrelNodeBuilder*>(builders.Fragment.get())}) {
    TVantrelUniformsNode& uniforms = *builder->Globals()->Uniforms();
    const int index = uniforms.IndexOfReference<TVantrelGLSLUBO>(TestBlockReference);
    ASSERT_GE(index, 0);
    uniforms.Delete(index);
    EXPECT_EQ(builder->ToString().find("TestBlock"), std::string::npos);
  }
}

// Behaviours attach and detach blocks again and again; the binding is reused each time.
TEST_F(ShaderGenerationGL, ReattachedBlocksKeepTheirBindingAndStillLink) {
  const vtest::TShaderVariantRow& row = vtest::ShaderVariantRow("TestBlock");
  auto builders = vtest::MakeVariantBuilders(row);
  for (int cycle = 0; cycle < 200; ++cycle)
    for (TVantrelNodeBuilder* builder : {static_cast<TVantrelNodeBuilder*>(builders.Vertex.get()),
                                         static_cast<TVantrelNodeBuilder*>(builders.Fragment.get())}) {
      TVantrelUniformsNode& uniforms = *builder->Globals()->Uniforms();
      uniforms.Delete(uniforms.IndexOfReference<TVantrelGLSLUBO>(TestBlockReference));
      auto* block = uniforms.AddNew<TVantrelGLSLUBO>(TestBlockReference);
      block->SetId("TestBlock");
      block->AddDeclaration("_TestTint", TVantrelShaderNodeVariableType::stVec4);
      ASSERT_EQ(block->Binding(), 1);
    }
  const std::string vertex = builders.Vertex->ToString();
  EXPECT_NE(vertex.find("layout (binding=1, std140) uniform TestBlock{"), std::string::npos);
  EXPECT_NO_THROW(vtest::CompileAndLink(row, vertex, builders.Fragment->ToString()));
}

// ---- The block's layout against the driver's ----------------------------------------------------

TEST_F(ShaderGenerationGL, ShaderDataOffsetsEqualTheDriversStd140Layout) {
  const GLuint program = Program("Lambert").Linked.Program->Prog();
  const GLuint block = glGetUniformBlockIndex(program, "ShaderData");
  ASSERT_NE(block, GL_INVALID_INDEX);
  GLint size = 0;
  glGetActiveUniformBlockiv(program, block, GL_UNIFORM_BLOCK_DATA_SIZE, &size);
  EXPECT_EQ(size, 6352);

  std::vector<std::pair<std::string, size_t>> members = {
      {"_ModelViewProjectionMatrix", offsetof(TVantrelShaderData, ModelViewProjectionMatrix)},
      {"_ViewMatrix", offsetof(TVantrelShaderData, ViewMatrix)},
      {"_ProjectionMatrix", offsetof(TVantrelShaderData, ProjectionMatrix)},
      {"_TimeInfo", offsetof(TVantrelShaderData, TimeInfo)},
      {"_EyePos", offsetof(TVantrelShaderData, EyePos)},
      {"_ViewDir", offsetof(TVantrelShaderData, ViewDir)},
      {"_ShadingModel", offsetof(TVantrelShaderData, ShadingModel)},
      {"_LightsCount", offsetof(TVantrelShaderData, LightsCount)},
      {"_Options", offsetof(TVantrelShaderData, Options)},
      {"_ShadingIntensity", offsetof(TVantrelShaderData, ShadingIntensity)},
      {"_Brightness", offsetof(TVantrelShaderData, Brightness)},
      {"_FogMode", offsetof(TVantrelShaderData, FogMode)},
      {"_FogDensity", offsetof(TVantrelShaderData, FogDensity)},
      {"_FogStart", offsetof(TVantrelShaderData, FogStart)},
      {"_FogEnd", offsetof(TVantrelShaderData, FogEnd)},
      {"_FogColor", offsetof(TVantrelShaderData, FogColor)},
      {"_FrustumMin", offsetof(TVantrelShaderData, FrustumMin)},
      {"_FrustumMax", offsetof(TVantrelShaderData, FrustumMax)},
      {"_SceneMin", offsetof(TVantrelShaderData, SceneMin)},
      {"_SceneMax", offsetof(TVantrelShaderData, SceneMax)},
      {"_BoundaryMin", offsetof(TVantrelShaderData, BoundaryMin)},
      {"_BoundaryMax", offsetof(TVantrelShaderData, BoundaryMax)},
      {"_ViewSize", offsetof(TVantrelShaderData, ViewSize)},
      {"_ClippingPlane", offsetof(TVantrelShaderData, ClippingPlane)},
  };
  const size_t material = offsetof(TVantrelShaderData, Material);
  const std::vector<std::pair<std::string, size_t>> materialMembers = {
      {"_Emissive", offsetof(TVantrelShaderMaterial, Emissive)},
      {"_Ambient", offsetof(TVantrelShaderMaterial, Ambient)},
      {"_Diffuse", offsetof(TVantrelShaderMaterial, Diffuse)},
      {"_Specular", offsetof(TVantrelShaderMaterial, Specular)},
      {"_Clipping", offsetof(TVantrelShaderMaterial, Clipping)},
      {"_AlphaCutoff", offsetof(TVantrelShaderMaterial, AlphaCutoff)},
      {"_ToneMapExp", offsetof(TVantrelShaderMaterial, ToneMapExp)},
      {"_Displacement", offsetof(TVantrelShaderMaterial, Displacement)},
      {"_Features", offsetof(TVantrelShaderMaterial, Features)},
      {"_Shininess", offsetof(TVantrelShaderMaterial, Shininess)},
      {"_Textures", offsetof(TVantrelShaderMaterial, Textures)},
      {"_PoolTexturesOffset", offsetof(TVantrelShaderMaterial, PoolTexturesOffset)},
      {"_PoolTextures", offsetof(TVantrelShaderMaterial, PoolTextures)},
  };
  for (const auto& [name, offset] : materialMembers)
    members.emplace_back("_Material[0]." + name, material + offset);
  for (int k = 0; k < 16; ++k) {
    const size_t entry =
        material + offsetof(TVantrelShaderMaterial, Texture) + k * sizeof(TVantrelShaderTexture);
    const std::string prefix = "_Material[0]._Texture[" + std::to_string(k) + "].";
    members.emplace_back(prefix + "_Feature", entry + offsetof(TVantrelShaderTexture, Feature));
    members.emplace_back(prefix + "_Tiling", entry + offsetof(TVantrelShaderTexture, Tiling));
  }
  const std::vector<std::pair<std::string, size_t>> lightMembers = {
      {"_LightType", offsetof(TVantrelShaderLight, LightType)},
      {"_Position", offsetof(TVantrelShaderLight, Position)},
      {"_Direction", offsetof(TVantrelShaderLight, Direction)},
      {"_Ambient", offsetof(TVantrelShaderLight, Ambient)},
      {"_Diffuse", offsetof(TVantrelShaderLight, Diffuse)},
      {"_Specular", offsetof(TVantrelShaderLight, Specular)},
      {"_Scattering", offsetof(TVantrelShaderLight, Scattering)},
      {"_SpotCutOff", offsetof(TVantrelShaderLight, SpotCutoff)},
      {"_SpotCosCutoff", offsetof(TVantrelShaderLight, SpotCosCutoff)},
      {"_SpotExponent", offsetof(TVantrelShaderLight, SpotExponent)},
      {"_ConstantAttenuation", offsetof(TVantrelShaderLight, ConstantAttenuation)},
      {"_LinearAttenuation", offsetof(TVantrelShaderLight, LinearAttenuation)},
      {"_QuadraticAttenuation", offsetof(TVantrelShaderLight, QuadraticAttenuation)},
      {"_Intensity", offsetof(TVantrelShaderLight, Intensity)},
      {"_Enabled", offsetof(TVantrelShaderLight, Enabled)},
  };
  for (int i = 0; i < 32; ++i)
    for (const auto& [name, offset] : lightMembers)
      members.emplace_back("_Lights[" + std::to_string(i) + "]." + name,
                           offsetof(TVantrelShaderData, Lights) + i * sizeof(TVantrelShaderLight) + offset);
  const size_t pass = offsetof(TVantrelShaderData, PassData);
  const std::vector<std::pair<std::string, size_t>> passMembers = {
      {"_ShadowMapMatrix", offsetof(TVantrelShaderPassData, ShadowMapMatrix)},
      {"_ReflectTextureMatrix", offsetof(TVantrelShaderPassData, ReflectTextureMatrix)},
      {"_RefractTextureMatrix", offsetof(TVantrelShaderPassData, RefractTextureMatrix)},
      {"_ReflectionPower", offsetof(TVantrelShaderPassData, ReflectionPower)},
      {"_RefractionPower", offsetof(TVantrelShaderPassData, RefractionPower)},
      {"_TranslucentDistance", offsetof(TVantrelShaderPassData, TranslucentDistance)},
      {"_NormalIntensity", offsetof(TVantrelShaderPassData, NormalIntensity)},
      {"_ParallaxLevels", offsetof(TVantrelShaderPassData, ParallaxLevels)},
      {"_PBRMetallic", offsetof(TVantrelShaderPassData, PBRMetallic)},
      {"_PBRRoughness", offsetof(TVantrelShaderPassData, PBRRoughness)},
      {"_PBRAO", offsetof(TVantrelShaderPassData, PBRAO)},
  };
  for (const auto& [name, offset] : passMembers)
    members.emplace_back("_PassData[0]." + name, pass + offset);

  std::vector<const char*> names;
  for (const auto& member : members)
    names.push_back(member.first.c_str());
  std::vector<GLuint> indices(names.size());
  glGetUniformIndices(program, static_cast<GLsizei>(names.size()), names.data(), indices.data());
  for (size_t i = 0; i < members.size(); ++i) {
    SCOPED_TRACE(members[i].first);
    ASSERT_NE(indices[i], GL_INVALID_INDEX);
    GLint offset = -1;
    glGetActiveUniformsiv(program, 1, &indices[i], GL_UNIFORM_OFFSET, &offset);
    EXPECT_EQ(offset, static_cast<GLint>(members[i].second));
  }
  EXPECT_EQ(pass + offsetof(TVantrelShaderPassData, PBRAO) + sizeof(float), 6352u);

  const GLuint shadow = indices[members.size() - passMembers.size()];
  GLint arrayStride = 0, matrixStride = 0, rowMajor = 1;
  glGetActiveUniformsiv(program, 1, &shadow, GL_UNIFORM_ARRAY_STRIDE, &arrayStride);
  glGetActiveUniformsiv(program, 1, &shadow, GL_UNIFORM_MATRIX_STRIDE, &matrixStride);
  glGetActiveUniformsiv(program, 1, &shadow, GL_UNIFORM_IS_ROW_MAJOR, &rowMajor);
  EXPECT_EQ(arrayStride, 64);
  EXPECT_EQ(matrixStride, 16);
  EXPECT_EQ(rowMajor, 0);
}

// ---- Renders ------------------------------------------------------------------------------------

struct TVec3 {
  double X = 0, Y = 0, Z = 0;
  TVec3 operator+(const TVec3& A) const { return {X + A.X, Y + A.Y, Z + A.Z}; }
  TVec3 operator-(const TVec3& A) const { return {X - A.X, Y - A.Y, Z - A.Z}; }
  TVec3 operator*(double A) const { return {X * A, Y * A, Z * A}; }
  double Dot(const TVec3& A) const { return X * A.X + Y * A.Y + Z * A.Z; }
  double Length() const { return std::sqrt(Dot(*this)); }
  TVec3 Normalized() const { return *this * (1.0 / Length()); }
};

enum class TShading { Lambert, Phong, Blinn };

// The fragment colour the lit tree computes for one fragment: shading per light, the lighting
// sum, then the merge, in which the material's diffuse colour counts twice (in the sum and as the
// base colour) and the summed attenuation saturates at 1.
std::array<double, 3> ExpectedLit(const TVantrelShaderData& AData, TShading AShading,
                                  const TVec3& APosition) {
  const TVantrelShaderMaterial& m = AData.Material[0];
  const bool useSpecular = AShading != TShading::Lambert;
  const TVec3 normal{0, 0, 1};
  const TVec3 view = (TVec3{AData.EyePos.X, AData.EyePos.Y, AData.EyePos.Z} - APosition).Normalized();
  std::array<double, 3> ambient{}, diffuse{}, specular{};
  double sceneAttenuation = 0;
  for (int i = 0; i < AData.LightsCount; ++i) {
    const TVantrelShaderLight& light = AData.Lights[i];
    TVec3 toLight;
    double attenuation = 1;
    if (light.LightType == 0) {
      toLight = TVec3{-light.Direction.X, -light.Direction.Y, -light.Direction.Z};
    } else {
      const TVec3 vp = TVec3{light.Position.X, light.Position.Y, light.Position.Z} - APosition;
      const double d = vp.Length();
      toLight = vp.Normalized();
      attenuation = 1.0 / (light.ConstantAttenuation + light.LinearAttenuation * d +
                           light.QuadraticAttenuation * d * d);
    }
    sceneAttenuation += attenuation;
    double shadingX = std::max(0.0, normal.Dot(toLight));
    double shadingY = 0;
    if (AShading == TShading::Phong && m.Shininess > 0.001) {
      const TVec3 r = normal * (2 * normal.Dot(toLight)) - toLight;
      shadingY = std::pow(std::max(r.Dot(view), 0.0), m.Shininess);
    } else if (AShading == TShading::Blinn && m.Shininess > 0.001) {
      shadingY = std::pow(std::max(0.0, (view + toLight).Normalized().Dot(normal)), m.Shininess);
    }
    shadingX *= attenuation * AData.ShadingIntensity;
    shadingY *= attenuation * AData.ShadingIntensity;
    const std::array<float, 3> la{light.Ambient.R, light.Ambient.G, light.Ambient.B};
    const std::array<float, 3> ld{light.Diffuse.R, light.Diffuse.G, light.Diffuse.B};
    const std::array<float, 3> ls{light.Specular.R, light.Specular.G, light.Specular.B};
    for (int c = 0; c < 3; ++c) {
      ambient[c] += la[c];
      diffuse[c] += ld[c] * light.Intensity * shadingX;
      if (useSpecular)
        specular[c] += ls[c] * shadingY;
    }
  }
  const std::array<float, 3> ma{m.Ambient.R, m.Ambient.G, m.Ambient.B};
  const std::array<float, 3> md{m.Diffuse.R, m.Diffuse.G, m.Diffuse.B};
  const std::array<float, 3> ms{m.Specular.R, m.Specular.G, m.Specular.B};
  const std::array<float, 3> me{m.Emissive.R, m.Emissive.G, m.Emissive.B};
  std::array<double, 3> result{};
  for (int c = 0; c < 3; ++c) {
    const double specularColor = useSpecular ? ms[c] : 0.0;
    const double sum = ma[c] * ambient[c] + md[c] * diffuse[c] + specular[c] * specularColor;
    result[c] =
        (std::clamp(sceneAttenuation, 0.0, 1.0) * (sum * md[c]) + me[c] * m.Emissive.A) * AData.Brightness;
  }
  return result;
}

TVantrelShaderLight DirectionalLight(double ADegrees, float AAmbient = 0.3f) {
  TVantrelShaderLight light{};
  const double r = ADegrees * M_PI / 180.0;
  light.LightType = 0;
  light.Direction = {static_cast<float>(-std::sin(r)), 0, static_cast<float>(-std::cos(r)), 0};
  light.Ambient = {AAmbient, AAmbient, AAmbient, 1};
  light.Diffuse = {1, 1, 1, 1};
  light.Specular = {0.5f, 0.5f, 0.5f, 1};
  light.Intensity = 1;
  light.Enabled = 1;
  return light;
}

TVantrelShaderLight PointLight(float AConstant, float AQuadratic, float AIntensity) {
  TVantrelShaderLight light = DirectionalLight(0);
  light.LightType = 1;
  light.Position = {0, 0, 2, 1};
  light.ConstantAttenuation = AConstant;
  light.QuadraticAttenuation = AQuadratic;
  light.Intensity = AIntensity;
  return light;
}

TEST_F(ShaderGenerationGL, LightingMatchesTheTreesFormulas) {
  struct TCase {
    const char* Name;
    TShading Shading;
    std::vector<TVantrelShaderLight> Lights;
    float Shininess = 32;
    double EyeDegrees = 0; // the eye at this angle from the normal, on the far side of the light
  };
  const TCase cases[] = {
      {"Lambert 0", TShading::Lambert, {DirectionalLight(0)}},
      {"Lambert 60", TShading::Lambert, {DirectionalLight(60)}},
      {"Lambert 90", TShading::Lambert, {DirectionalLight(90)}},
      {"Lambert 120", TShading::Lambert, {DirectionalLight(120)}},
      {"Phong 120", TShading::Phong, {DirectionalLight(120)}},
      {"Lambert point light", TShading::Lambert, {PointLight(1, 0.25f, 1)}},
      {"Blinn point light", TShading::Blinn, {PointLight(1, 0.25f, 1)}},
      {"Lambert two lights saturate",
       TShading::Lambert,
       {PointLight(1.25f, 0, 0.3f), PointLight(1.25f, 0, 0.3f)}},
      {"Phong mirror", TShading::Phong, {DirectionalLight(60)}, 32, 60},
      {"Blinn mirror", TShading::Blinn, {DirectionalLight(60)}, 32, 60},
      {"Phong tiny shininess", TShading::Phong, {DirectionalLight(60)}, 0.0005f, 60},
  };
  const std::map<TShading, const char*> rows = {
      {TShading::Lambert, "Lambert"}, {TShading::Phong, "Phong"}, {TShading::Blinn, "Blinn"}};
  const int px = 32, py = 32;
  const TVec3 position{Ndc(px), Ndc(py), 0};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TCachedProgram& program = Program(rows.at(c.Shading));
    TVantrelShaderData& data = *program.Data;
    data.Material[0].Emissive = {0, 0, 0, 1};
    data.Material[0].Ambient = {0.5f, 0.5f, 0.5f, 1};
    data.Material[0].Diffuse = {0.8f, 0.6f, 0.4f, 1};
    data.Material[0].Specular = {0.5f, 0.5f, 0.5f, 1};
    data.Material[0].Shininess = c.Shininess;
    const double eye = c.EyeDegrees * M_PI / 180.0;
    data.EyePos = {static_cast<float>(-5 * std::sin(eye)), 0, static_cast<float>(5 * std::cos(eye)), 1};
    data.LightsCount = static_cast<int32_t>(c.Lights.size());
    std::copy(c.Lights.begin(), c.Lights.end(), data.Lights.begin());
    const std::array<double, 3> expected = ExpectedLit(data, c.Shading, position);
    for (const double channel : expected)
      ASSERT_TRUE(channel >= 0.05 && channel <= 0.95) << "pick colours inside 0.05 .. 0.95, got " << channel;
    Draw(program);
    EXPECT_TRUE(
        vtest::ColorNear(FrameBuffer()->Pixel(px, py), ToRGBA8(expected[0], expected[1], expected[2], 1), 2));
  }
}

TEST_F(ShaderGenerationGL, LambertWorkedExample) {
  TCachedProgram& program = Program("Lambert");
  TVantrelShaderData& data = *program.Data;
  data.Material[0].Emissive = {0, 0, 0, 1};
  data.Material[0].Ambient = {0.5f, 0.5f, 0.5f, 1};
  data.Material[0].Diffuse = {0.8f, 0.6f, 0.4f, 1};
  data.LightsCount = 1;
  data.Lights[0] = DirectionalLight(60, 0.1f);
  Draw(program);
  EXPECT_TRUE(vtest::ColorNear(FrameBuffer()->Pixel(32, 32), ToRGBA8(0.36, 0.21, 0.10, 1), 2));
}

TEST_F(ShaderGenerationGL, ClipPlaneAlphaCutoffAndColourClipDiscard) {
  TCachedProgram& program = Program("Unlit_VertexColor_Discards");
  TVantrelShaderData& data = *program.Data;
  TVantrelShaderMaterial& m = data.Material[0];
  m.Emissive = {0, 0, 0, 0};
  m.Ambient = m.Specular = {0, 0, 0, 0};
  m.Diffuse = {1, 1, 1, 1};
  struct TCase {
    const char* Name;
    int Options;
    TVector3D Plane;
    TPointF AlphaCutoff;
    TAlphaColorF Clipping;
    TAlphaColorF VertexColor;
    bool LeftDrawn, RightDrawn;
  };
  const TAlphaColorF grey{0.4f, 0.5f, 0.6f, 1};
  const TCase cases[] = {
      {"clip plane on", 1, {1, 0, 0, 0}, {0, 0}, {}, grey, false, true},
      {"clip plane off", 0, {1, 0, 0, 0}, {0, 0}, {}, grey, true, true},
      {"alpha below cut-off", 0, {}, {1, 0.6f}, {}, {0.4f, 0.5f, 0.6f, 0.5f}, false, false},
      {"cut-off switched off", 0, {}, {0, 0.6f}, {}, {0.4f, 0.5f, 0.6f, 0.5f}, true, true},
      {"alpha above cut-off", 0, {}, {1, 0.4f}, {}, {0.4f, 0.5f, 0.6f, 0.5f}, true, true},
      {"colour within clip tolerance", 0, {}, {0, 0}, {1, 0, 1, 0.1f}, {0.95f, 0.05f, 1, 1}, false, false},
      {"colour outside clip tolerance", 0, {}, {0, 0}, {1, 0, 1, 0.1f}, {0.85f, 0, 1, 1}, true, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    data.Options = c.Options;
    data.ClippingPlane = c.Plane;
    m.AlphaCutoff = c.AlphaCutoff;
    m.Clipping = c.Clipping;
    SetVertexColor(c.VertexColor);
    Draw(program);
    const vtest::TRGBA8 drawn = ToRGBA8(c.VertexColor.R, c.VertexColor.G, c.VertexColor.B, c.VertexColor.A);
    EXPECT_TRUE(vtest::ColorNear(FrameBuffer()->Pixel(16, 32), c.LeftDrawn ? drawn : Clear(), 2)) << "left";
    EXPECT_TRUE(vtest::ColorNear(FrameBuffer()->Pixel(48, 32), c.RightDrawn ? drawn : Clear(), 2)) << "right";
  }
}

TEST_F(ShaderGenerationGL, TilingAndUserFunctions) {
  TCachedProgram& program = Program("Unlit_Tex", [](vtest::TShaderVariantBuilders& ABuilders) {
    auto replace = [](TVantrelNodeBuilder& ABuilder, const char* ALine) {
      auto* user = ABuilder.Globals()->Functions()->FindNode<TVantrelUserFunctionNode>("", false);
      ASSERT_NE(user, nullptr);
      user->SourceCode().SetStrings(1, ALine);
    };
    replace(*ABuilders.Vertex, "  DATA.WorldViewProjVertPos.xy *= 0.5;");
    replace(*ABuilders.Fragment, "  DATA.BaseColor = vec4(DATA.TexCoord0, 0.0, 1.0);");
  });
  TVantrelShaderData& data = *program.Data;
  TVantrelShaderMaterial& m = data.Material[0];
  m.Emissive = {0, 0, 0, 0};
  m.Ambient = m.Specular = {0, 0, 0, 0};
  m.Diffuse = {1, 1, 1, 1};
  m.Texture[0].Tiling = {2, 2};
  Draw(program);
  // The quad now covers the middle half; a pixel's UV is that of the unscaled quad at twice its
  // position.
  auto fract2uv = [](int APixel) {
    const double uv = (2 * Ndc(APixel) + 1) / 2;
    return 2 * uv - std::floor(2 * uv);
  };
  for (const auto& [x, y] : {std::pair{39, 24}, std::pair{20, 20}, std::pair{44, 42}, std::pair{26, 37}}) {
    SCOPED_TRACE(std::to_string(x) + ", " + std::to_string(y));
    EXPECT_TRUE(vtest::ColorNear(FrameBuffer()->Pixel(x, y), ToRGBA8(fract2uv(x), fract2uv(y), 0, 1), 2));
  }
  EXPECT_TRUE(vtest::ColorNear(FrameBuffer()->Pixel(2, 2), Clear(), 2))
      << "gl_Position took the user's change";
}

} // namespace
