// The default material source: its published defaults, the standard bitmap entries, pass links,
// the errors of its accessors, loading, rebuild batching and the behaviours it attaches.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "context/Vantrel.Context.Shader.OpenGL.h"
#include "materials/Vantrel.Material.BumpMap.h"
#include "materials/Vantrel.Material.Default.GLSL.h"
#include "materials/Vantrel.Material.Default.h"
#include "materials/Vantrel.Material.Lambert.h"
#include "rendering/Vantrel.Controller.h"
#include "rtl/properties.h"
#include "rtl/stringlist.h"
#include "support/gl_fixture.h"
#include "support/logging_form_recorder.h"
#include "ui/bitmap.h"
#include "ui/messages.h"
#include "ui/mesh_buffers.h"
#include "ui/texture.h"

namespace defaultsourcetest {

using namespace vantrel;

// A pass double: settable output texture, texture matrices per bias flag and input pass.
class TPassDouble : public TVantrelRenderPassController {
  RTL_CLASS(TPassDouble, TVantrelRenderPassController)
public:
  explicit TPassDouble(TComponent* AOwner) : TVantrelRenderPassController(AOwner) {}
  TTexture* GetOutputTexture() override { return Output; }
  TMatrix3D GetTextureMatrix(TContext3D*, bool AUseBias) override { return AUseBias ? Biased : Unbiased; }
  TVantrelRenderPassController* GetInputPass() const override { return Input; }
  TTexture* Output = nullptr;
  TMatrix3D Biased;
  TMatrix3D Unbiased;
  TVantrelRenderPassController* Input = nullptr;

protected:
  TOwned<TVantrelRenderPassMaterialSource> CreateShader() override { return nullptr; }
};
RTL_DEFINE_CLASS(TPassDouble, "Test.DefaultSource")

// Records its hooks; adds one uniform block of 16 bytes to the fragment stage.
class TRecordingBehaviour : public TVantrelMaterialBehaviour {
  RTL_CLASS(TRecordingBehaviour, TVantrelMaterialBehaviour)
public:
  using TVantrelMaterialBehaviour::TVantrelMaterialBehaviour;
  std::vector<std::string>* Log = nullptr;
  bool HasBlock = true;
  bool AddsNodes = true;
  float Tint[4] = {1, 1, 1, 1};

  bool DoOnRegisterUniformBuffer(std::string& AName, void*& AUBO, int32_t& AUBOSize) override {
    Note("register");
    if (!HasBlock)
      return false;
    AName = "BehData";
    AUBOSize = 16;
    AUBO = AllocateBehaviourUBO(AUBOSize);
    return true;
  }
  void DoOnInitializeUniformBuffer(TMaterial* AMaterial, bool& AInitialized) override {
    Note("initialize");
    inherited::DoOnInitializeUniformBuffer(AMaterial, AInitialized);
  }
  void DoOnCreateShader(TVantrelNodeBuilder* ABuilder, TContextShaderKind AKind) override {
    Note(Name() + ".create" + Stage(AKind));
    if (AKind != TContextShaderKind::PixelShader || !AddsNodes)
      return;
    auto* block = new TVantrelGLSLUBO(ABuilder, GetReferenceID());
    block->SetId("BehData");
    block->AddDeclaration("_Tint", TVantrelShaderNodeVariableType::stVec4);
    ABuilder->Globals()->Uniforms()->Add(TVantrelNodePtr(block));
  }
  void DoOnUpdateShader(TVantrelNodeBuilder*, TContextShaderKind AKind) override { Note("update" + Stage(AKind)); }
  void DoOnRemoveShader(TVantrelNodeBuilder* ABuilder, TContextShaderKind AKind) override {
    Note(Name() + ".remove" + Stage(AKind));
    TVantrelCompositeNode* uniforms = ABuilder->Globals()->Uniforms();
    for (int i = uniforms->IndexOfReference<TVantrelGLSLUBO>(GetReferenceID()); i >= 0;
         i = uniforms->IndexOfReference<TVantrelGLSLUBO>(GetReferenceID()))
      uniforms->Delete(i);
  }
  void Apply(TMaterial*, TContext3D*, TVantrelMaterialBehaviourItem* AItem) override {
    ++Applies;
    if (AItem->GetUBO())
      std::memcpy(AItem->GetUBO(), Tint, sizeof(Tint));
  }
  int Applies = 0;

private:
  static std::string Stage(TContextShaderKind AKind) {
    return AKind == TContextShaderKind::VertexShader ? "V" : "P";
  }
  void Note(const std::string& AText) {
    if (Log)
      Log->push_back(AText);
  }
};
RTL_DEFINE_CLASS(TRecordingBehaviour, "Test.DefaultSource")

class TEventLog : public TObject {
public:
  std::vector<std::string>* Log = nullptr;
  void Attached(TObject*) { Log->push_back("attached"); }
  void Detached(TObject*) { Log->push_back("detached"); }
  int Changes = 0;
  void Changed(TObject*) { ++Changes; }
};

class DefaultSourceGL : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    FTexture = MakeOwned<TTexture>();
    FTexture->SetSize(16, 16);
    FTexture->SetStyle({TTextureStyle::RenderTarget});
    FContext.reset(CheckedCast<TContextOpenGLWindows>(
        TContextManager::CreateFromTexture(FTexture.get(), TMultisample::None, true)));
    FContext->SetCameraMatrix(TMatrix3D::CreateLookAtRH({0, 0, -3}, {0, 0, 0}, {0, 1, 0}));
    Events.Log = &Log;
  }
  void TearDown() override {
    Owner.reset();
    TVantrelContext::FreePrograms();
    // The manager holds the registered stage shaders for the process; a test gives them back.
    TShaderManager::Clear();
    FContext.reset();
    FTexture.reset();
    ContextGLTest::TearDown();
  }

  template <class T = TVantrelDefaultMaterialSource> T* NewSource(const std::string& AName = "Src") {
    auto* source = New<T>(Owner.get());
    source->SetName(AName);
    return source;
  }
  TRecordingBehaviour* NewBehaviour(const std::string& AName, TComponent* AOwner = nullptr) {
    auto* behaviour = New<TRecordingBehaviour>(AOwner ? AOwner : Owner.get());
    behaviour->SetName(AName);
    behaviour->Log = &Log;
    behaviour->SetOnAttached(TNotifyEvent(&Events, &TEventLog::Attached));
    behaviour->SetOnDetached(TNotifyEvent(&Events, &TEventLog::Detached));
    return behaviour;
  }

  // One frame: a triangle drawn with ASource's material.
  void Frame(TVantrelDefaultMaterialSource* ASource) {
    TVertexBuffer vertices(TVertexFormats{TVertexFormat::Vertex, TVertexFormat::Normal}, 3);
    vertices.SetVertices(0, {-1, -1, 0});
    vertices.SetVertices(1, {1, -1, 0});
    vertices.SetVertices(2, {0, 1, 0});
    const uint16_t indices[3] = {0, 1, 2};
    ASSERT_TRUE(FContext->BeginSceneRendering());
    FContext->Clear({TClearTarget::Color, TClearTarget::Depth}, 0xFF000000, 1, 0);
    FContext->DrawPrimitives(TPrimitivesKind::Triangles, vertices.Buffer(), indices, vertices.GetVertexDeclarations(),
                             vertices.VertexSize(), 3, 2, 3, ASource->GetMaterial(), 1);
    FContext->EndSceneRendering();
  }

  static std::vector<std::string> EntryNames(const TVantrelDefaultMaterialSource* ASource) {
    std::vector<std::string> names;
    for (int i = 0; i < ASource->GetBitmaps()->Count(); ++i)
      names.push_back(ASource->GetBitmaps()->GetItem(i)->GetName());
    return names;
  }

  std::vector<std::string> Log;
  TEventLog Events;
  TOwned<TComponent> Owner = MakeOwned<TComponent>(nullptr);
  TOwned<TTexture> FTexture;
  TOwned<TContextOpenGLWindows> FContext;
};

// ---- published defaults, entries, links, errors, loading ----

TEST_F(DefaultSourceGL, PublishedColoursReadBackRoundedFromTheMaterial) {
  TVantrelDefaultMaterialSource* source = NewSource();
  EXPECT_EQ(GetPropValue(source, "Ambient").AsOrdinal(), 0xFF808080);
  EXPECT_EQ(GetPropValue(source, "Specular").AsOrdinal(), 0xFFBFBFBF);
  EXPECT_EQ(GetPropValue(source, "Color").AsOrdinal(), 0xFFFFFFFF);
  EXPECT_EQ(GetPropValue(source, "ShadingModel").AsOrdinal(), int(TVantrelShadingModel::smBlinnPhong));
  source->SetDiffuse(0xFF336699);
  EXPECT_FLOAT_EQ(source->GetDiffuseF().G, 0x66 / 255.0f);
  EXPECT_EQ(source->GetDiffuse(), 0xFF336699u);
}

TEST_F(DefaultSourceGL, StandardEntriesFollowTheSwitchesThatKeepThem) {
  TVantrelDefaultMaterialSource* source = NewSource();
  EXPECT_EQ(source->GetBitmaps()->Count(), 0);
  source->SetUseTexture0(true);
  ASSERT_EQ(EntryNames(source), std::vector<std::string>{"Texture0"});
  TVantrelBitmapPoolEntry* texture0 = source->FindBitmapEntryByName("Texture0");
  EXPECT_EQ(texture0->GetFormat(), TPixelFormatEx::BGRA);
  EXPECT_TRUE(texture0->GetIgnoreInArray());
  EXPECT_EQ(source->DefaultMaterial()->GetTextures()->Count(), 1);
  EXPECT_EQ(source->DefaultMaterial()->GetTextures()->GetItem(0)->GetDisplayName(), "Texture0");

  source->SetShadows(true);
  std::vector<std::string> expected{"Texture0"};
  for (int i = 0; i < 8; ++i)
    expected.push_back("ShadowMapTexture" + std::to_string(i));
  EXPECT_EQ(EntryNames(source), expected);
  EXPECT_TRUE(source->FindBitmapEntryByName("ShadowMapTexture5")->GetIsDynamic());
  source->SetShadows(false);
  EXPECT_EQ(EntryNames(source), std::vector<std::string>{"Texture0"});

  auto pass = MakeOwned<TPassDouble>(nullptr);
  source->SetDepthPass(pass.get());
  EXPECT_TRUE(source->DefaultMaterial()->GetVertexShaderNode()->Defined("DEPTH"));
  EXPECT_TRUE(source->DefaultMaterial()->GetUseTexturing());
  source->SetDepthPass(nullptr);
  EXPECT_FALSE(source->DefaultMaterial()->GetFragmentShaderNode()->Defined("DEPTH"));
  ASSERT_TRUE(source->GetInputs()->ContainsKey("DepthTexture"));
  EXPECT_EQ(source->GetDepthPass(), nullptr);
}

TEST_F(DefaultSourceGL, FreedPassesLeaveNoLinkUnderAnyKey) {
  TVantrelDefaultMaterialSource* source = NewSource();
  auto* reflection = New<TPassDouble>(Owner.get());
  auto* shadow = New<TPassDouble>(Owner.get());
  source->SetReflectionPass(reflection);
  source->SetShadowMapPass(3, shadow);
  // A pass of another owner, linked twice.
  auto other = MakeOwned<TPassDouble>(nullptr);
  source->SetRefractionPass(other.get());
  source->SetShadowMapPass(5, other.get());

  FreeAndNil(reflection);
  EXPECT_EQ(source->GetReflectionPass(), nullptr);
  FreeAndNil(shadow);
  EXPECT_TRUE(source->GetInputs()->ContainsKey("ShadowMapTexture3"));
  EXPECT_EQ(source->GetShadowMapPass(3), nullptr);
  other.reset();
  EXPECT_EQ(source->GetRefractionPass(), nullptr);
  EXPECT_EQ(source->GetShadowMapPass(5), nullptr);
  EXPECT_EQ(source->GetInputs()->Count(), 4);
}

TEST_F(DefaultSourceGL, MissingEntriesRaiseAtRunTimeAndReadNilInDesignMode) {
  TVantrelDefaultMaterialSource* source = NewSource();
  for (auto [read, message] : std::initializer_list<std::pair<TBitmap* (TVantrelDefaultMaterialSource::*)() const,
                                                              std::string_view>>{
           {&TVantrelDefaultMaterialSource::GetTexture, STexture0NotActivated},
           {&TVantrelDefaultMaterialSource::GetNormalMap, SNormalMapNotActivated},
           {&TVantrelDefaultMaterialSource::GetDisplacementMap, SDisplacementMapNotActivated}}) {
    SCOPED_TRACE(std::string(message));
    try {
      (source->*read)();
      ADD_FAILURE() << "no error";
    } catch (const Exception& E) {
      EXPECT_EQ(E.Message(), message);
    }
  }
  EXPECT_THROW(source->GetTextureTiling(99), EListError);
  source->SetDesigning(true);
  EXPECT_EQ(source->GetTexture(), nullptr);
  EXPECT_EQ(source->GetNormalMap(), nullptr);
}

TEST_F(DefaultSourceGL, UnderTheLoadingMarkerEntriesWaitForLoaded) {
  TVantrelLambertMaterialSource* source;
  {
    TComponentLoadingMarker loading;
    source = NewSource<TVantrelLambertMaterialSource>();
  }
  EXPECT_EQ(source->GetBitmaps()->Count(), 0);
  source->Loaded();
  EXPECT_EQ(EntryNames(source), std::vector<std::string>{"Texture0"});
}

TEST_F(DefaultSourceGL, BumpMapSpecularMapNamesItsMissingEntry) {
  TVantrelBumpMapMaterialSource* source;
  {
    TComponentLoadingMarker loading;
    source = NewSource<TVantrelBumpMapMaterialSource>();
  }
  try {
    source->GetSpecularMap();
    ADD_FAILURE() << "no error";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "TVantrelBumpMapMaterialSource.GetSpecularMap not activated in material");
  }
  source->SetDesigning(true);
  EXPECT_EQ(source->GetSpecularMap(), nullptr);
}

TEST_F(DefaultSourceGL, PoolEntriesDeclareTheirSamplersSingleOrAsOneArray) {
  TVantrelDefaultMaterialSource* source = NewSource();
  auto add = [&](const std::string& AName, bool ADynamic) {
    return source->AddBitmap(AName, TPixelFormatEx::RGBA8, TPixelFormatEx::RGBA,
                             TVantrelTextureDataType::dtUnsignedByte, ADynamic, false, false,
                             TContextShaderKind::PixelShader, TVantrelTextureKind::Texture2D);
  };
  auto text = [&] {
    const auto& code = source->DefaultMaterial()->GetFSShaderSource().Code;
    return std::string(code.begin(), code.end());
  };
  add("First", false)->SetName("NewName");
  EXPECT_NE(text().find("uniform sampler2D _NewName;"), std::string::npos);
  EXPECT_EQ(source->DefaultMaterial()->GetTextures()->GetItem(0)->GetDisplayName(), "NewName");

  // Three plain fragment entries in one array; the dynamic entry keeps a sampler of its own.
  add("Second", false);
  add("Third", false);
  add("Dynamic", true);
  source->DefaultMaterial()->GetTextures()->SetDeclareAsArray(true);
  source->DefaultMaterial()->Changed();
  const TContextShaderSource& fragment = source->DefaultMaterial()->GetFSShaderSource();
  std::vector<std::string> names;
  for (const TContextShaderVariable& variable : fragment.Variables)
    names.push_back(variable.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"PoolTexture[0]", "PoolTexture[1]", "PoolTexture[2]", "Dynamic"}));
  EXPECT_NE(text().find("uniform sampler2D _PoolTexture[3];"), std::string::npos);
  EXPECT_NE(text().find("uniform sampler2D _Dynamic;"), std::string::npos);
  EXPECT_EQ(source->DefaultMaterial()->GetShaderData().Material[0].PoolTextures, 3);

  // With no array entry, the fragment stage still declares one slot.
  for (const char* name : {"NewName", "Second", "Third", "Dynamic"})
    source->RemoveBitmap(name);
  source->DefaultMaterial()->Changed();
  EXPECT_NE(text().find("uniform sampler2D _PoolTexture[1];"), std::string::npos);
  EXPECT_EQ(source->DefaultMaterial()->GetShaderData().Material[0].PoolTextures, 0);
}

TEST_F(DefaultSourceGL, AContextResetRebuildsThePoolAndTheTextsOnce) {
  TVantrelDefaultMaterialSource* source = NewSource();
  source->SetUseTexture0(true);
  TTexture* before = source->DefaultMaterial()->GetTextures()->GetItem(0)->GetTexture();
  EXPECT_NE(before, nullptr);
  TEventLog counter;
  source->DefaultMaterial()->SetOnChange(TNotifyEvent(&counter, &TEventLog::Changed));
  TContextResetMessage message;
  TMessageManager::DefaultManager().SendMessage(nullptr, &message, false);
  EXPECT_EQ(counter.Changes, 1);
  EXPECT_EQ(source->DefaultMaterial()->GetTextures()->Count(), 1);
  // Copying an entry into a foreign class is refused.
  TBitmap foreign;
  EXPECT_THROW(foreign.Assign(source->FindBitmapEntryByName("Texture0")), EConvertError);
}

// ---- rebuild batching ----

TEST_F(DefaultSourceGL, EachCompoundOperationRebuildsOnce) {
  struct TCase {
    const char* Name;
    std::function<void(TVantrelDefaultMaterialSource*)> Prepare;
    std::function<void(TVantrelDefaultMaterialSource*)> Operation;
  };
  TVantrelBitmapPool five(nullptr);
  for (int i = 0; i < 5; ++i)
    static_cast<TVantrelBitmapPoolEntry*>(five.Add())->SetName("E" + std::to_string(i));
  const std::vector<TCase> cases = {
      {"Shadows", {}, [](auto* S) { S->SetShadows(true); }},
      {"UseTexture0", {}, [](auto* S) { S->SetUseTexture0(true); }},
      {"Environment",
       [](auto* S) {
         S->SetReflections(true);
         S->SetRefractions(true);
       },
       [](auto* S) { S->SetEnvironment(true); }},
      {"AddBitmap", {},
       [](auto* S) {
         S->AddBitmap("Extra", TPixelFormatEx::RGBA8, TPixelFormatEx::RGBA, TVantrelTextureDataType::dtUnsignedByte,
                      false, false, false, TContextShaderKind::PixelShader, TVantrelTextureKind::Texture2D);
       }},
      {"Bitmaps", {}, [&](auto* S) { S->SetBitmaps(&five); }},
  };
  for (const TCase& row : cases) {
    SCOPED_TRACE(row.Name);
    TVantrelDefaultMaterialSource* source = NewSource("");
    if (row.Prepare)
      row.Prepare(source);
    TEventLog counter;
    source->DefaultMaterial()->SetOnChange(TNotifyEvent(&counter, &TEventLog::Changed));
    row.Operation(source);
    EXPECT_EQ(counter.Changes, 1);
  }
}

TEST_F(DefaultSourceGL, TheUnbatchedPathOfABehaviourGivesTheSameTextsAndEntries) {
  auto run = [&](TVantrelDefaultMaterialSource* ASource) {
    ASource->SetShadows(true);
    ASource->SetUseTexture0(true);
    ASource->SetReflections(true);
    ASource->SetEnvironment(true);
    ASource->AddBitmap("Extra", TPixelFormatEx::RGBA8, TPixelFormatEx::RGBA, TVantrelTextureDataType::dtUnsignedByte,
                       false, false, false, TContextShaderKind::PixelShader, TVantrelTextureKind::Texture2D);
  };
  TVantrelDefaultMaterialSource* batched = NewSource("A");
  TVantrelDefaultMaterialSource* unbatched = NewSource("B");
  TRecordingBehaviour* behaviour = NewBehaviour("Beh");
  behaviour->HasBlock = false;
  behaviour->AddsNodes = false;
  unbatched->AttachMaterialBehaviour(behaviour);
  run(batched);
  run(unbatched);
  EXPECT_EQ(EntryNames(batched), EntryNames(unbatched));
  EXPECT_EQ(batched->DefaultMaterial()->GetVSShaderSource().Code, unbatched->DefaultMaterial()->GetVSShaderSource().Code);
  EXPECT_EQ(batched->DefaultMaterial()->GetFSShaderSource().Code, unbatched->DefaultMaterial()->GetFSShaderSource().Code);
  EXPECT_EQ(batched->DefaultMaterial()->GetTextures()->Count(), unbatched->DefaultMaterial()->GetTextures()->Count());
}

// Materials with the same class, defines and pool take the texts made before and make no node
// tree. A tree made later for such a material writes those texts again, and a material that
// reached into its tree keeps its texts to itself.
TEST_F(DefaultSourceGL, MaterialsWithTheSameInputsShareTheirTexts) {
  auto prepare = [](TVantrelDefaultMaterialSource* ASource) {
    ASource->SetUseTexture0(true);
    ASource->SetShadows(true);
    ASource->AddBitmap("Extra", TPixelFormatEx::RGBA8, TPixelFormatEx::RGBA, TVantrelTextureDataType::dtUnsignedByte,
                       false, false, false, TContextShaderKind::PixelShader, TVantrelTextureKind::Texture2D);
  };
  auto code = [](const TContextShaderSource& ASource) { return std::string(ASource.Code.begin(), ASource.Code.end()); };
  TVantrelDefaultMaterialSource* first = NewSource("A");
  prepare(first);
  TVantrelDefaultMaterialSource* second = NewSource("B");
  prepare(second);
  TVantrelDefaultMaterial* original = first->DefaultMaterial();
  TVantrelDefaultMaterial* sharing = second->DefaultMaterial();
  const std::string fragment = code(original->GetFSShaderSource());
  ASSERT_NE(fragment.find("uniform sampler2D _Extra;"), std::string::npos);
  EXPECT_FALSE(sharing->GetVertexShaderNode()->TreeBuilt());
  EXPECT_FALSE(sharing->GetFragmentShaderNode()->TreeBuilt());
  EXPECT_EQ(code(sharing->GetVSShaderSource()), code(original->GetVSShaderSource()));
  EXPECT_EQ(code(sharing->GetFSShaderSource()), fragment);
  EXPECT_EQ(sharing->GetFSShaderSource().Variables, original->GetFSShaderSource().Variables);
  EXPECT_EQ(sharing->GetShaderData().Material[0].PoolTextures, original->GetShaderData().Material[0].PoolTextures);

  // The tree made on first use declares the pool's samplers, so it writes the shared text, and a
  // build from a tree handed out gives it again.
  EXPECT_EQ(sharing->GetFragmentShaderNode()->ToString(), fragment);
  EXPECT_TRUE(sharing->GetFragmentShaderNode()->StandardTree());
  ASSERT_NE(sharing->GetFragmentShaderNode()->Globals(), nullptr);
  EXPECT_FALSE(sharing->GetFragmentShaderNode()->StandardTree());
  sharing->Changed();
  EXPECT_EQ(code(sharing->GetFSShaderSource()), fragment);

  // A user function is written into its material's tree only.
  TVantrelDefaultMaterialSource* custom = NewSource("C");
  prepare(custom);
  TStringList lines;
  lines.Add("  // only in C");
  custom->SetSurfaceShader(&lines);
  EXPECT_NE(code(custom->DefaultMaterial()->GetFSShaderSource()).find("// only in C"), std::string::npos);
  TVantrelDefaultMaterialSource* plain = NewSource("D");
  prepare(plain);
  EXPECT_EQ(code(plain->DefaultMaterial()->GetFSShaderSource()), fragment);
}

TEST_F(DefaultSourceGL, AFailingAddBitmapStillDeclaresTheEntriesBeforeIt) {
  TVantrelDefaultMaterialSource* source = NewSource();
  source->DefaultMaterial()->Batched([&] {
    for (int i = 0; i < 16; ++i)
      source->AddBitmap("T" + std::to_string(i), TPixelFormatEx::RGBA8, TPixelFormatEx::RGBA,
                        TVantrelTextureDataType::dtUnsignedByte, false, false, false, TContextShaderKind::PixelShader,
                        TVantrelTextureKind::Texture2D);
  });
  EXPECT_THROW(source->AddBitmap("T16", TPixelFormatEx::RGBA8, TPixelFormatEx::RGBA,
                                 TVantrelTextureDataType::dtUnsignedByte, false, false, false,
                                 TContextShaderKind::PixelShader, TVantrelTextureKind::Texture2D),
               Exception);
  EXPECT_EQ(source->DefaultMaterial()->GetTextures()->Count(), 16);
  const auto& code = source->DefaultMaterial()->GetFSShaderSource().Code;
  const std::string text(code.begin(), code.end());
  EXPECT_NE(text.find("uniform sampler2D _T15;"), std::string::npos);
}

// ---- behaviours ----

TEST_F(DefaultSourceGL, AttachingRunsTheCreateHooksPerStageThenOnAttachedOnce) {
  TVantrelDefaultMaterialSource* source = NewSource();
  TRecordingBehaviour* behaviour = NewBehaviour("Beh");
  source->AttachMaterialBehaviour(behaviour);
  source->AttachMaterialBehaviour(behaviour);
  ASSERT_EQ(source->GetBehaviours()->Count(), 1);
  EXPECT_EQ(source->GetBehaviours()->GetItem(0)->GetDisplayName(), "Src_Beh");
  EXPECT_EQ(Log, (std::vector<std::string>{"Beh.createV", "Beh.createP", "attached", "updateV", "updateP"}));

  // Replacing A by B: A's remove hooks, A detached, then B's create hooks and B attached.
  TRecordingBehaviour* other = NewBehaviour("Other");
  Log.clear();
  source->GetBehaviours()->GetItem(0)->SetBehaviour(other);
  EXPECT_EQ(Log, (std::vector<std::string>{"Beh.removeV", "Beh.removeP", "detached", "Other.createV",
                                           "Other.createP", "attached", "updateV", "updateP"}));
  Log.clear();
  source->GetBehaviours()->GetItem(0)->SetBehaviour(nullptr);
  EXPECT_EQ(Log, (std::vector<std::string>{"Other.removeV", "Other.removeP", "detached"}));
}

TEST_F(DefaultSourceGL, TheBlockRegistersAfterShaderDataAndTheFirstApplyInitialisesOnce) {
  TVantrelDefaultMaterialSource* source = NewSource();
  TRecordingBehaviour* behaviour = NewBehaviour("Beh");
  TRecordingBehaviour* blockless = NewBehaviour("None");
  blockless->HasBlock = false;
  blockless->AddsNodes = false;
  source->AttachMaterialBehaviour(behaviour);
  source->AttachMaterialBehaviour(blockless);
  Frame(source);
  Frame(source);
  TVantrelDefaultMaterial* material = source->DefaultMaterial();
  TShaderProgram* program = TVantrelContext::GetProgram(material->VertexShader(), material->PixelShader());
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(program->IndexOfUniformBuffer("ShaderData"), 0);
  EXPECT_EQ(program->IndexOfUniformBuffer("BehData"), 1);
  EXPECT_EQ(program->UniformBufferCount(), 2);
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "initialize"), 2);
  EXPECT_TRUE(behaviour->GetInitialized());
  EXPECT_EQ(behaviour->Applies, 2);
  EXPECT_EQ(source->GetBehaviours()->GetItem(1)->GetUBO(), nullptr);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(DefaultSourceGL, AFreedBehaviourIsForgottenWhateverItsOwner) {
  TVantrelDefaultMaterialSource* source = NewSource();
  TRecordingBehaviour* owned = NewBehaviour("Owned");
  auto elsewhere = MakeOwned<TComponent>(nullptr);
  TRecordingBehaviour* foreign = NewBehaviour("Foreign", elsewhere.get());
  foreign->AddsNodes = false;
  foreign->HasBlock = false;
  source->AttachMaterialBehaviour(owned);
  source->AttachMaterialBehaviour(foreign);
  Frame(source);
  FreeAndNil(owned);
  elsewhere.reset();
  EXPECT_EQ(source->GetBehaviours()->GetItem(0)->GetBehaviour(), nullptr);
  EXPECT_EQ(source->GetBehaviours()->GetItem(1)->GetBehaviour(), nullptr);
  Frame(source);
}

TEST_F(DefaultSourceGL, DetachingRemovesTheNodesAndTheBlockBeforeFreeingIt) {
  TVantrelDefaultMaterialSource* source = NewSource();
  TRecordingBehaviour* behaviour = NewBehaviour("Beh");
  source->AttachMaterialBehaviour(behaviour);
  Frame(source);
  Log.clear();
  source->DetachMaterialBehaviour(behaviour);
  EXPECT_EQ(source->GetBehaviours()->Count(), 0);
  EXPECT_NE(std::find(Log.begin(), Log.end(), "detached"), Log.end());
  for (int i = 0; i < 3; ++i)
    Frame(source);
  const auto& code = source->DefaultMaterial()->GetFSShaderSource().Code;
  EXPECT_EQ(std::string(code.begin(), code.end()).find("BehData"), std::string::npos);
  TVantrelDefaultMaterial* material = source->DefaultMaterial();
  TShaderProgram* program = TVantrelContext::GetProgram(material->VertexShader(), material->PixelShader());
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(program->IndexOfUniformBuffer("BehData"), -1);
}

TEST_F(DefaultSourceGL, AProgramThatSurvivesARebuildPushesTheNewBlock) {
  TVantrelDefaultMaterialSource* source = NewSource();
  TRecordingBehaviour* behaviour = NewBehaviour("Beh");
  source->AttachMaterialBehaviour(behaviour);
  TVantrelDefaultMaterial* material = source->DefaultMaterial();
  material->SetUseLighting(true);
  Frame(source);
  TShaderProgram* program = TVantrelContext::GetProgram(material->VertexShader(), material->PixelShader());
  ASSERT_NE(program, nullptr);
  const void* firstBlock = source->GetBehaviours()->GetItem(0)->GetUBO();
  // No scene is open, so the rebuild keeps the program; the text is the same, so the shaders and
  // the program come back unchanged while the item takes a new block.
  material->SetUseLighting(true);
  const float tint[4] = {0.25f, 0.5f, 0.75f, 1};
  std::memcpy(behaviour->Tint, tint, sizeof(tint));
  material->Apply(FContext.get());
  material->Apply(FContext.get());
  ASSERT_EQ(TVantrelContext::GetProgram(material->VertexShader(), material->PixelShader()), program);
  const void* block = source->GetBehaviours()->GetItem(0)->GetUBO();
  EXPECT_NE(block, firstBlock);
  PUniformBufferStruct entry = program->GetUniformBufferByName("BehData");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->Data, block);
  GLint buffer = 0;
  glGetIntegeri_v(GL_UNIFORM_BUFFER_BINDING, program->IndexOfUniformBuffer("BehData"), &buffer);
  ASSERT_NE(buffer, 0);
  float bytes[4] = {};
  glBindBuffer(GL_UNIFORM_BUFFER, buffer);
  glGetBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof(bytes), bytes);
  glBindBuffer(GL_UNIFORM_BUFFER, 0);
  EXPECT_EQ(std::memcmp(bytes, tint, sizeof(tint)), 0);
  material->Reset(FContext.get());
}

TEST_F(DefaultSourceGL, AFreedSourceTakesItsProgramAlong) {
  TVantrelDefaultMaterialSource* source = NewSource();
  Frame(source);
  TVantrelDefaultMaterial* material = source->DefaultMaterial();
  TShaderProgram* program = TVantrelContext::GetProgram(material->VertexShader(), material->PixelShader());
  ASSERT_NE(program, nullptr);
  const GLuint name = static_cast<TOpenGLShaderProgram*>(program)->Prog();
  // In use, as after an apply with no draw or scene end behind it.
  program->Use();
  GLint current = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &current);
  ASSERT_EQ(static_cast<GLuint>(current), name);
  const int programs = TVantrelContext::ProgramCount();
  FreeAndNil(source);
  EXPECT_EQ(TVantrelContext::ProgramCount(), programs - 1);
  // The program in use is unbound before it is deleted, so the driver lets it go now instead of
  // keeping it until the next program is used.
  glGetIntegerv(GL_CURRENT_PROGRAM, &current);
  EXPECT_EQ(current, 0);
  EXPECT_EQ(glIsProgram(name), GL_FALSE);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(DefaultSourceGL, BehavioursHaveDistinctBracedUpperCaseIdentities) {
  TRecordingBehaviour* a = NewBehaviour("A");
  TRecordingBehaviour* b = NewBehaviour("B");
  EXPECT_NE(a->GetUniqueID(), b->GetUniqueID());
  EXPECT_NE(a->GetReferenceID(), b->GetReferenceID());
  for (const std::string& id : {a->GetUniqueID(), b->GetUniqueID()}) {
    ASSERT_EQ(id.size(), 38u);
    EXPECT_EQ(id.front(), '{');
    EXPECT_EQ(id[9], '-');
    EXPECT_EQ(id.back(), '}');
    EXPECT_EQ(id, UpperCase(id));
  }
}

// ---- design time ----

TEST_F(DefaultSourceGL, ADesignTimeCompileErrorOpensTheLogOnceUntilTheNextChange) {
  vtest::TLoggingFormRecorder recorder;
  TVantrelDefaultMaterialSource* source = NewSource("Mat1");
  source->SetDesigning(true);
  TStringList broken;
  broken.Add("void SurfaceShader(inout TLocals DATA){");
  broken.Add("  this is not glsl;");
  broken.Add("}");
  source->SetSurfaceShader(&broken);
  Frame(source);
  Frame(source);
  ASSERT_EQ(recorder.Calls().size(), 1u);
  EXPECT_EQ(recorder.Calls()[0].Title, "Mat1 (TVantrelDefaultMaterialSource) - failed to compile shader ...");
  EXPECT_FALSE(recorder.Calls()[0].Message.empty());
  EXPECT_TRUE(recorder.Calls()[0].Reuse);
  EXPECT_TRUE(source->DefaultMaterial()->GetErrorOnBuildingShader());
  source->SetName("");
  source->DefaultMaterial()->UpdateShaderProgram();
  Frame(source);
  ASSERT_EQ(recorder.Calls().size(), 2u);
  EXPECT_EQ(recorder.Calls()[1].Title, "? (TVantrelDefaultMaterialSource) - failed to compile shader ...");
}

TEST_F(DefaultSourceGL, ARunTimeCompileErrorPropagatesAndAFixedTextDrawsAgain) {
  TVantrelDefaultMaterialSource* source = NewSource();
  TStringList lines;
  lines.Add("void SurfaceShader(inout TLocals DATA){");
  lines.Add("  this is not glsl;");
  lines.Add("}");
  source->SetSurfaceShader(&lines);
  EXPECT_ANY_THROW(Frame(source));
  EXPECT_EQ(TVantrelContext::GetCurrentProgram(), nullptr);
  lines.Clear();
  lines.Add("void SurfaceShader(inout TLocals DATA){");
  lines.Add("}");
  source->SetSurfaceShader(&lines);
  Frame(source);
  TVantrelDefaultMaterial* material = source->DefaultMaterial();
  EXPECT_NE(TVantrelContext::GetProgram(material->VertexShader(), material->PixelShader()), nullptr);
}

} // namespace defaultsourcetest
