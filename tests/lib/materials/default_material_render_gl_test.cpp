// The default material end to end: a Lambert source set up by name, as a form stream would, draws
// a cube lit by one white point light, and the image read back matches the CPU model of the
// shading at one probe inside each visible face.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "definitions/Vantrel.AssetsManager.h"
#include "definitions/Vantrel.DefTypes.h"
#include "materials/Vantrel.Material.Default.h"
#include "materials/Vantrel.Material.Lambert.h"
#include "materials/Vantrel.Material.h"
#include "rtl/properties.h"
#include "scene/Vantrel.Control.h"
#include "rtl/stringlist.h"
#include "support/gl_fixture.h"
#include "ui/bitmap.h"
#include "ui/mesh_buffers.h"
#include "ui/texture.h"

namespace materialrendertest {

using namespace vantrel;

constexpr int32_t Size = 64;
constexpr TAlphaColor Clear = 0xFF202020;
constexpr float Tomato[3] = {255 / 255.0f, 99 / 255.0f, 71 / 255.0f};
const TPoint3D LightPosition{2.5f, -5, -5};

struct TFace {
  TPoint3D Normal;
  TPoint3D U;
  TPoint3D V;
};

// The six faces of the unit cube around the origin: a normal and two edge directions.
constexpr std::array<TFace, 6> Faces{{
    {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},
    {{0, 0, -1}, {-1, 0, 0}, {0, 1, 0}},
    {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}},
    {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
    {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}},
    {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
}};

TPoint3D Add(TPoint3D A, TPoint3D B) { return {A.X + B.X, A.Y + B.Y, A.Z + B.Z}; }
TPoint3D Sub(TPoint3D A, TPoint3D B) { return {A.X - B.X, A.Y - B.Y, A.Z - B.Z}; }
TPoint3D Scale(TPoint3D A, float F) { return {A.X * F, A.Y * F, A.Z * F}; }
float Dot(TPoint3D A, TPoint3D B) { return A.X * B.X + A.Y * B.Y + A.Z * B.Z; }
TPoint3D Normalize(TPoint3D A) { return Scale(A, 1.0f / std::sqrt(Dot(A, A))); }
TPoint3D TransformDirection(TPoint3D A, const TMatrix3D& M) {
  return {A.X * M.m11 + A.Y * M.m21 + A.Z * M.m31, A.X * M.m12 + A.Y * M.m22 + A.Z * M.m32,
          A.X * M.m13 + A.Y * M.m23 + A.Z * M.m33};
}

// A pixel, with the world point seen through its centre and the face's rotated normal.
struct TProbe {
  int X, Y;
  TPoint3D World;
  TPoint3D Normal;
};

class TomatoCube : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    FTexture = MakeOwned<TTexture>();
    FTexture->SetSize(Size, Size);
    FTexture->SetStyle({TTextureStyle::RenderTarget});
    FContext.reset(CheckedCast<TContextOpenGLWindows>(
        TContextManager::CreateFromTexture(FTexture.get(), TMultisample::None, true)));
    AddLight(true);
    FModel = TMatrix3D::CreateRotationYawPitchRoll(0.7f, -0.7f, 0.4f);
    FContext->SetCameraMatrix(TMatrix3D::CreateLookAtRH({0, 0, -3.5f}, {0, 0, 0}, {0, 1, 0}));
    FContext->SetCameraAngleOfView(45);
    BuildCube();
    FSource = MakeOwned<TVantrelLambertMaterialSource>(nullptr);
    // The demo form's values, by name and in stream order.
    for (auto [name, text] : std::initializer_list<std::pair<const char*, const char*>>{
             {"Color", "claTomato"},
             {"Diffuse", "claTomato"},
             {"Ambient", "claGray"},
             {"Specular", "xFFBFBFBF"},
             {"Shininess", "32"},
             {"NearLimit", "0.1"},
             {"FarLimit", "10000"},
             {"Bitmaps.DeclareAsArray", "False"},
             {"UseLighting", "True"},
             {"UseSpecular", "False"},
             {"UseTexturing", "True"},
             {"UseTexture0", "False"}}) {
      TAlphaColor color;
      const TPropInfo* info = GetPropInfo(FSource->ClassType(), name);
      if (info && info->Type == &TypeInfoAlphaColor() && IdentToAlphaColor(text, color))
        SetPropValue(FSource.get(), name, TValue::From(color, TypeInfoAlphaColor()));
      else
        SetPropValueFromString(FSource.get(), name, text);
    }
  }

  void TearDown() override {
    FSource.reset();
    TVantrelContext::FreePrograms();
    // The manager holds the registered stage shaders for the process; a test gives them back.
    TShaderManager::Clear();
    FContext.reset();
    FTexture.reset();
    ContextGLTest::TearDown();
  }

  void AddLight(bool AEnabled) {
    FContext->ClearLights();
    TLightDescription light;
    light.LightType = TLightType::Point;
    light.Color = 0xFFFFFFFF;
    light.Position = LightPosition;
    light.Enabled = AEnabled;
    FContext->AddLight(light);
  }

  void SetSurfaceShader(const std::string& ALine) {
    TStringList lines;
    lines.Add("void SurfaceShader(inout TLocals DATA){");
    lines.Add(ALine);
    lines.Add("}");
    FSource->SetSurfaceShader(&lines);
  }

  void BuildCube() {
    FVertices = MakeOwned<TVertexBuffer>(
        TVertexFormats{TVertexFormat::Vertex, TVertexFormat::Normal, TVertexFormat::TexCoord0, TVertexFormat::Tangent},
        24);
    int vertex = 0;
    for (const TFace& face : Faces) {
      const int first = vertex;
      const TPoint3D centre = Scale(face.Normal, 0.5f);
      for (auto [u, v] : {std::pair{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.5f, 0.5f}}) {
        FVertices->SetVertices(vertex, Add(centre, Add(Scale(face.U, u), Scale(face.V, v))));
        FVertices->SetNormals(vertex, face.Normal);
        FVertices->SetTexCoord(0, vertex, {u + 0.5f, v + 0.5f});
        FVertices->SetTangents(vertex, face.U);
        ++vertex;
      }
      for (int corner : {0, 1, 2, 0, 2, 3})
        FIndices.push_back(static_cast<uint16_t>(first + corner));
    }
  }

  // Draws with AMaterial, or with the fixture's source when none is given.
  void Render(TBitmap& ABitmap, TMaterial* AMaterial = nullptr) {
    ASSERT_TRUE(FContext->BeginSceneRendering());
    FContext->Clear({TClearTarget::Color, TClearTarget::Depth}, Clear, 1, 0);
    FContext->SetContextStates({TContextState::csZTestOn, TContextState::csZWriteOn, TContextState::csAllFace});
    FContext->SetMatrix(FModel);
    FContext->DrawPrimitives(TPrimitivesKind::Triangles, FVertices->Buffer(), FIndices.data(),
                             FVertices->GetVertexDeclarations(), FVertices->VertexSize(), FVertices->Length(), 2,
                             static_cast<int32_t>(FIndices.size()), AMaterial ? AMaterial : FSource->GetMaterial(), 1);
    FContext->EndSceneRendering();
    FContext->CopyToBitmap(&ABitmap, TRect(0, 0, Size, Size));
  }

  // The pixel the face centre of AFace lands on, with the world point seen through that pixel's
  // centre (the face's plane cut by the pixel's ray) and the rotated normal.
  TProbe ProbeOf(const TFace& AFace) {
    FContext->SetMatrix(FModel);
    const TMatrix3D mvp = FContext->CurrentModelViewProjectionMatrix();
    const TVector3D clip = TVector3D{AFace.Normal.X * 0.5f, AFace.Normal.Y * 0.5f, AFace.Normal.Z * 0.5f, 1} * mvp;
    TProbe probe;
    probe.X = static_cast<int>((clip.X / clip.W + 1) * 0.5f * Size);
    probe.Y = static_cast<int>((1 - clip.Y / clip.W) * 0.5f * Size);
    probe.Normal = Normalize(TransformDirection(AFace.Normal, FModel));
    const TPoint3D centre = Scale(AFace.Normal, 0.5f) * FModel;
    // The pixel centre's ray in world space, cut with the face's plane.
    const TMatrix3D camera = FContext->CurrentCameraMatrix();
    const TMatrix3D projection = FContext->CurrentProjectionMatrix();
    const TMatrix3D inverse = (camera * projection).Inverse();
    const float ndcX = (probe.X + 0.5f) / Size * 2 - 1;
    const float ndcY = 1 - (probe.Y + 0.5f) / Size * 2;
    TVector3D nearPoint = TVector3D{ndcX, ndcY, -1, 1} * inverse;
    TVector3D farPoint = TVector3D{ndcX, ndcY, 1, 1} * inverse;
    const TPoint3D origin{nearPoint.X / nearPoint.W, nearPoint.Y / nearPoint.W, nearPoint.Z / nearPoint.W};
    const TPoint3D far{farPoint.X / farPoint.W, farPoint.Y / farPoint.W, farPoint.Z / farPoint.W};
    const TPoint3D direction = Sub(far, origin);
    const float t = Dot(Sub(centre, origin), probe.Normal) / Dot(direction, probe.Normal);
    probe.World = Add(origin, Scale(direction, t));
    return probe;
  }

  // The faces turned towards the camera.
  std::vector<TFace> VisibleFaces() {
    std::vector<TFace> result;
    const TPoint3D eye{0, 0, -3.5f};
    for (const TFace& face : Faces) {
      const TPoint3D normal = TransformDirection(face.Normal, FModel);
      const TPoint3D centre = Scale(face.Normal, 0.5f) * FModel;
      if (Dot(normal, Sub(eye, centre)) > 0.3f)
        result.push_back(face);
    }
    return result;
  }

public:
  static float LambertTerm(const TProbe& AProbe) {
    return std::max(0.0f, Dot(AProbe.Normal, Normalize(Sub(LightPosition, AProbe.World))));
  }

protected:
  static vtest::TRGBA8 PixelAt(TBitmap& ABitmap, int AX, int AY) {
    TBitmapData data;
    EXPECT_TRUE(ABitmap.Map(TMapAccess::Read, data));
    const TAlphaColor color = data.GetPixel(AX, AY);
    ABitmap.Unmap(data);
    return {uint8_t(color >> 16), uint8_t(color >> 8), uint8_t(color), uint8_t(color >> 24)};
  }

  static uint8_t Channel(float AValue) {
    return static_cast<uint8_t>(std::lround(std::clamp(AValue, 0.0f, 1.0f) * 255));
  }

  // Every visible face against AExpected(probe, channel).
  template <class F> void ExpectFaces(TBitmap& ABitmap, F AExpected) {
    const std::vector<TFace> faces = VisibleFaces();
    ASSERT_EQ(faces.size(), 3u);
    std::vector<float> terms;
    for (const TFace& face : faces) {
      const TProbe probe = ProbeOf(face);
      terms.push_back(LambertTerm(probe));
      const vtest::TRGBA8 expected{Channel(AExpected(probe, 0)), Channel(AExpected(probe, 1)),
                                   Channel(AExpected(probe, 2)), 255};
      EXPECT_TRUE(vtest::ColorNear(PixelAt(ABitmap, probe.X, probe.Y), expected, 3))
          << "face " << face.Normal.X << "," << face.Normal.Y << "," << face.Normal.Z << " at " << probe.X << ","
          << probe.Y << " N.L " << terms.back();
    }
    std::sort(terms.begin(), terms.end());
    EXPECT_GT(terms[1] - terms[0], 0.05f);
    EXPECT_GT(terms[2] - terms[1], 0.05f);
  }

  TOwned<TTexture> FTexture;
  TOwned<TContextOpenGLWindows> FContext;
  TOwned<TVantrelLambertMaterialSource> FSource;
  TOwned<TVertexBuffer> FVertices;
  std::vector<uint16_t> FIndices;
  TMatrix3D FModel;
};

TEST_F(TomatoCube, LitFacesShowTheSquaredDiffuseColourTimesNDotL) {
  TBitmap bitmap(Size, Size);
  Render(bitmap);
  ExpectFaces(bitmap, [](const TProbe& P, int C) { return Tomato[C] * Tomato[C] * LambertTerm(P); });
  EXPECT_TRUE(vtest::ColorNear(PixelAt(bitmap, 1, 1), {0x20, 0x20, 0x20, 0xFF}, 1));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

float Lit(const TProbe& AProbe, int AChannel) {
  return Tomato[AChannel] * Tomato[AChannel] * TomatoCube::LambertTerm(AProbe);
}

TEST_F(TomatoCube, FirstApplyRegistersTheNamedShadersAndUploadsTheBlockAtBindingZero) {
  TBitmap bitmap(Size, Size);
  Render(bitmap);
  auto* material = static_cast<TVantrelDefaultMaterial*>(FSource->GetMaterial());
  ASSERT_NE(material->VertexShader(), nullptr);
  const std::string digits = material->GetShaderIdentity();
  EXPECT_EQ(material->VertexShader()->Name(), "default-" + digits + ".fvs");
  EXPECT_EQ(material->PixelShader()->Name(), "default-" + digits + ".fps");
  TShaderProgram* program = TVantrelContext::GetProgram(material->VertexShader(), material->PixelShader());
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(program->IndexOfUniformBuffer("ShaderData"), 0);
  GLint buffer = 0;
  glGetIntegeri_v(GL_UNIFORM_BUFFER_BINDING, 0, &buffer);
  ASSERT_NE(buffer, 0);
  std::vector<uint8_t> bytes(sizeof(TVantrelShaderData));
  glBindBuffer(GL_UNIFORM_BUFFER, buffer);
  glGetBufferSubData(GL_UNIFORM_BUFFER, 0, static_cast<GLsizeiptr>(bytes.size()), bytes.data());
  glBindBuffer(GL_UNIFORM_BUFFER, 0);
  EXPECT_EQ(std::memcmp(bytes.data(), &material->GetShaderData(), bytes.size()), 0);
  EXPECT_EQ(material->GetShaderData().LightsCount, 1);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TomatoCube, DisabledLightLeavesTheFacesBlack) {
  AddLight(false);
  TBitmap bitmap(Size, Size);
  Render(bitmap);
  ExpectFaces(bitmap, [](const TProbe&, int) { return 0.0f; });
}

TEST_F(TomatoCube, EmissiveAddsToEveryChannel) {
  FSource->SetEmissive(0xFF202020);
  TBitmap bitmap(Size, Size);
  Render(bitmap);
  ExpectFaces(bitmap, [](const TProbe& P, int C) { return Lit(P, C) + 32 / 255.0f; });
}

TEST_F(TomatoCube, Texture0MultipliesTheSingleDiffuseFactor) {
  FSource->SetUseTexture0(true);
  TBitmap texture(2, 2);
  TBitmapData data;
  ASSERT_TRUE(texture.Map(TMapAccess::Write, data));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x)
      data.SetPixel(x, y, 0xFF80C040);
  texture.Unmap(data);
  FSource->SetTexture(&texture);
  TBitmap bitmap(Size, Size);
  Render(bitmap);
  constexpr float C[3] = {0x80 / 255.0f, 0xC0 / 255.0f, 0x40 / 255.0f};
  ExpectFaces(bitmap, [&](const TProbe& P, int Ch) { return Tomato[Ch] * C[Ch] * TomatoCube::LambertTerm(P); });
}

// A Lambert definition with a diffuse colour and a one-colour texture asset, made into a source by
// the factory, draws the cube as the CPU model says: diffuse x texture x N.L.
TEST_F(TomatoCube, AFactoryMadeLambertDrawsTheTexturedCube) {
  TModelDef model;
  auto* def = New<TMaterialDef>(&model, "Cube");
  def->Kind = TMaterialDefKind::mkLambert;
  def->Diffuse = TAlphaColorF::Create(0.8f, 0.4f, 0.2f, 1);
  def->Ambient = TAlphaColorF::Create(0, 0, 0, 1);
  def->Emissive = TAlphaColorF::Create(0, 0, 0, 1);
  def->Specular = TAlphaColorF::Create(0, 0, 0, 1);
  constexpr TAlphaColor TextureColor = 0xFF80C040;
  TVantrelTextureAsset* asset = TVantrelTextureAsset::Create(nullptr);
  auto texture = MakeOwned<TBitmap>(2, 2);
  texture->Clear(TextureColor);
  asset->ImportFromCachedBitmap("c.png", std::move(texture));
  def->AddTexture(TColorChannelDef::Diffuse, asset, true);
  auto owner = MakeOwned<TVantrelControl>(nullptr);
  TMaterialSource* source = TVantrelMaterial::CreateMaterial(owner.get(), def);
  ASSERT_NE(dynamic_cast<TVantrelLambertMaterialSource*>(source), nullptr);
  TBitmap bitmap(Size, Size);
  Render(bitmap, source->GetMaterial());
  constexpr float D[3] = {0.8f, 0.4f, 0.2f};
  constexpr float C[3] = {0x80 / 255.0f, 0xC0 / 255.0f, 0x40 / 255.0f};
  ExpectFaces(bitmap, [&](const TProbe& P, int Ch) { return D[Ch] * C[Ch] * TomatoCube::LambertTerm(P); });
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TomatoCube, EqualLengthSurfaceShaderEditsBothReachTheImage) {
  TBitmap bitmap(Size, Size);
  SetSurfaceShader("DATA.BaseColor.rgb *= 0.5;");
  Render(bitmap);
  ExpectFaces(bitmap, [](const TProbe& P, int C) { return Lit(P, C) * 0.5f; });
  SetSurfaceShader("DATA.BaseColor.rgb *= 0.7;");
  Render(bitmap);
  ExpectFaces(bitmap, [](const TProbe& P, int C) { return Lit(P, C) * 0.7f; });
}

} // namespace materialrendertest
