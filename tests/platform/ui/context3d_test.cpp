#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "rtl/exceptions.h"
#include "rtl/sysutils.h"
#include "ui/bitmap.h"
#include "ui/context3d.h"
#include "ui/material.h"
#include "ui/texture.h"

namespace {

using namespace ui;
using rtl::TMatrix3D;
using rtl::TPoint3D;
using rtl::TVector3D;

// Every hook call of the recording context, in order, across objects (a context whose creation
// fails is gone before the test can look at it).
std::vector<std::string> gJournal;

void Note(const std::string& AEntry) {
  gJournal.push_back(AEntry);
}

class TRecorderClass : public TContext3DClass {
public:
  using TContext3DClass::TContext3DClass;
  bool Valid() const override { return true; }
};

// A context that records its hooks; its scripted failures and answers are public fields.
class TRecorder : public TContext3D {
  RTL_CLASS_META(TRecorder, TContext3D, TRecorderClass)
public:
  TRecorder() = default;

  static inline bool FailCreation = false;
  bool BeginAnswer = true;
  bool FailEndScene = false;
  bool FailBatch = false;
  bool FailCopy = false;
  std::optional<TMatrix3D> ProjectionOverride;

  using TContext3D::FBeginSceneCount;
  using TContext3D::FInvProjectionMatrix;
  using TContext3D::FProjectionMatrix;
  using TContext3D::FRecalcProjectionMatrix;
  using TContext3D::FRecalcScreenMatrix;

  TMatrix3D CurrentProjectionMatrix() override {
    return ProjectionOverride ? *ProjectionOverride : inherited::CurrentProjectionMatrix();
  }

protected:
  void CreateFromTexture(TTexture* ATexture, TMultisample AMultisample, bool ADepthStencil) override {
    inherited::CreateFromTexture(ATexture, AMultisample, ADepthStencil);
    CreateBuffer();
    if (FailCreation)
      throw rtl::EInvalidOperation("creation failed");
  }
  void InitContext() override { Note("InitContext"); }
  void DoCreateBuffer() override { Note("DoCreateBuffer"); }
  void DoFreeBuffer() override { Note("DoFreeBuffer"); }
  void DoResize() override { Note(rtl::Format("DoResize %dx%d", Width(), Height())); }
  bool DoBeginScene() override {
    Note("DoBeginScene");
    return BeginAnswer;
  }
  void DoEndScene() override {
    Note("DoEndScene");
    if (FailEndScene)
      throw EContext3DException("end failed");
  }
  void DoSetContextState(TContextState AState) override { Note(rtl::Format("State %d", int(AState))); }
  void DoClear(TClearTargets ATarget, rtl::TAlphaColor AColor, float ADepth, uint32_t AStencil) override {
    Note(rtl::Format("DoClear %d %x %g %d", int(ATarget.Bits()), AColor, ADepth, AStencil));
  }
  void DoSetStencilOp(TStencilOp AFail, TStencilOp AZFail, TStencilOp AZPass) override {
    Note(rtl::Format("DoSetStencilOp %d %d %d", int(AFail), int(AZFail), int(AZPass)));
  }
  void DoSetStencilFunc(TStencilFunc AFunc, uint32_t ARef, uint32_t AMask) override {
    Note(rtl::Format("DoSetStencilFunc %d %d %x", int(AFunc), ARef, AMask));
  }
  void DoSetScissorRect(const rtl::TRect& ARect) override {
    Note(rtl::Format("DoSetScissorRect %d %d %d %d", ARect.Left, ARect.Top, ARect.Right, ARect.Bottom));
  }
  void DoDrawPrimitivesBatch(TPrimitivesKind AKind, const void* AVertices, const void* AIndices,
                             const TVertexDeclaration& ADeclaration, int32_t AVertexSize,
                             int32_t AVertexCount, int32_t AIndexSize, int32_t AIndexCount) override {
    Note(rtl::Format("Batch %d %p %p %d %d %d %d %d (opacity %g)", int(AKind), AVertices, AIndices,
                     int(ADeclaration.size()), AVertexSize, AVertexCount, AIndexSize, AIndexCount,
                     CurrentOpacity()));
    if (FailBatch)
      throw EContext3DException("draw failed");
  }
  void DoSetShaders(TContextShader* AVertexShader, TContextShader* APixelShader) override {
    Note(rtl::Format("DoSetShaders %p %p", AVertexShader, APixelShader));
  }
  void DoSetShaderVariable(const std::string& AName, std::span<const TVector3D> AData) override {
    Note(rtl::Format("Vectors %s %d", AName, int(AData.size())));
  }
  void DoSetShaderVariable(const std::string& AName, const TMatrix3D& AMatrix) override {
    Note(rtl::Format("Matrix %s %g", AName, AMatrix.m41));
  }
  void DoSetShaderVariable(const std::string& AName, TTexture* ATexture) override {
    Note(rtl::Format("Texture %s %p", AName, static_cast<const void*>(ATexture)));
  }
  void DoCopyToBits(void* ABits, int32_t APitch, const rtl::TRect& ARect) override {
    Note(rtl::Format("DoCopyToBits %d %d %d", APitch, ARect.Width(), ARect.Height()));
    if (ABits)
      static_cast<uint32_t*>(ABits)[1] = 0xFF102030;
    if (FailCopy)
      throw EContext3DException("read-back failed");
  }
};
RTL_DEFINE_CLASS_META(TRecorder, "Test.Context3D", TRecorderClass)

class TRecordingMaterial : public TMaterial {
protected:
  void DoApply(TContext3D*) override { Note("Apply"); }
  void DoReset(TContext3D*) override { Note("Reset"); }
};

// Each test starts with an empty journal and the recorder as the only registered class.
class Context3D : public ::testing::Test {
protected:
  void SetUp() override {
    gJournal.clear();
    TRecorder::FailCreation = false;
    TContextManager::UnregisterContexts();
    TContextManager::RegisterContext(TRecorder::StaticClass(), true);
    FTexture.reset(rtl::New<TTexture>());
    FTexture->SetSize(640, 480);
    FContext.reset(rtl::CheckedCast<TRecorder>(
        TContextManager::CreateFromTexture(FTexture.get(), TMultisample::FourSamples, true)));
    gJournal.clear();
  }
  void TearDown() override {
    FContext.reset();
    TContextManager::UnregisterContexts();
  }

  rtl::TOwned<TTexture> FTexture;
  rtl::TOwned<TRecorder> FContext;
};

TEST_F(Context3D, ManagerCreatesTheDefaultClassInTwoPhases) {
  gJournal.clear();
  rtl::TOwned<TTexture> texture(rtl::New<TTexture>());
  texture->SetSize(256, 128);
  rtl::TOwned<TContext3D> context(
      TContextManager::CreateFromTexture(texture.get(), TMultisample::TwoSamples, true));
  EXPECT_EQ(context->ClassName(), "TRecorder");
  EXPECT_TRUE(context->ContextClass().Valid());
  EXPECT_EQ(gJournal, (std::vector<std::string>{"InitContext", "DoCreateBuffer"}));
  EXPECT_EQ(context->Width(), 256);
  EXPECT_EQ(context->Height(), 128);
  EXPECT_EQ(context->Texture(), texture.get());
  EXPECT_EQ(context->Multisample(), TMultisample::TwoSamples);
  EXPECT_TRUE(context->DepthStencil());
  context.reset();
  EXPECT_EQ(gJournal.back(), "DoFreeBuffer");

  rtl::TOwned<TContext3D> windowed(
      TRecorder::StaticClass().CreateFromWindow(42, 320, 200, TMultisample::None, false));
  EXPECT_EQ(windowed->Parent(), 42u);
  EXPECT_EQ(windowed->Width(), 320);
  EXPECT_EQ(windowed->Height(), 200);
  EXPECT_EQ(windowed->Texture(), nullptr);
}

TEST_F(Context3D, FailedCreationBodyFreesThePartlyBuiltContext) {
  TRecorder::FailCreation = true;
  EXPECT_THROW(TContextManager::CreateFromTexture(FTexture.get(), TMultisample::None, false),
               rtl::EInvalidOperation);
  EXPECT_EQ(gJournal, (std::vector<std::string>{"InitContext", "DoCreateBuffer", "DoFreeBuffer"}));
}

TEST_F(Context3D, ManagerWithoutDefaultClassRaisesAndRegistrationPicksTheDefault) {
  TContextManager::UnregisterContexts();
  const std::vector<std::function<void()>> calls = {
      [&] { TContextManager::CreateFromTexture(FTexture.get(), TMultisample::None, false); },
      [&] { TContextManager::CreateFromWindow(0, 1, 1, TMultisample::None, false); },
      [&] { TContextManager::InitializeTexture(FTexture.get()); },
      [&] { TContextManager::FinalizeTexture(FTexture.get()); },
      [&] { TContextManager::UpdateTexture(FTexture.get(), nullptr, 0); },
      [&] { TContextManager::InitializeShader(nullptr); },
      [&] { TContextManager::FinalizeShader(nullptr); },
  };
  for (const auto& call : calls) {
    try {
      call();
      ADD_FAILURE() << "no exception";
    } catch (const EContext3DException& E) {
      EXPECT_EQ(E.Message(), messages::NoDefaultContextClass);
    }
  }

  TRecorderClass other("TOther", "Test.Context3D", &TContext3D::StaticClass(), nullptr);
  EXPECT_EQ(TContextManager::DefaultContextClass(), nullptr);
  TContextManager::RegisterContext(other, false);
  EXPECT_EQ(TContextManager::DefaultContextClass(), &other);
  TContextManager::RegisterContext(TRecorder::StaticClass(), false);
  EXPECT_EQ(TContextManager::DefaultContextClass(), &other);
  TContextManager::RegisterContext(TRecorder::StaticClass(), true);
  EXPECT_EQ(TContextManager::DefaultContextClass(), &TRecorder::StaticClass());
}

TEST_F(Context3D, BaseClassLevelQueriesAreAbstract) {
  const TContext3DClass& base = TContext3D::StaticClass();
  EXPECT_TRUE(base.IsAbstract());
  const std::vector<std::function<void()>> calls = {
      [&] { base.Valid(); },
      [&] { base.Style(); },
      [&] { base.MaxLightCount(); },
      [&] { base.MaxTextureSize(); },
      [&] { base.TextureUnitCount(); },
      [&] { base.PixelFormat(); },
      [&] { base.IndexBufferSupport(); },
      [&] { base.InitializeTexture(nullptr); },
      [&] { base.DoFinalizeTexture(nullptr); },
      [&] { base.UpdateTexture(nullptr, nullptr, 0); },
      [&] { base.InitializeShader(nullptr); },
      [&] { base.DoFinalizeShader(nullptr); },
      [&] { base.CreateFromTexture(nullptr, TMultisample::None, false); },
  };
  for (const auto& call : calls)
    EXPECT_THROW(call(), rtl::EAbstractError);
}

TEST_F(Context3D, ScenesNestAndOnlyTheOutermostReachesTheHooks) {
  EXPECT_TRUE(FContext->BeginScene());
  EXPECT_TRUE(FContext->BeginScene());
  FContext->EndScene();
  FContext->EndScene();
  FContext->EndScene(); // unmatched: the count stays at 0
  EXPECT_EQ(gJournal, (std::vector<std::string>{"DoBeginScene", "DoEndScene"}));
  EXPECT_EQ(FContext->FBeginSceneCount, 0);

  gJournal.clear();
  FContext->BeginAnswer = false;
  EXPECT_FALSE(FContext->BeginScene());
  EXPECT_EQ(FContext->FBeginSceneCount, 0);
  FContext->BeginAnswer = true;

  FContext->FailEndScene = true;
  EXPECT_TRUE(FContext->BeginScene());
  EXPECT_THROW(FContext->EndScene(), EContext3DException);
  EXPECT_EQ(FContext->FBeginSceneCount, 0);
  EXPECT_TRUE(FContext->BeginScene());
  EXPECT_EQ(gJournal,
            (std::vector<std::string>{"DoBeginScene", "DoBeginScene", "DoEndScene", "DoBeginScene"}));
}

TEST_F(Context3D, CurrentContextFollowsTheOutermostScenesAndRestoresThePrevious) {
  TTexture* texture = FTexture.get();
  rtl::TOwned<TRecorder> other(rtl::CheckedCast<TRecorder>(
      TContextManager::CreateFromTexture(texture, TMultisample::None, false)));
  EXPECT_EQ(TContext3D::CurrentContext(), nullptr);
  ASSERT_TRUE(FContext->BeginScene());
  ASSERT_TRUE(other->BeginScene());
  ASSERT_TRUE(other->BeginScene());
  EXPECT_EQ(TContext3D::CurrentContext(), other.get());
  other->EndScene();
  EXPECT_EQ(TContext3D::CurrentContext(), other.get());
  other->EndScene();
  EXPECT_EQ(TContext3D::CurrentContext(), FContext.get());

  // A refused scene does not become current; a raising end still restores.
  other->BeginAnswer = false;
  EXPECT_FALSE(other->BeginScene());
  EXPECT_EQ(TContext3D::CurrentContext(), FContext.get());
  FContext->FailEndScene = true;
  EXPECT_THROW(FContext->EndScene(), EContext3DException);
  EXPECT_EQ(TContext3D::CurrentContext(), nullptr);

  // A context freed inside its scene hands back the one before it.
  FContext->FailEndScene = false;
  ASSERT_TRUE(FContext->BeginScene());
  other->BeginAnswer = true;
  ASSERT_TRUE(other->BeginScene());
  other.reset();
  EXPECT_EQ(TContext3D::CurrentContext(), FContext.get());
  FContext->EndScene();
  EXPECT_EQ(TContext3D::CurrentContext(), nullptr);
}

TEST_F(Context3D, ContextStatesReplaceTheirGroupAndPopReappliesThem) {
  using S = TContextState;
  struct TCase {
    std::vector<S> Set;
    TContextStates Recorded;
  };
  const TCase cases[] = {
      {{S::cs2DScene, S::cs3DScene}, {S::cs3DScene}},
      {{S::csZTestOn, S::csZWriteOn, S::csZTestOff}, {S::csZTestOff, S::csZWriteOn}},
      {{S::csAlphaBlendOff, S::csStencilOn, S::csColorWriteOff, S::csScissorOn, S::csAlphaBlendOn},
       {S::csAlphaBlendOn, S::csStencilOn, S::csColorWriteOff, S::csScissorOn}},
      {{S::csFrontFace, S::csAllFace, S::csBackFace}, {S::csBackFace}},
      {{S::csScissorOn, S::csScissorOff, S::csStencilOff}, {S::csStencilOff, S::csScissorOff}},
  };
  for (const TCase& c : cases) {
    FContext.reset(rtl::CheckedCast<TRecorder>(
        TContextManager::CreateFromTexture(FTexture.get(), TMultisample::None, false)));
    gJournal.clear();
    for (S state : c.Set)
      FContext->SetContextState(state);
    EXPECT_EQ(FContext->CurrentStates(), c.Recorded);
    EXPECT_EQ(gJournal.size(), c.Set.size()) << "each state is applied once";
  }

  FContext->PushContextStates();
  FContext->SetContextState(S::csStencilOn);
  FContext->SetContextState(S::cs2DScene);
  EXPECT_EQ(FContext->ContextStatesDepth(), 1);
  gJournal.clear();
  FContext->PopContextStates();
  EXPECT_EQ(FContext->CurrentStates(), (TContextStates{S::csStencilOff, S::csScissorOff}));
  EXPECT_EQ(gJournal, (std::vector<std::string>{"State 9", "State 13"}));
  EXPECT_EQ(FContext->ContextStatesDepth(), 0);
  EXPECT_THROW(FContext->PopContextStates(), rtl::EListError);
}

TEST_F(Context3D, OperationsReachTheirHooks) {
  const TVector3D vectors[3] = {};
  TMatrix3D matrix = TMatrix3D::Identity();
  matrix.m41 = 7;
  struct TCase {
    std::function<void()> Call;
    std::string Expected;
  };
  const TCase cases[] = {
      {[&] {
         FContext->Clear({TClearTarget::Color, TClearTarget::Stencil}, 0xFF00FF00, 0.5f, 3);
       },
       "DoClear 5 FF00FF00 0.5 3"},
      {[&] { FContext->SetStencilOp(TStencilOp::Zero, TStencilOp::Invert, TStencilOp::Replace); },
       "DoSetStencilOp 1 5 2"},
      {[&] { FContext->SetStencilFunc(TStencilFunc::NotEqual, 4, 0xFF); }, "DoSetStencilFunc 6 4 FF"},
      {[&] {
         FContext->SetScissorRect({1, 2, 30, 40});
       },
       "DoSetScissorRect 1 2 30 40"},
      {[&] { FContext->SetShaders(nullptr, nullptr); }, "DoSetShaders 0000000000000000 0000000000000000"},
      {[&] { FContext->SetShaderVariable("v", vectors); }, "Vectors v 3"},
      {[&] { FContext->SetShaderVariable("m", matrix); }, "Matrix m 7"},
      {[&] { FContext->SetShaderVariable("t", static_cast<TTexture*>(nullptr)); },
       "Texture t 0000000000000000"},
      {[&] {
         FContext->CopyToBits(nullptr, 256, {0, 0, 64, 32});
       },
       "DoCopyToBits 256 64 32"},
  };
  for (const TCase& c : cases) {
    gJournal.clear();
    c.Call();
    EXPECT_EQ(gJournal, std::vector<std::string>{c.Expected});
  }
}

TEST_F(Context3D, ResizeFlagsBothMatricesOnlyOnAChange) {
  FContext->CurrentProjectionMatrix();
  FContext->CurrentScreenMatrix();
  FContext->SetSize(640, 480);
  EXPECT_TRUE(gJournal.empty());
  EXPECT_FALSE(FContext->FRecalcProjectionMatrix || FContext->FRecalcScreenMatrix);
  FContext->SetSize(320, 480);
  EXPECT_EQ(gJournal, std::vector<std::string>{"DoResize 320x480"});
  EXPECT_TRUE(FContext->FRecalcProjectionMatrix && FContext->FRecalcScreenMatrix);
}

bool AllFinite(const TMatrix3D& AMatrix) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      if (!std::isfinite(AMatrix(r, c)))
        return false;
  return true;
}

TEST_F(Context3D, ProjectionMatrixUsesAngleAspectOffsetAndRenderTo) {
  const TMatrix3D p = FContext->CurrentProjectionMatrix();
  EXPECT_NEAR(p.m11, 1.8106602, 1e-6);
  EXPECT_NEAR(p.m22, 2.4142136, 1e-6);
  EXPECT_NEAR(p.m33, -1.001001, 1e-6);
  EXPECT_EQ(p.m34, -1);
  EXPECT_NEAR(p.m43, -1.001001, 1e-6);
  EXPECT_EQ(FContext->FInvProjectionMatrix, p.Inverse());

  FContext->SetCenterOffset({10, 20});
  const TMatrix3D shifted = FContext->CurrentProjectionMatrix();
  EXPECT_FLOAT_EQ(shifted.m31, -10);
  EXPECT_FLOAT_EQ(shifted.m32, -20);

  FContext->SetCenterOffset({0, 0});
  TMatrix3D renderTo = TMatrix3D::Identity();
  renderTo.m11 = 2;
  FContext->SetRenderToMatrix(renderTo);
  EXPECT_FLOAT_EQ(FContext->CurrentProjectionMatrix().m11, 2 * p.m11);
  EXPECT_EQ(FContext->CurrentScreenMatrix(), renderTo);

  FContext->SetRenderToMatrix(TMatrix3D::Identity());
  FContext->SetCameraAngleOfView(90);
  EXPECT_NEAR(FContext->CurrentProjectionMatrix().m22, 1.0, 1e-6);
  FContext->SetSize(640, 0);
  const TMatrix3D flat = FContext->CurrentProjectionMatrix();
  EXPECT_FLOAT_EQ(flat.m11, flat.m22) << "aspect 1";
}

TEST_F(Context3D, ScreenMatrixMapsPixelsOntoTheViewport) {
  const TMatrix3D screen = FContext->CurrentScreenMatrix();
  struct TCase {
    TPoint3D Pixel;
    float X, Y;
  };
  const TCase cases[] = {{{0, 0, 0}, -1, 1}, {{640, 480, 0}, 1, -1}, {{320, 240, 0}, 0, 0}};
  for (const TCase& c : cases) {
    const TPoint3D device = (TVector3D{c.Pixel.X, c.Pixel.Y, c.Pixel.Z, 1} * screen).ToPoint3D();
    EXPECT_NEAR(device.X, c.X, 1e-5);
    EXPECT_NEAR(device.Y, c.Y, 1e-5);
  }
}

TEST_F(Context3D, DegenerateSizesGiveFiniteMatrices) {
  const std::pair<int, int> sizes[] = {{0, 480}, {640, 0}, {0, 0}};
  for (const auto& [width, height] : sizes) {
    FContext->SetSize(width, height);
    const TMatrix3D projection = FContext->CurrentProjectionMatrix();
    const TMatrix3D screen = FContext->CurrentScreenMatrix();
    EXPECT_TRUE(AllFinite(projection) && AllFinite(projection.Inverse())) << width << "x" << height;
    EXPECT_TRUE(AllFinite(screen) && AllFinite(screen.Inverse())) << width << "x" << height;
  }
}

TEST_F(Context3D, ModelViewProjectionTakesTheVirtualProjection) {
  TMatrix3D projection = TMatrix3D::CreateScaling({2, 3, 4});
  FContext->ProjectionOverride = projection;
  FContext->SetMatrix(TMatrix3D::CreateTranslation({1, 0, 0}));
  FContext->SetCameraMatrix(TMatrix3D::CreateScaling({5, 5, 5}));
  const TPoint3D p = TPoint3D{1, 1, 1} * FContext->CurrentModelViewProjectionMatrix();
  EXPECT_EQ(p, (TPoint3D{20, 15, 20}));
}

TEST_F(Context3D, PickAndWorldToScreenAreInverses) {
  FContext->SetCameraMatrix(TMatrix3D::CreateTranslation({0, 0, -10}));
  TVector3D pos, dir;
  FContext->Pick(320, 240, TProjection::Camera, pos, dir);
  EXPECT_NEAR(pos.X, 0, 1e-4);
  EXPECT_NEAR(pos.Y, 0, 1e-4);
  EXPECT_NEAR(pos.Z, 10, 1e-4);
  EXPECT_EQ(pos.W, 1);
  EXPECT_NEAR(dir.Z, -1, 1e-6);
  EXPECT_EQ(dir.W, 0);

  // A stale cached inverse must not matter: the ray comes from the current matrices.
  FContext->CurrentProjectionMatrix();
  FContext->FProjectionMatrix = TMatrix3D::CreatePerspectiveFovRH(0.5f, 1.5f, 0.1f, 100);
  FContext->FInvProjectionMatrix = TMatrix3D::Identity();
  FContext->SetCameraMatrix(TMatrix3D::CreateRotationYawPitchRoll(0.3f, -0.2f, 0.1f) *
                            TMatrix3D::CreateTranslation({1, -2, -12}));

  const rtl::TPointF pixels[] = {{0, 0}, {639, 0}, {17, 400}, {320, 240}, {600, 479}};
  for (TProjection projection : {TProjection::Camera, TProjection::Screen}) {
    for (const rtl::TPointF& pixel : pixels) {
      FContext->Pick(pixel.X, pixel.Y, projection, pos, dir);
      EXPECT_NEAR(std::hypot(dir.X, dir.Y, dir.Z), 1, 1e-5);
      // Points at scene depth: the eye's own distance from the origin scales the ray.
      const float reach = std::hypot(pos.X, pos.Y, pos.Z);
      for (float distance : {0.5f * reach, reach, 2 * reach}) {
        const TPoint3D onRay{pos.X + distance * dir.X, pos.Y + distance * dir.Y, pos.Z + distance * dir.Z};
        const TPoint3D back = FContext->WorldToScreen(projection, onRay);
        EXPECT_NEAR(back.X, pixel.X, 0.02) << int(projection) << " " << distance;
        EXPECT_NEAR(back.Y, pixel.Y, 0.02) << int(projection) << " " << distance;
      }
    }
  }
}

TEST_F(Context3D, DrawPrimitivesBracketsTheBatchWithTheMaterial) {
  TRecordingMaterial material;
  const uint8_t vertices[4] = {}, indices[4] = {};
  const TVertexDeclaration declaration{{TVertexFormat::Vertex, 0}, {TVertexFormat::Normal, 12}};
  // Ordinal 6 is a framework primitive kind beyond the protocol's three; it passes through.
  FContext->DrawPrimitives(TPrimitivesKind(6), vertices, indices, declaration, 24, 3, 4, 5, &material, 0.25f);
  const std::string batch =
      rtl::Format("Batch 6 %p %p 2 24 3 4 5 (opacity 0.25)", static_cast<const void*>(vertices),
                  static_cast<const void*>(indices));
  EXPECT_EQ(gJournal, (std::vector<std::string>{"Apply", batch, "Reset"}));
  EXPECT_EQ(FContext->CurrentOpacity(), 0.25f);

  gJournal.clear();
  FContext->FailBatch = true;
  EXPECT_THROW(FContext->DrawPrimitives(TPrimitivesKind::Triangles, vertices, indices, declaration, 24, 3, 4,
                                        5, &material, 1),
               EContext3DException);
  EXPECT_EQ(gJournal.size(), 3u);
  EXPECT_EQ(gJournal.back(), "Reset");

  gJournal.clear();
  EXPECT_THROW(FContext->DrawPrimitives(TPrimitivesKind::Lines, nullptr, nullptr, {}, 0, 0, 0, 0, nullptr, 1),
               EContext3DException);
  EXPECT_EQ(gJournal.size(), 1u);
}

TEST_F(Context3D, CopyToBitmapReadsIntoTheMappedBitmap) {
  rtl::TOwned<TBitmap> bitmap(rtl::New<TBitmap>(4, 3));
  FContext->CopyToBitmap(bitmap.get(), {0, 0, 4, 3});
  EXPECT_EQ(gJournal, std::vector<std::string>{"DoCopyToBits 16 4 3"});
  EXPECT_FALSE(bitmap->IsMapped());
  TBitmapData data;
  ASSERT_TRUE(bitmap->Map(TMapAccess::Read, data));
  EXPECT_EQ(data.GetPixel(1, 0), 0xFF102030u);
  bitmap->Unmap(data);

  EXPECT_THROW(FContext->CopyToBitmap(bitmap.get(), {0, 0, 5, 3}), rtl::EArgumentOutOfRangeException);
  FContext->FailCopy = true;
  EXPECT_THROW(FContext->CopyToBitmap(bitmap.get(), {0, 0, 4, 3}), EContext3DException);
  EXPECT_FALSE(bitmap->IsMapped());

  gJournal.clear();
  FContext->CopyToBitmap(nullptr, {0, 0, 4, 3});
  EXPECT_TRUE(gJournal.empty());
}

} // namespace
