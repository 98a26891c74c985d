#include <gtest/gtest.h>

#include "support/canvas_probe.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "context/Vantrel.Context.h"
#include "rtl/ioutils.h"
#include "support/fake_frame_buffer.h"
#include "support/log_capture.h"
#include "support/recording_context.h"
#include "ui/bitmap.h"
#include "ui/canvas.h"
#include "ui/material.h"
#include "ui/texture.h"

namespace {

using namespace vantrel;
using vtest::TFakeFrameBuffer;
using vtest::TRecordingContext;
using vtest::TRecordingContextClass;


int IndexOf(const std::vector<std::string>& ACalls, const std::string& ACall) {
  const auto found = std::find(ACalls.begin(), ACalls.end(), ACall);
  return found == ACalls.end() ? -1 : int(found - ACalls.begin());
}

// The calls that begin with APrefix, in order.
std::vector<std::string> CallsOf(const std::vector<std::string>& ACalls, const std::string& APrefix) {
  std::vector<std::string> result;
  for (const std::string& call : ACalls)
    if (call.starts_with(APrefix))
      result.push_back(call);
  return result;
}

TOwned<TTexture> MakeTexture(int32_t AWidth, int32_t AHeight) {
  TOwned<TTexture> texture(New<TTexture>());
  texture->SetSize(AWidth, AHeight);
  return texture;
}

class VantrelContextTest : public ::testing::Test {
protected:
  void SetUp() override { Recorder = &TRecordingContext::Register(); }
  void TearDown() override {
    Context.reset();
    TContextManager::UnregisterContexts();
    ContextShared().Reset();
  }

  TRecordingContext& Make(TMultisample AMultisample = TMultisample::None) {
    Context = TRecordingContext::Create(Texture.get(), AMultisample);
    return *Context;
  }

  TRecordingContextClass* Recorder = nullptr;
  TOwned<TTexture> Texture = MakeTexture(256, 128);
  TOwned<TRecordingContext> Context;
};

// ---- Creation ---------------------------------------------------------------------------------------

TEST_F(VantrelContextTest, CreatesFromTextureThroughTheManager) {
  ContextShared().DefaultFarPlane = 500;
  TRecordingContext& context = Make();

  EXPECT_EQ(&context.ClassType(), &TRecordingContext::StaticClass());
  const int init = IndexOf(context.Calls, "InitContext");
  ASSERT_GE(init, 0);
  EXPECT_LT(init, IndexOf(context.Calls, "DoCreateBuffer"));
  EXPECT_FLOAT_EQ(context.GetNearPlane(), 0.1f);
  EXPECT_FLOAT_EQ(context.GetFarPlane(), 500);
  EXPECT_EQ(context.Width(), 256);
  EXPECT_EQ(context.Height(), 128);
  EXPECT_EQ(context.GetPointThreshold(), 5);
  EXPECT_EQ(context.GetPointSizeMin(), 1);
  EXPECT_EQ(context.GetPointSizeMax(), 512);
  EXPECT_EQ(context.GetDefaultTexture(), Texture.get());
  EXPECT_EQ(context.GetCurrentTexture(), Texture.get());
  EXPECT_NE(context.GetTranslucentBuf(), nullptr);
  EXPECT_EQ(context.GetDefaultMSFrameBuf(), nullptr);
}

TEST_F(VantrelContextTest, StartsWithTheProcessDefaultPlanes) {
  EXPECT_FLOAT_EQ(Make().GetFarPlane(), 10000);
}

TEST_F(VantrelContextTest, InvalidClassRaisesAndFreesThePartlyBuiltContext) {
  Recorder->ValidAnswer = false;
  try {
    Make();
    FAIL() << "no exception";
  } catch (const EContext3DException&) {
    FAIL() << "a context exception";
  } catch (const Exception& AError) {
    EXPECT_EQ(AError.Message(), "TVantrelContext.CreateFromTexture failed - invalid context");
  }
  EXPECT_EQ(Context, nullptr);
}

// ---- Scene bracket ------------------------------------------------------------------------------------

struct TSceneRig {
  TRecordingContext& Context;
  TRecordingContextClass& Recorder;
  TOwned<TFakeFrameBuffer> CallerBuffer;
  TOwned<TTexture> CallerTexture;
  TOwned<TRecordingContext> Second;
};

struct TSceneCase {
  const char* Name;
  TMultisample Multisample;
  std::function<void(TSceneRig&)> Act;
  int BeginHooks;
  int EndHooks;
  std::vector<std::string> ContextSizes;
  int FBOStackAfter;
};

void PrintTo(const TSceneCase& ACase, std::ostream* AStream) {
  *AStream << ACase.Name;
}

class SceneBracketTest : public VantrelContextTest, public ::testing::WithParamInterface<TSceneCase> {};

TEST_P(SceneBracketTest, LeavesLockCountsAndStackBalanced) {
  const TSceneCase& row = GetParam();
  TSceneRig rig{Make(row.Multisample), *Recorder, nullptr, nullptr, nullptr};

  row.Act(rig);

  EXPECT_EQ(rig.Context.CallCount("DoBeginScene"), row.BeginHooks);
  EXPECT_EQ(rig.Context.CallCount("DoEndScene"), row.EndHooks);
  EXPECT_EQ(CallsOf(rig.Context.Calls, "SetContextSize"), row.ContextSizes);
  EXPECT_TRUE(vtest::CanvasFreeForOtherThread());
  EXPECT_EQ(ContextShared().SceneCount, 0);
  EXPECT_EQ(rig.Context.BeginSceneCount(), 0);
  EXPECT_FALSE(rig.Context.DefaultBufferFallbackBind());
  EXPECT_EQ(rig.Context.FBOStackCount(), row.FBOStackAfter);
}

const std::string FullViewport = "SetContextSize 0 0 256 128";
const std::string OldViewport = "SetContextSize 0 0 0 0";

// The viewport calls of AFrames plain scenes: the full viewport at begin, the saved one at end.
std::vector<std::string> Frames(int AFrames) {
  std::vector<std::string> result;
  for (int frame = 0; frame < AFrames; ++frame) {
    result.push_back(FullViewport);
    result.push_back(OldViewport);
  }
  return result;
}

void ExpectEndRaises(TRecordingContext& AContext, const std::string& AMessage) {
  try {
    AContext.EndSceneRendering();
    FAIL() << "no exception";
  } catch (const EContext3DException& AError) {
    EXPECT_EQ(AError.Message(), AMessage);
  }
}

const TSceneCase SceneCases[] = {
    {"BeginAndEnd", TMultisample::None,
     [](TSceneRig& ARig) {
       ASSERT_TRUE(ARig.Context.BeginSceneRendering());
       EXPECT_FALSE(vtest::CanvasFreeForOtherThread());
       EXPECT_EQ(ContextShared().SceneCount, 1);
       EXPECT_EQ(ARig.Context.GetCurrentlyBoundBuffer(), ARig.Context.GetDefaultFrameBuf());
       EXPECT_TRUE(ARig.Context.DefaultBufferFallbackBind());
       ARig.Context.EndSceneRendering();
       EXPECT_EQ(ARig.Context.DefaultFake()->Calls(), (std::vector<std::string>{"Bind", "Unbind"}));
     },
     1, 1, Frames(1), 0},
    {"NestedBeginsRunTheHooksOnce", TMultisample::None,
     [](TSceneRig& ARig) {
       ASSERT_TRUE(ARig.Context.BeginSceneRendering());
       EXPECT_EQ(TContext3D::CurrentContext(), &ARig.Context);
       ASSERT_TRUE(ARig.Context.BeginSceneRendering());
       EXPECT_EQ(ARig.Context.BeginSceneCount(), 2);
       ARig.Context.EndSceneRendering();
       EXPECT_FALSE(vtest::CanvasFreeForOtherThread());
       EXPECT_EQ(TContext3D::CurrentContext(), &ARig.Context);
       ARig.Context.EndSceneRendering();
       EXPECT_EQ(TContext3D::CurrentContext(), nullptr);
     },
     1, 1, Frames(1), 0},
    {"InvalidClassAnswersFalse",
     TMultisample::None,
     [](TSceneRig& ARig) {
       ARig.Recorder.ValidAnswer = false;
       EXPECT_FALSE(ARig.Context.BeginSceneRendering());
     },
     1,
     0,
     {},
     0},
    {"ErrorAtBegin",
     TMultisample::None,
     [](TSceneRig& ARig) {
       ARig.Recorder.ErrorCodes = {1282};
       vtest::TLogCapture log;
       try {
         ARig.Context.BeginSceneRendering();
         FAIL() << "no exception";
       } catch (const EContext3DException& AError) {
         EXPECT_EQ(AError.Message(), "cannot begin rendering scene for TRecordingContext: 1282");
       }
       EXPECT_EQ(log.Lines(),
                 (std::vector<std::string>{
                     "[Context Exception]: cannot begin rendering scene for TRecordingContext: 1282"}));
     },
     1,
     0,
     {FullViewport},
     0},
    {"ErrorAtEndStillClosesTheScene", TMultisample::None,
     [](TSceneRig& ARig) {
       ARig.Recorder.ErrorCodes = {0, 1282};
       vtest::TLogCapture log;
       ASSERT_TRUE(ARig.Context.BeginSceneRendering());
       ExpectEndRaises(ARig.Context, "cannot end rendering scene for TRecordingContext: 1282");
       EXPECT_EQ(ARig.Context.FBOStackCount(), 0);
       ASSERT_TRUE(ARig.Context.BeginSceneRendering());
       ARig.Context.EndSceneRendering();
     },
     2, 2, Frames(2), 0},
    {"MultisampleBufferIsBound", TMultisample::TwoSamples,
     [](TSceneRig& ARig) {
       ASSERT_TRUE(ARig.Context.BeginSceneRendering());
       EXPECT_EQ(ARig.Context.GetCurrentlyBoundBuffer(), ARig.Context.GetDefaultMSFrameBuf());
       ARig.Context.EndSceneRendering();
       EXPECT_EQ(ARig.Context.MultisampleFake()->Calls(), (std::vector<std::string>{"Bind", "Unbind"}));
       EXPECT_TRUE(ARig.Context.DefaultFake()->Calls().empty());
     },
     1, 1, Frames(1), 0},
    {"CallerBoundBufferStays",
     TMultisample::None,
     [](TSceneRig& ARig) {
       ARig.CallerTexture = MakeTexture(64, 32);
       ARig.CallerBuffer.reset(New<TFakeFrameBuffer>("caller", ARig.CallerTexture.get()));
       ARig.CallerBuffer->Bind(&ARig.Context);
       ASSERT_TRUE(ARig.Context.BeginSceneRendering());
       EXPECT_EQ(ARig.Context.GetCurrentlyBoundBuffer(), ARig.CallerBuffer.get());
       ARig.Context.EndSceneRendering();
       EXPECT_EQ(ARig.Context.GetCurrentlyBoundBuffer(), ARig.CallerBuffer.get());
       EXPECT_TRUE(ARig.Context.DefaultFake()->Calls().empty());
     },
     1,
     1,
     {"SetContextSize 0 0 64 32", OldViewport},
     1},
    {"NoCurrentTextureUsesTheScaledSize",
     TMultisample::None,
     [](TSceneRig& ARig) {
       ARig.CallerBuffer.reset(New<TFakeFrameBuffer>("caller", nullptr));
       ARig.CallerBuffer->Bind(&ARig.Context);
       ARig.Context.SetScale(1.5f);
       ASSERT_TRUE(ARig.Context.BeginSceneRendering());
       ARig.Context.EndSceneRendering();
     },
     1,
     1,
     {"SetContextSize 0 0 384 192", OldViewport},
     1},
    {"SecondContextRestoresItsStates", TMultisample::None,
     [](TSceneRig& ARig) {
       ARig.Second = TRecordingContext::Create(nullptr);
       TRecordingContext& second = *ARig.Second;
       second.SetContextState(TContextState::csZTestOn);
       for (int frame = 0; frame < 100; ++frame) {
         ASSERT_TRUE(ARig.Context.BeginSceneRendering());
         ASSERT_TRUE(second.BeginSceneRendering());
         EXPECT_EQ(second.ContextStatesDepth(), 1);
         second.SetContextState(TContextState::csZTestOff);
         second.EndSceneRendering();
         EXPECT_EQ(second.ContextStatesDepth(), 0);
         EXPECT_EQ(second.CurrentStates(), TContextStates{TContextState::csZTestOn});
         ARig.Context.EndSceneRendering();
       }
       EXPECT_EQ(ARig.Context.ContextStatesDepth(), 0);
       EXPECT_EQ(second.Calls.back(), "DoSetContextState csZTestOn 0");
     },
     100, 100, Frames(100), 0},
};

INSTANTIATE_TEST_SUITE_P(Rows, SceneBracketTest, ::testing::ValuesIn(SceneCases),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(VantrelContextTest, SecondContextStatesArePoppedWhenItsEndRaises) {
  TRecordingContext& first = Make();
  auto second = TRecordingContext::Create(nullptr);
  ASSERT_TRUE(first.BeginSceneRendering());
  Recorder->ErrorCodes = {0, 1282};
  ASSERT_TRUE(second->BeginSceneRendering());
  EXPECT_EQ(second->ContextStatesDepth(), 1);
  ExpectEndRaises(*second, "cannot end rendering scene for TRecordingContext: 1282");
  EXPECT_EQ(second->ContextStatesDepth(), 0);
  first.EndSceneRendering();
  EXPECT_EQ(ContextShared().SceneCount, 0);
  EXPECT_TRUE(vtest::CanvasFreeForOtherThread());
}

// ---- Buffers -------------------------------------------------------------------------------------------

TEST_F(VantrelContextTest, ReleasedBuffersLeaveNoStackEntryBehind) {
  TRecordingContext& context = Make();
  auto caller = MakeOwned<TFakeFrameBuffer>("caller", nullptr);
  ASSERT_TRUE(context.BeginSceneRendering());
  caller->Bind(&context);
  context.ReleaseBuffers();
  EXPECT_EQ(context.FBOStackCount(), 1);
  EXPECT_EQ(context.GetCurrentlyBoundBuffer(), caller.get());
  EXPECT_FALSE(context.DefaultBufferFallbackBind());
  EXPECT_EQ(context.GetDefaultFrameBuf(), nullptr);
  EXPECT_EQ(context.GetTranslucentBuf(), nullptr);
  context.EndSceneRendering();
  EXPECT_EQ(context.GetCurrentlyBoundBuffer(), caller.get());
}

TEST_F(VantrelContextTest, ResizesAndLinksThroughTheMultisampleBufferFirst) {
  TRecordingContext& plain = Make();
  plain.SetSize(640, 480);
  EXPECT_EQ(plain.DefaultFake()->Calls(), (std::vector<std::string>{"Resize 640 480"}));
  EXPECT_EQ(plain.TranslucentFake()->Calls(), (std::vector<std::string>{"Resize 640 480"}));
  plain.LinkDepthBufferToTranslucentBuffer();
  EXPECT_EQ(plain.TranslucentFake()->Calls().back(), "AttachDepthBuffer 7 256 128");

  TRecordingContext& multisample = Make(TMultisample::FourSamples);
  multisample.SetSize(640, 480);
  EXPECT_TRUE(multisample.DefaultFake()->Calls().empty());
  EXPECT_EQ(multisample.MultisampleFake()->Calls(), (std::vector<std::string>{"Resize 640 480"}));
  multisample.LinkDepthBufferToTranslucentBuffer();
  EXPECT_EQ(multisample.TranslucentFake()->Calls().back(), "AttachDepthBuffer 8 256 128");
}

TEST_F(VantrelContextTest, AttachingInitialisesAHandlelessTextureFirst) {
  TRecordingContext& context = Make();
  auto depth = MakeTexture(256, 128);
  context.AttachTextureToDefaultBuffer(nullptr, TRenderTarget::Depth);
  EXPECT_TRUE(context.DefaultFake()->Calls().empty());

  context.AttachTextureToDefaultBuffer(depth.get(), TRenderTarget::Depth);
  EXPECT_NE(depth->Handle(), 0u);
  EXPECT_EQ(Recorder->Calls, (std::vector<std::string>{"InitializeTexture"}));
  EXPECT_EQ(context.DefaultFake()->Calls(), (std::vector<std::string>{"AttachTexture Depth"}));
  EXPECT_EQ(context.DefaultFake()->GetTextureByRenderTarget(TRenderTarget::Depth), depth.get());

  context.AttachTextureToTranslucentBuffer(depth.get(), TRenderTarget::Color_1);
  EXPECT_EQ(Recorder->Calls.size(), 1u);
  EXPECT_EQ(context.TranslucentFake()->Calls(), (std::vector<std::string>{"AttachTexture Color_1"}));
}

// ---- Matrices and picking ---------------------------------------------------------------------------------

struct TMatrixCase {
  const char* Name;
  std::function<void(TRecordingContext&)> Arrange;
  std::vector<std::pair<int, float>> Entries; // row * 10 + column, value
};

void PrintTo(const TMatrixCase& ACase, std::ostream* AStream) {
  *AStream << ACase.Name;
}

class ProjectionMatrixTest : public VantrelContextTest, public ::testing::WithParamInterface<TMatrixCase> {};

TEST_P(ProjectionMatrixTest, Entries) {
  TRecordingContext& context = Make();
  context.SetSize(640, 480);
  GetParam().Arrange(context);
  const TMatrix3D projection = context.CurrentProjectionMatrix();
  for (const auto& [at, value] : GetParam().Entries)
    EXPECT_NEAR(projection(at / 10 - 1, at % 10 - 1), value, 2e-6) << "m" << at;
}

const TMatrixCase MatrixCases[] = {
    {"Perspective640x480",
     [](TRecordingContext&) {},
     {{11, 1.8106602f}, {22, 2.4142136f}, {33, -1.0000100f}, {34, -1}, {43, -0.1000010f}, {44, 0}}},
    {"CenterOffsetAppliesLast",
     [](TRecordingContext& AContext) {
       AContext.SetCenterOffset({10, 20});
     },
     {{31, -10}, {32, -20}, {41, 0}, {42, 0}}},
    {"RenderToMatrixScales",
     [](TRecordingContext& AContext) {
       TMatrix3D renderTo = TMatrix3D::Identity();
       renderTo.m11 = 2;
       AContext.SetRenderToMatrix(renderTo);
     },
     {{11, 3.6213204f}, {22, 2.4142136f}}},
    {"ZeroHeightHasAspectOne",
     [](TRecordingContext& AContext) { AContext.SetSize(640, 0); },
     {{11, 2.4142136f}, {22, 2.4142136f}}},
    {"ZeroWidthHasAspectOne",
     [](TRecordingContext& AContext) { AContext.SetSize(0, 480); },
     {{11, 2.4142136f}, {22, 2.4142136f}}},
};

INSTANTIATE_TEST_SUITE_P(Rows, ProjectionMatrixTest, ::testing::ValuesIn(MatrixCases),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(VantrelContextTest, ScreenMatrixMapsPixelsToDeviceCoordinates) {
  TRecordingContext& context = Make();
  context.SetSize(640, 480);
  const TMatrix3D screen = context.CurrentScreenMatrix();
  const struct {
    TPoint3D Pixel;
    float X, Y;
  } cases[] = {{{0, 0, 0}, -1, 1}, {{640, 480, 0}, 1, -1}, {{320, 240, 0}, 0, 0}};
  for (const auto& row : cases) {
    const TPoint3D device = (TVector3D{row.Pixel.X, row.Pixel.Y, row.Pixel.Z, 1} * screen).ToPoint3D();
    EXPECT_NEAR(device.X, row.X, 1e-5) << row.Pixel.X << "," << row.Pixel.Y;
    EXPECT_NEAR(device.Y, row.Y, 1e-5) << row.Pixel.X << "," << row.Pixel.Y;
  }
}

bool AllFinite(const TMatrix3D& AMatrix) {
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column)
      if (!std::isfinite(AMatrix(row, column)))
        return false;
  return true;
}

TEST_F(VantrelContextTest, ZeroExtentsGiveFiniteMatrices) {
  TRecordingContext& context = Make();
  for (const auto& [width, height] : {std::pair{0, 480}, std::pair{640, 0}, std::pair{0, 0}}) {
    context.SetSize(width, height);
    const TMatrix3D projection = context.CurrentProjectionMatrix();
    const TMatrix3D screen = context.CurrentScreenMatrix();
    EXPECT_TRUE(AllFinite(projection) && AllFinite(projection.Inverse())) << width << "x" << height;
    EXPECT_TRUE(AllFinite(screen) && AllFinite(screen.Inverse())) << width << "x" << height;
  }
}

TEST_F(VantrelContextTest, SetProjectionMatrixServesTheGivenMatrix) {
  TRecordingContext& context = Make();
  const TMatrix3D given = TMatrix3D::CreateScaling({2, 3, 4});
  context.SetProjectionMatrix(given);
  EXPECT_EQ(context.CurrentProjectionMatrix(), given);
  context.SetCameraAngleOfView(60);
  EXPECT_NE(context.CurrentProjectionMatrix(), given);
}

TEST_F(VantrelContextTest, PickAndWorldToScreenAreInverses) {
  TRecordingContext& context = Make();
  context.SetSize(640, 480);
  context.SetCameraMatrix(TMatrix3D::CreateTranslation({0, 0, -10}));
  for (const TProjection projection : {TProjection::Camera, TProjection::Screen})
    for (const TPointF pixel : {TPointF{0, 0}, TPointF{320, 240}, TPointF{100, 400}, TPointF{639, 1}}) {
      TVector3D position, direction;
      context.Pick(pixel.X, pixel.Y, projection, position, direction);
      EXPECT_EQ(position.W, 1);
      EXPECT_EQ(direction.W, 0);
      const TPoint3D along{position.X + direction.X * 5, position.Y + direction.Y * 5,
                           position.Z + direction.Z * 5};
      const TPoint3D back = context.WorldToScreen(projection, along);
      EXPECT_NEAR(back.X, pixel.X, 1e-2) << int(projection) << " " << pixel.X << "," << pixel.Y;
      EXPECT_NEAR(back.Y, pixel.Y, 1e-2) << int(projection) << " " << pixel.X << "," << pixel.Y;
    }
  const TPoint3D centre = context.ScreenToWorld({320, 240}, TProjection::Camera);
  EXPECT_NEAR(centre.X, 0, 1e-4);
  EXPECT_NEAR(centre.Y, 0, 1e-4);
  EXPECT_NEAR(centre.Z, 0, 1e-4);
}

// ---- States, clip planes, lights
// ---------------------------------------------------------------------------

TEST_F(VantrelContextTest, SetContextStatesRecordsInOrderThenAppliesOnce) {
  TRecordingContext& context = Make();
  const TFMXContextStates states{TContextState::csAllFace, TContextState::csZTestOn,
                                 TContextState::csAlphaBlendOff, TContextState::cs3DScene};
  context.SetContextStates(states);
  EXPECT_EQ(
      CallsOf(context.Calls, "DoSetContextState"),
      (std::vector<std::string>{"DoSetContextState cs3DScene 1", "DoSetContextState csZTestOn 1",
                                "DoSetContextState csAlphaBlendOff 1", "DoSetContextState csAllFace 1"}));
  EXPECT_EQ(CallsOf(context.Calls, "ApplyContextStates"),
            (std::vector<std::string>{"ApplyContextStates " + std::to_string(states.Bits())}));
  EXPECT_EQ(context.CurrentStates(), states);
  EXPECT_EQ(context.SetContextStatesNesting(), 0);

  context.Calls.clear();
  context.FailingState = TContextState::csZTestOn;
  EXPECT_THROW(context.SetContextStates(states), EContext3DException);
  EXPECT_EQ(context.SetContextStatesNesting(), 0);
  EXPECT_EQ(context.CallCount("ApplyContextStates"), 0);
}

TEST_F(VantrelContextTest, ClipPlaneIndicesClamp) {
  TRecordingContext& context = Make();
  const TPlaneF low = TPlaneF::Create(0, 0, 1, 2);
  const TPlaneF high = TPlaneF::Create(1, 0, 0, -3);
  context.ActivateClipPlane(-3, low);
  EXPECT_TRUE(context.IsClippingPlaneActive(0));
  EXPECT_EQ(context.GetClippingPlane(0)->Plane, low);
  EXPECT_FALSE(context.IsClippingPlaneActive(12));

  context.ActivateClipPlane(12, high);
  EXPECT_TRUE(context.IsClippingPlaneActive(7));
  EXPECT_EQ(context.GetClippingPlane(99), context.GetClippingPlane(7));
  EXPECT_EQ(context.GetClippingPlane(7)->Plane, high);

  context.DeactivateClipPlane(40);
  EXPECT_FALSE(context.IsClippingPlaneActive(7));
  EXPECT_EQ(context.GetClippingPlane(7)->Plane, TPlaneF{});
  EXPECT_TRUE(context.IsClippingPlaneActive(0));
}

void ExpectParallel(const TRecordingContext& AContext) {
  ASSERT_EQ(AContext.Lights().Count(), AContext.GetShaderLights().Count());
  for (int index = 0; index < AContext.Lights().Count(); ++index) {
    EXPECT_EQ(AContext.Lights()[index].Color, AContext.GetShaderLights()[index].ToLightDescription().Color);
    EXPECT_EQ(AContext.Lights()[index].Enabled, AContext.GetShaderLights()[index].IsEnabled());
  }
}

TEST_F(VantrelContextTest, LightListsStayParallel) {
  TRecordingContext& context = Make();
  TLightDescription red;
  red.Color = 0xFFFF0000;
  TLightDescription green;
  green.Color = 0xFF00FF00;
  green.Enabled = false;
  TLightDescription blue;
  blue.Color = 0xFF0000FF;

  EXPECT_EQ(context.AddLight(red), 0);
  EXPECT_EQ(context.AddLight(green), 1);
  EXPECT_EQ(context.GetShaderLights()[1].Enabled, 0);
  EXPECT_EQ(context.AddLight(TVantrelShaderLight::Create(blue)), 2);
  ExpectParallel(context);

  context.RemoveLight(1);
  ExpectParallel(context);
  EXPECT_EQ(context.Lights()[1].Color, blue.Color);
  EXPECT_ANY_THROW(context.RemoveLight(5));
  ExpectParallel(context);

  context.ClearLights();
  EXPECT_EQ(context.Lights().Count(), 0);
  ExpectParallel(context);
}

// ---- Blending --------------------------------------------------------------------------------------------

TEST_F(VantrelContextTest, BlendingByIndexAnswersForTheGPUsDrawBuffers) {
  TRecordingContext& context = Make();
  TBlendSettings settings;
  for (size_t index = 0; index < settings.size(); ++index)
    settings[index] = TBlendSetting::Create(true, TBlendEquationFunc::befMax, TBlendFactor(index % 11),
                                            TBlendFactor::bfOne);
  context.SetBlendings(settings);
  EXPECT_EQ(CallsOf(context.Calls, "SetBlendingByIndex").size(), 32u);
  EXPECT_EQ(CallsOf(context.Calls, "SetBlendingByIndex").back(), "SetBlendingByIndex 31");

  ContextShared().DrawBufferCount = 8;
  EXPECT_EQ(context.GetBlendingByIndex(7), settings[7]);
  EXPECT_EQ(context.GetBlendingByIndex(8), TBlendSetting::Create(false));
  EXPECT_EQ(context.GetBlendingByIndex(31), TBlendSetting::Create(false));
  ContextShared().DrawBufferCount = 0;
  EXPECT_EQ(context.GetBlendingByIndex(0), TBlendSetting::Create(false));
}

TEST_F(VantrelContextTest, BlendingsReadFillsEntryZeroUntilTheDefaultIsMade) {
  TRecordingContext& context = Make();
  Recorder->DefaultBlending = TBlendSetting::CreateForFMX();
  EXPECT_EQ(context.GetBlendings()[0], TBlendSetting::CreateForFMX());
  EXPECT_EQ(context.GetGlobalBlending(), TBlendSetting::CreateForFMX());

  context.SetBlendings({});
  ContextShared().DefaultBlendingMade = true;
  Recorder->Calls.clear();
  EXPECT_EQ(context.GetBlendings()[0], TBlendSetting{});
  EXPECT_TRUE(Recorder->Calls.empty());
}

// ---- Stacks ----------------------------------------------------------------------------------------------

TEST_F(VantrelContextTest, StacksAndIntermediatePasses) {
  TRecordingContext& context = Make();
  EXPECT_EQ(context.PopFBO(), nullptr);
  EXPECT_THROW(context.EndRenderPass(), EListError);

  // Passes are never dereferenced by the context: any distinct addresses stand in for them.
  int storage[2];
  auto* outer = reinterpret_cast<TRenderPass*>(&storage[0]);
  auto* inner = reinterpret_cast<TRenderPass*>(&storage[1]);
  context.BeginRenderPass(outer);
  context.BeginRenderPass(inner);
  EXPECT_EQ(context.GetCurrentRenderPass(), inner);
  context.EndRenderPass();
  EXPECT_EQ(context.GetCurrentRenderPass(), outer);
  context.ResetRenderPasses();
  EXPECT_EQ(context.GetCurrentRenderPass(), nullptr);
  context.EndRenderPass();
  EXPECT_THROW(context.EndRenderPass(), EListError);

  context.AddIntermediatePass(outer);
  context.AddIntermediatePass(inner);
  context.AddIntermediatePass(outer);
  EXPECT_EQ(context.GetIntermediatePasses().ToArray(), (std::vector<TRenderPass*>{outer, inner}));
}

// ---- Drawing and shader variables
// --------------------------------------------------------------------------

class TRecordingMaterial : public TMaterial {
  RTL_CLASS(TRecordingMaterial, TMaterial)
public:
  TRecordingMaterial() = default;

protected:
  void DoApply(TContext3D* AContext) override {
    static_cast<TRecordingContext*>(AContext)->Calls.push_back(
        "Apply " + std::to_string(int(AContext->CurrentOpacity() * 100)));
  }
  void DoReset(TContext3D* AContext) override {
    static_cast<TRecordingContext*>(AContext)->Calls.push_back("Reset");
  }
};
RTL_DEFINE_CLASS(TRecordingMaterial, "Tests.VantrelContext")

TEST_F(VantrelContextTest, DirectDrawPassesTheFrameworkKindThrough) {
  TRecordingContext& context = Make();
  // No shader programs to switch after the draw.
  Recorder->ContextAvailable = false;
  const float vertices[9] = {};
  const uint16_t indices[3] = {0, 1, 2};
  const TVertexDeclaration declaration{{TVertexFormat::Vertex, 0}};
  context.DirectDrawPrimitives(TVantrelPrimitivesKind::TriangleFan, vertices, indices, declaration, 12, 3, 2,
                               3);
  ASSERT_EQ(context.Batches.size(), 1u);
  const TRecordingContext::TBatch& batch = context.Batches[0];
  EXPECT_EQ(int(batch.Kind), 6);
  EXPECT_EQ(batch.Vertices, vertices);
  EXPECT_EQ(batch.Indices, indices);
  EXPECT_EQ(batch.Declaration, &declaration);
  EXPECT_EQ(batch.VertexSize, 12);
  EXPECT_EQ(batch.VertexCount, 3);
  EXPECT_EQ(batch.IndexSize, 2);
  EXPECT_EQ(batch.IndexCount, 3);

  context.Calls.clear();
  TOwned<TRecordingMaterial> material(New<TRecordingMaterial>());
  context.DrawPrimitives(TPrimitivesKind::Triangles, vertices, indices, declaration, 12, 3, 2, 3,
                         material.get(), 0.5f);
  EXPECT_EQ(context.Calls, (std::vector<std::string>{"Apply 50", "DoDrawPrimitivesBatch 2", "Reset"}));
}

TEST_F(VantrelContextTest, MatrixShaderVariableGoesAsTransposedRowsOrAsMat4) {
  TRecordingContext& context = Make();
  TMatrix3D matrix;
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 4; ++column)
      matrix(row, column) = float(row * 4 + column + 1);

  context.SetShaderVariable("MVP", matrix, false);
  EXPECT_EQ(context.VectorsName, "MVP");
  ASSERT_EQ(context.Vectors.size(), 4u);
  for (int row = 0; row < 4; ++row)
    EXPECT_EQ(context.Vectors[row],
              (TVector3D{matrix(0, row), matrix(1, row), matrix(2, row), matrix(3, row)}))
        << row;
  EXPECT_EQ(context.CallCount("DoSetShaderVariableMat4"), 0);

  context.Vectors.clear();
  context.SetShaderVariable("MVP", matrix, true);
  EXPECT_EQ(context.Calls.back(), "DoSetShaderVariableMat4 MVP");
  EXPECT_EQ(context.Mat4, matrix);
  EXPECT_TRUE(context.Vectors.empty());
}

TEST_F(VantrelContextTest, MemoryBarrierFlagsCombineInOrdinalOrder) {
  TRecordingContext& context = Make();
  const uint32_t bits = context.MemoryBarrierFlagsToBits(
      {TMemoryBarrierFlag::ShaderStorageBarrierBit, TMemoryBarrierFlag::UniformBarrierBit});
  EXPECT_EQ(bits, (1u << 12) | (1u << 2));
  EXPECT_EQ(CallsOf(context.Calls, "MemoryBarrierFlagToBits"),
            (std::vector<std::string>{"MemoryBarrierFlagToBits UniformBarrierBit",
                                      "MemoryBarrierFlagToBits ShaderStorageBarrierBit"}));
}

// ---- Bitmaps ---------------------------------------------------------------------------------------------

TEST_F(VantrelContextTest, SaveBitmapWritesARandomlyNamedBmp) {
  TRecordingContext& context = Make();
  const std::filesystem::path folder =
      std::filesystem::path(TPath::GetTempPath()) / TPath::GetRandomFileName();
  std::filesystem::create_directory(folder);
  const std::string prefix = (folder / "shot-").string();

  context.SaveBitmap(nullptr, prefix);
  EXPECT_TRUE(std::filesystem::is_empty(folder));

  TBitmap bitmap(4, 3);
  TBitmapData data;
  ASSERT_TRUE(bitmap.Map(TMapAccess::Write, data));
  data.SetPixel(1, 2, 0xFF336699);
  bitmap.Unmap(data);
  context.SaveBitmap(&bitmap, prefix);

  std::vector<std::filesystem::path> files(std::filesystem::directory_iterator(folder), {});
  ASSERT_EQ(files.size(), 1u);
  const std::string name = files[0].filename().string();
  EXPECT_EQ(name.size(), std::string("shot-").size() + 12 + 4);
  EXPECT_TRUE(name.starts_with("shot-")) << name;
  EXPECT_TRUE(name.ends_with(".bmp")) << name;

  SDL_Surface* loaded = SDL_LoadBMP(files[0].string().c_str());
  ASSERT_NE(loaded, nullptr) << SDL_GetError();
  SDL_Surface* argb = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(loaded);
  ASSERT_NE(argb, nullptr) << SDL_GetError();
  EXPECT_EQ(argb->w, 4);
  EXPECT_EQ(argb->h, 3);
  const auto* row =
      reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(argb->pixels) + 2 * argb->pitch);
  EXPECT_EQ(row[1], 0xFF336699u);
  SDL_FreeSurface(argb);
  std::filesystem::remove_all(folder);
}

// ---- Static forwarders
// ---------------------------------------------------------------------------------------

TEST_F(VantrelContextTest, ForwardersAnswerFromTheRegisteredClassWithoutInstance) {
  Recorder->ErrorCodes = {5};
  intptr_t error = 0;
  EXPECT_TRUE(TVantrelContext::HasAnyErrors(error));
  EXPECT_EQ(error, 5);
  EXPECT_FALSE(TVantrelContext::HasAnyErrors());
  EXPECT_EQ(TVantrelContext::PlatformClass(), Recorder);
  EXPECT_EQ(TVantrelContext::GetVendorName(), "Recording vendor");
  EXPECT_EQ(TVantrelContext::GetRendererName(), "Recording renderer");
  EXPECT_EQ(TVantrelContext::GetVersion(), "4.3 recording");
  EXPECT_EQ(TVantrelContext::GetExtensionString(), "GL_recording_ext");
  EXPECT_TRUE(TVantrelContext::IsContextAvailable());
  EXPECT_EQ(TVantrelContext::DirectStateAccess(), 1);
  EXPECT_EQ(TVantrelContext::GetShaderArch(), TContextShaderArch::GLSL);
  EXPECT_EQ(TVantrelContext::MaxTexture3DSize(), 512);
  EXPECT_EQ(TVantrelContext::MaxTextureImageUnits(), 32);
  EXPECT_EQ(TVantrelContext::MaxVertexShaderUniformBlocks(), 12);
  EXPECT_EQ(TVantrelContext::MaxFragmentShaderUniformBlocks(), 13);
  EXPECT_EQ(TVantrelContext::MaxUniformBlockSize(), 65536);
  EXPECT_EQ(TVantrelContext::MaxDrawBuffers(), 8);
  EXPECT_TRUE(TVantrelContext::TextureCompressionAllowed());
  const TVantrelContextClass& base = TVantrelContext::StaticClass();
  EXPECT_EQ(base.Style(), TContextStyles{TContextStyle::RenderTargetFlipped});
  EXPECT_EQ(base.MaxLightCount(), 64);
  EXPECT_EQ(base.MaxTextureSize(), 4096);
  EXPECT_EQ(base.TextureUnitCount(), 8);
  EXPECT_EQ(base.PixelFormat(), TPixelFormat::BGRA);
  EXPECT_EQ(base.IndexBufferSupport(), TIndexBufferSupport::Int32);
  TVantrelContext::SetPixelState(1, 2, 3, 4, 5);
  TVantrelContext::UnsetPixelState();
  TVantrelContext::DoSetTextureFiltering(nullptr, {TTextureStyle::MipMaps}, 0x0DE1, 0x8058);
  EXPECT_EQ(CallsOf(Recorder->Calls, "Platform"),
            (std::vector<std::string>{"PlatformHasAnyErrors 5", "PlatformHasAnyErrors 0",
                                      "PlatformSetPixelState 1 2 3 4 5", "PlatformUnsetPixelState",
                                      "PlatformSetTextureFiltering 1 3553 32856"}));
}

TEST_F(VantrelContextTest, ForwardersAnswerNoContextWithoutAFrameworkClass) {
  for (const bool foreign : {false, true}) {
    TContextManager::UnregisterContexts();
    if (foreign)
      TContextManager::RegisterContext(TContext3D::StaticClass(), true);
    Recorder->Calls.clear();
    intptr_t error = 7;
    EXPECT_EQ(TVantrelContext::PlatformClass(), nullptr) << foreign;
    EXPECT_FALSE(TVantrelContext::HasAnyErrors(error)) << foreign;
    EXPECT_EQ(error, 0) << foreign;
    EXPECT_FALSE(TVantrelContext::IsContextAvailable()) << foreign;
    EXPECT_EQ(TVantrelContext::GetVendorName(), "") << foreign;
    EXPECT_EQ(TVantrelContext::MaxDrawBuffers(), 0) << foreign;
    EXPECT_EQ(TVantrelContext::GetShaderArch(), TContextShaderArch::Undefined) << foreign;
    EXPECT_EQ(TVantrelContext::StaticClass().Style(), TContextStyles{}) << foreign;
    TVantrelContext::SetPixelState(1, 2, 3, 4, 5);
    EXPECT_TRUE(Recorder->Calls.empty()) << foreign;
  }
}

TEST_F(VantrelContextTest, ResetDrawCallDiagnosticsZeroesTheCounters) {
  ContextShared().DrawCalls = 3;
  ContextShared().DrawInstances = 4;
  ContextShared().TotalVertexCount = 5;
  ContextShared().TotalIndexCount = 6;
  TVantrelContext::ResetDrawCallDiagnostics();
  EXPECT_EQ(ContextShared().DrawCalls + ContextShared().DrawInstances + ContextShared().TotalVertexCount +
                ContextShared().TotalIndexCount,
            0);
}

} // namespace
