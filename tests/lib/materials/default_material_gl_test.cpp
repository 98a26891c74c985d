// The default material and its source: define switching, clamps, the texture pool it keeps with
// the source's bitmap pool, the behaviours, rebuild batching and the apply steps that fill its
// uniform block.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "materials/Vantrel.Material.Default.GLSL.h"
#include "materials/Vantrel.Material.Default.h"
#include "rtl/stopwatch.h"
#include "rtl/sysutils.h"
#include "support/gl_fixture.h"
#include "ui/texture.h"

namespace defaultmaterialtest {

using namespace vantrel;

// Counts the material's change notifications.
class TChangeCounter : public TObject {
public:
  int Count = 0;
  void Changed(TObject*) { ++Count; }
};

class DefaultMaterialGL : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    KeepProgramsForTheSuite();
  }
  void TearDown() override {
    Sources.clear();
    ContextGLTest::TearDown();
  }

  TVantrelDefaultMaterialSource* NewSource(const std::string& AName = "Src") {
    auto source = MakeOwned<TVantrelDefaultMaterialSource>(nullptr);
    source->SetName(AName);
    Sources.push_back(std::move(source));
    return Sources.back().get();
  }

  static bool Defined(const TVantrelNodeBuilder* ABuilder, const std::string& AName) {
    return ABuilder->Defined(AName);
  }

  std::vector<TOwned<TVantrelDefaultMaterialSource>> Sources;
};

TEST_F(DefaultMaterialGL, NewMaterialDefinesClippingAndBlinnPhongAndAwaitsRegistration) {
  TVantrelDefaultMaterial* material = NewSource()->DefaultMaterial();
  for (TVantrelNodeBuilder* builder :
       {static_cast<TVantrelNodeBuilder*>(material->GetVertexShaderNode()),
        static_cast<TVantrelNodeBuilder*>(material->GetFragmentShaderNode())}) {
    EXPECT_TRUE(builder->Defined("CLIPPINGPLANE"));
    EXPECT_TRUE(builder->Defined("BLINNPHONG"));
    EXPECT_FALSE(builder->Defined("PHONG"));
  }
  EXPECT_TRUE(material->GetUpdateShaderProgramFlag());
  EXPECT_EQ(material->GetShaderIdentity().size(), 16u);
  EXPECT_FALSE(material->GetVSShaderSource().Code.empty());
  EXPECT_EQ(material->GetTextures()->Count(), 0);
}

// Every builder starts from the one table the context prepared, in its order, and keeps its own
// defines to itself.
TEST_F(DefaultMaterialGL, BuildersCopyTheContextsDefineTable) {
  const TContextShaderDefinesPtr context = TVantrelContext::ShaderDefines();
  ASSERT_EQ(TVantrelContext::ShaderDefines(), context);
  std::vector<std::string> expected;
  for (const auto& pair : context->Defines())
    expected.push_back(pair.Key);
  TVantrelDefaultMaterial* first = NewSource("A")->DefaultMaterial();
  TVantrelDefaultMaterial* second = NewSource("B")->DefaultMaterial();
  first->GetFragmentShaderNode()->AddDefine("ONLY_HERE");
  for (TVantrelGLSLNodeBuilder* builder :
       {static_cast<TVantrelGLSLNodeBuilder*>(first->GetVertexShaderNode()),
        static_cast<TVantrelGLSLNodeBuilder*>(first->GetFragmentShaderNode()),
        static_cast<TVantrelGLSLNodeBuilder*>(second->GetVertexShaderNode()),
        static_cast<TVantrelGLSLNodeBuilder*>(second->GetFragmentShaderNode())}) {
    EXPECT_EQ(builder->Context(), context.get());
    std::vector<std::string> names;
    for (const auto& pair : builder->Defines())
      names.push_back(pair.Key);
    ASSERT_GT(names.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), names.begin()));
  }
  EXPECT_FALSE(second->GetFragmentShaderNode()->Defined("ONLY_HERE"));
  EXPECT_FALSE(context->Defines().ContainsKey("ONLY_HERE"));
}

// One row per switch: the setter, the getter, the defines it adds to both builders or to the
// fragment builder only.
struct TSwitchRow {
  const char* Name;
  void (TVantrelDefaultMaterial::*Set)(bool);
  bool (TVantrelDefaultMaterial::*Get)() const;
  std::vector<std::string> Both;
  std::vector<std::string> FragmentOnly;
  bool SetsProgramFlagOnly;
};

TEST_F(DefaultMaterialGL, EverySwitchAddsAndRemovesItsDefinesAndReadsThemBack) {
  using M = TVantrelDefaultMaterial;
  const std::vector<TSwitchRow> rows = {
      {"UseLighting", &M::SetUseLighting, &M::GetUseLighting, {"LIGHTING"}, {}, true},
      {"UseSpecular", &M::SetUseSpecular, &M::GetUseSpecular, {"USE_SPECULAR"}, {}, true},
      {"UseTexturing", &M::SetUseTexturing, &M::GetUseTexturing, {"USE_TEXTURE"}, {}, false},
      {"UseTexture0", &M::SetUseTexture0, &M::GetUseTexture0, {"USE_TEXTURE"}, {"USE_TEXTURE0"}, false},
      {"UseDisplacementMapping", &M::SetUseDisplacementMapping, &M::GetUseDisplacementMapping,
       {"USE_TEXTURE", "DISPLACEMENT"}, {}, false},
      {"UseNormalMapping", &M::SetUseNormalMapping, &M::GetUseNormalMapping, {"USE_TEXTURE", "NORMALMAP", "BUMP"}, {},
       false},
      {"UseSpecularMapping", &M::SetUseSpecularMapping, &M::GetUseSpecularMapping, {"USE_TEXTURE", "SPECULARMAP"}, {},
       false},
      {"UseEmissiveTexture", &M::SetUseEmissiveTexture, &M::GetUseEmissiveTexture, {"USE_TEXTURE", "EMISSIVEMAP"}, {},
       false},
      {"UseDepthMap", &M::SetUseDepthMap, &M::GetUseDepthMap, {"USE_TEXTURE", "DEPTH"}, {}, false},
      {"UseParallaxOcclusion", &M::SetUseParallaxOcclusion, &M::GetUseParallaxOcclusion, {"POM"}, {}, false},
      {"UsePBRAlbedoTexture", &M::SetUsePBRAlbedoTexture, &M::GetUsePBRAlbedoTexture, {}, {"PBR_TEX_ALBEDO"}, false},
      {"UsePBRMetallicTexture", &M::SetUsePBRMetallicTexture, &M::GetUsePBRMetallicTexture, {}, {"PBR_TEX_METALLIC"},
       false},
      {"UsePBRRoughnessTexture", &M::SetUsePBRRoughnessTexture, &M::GetUsePBRRoughnessTexture, {},
       {"PBR_TEX_ROUGHNESS"}, false},
      {"UsePBRAOTexture", &M::SetUsePBRAOTexture, &M::GetUsePBRAOTexture, {}, {"PBR_TEX_AO"}, false},
      {"UsePBREmissiveTexture", &M::SetUsePBREmissiveTexture, &M::GetUsePBREmissiveTexture, {}, {"PBR_TEX_EMISSIVE"},
       false},
      {"UsePBRSpecularTexture", &M::SetUsePBRSpecularTexture, &M::GetUsePBRSpecularTexture, {},
       {"SpecularMapTexture"}, false},
      {"UseVertexColor", &M::SetUseVertexColor, &M::GetUseVertexColor, {"USE_VERTEXCOLOR"}, {}, false},
      {"UseColorClipping", &M::SetUseColorClipping, &M::GetUseColorClipping, {}, {"USE_COLORCLIP"}, false},
      {"UseAlphaCutoff", &M::SetUseAlphaCutoff, &M::GetUseAlphaCutoff, {}, {"USE_ALPHACUTOFF"}, false},
  };
  for (const TSwitchRow& row : rows) {
    SCOPED_TRACE(row.Name);
    TVantrelDefaultMaterial* material = NewSource()->DefaultMaterial();
    TVantrelNodeBuilder* vertex = material->GetVertexShaderNode();
    TVantrelNodeBuilder* fragment = material->GetFragmentShaderNode();
    EXPECT_FALSE((material->*row.Get)());
    (material->*row.Set)(true);
    EXPECT_TRUE((material->*row.Get)());
    EXPECT_TRUE(material->GetUpdateShaderProgramFlag());
    for (const std::string& name : row.Both) {
      EXPECT_TRUE(vertex->Defined(name)) << name;
      EXPECT_TRUE(fragment->Defined(name)) << name;
    }
    for (const std::string& name : row.FragmentOnly) {
      EXPECT_FALSE(vertex->Defined(name)) << name;
      EXPECT_TRUE(fragment->Defined(name)) << name;
    }
    (material->*row.Set)(false);
    EXPECT_FALSE((material->*row.Get)());
    // Switching off leaves texturing on: only the switch's own names go.
    for (const std::string& name : row.Both)
      if (name != "USE_TEXTURE" || std::string(row.Name) == "UseTexturing")
        EXPECT_FALSE(fragment->Defined(name)) << name;
    for (const std::string& name : row.FragmentOnly)
      EXPECT_FALSE(fragment->Defined(name)) << name;
  }
}

TEST_F(DefaultMaterialGL, CompoundSwitchesFollowTheirExclusionsAndOrder) {
  TVantrelDefaultMaterial* material = NewSource()->DefaultMaterial();
  TVantrelNodeBuilder* vertex = material->GetVertexShaderNode();
  TVantrelNodeBuilder* fragment = material->GetFragmentShaderNode();

  // Normal mapping without texturing turns texturing on; texturing off then leaves the normal
  // map's own names, and the switch reads off.
  material->SetUseNormalMapping(true);
  EXPECT_TRUE(vertex->Defined("USE_TEXTURE") && vertex->Defined("NORMALMAP") && vertex->Defined("BUMP"));
  material->SetUseTexture0(true);
  material->SetUseTexturing(false);
  EXPECT_FALSE(fragment->Defined("USE_TEXTURE") || fragment->Defined("USE_TEXTURE0"));
  EXPECT_TRUE(fragment->Defined("NORMALMAP") && fragment->Defined("BUMP"));
  EXPECT_FALSE(material->GetUseNormalMapping());

  // The environment excludes reflections and refractions, and the other way round.
  material->SetReflections(true);
  material->SetRefractions(true);
  EXPECT_TRUE(fragment->Defined("REFLECTION") && fragment->Defined("REFRACTION"));
  material->SetEnvironment(true);
  EXPECT_FALSE(material->GetReflections() || material->GetRefractions());
  EXPECT_FALSE(fragment->Defined("REFLECTION") || fragment->Defined("REFRACTION"));
  EXPECT_TRUE(vertex->Defined("ENVIRONMENT") && fragment->Defined("ENVIRONMENT"));
  material->SetReflections(true);
  EXPECT_FALSE(material->GetEnvironment());
  EXPECT_FALSE(fragment->Defined("ENVIRONMENT"));

  // One tone-mapping define at a time.
  material->SetTonemapping(TVantrelTonemapping::tmExposure);
  material->SetTonemapping(TVantrelTonemapping::tmFilmic);
  int tonemaps = 0;
  for (const auto& pair : fragment->Defines())
    tonemaps += pair.Key.starts_with("TONEMAP_") ? 1 : 0;
  EXPECT_EQ(tonemaps, 1);
  EXPECT_TRUE(fragment->Defined("TONEMAP_FILMIC"));
  material->SetTonemapping(TVantrelTonemapping::tmNone);
  for (const auto& pair : fragment->Defines())
    EXPECT_FALSE(pair.Key.starts_with("TONEMAP_")) << pair.Key;

  // The method alone adds nothing; shadows then take it.
  material->SetShadowMethod(TVantrelShadowMethod::VarianceShadowMapping);
  EXPECT_FALSE(fragment->Defined("VARIANCESHADOWMAPPING") || fragment->Defined("SHADOW"));
  material->SetShadows(true);
  EXPECT_TRUE(vertex->Defined("SHADOW") && vertex->Defined("VARIANCESHADOWMAPPING"));
  EXPECT_FALSE(vertex->Defined("SHADOWMAPPING"));
  material->SetShadowMethod(TVantrelShadowMethod::ShadowMapping);
  EXPECT_TRUE(fragment->Defined("SHADOWMAPPING") && !fragment->Defined("VARIANCESHADOWMAPPING"));
  material->SetShadows(false);
  EXPECT_FALSE(fragment->Defined("SHADOW") || fragment->Defined("SHADOWMAPPING"));

  // The shading model picks its define when the texts are built.
  material->SetShadingModel(TVantrelShadingModel::smPhong);
  EXPECT_TRUE(fragment->Defined("PHONG") && !fragment->Defined("BLINNPHONG"));
  material->SetShadingModel(TVantrelShadingModel::smPBR);
  EXPECT_TRUE(vertex->Defined("PBR") && !vertex->Defined("PHONG"));
}

TEST_F(DefaultMaterialGL, StoredValuesAreClampedSilently) {
  TVantrelDefaultMaterial* material = NewSource()->DefaultMaterial();
  material->SetShadingIntensity(12);
  material->SetParallaxLevels(2);
  material->SetShininess(200);
  material->SetMetallicBias(-1);
  material->SetNormalIntensity(11);
  material->SetTonemappingExposure(-3);
  EXPECT_EQ(material->GetShadingIntensity(), 10);
  EXPECT_EQ(material->GetParallaxLevels(), 4);
  EXPECT_EQ(material->GetShininess(), 100);
  EXPECT_EQ(material->GetMetallicBias(), 0);
  EXPECT_EQ(material->GetNormalIntensity(), 10);
  EXPECT_EQ(material->GetTonemappingExposure(), 0);
  material->SetParallaxLevels(1000);
  EXPECT_EQ(material->GetParallaxLevels(), 256);
}

} // namespace defaultmaterialtest
