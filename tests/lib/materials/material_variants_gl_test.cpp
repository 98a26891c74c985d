// The eight shading-model variants: their presets, builder defines and pool entries, one table row
// per class, and every default text compiling and linking.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "materials/Vantrel.Material.Blinn.h"
#include "materials/Vantrel.Material.BumpMap.h"
#include "materials/Vantrel.Material.Default.GLSL.h"
#include "materials/Vantrel.Material.Lambert.h"
#include "materials/Vantrel.Material.NormalMap.h"
#include "materials/Vantrel.Material.PBR.h"
#include "materials/Vantrel.Material.POM.h"
#include "materials/Vantrel.Material.Phong.h"
#include "materials/Vantrel.Material.VertexColor.h"
#include "support/gl_fixture.h"
#include "ui/mesh_buffers.h"
#include "ui/texture.h"

namespace materialvariantstest {

using namespace vantrel;

struct TVariantRow {
  const char* Name;
  std::function<TOwned<TVantrelDefaultMaterialSource>()> Make;
  const TClass* MaterialClass;
  TVantrelShadingModel Model;
  bool Lighting, Specular, Texturing, Texture0, VertexColor;
  float Shininess;
  std::vector<std::string> Both;
  std::vector<std::string> FragmentOnly;
  std::vector<std::string> Entries;
};

template <class T> std::function<TOwned<TVantrelDefaultMaterialSource>()> Maker() {
  return [] { return TOwned<TVantrelDefaultMaterialSource>(MakeOwned<T>(nullptr).release()); };
}

std::vector<TVariantRow> Rows() {
  using SM = TVantrelShadingModel;
  const std::vector<std::string> pbrEntries{"Texture0",         "NormalMapTexture",        "DisplacementMapTexture",
                                            "POMTexture",       "MetalnessTexture",        "RoughnessTexture",
                                            "AmbientOcclusionTexture", "EmissiveTexture", "SpecularMapTexture"};
  return {
      {"VertexColor", Maker<TVantrelVertexColorMaterialSource>(), &TVantrelVertexColorMaterial::StaticClass(),
       SM::smBlinnPhong, true, true, false, false, true, 32, {"LIGHTING", "USE_SPECULAR", "USE_VERTEXCOLOR"}, {}, {}},
      {"Lambert", Maker<TVantrelLambertMaterialSource>(), &TVantrelLambertMaterial::StaticClass(), SM::smLambert,
       true, false, true, true, false, 32, {"LIGHTING", "USE_TEXTURE"}, {"USE_TEXTURE0"}, {"Texture0"}},
      {"Phong", Maker<TVantrelPhongMaterialSource>(), &TVantrelPhongMaterial::StaticClass(), SM::smPhong, true, true,
       true, true, false, 50, {"PHONG", "USE_SPECULAR"}, {"USE_TEXTURE0"}, {"Texture0"}},
      {"Blinn", Maker<TVantrelBlinnMaterialSource>(), &TVantrelBlinnMaterial::StaticClass(), SM::smBlinnPhong, true,
       true, true, true, false, 50, {"BLINNPHONG", "USE_SPECULAR"}, {"USE_TEXTURE0"}, {"Texture0"}},
      {"NormalMap", Maker<TVantrelNormalMapMaterialSource>(), &TVantrelNormalMapMaterial::StaticClass(),
       SM::smBlinnPhong, true, true, true, true, false, 32, {"NORMALMAP", "BUMP", "DISPLACEMENT"}, {},
       {"Texture0", "NormalMapTexture", "DisplacementMapTexture"}},
      {"BumpMap", Maker<TVantrelBumpMapMaterialSource>(), &TVantrelBumpMapMaterial::StaticClass(), SM::smBlinnPhong,
       true, true, true, true, false, 32, {"NORMALMAP", "SPECULARMAP"}, {},
       {"SpecularMapTexture", "Texture0", "NormalMapTexture", "DisplacementMapTexture"}},
      {"POM", Maker<TVantrelPOMMaterialSource>(), &TVantrelPOMMaterial::StaticClass(), SM::smBlinnPhong, true, true,
       true, true, false, 32, {"POM", "POM_DISCARD"}, {},
       {"Texture0", "NormalMapTexture", "DisplacementMapTexture", "POMTexture"}},
      {"PBR", Maker<TVantrelPBRMaterialSource>(), &TVantrelPBRMaterial::StaticClass(), SM::smPBR, true, true, true,
       true, false, 32, {"POM", "POM_DISCARD", "PBR"}, {"PBR_TEX_AO"}, pbrEntries},
  };
}

class MaterialVariantsGL : public vtest::ContextGLTest {
protected:
  void TearDown() override {
    TVantrelContext::FreePrograms();
    TShaderManager::Clear();
    ContextGLTest::TearDown();
  }
  static std::string Text(const TContextShaderSource& ASource) { return {ASource.Code.begin(), ASource.Code.end()}; }
};

TEST_F(MaterialVariantsGL, EachKindPresetsItsMaterialDefinesAndEntries) {
  for (const TVariantRow& row : Rows()) {
    SCOPED_TRACE(row.Name);
    TOwned<TVantrelDefaultMaterialSource> source = row.Make();
    TVantrelDefaultMaterial* material = source->DefaultMaterial();
    EXPECT_EQ(&material->ClassType(), row.MaterialClass);
    EXPECT_EQ(material->GetShadingModel(), row.Model);
    EXPECT_EQ(material->GetUseLighting(), row.Lighting);
    EXPECT_EQ(material->GetUseSpecular(), row.Specular);
    EXPECT_EQ(material->GetUseTexturing(), row.Texturing);
    EXPECT_EQ(material->GetUseTexture0(), row.Texture0);
    EXPECT_EQ(material->GetUseVertexColor(), row.VertexColor);
    EXPECT_FLOAT_EQ(material->GetShininess(), row.Shininess);
    for (const std::string& name : row.Both) {
      EXPECT_TRUE(material->GetVertexShaderNode()->Defined(name)) << name;
      EXPECT_TRUE(material->GetFragmentShaderNode()->Defined(name)) << name;
    }
    for (const std::string& name : row.FragmentOnly) {
      EXPECT_FALSE(material->GetVertexShaderNode()->Defined(name)) << name;
      EXPECT_TRUE(material->GetFragmentShaderNode()->Defined(name)) << name;
    }
    std::vector<std::string> entries;
    for (int i = 0; i < source->GetBitmaps()->Count(); ++i)
      entries.push_back(source->GetBitmaps()->GetItem(i)->GetName());
    EXPECT_EQ(entries, row.Entries);
  }
}

TEST_F(MaterialVariantsGL, PhysicallyBasedValuesAndTheLambertText) {
  auto pbr = MakeOwned<TVantrelPBRMaterialSource>(nullptr);
  EXPECT_EQ(pbr->GetAmbientF().R, 0.03f);
  EXPECT_EQ(pbr->GetAmbientF().A, 1.0f);
  const TVector3D displacement = pbr->GetDisplacement();
  EXPECT_FLOAT_EQ(displacement.X, 0.05f);
  EXPECT_FLOAT_EQ(displacement.W, 0.5f);
  EXPECT_FLOAT_EQ(pbr->GetNormalIntensity(), 0.1f);

  auto lambert = MakeOwned<TVantrelLambertMaterialSource>(nullptr);
  const std::string text = Text(lambert->DefaultMaterial()->GetFSShaderSource());
  for (const char* define : {"#define PHONG", "#define BLINNPHONG", "#define PBR"})
    EXPECT_EQ(text.find(define), std::string::npos) << define;
}

TEST_F(MaterialVariantsGL, VertexColourSwitchesItsBuildersOneTextLate) {
  auto source = MakeOwned<TVantrelVertexColorMaterialSource>(nullptr);
  for (TVantrelNodeBuilder* builder :
       {static_cast<TVantrelNodeBuilder*>(source->DefaultMaterial()->GetVertexShaderNode()),
        static_cast<TVantrelNodeBuilder*>(source->DefaultMaterial()->GetFragmentShaderNode())}) {
    EXPECT_TRUE(builder->Defined("USE_VERTEXCOLOR"));
    EXPECT_TRUE(builder->Defined("LIGHTING"));
    EXPECT_FALSE(builder->Defined("USE_TEXTURE"));
    EXPECT_FALSE(builder->Defined("USE_TEXTURE0"));
  }
}

TEST_F(MaterialVariantsGL, DisplacementComponentsAndDiscardEdges) {
  auto normal = MakeOwned<TVantrelNormalMapMaterialSource>(nullptr);
  const TVector3D before = normal->GetDisplacement();
  normal->SetDisplacementY(2);
  const TVector3D after = normal->GetDisplacement();
  EXPECT_EQ(after.X, before.X);
  EXPECT_EQ(after.Y, 2);
  EXPECT_EQ(after.Z, before.Z);
  EXPECT_EQ(after.W, before.W);

  auto pom = MakeOwned<TVantrelPOMMaterialSource>(nullptr);
  const std::string textBefore = Text(pom->DefaultMaterial()->GetFSShaderSource());
  EXPECT_TRUE(pom->GetParallaxDiscardEdges());
  pom->SetParallaxDiscardEdges(false);
  EXPECT_FALSE(pom->DefaultMaterial()->GetVertexShaderNode()->Defined("POM_DISCARD"));
  EXPECT_FALSE(pom->DefaultMaterial()->GetFragmentShaderNode()->Defined("POM_DISCARD"));
  EXPECT_NE(Text(pom->DefaultMaterial()->GetFSShaderSource()), textBefore);
}

TEST_F(MaterialVariantsGL, AllEightDefaultTextsCompileAndLink) {
  auto texture = MakeOwned<TTexture>();
  texture->SetSize(8, 8);
  texture->SetStyle({TTextureStyle::RenderTarget});
  TOwned<TContextOpenGLWindows> context(CheckedCast<TContextOpenGLWindows>(
      TContextManager::CreateFromTexture(texture.get(), TMultisample::None, true)));
  TVertexBuffer vertices(TVertexFormats{TVertexFormat::Vertex, TVertexFormat::Normal}, 3);
  const uint16_t indices[3] = {0, 1, 2};
  std::vector<TOwned<TVantrelDefaultMaterialSource>> sources;
  for (const TVariantRow& row : Rows()) {
    SCOPED_TRACE(row.Name);
    sources.push_back(row.Make());
    TVantrelDefaultMaterial* material = sources.back()->DefaultMaterial();
    ASSERT_TRUE(context->BeginScene());
    EXPECT_NO_THROW(context->DrawPrimitives(TPrimitivesKind::Triangles, vertices.Buffer(), indices,
                                            vertices.GetVertexDeclarations(), vertices.VertexSize(), 3, 2, 3, material,
                                            1));
    context->EndScene();
    EXPECT_NE(TVantrelContext::GetProgram(material->VertexShader(), material->PixelShader()), nullptr);
  }
  sources.clear();
  TVantrelContext::FreePrograms();
  TShaderManager::Clear();
  context.reset();
}

} // namespace materialvariantstest
