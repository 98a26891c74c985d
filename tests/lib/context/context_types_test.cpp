#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "context/Vantrel.Context.Rendering.h"
#include "context/Vantrel.Context.Types.OpenGL.h"
#include "context/Vantrel.Context.Types.h"
#include "support/log_capture.h"

namespace {

using namespace vantrel;

// ---- Raisers -------------------------------------------------------------------------------------

class TSender : public TObject {};

struct THookCall {
  TObject* Sender;
  TContextErrorKind Kind;
  std::string Text;
};

enum class TRaised { Nothing, Context3D, Plain };

struct TRaiserCase {
  const char* Name;
  std::function<void(TObject*)> Raise;
  bool RaiseShaderErrors;
  std::string_view Prefix;
  TContextErrorKind Kind;
  std::string Message;
  TRaised Raised;
};

void PrintTo(const TRaiserCase& ACase, std::ostream* AStream) {
  *AStream << ACase.Name;
}

class ContextRaisers : public ::testing::TestWithParam<TRaiserCase> {
protected:
  void SetUp() override {
    ContextErrorHook = [this](TObject* ASender, TContextErrorKind AKind, const std::string& AText) {
      FCalls.push_back({ASender, AKind, AText});
    };
  }
  void TearDown() override {
    ContextErrorHook = nullptr;
    RaiseShaderCompileErrors = true;
  }
  std::vector<THookCall> FCalls;
};

TEST_P(ContextRaisers, LogHookThenRaise) {
  const TRaiserCase& row = GetParam();
  const auto sender = MakeOwned<TSender>();
  RaiseShaderCompileErrors = row.RaiseShaderErrors;
  vtest::TLogCapture log;
  TRaised raised = TRaised::Nothing;
  std::string message;
  try {
    row.Raise(sender.get());
  } catch (const EContext3DException& e) {
    raised = TRaised::Context3D;
    message = e.Message();
  } catch (const Exception& e) {
    raised = TRaised::Plain;
    message = e.Message();
  }
  const std::string logged = std::string(row.Prefix) + row.Message;
  EXPECT_EQ(log.Lines(), std::vector<std::string>{logged});
  ASSERT_EQ(FCalls.size(), 1u);
  EXPECT_EQ(FCalls[0].Sender, sender.get());
  EXPECT_EQ(FCalls[0].Kind, row.Kind);
  EXPECT_EQ(FCalls[0].Text, logged);
  EXPECT_EQ(raised, row.Raised);
  if (row.Raised != TRaised::Nothing) {
    EXPECT_EQ(message, row.Message);
  }
}

void FragmentError(TObject* ASender, bool ARaise) {
  RaiseShaderCompileException(ASender, ARaise, SCannotCreateFragmentShader, "blur-%d.fps",
                              "ERROR: 0:1: '%' : wrong operand types\n", "int a = 5 % 3;\nvoid main() {}\n");
}
const std::string FragmentMessage = "Cannot create Fragment-Shader for 'blur-%d.fps':\r\n"
                                    "\r\nERROR: 0:1: '%' : wrong operand types\r\n\tint a = 5 % 3;\r\n";

INSTANTIATE_TEST_SUITE_P(
    Table, ContextRaisers,
    ::testing::Values(
        TRaiserCase{"Context",
                    [](TObject* s) {
                      RaiseContextException(s, SCannotBeginRenderingScene, "TRecordingContext", 1282);
                    },
                    true, "[Context Exception]: ", TContextErrorKind::Context,
                    "cannot begin rendering scene for TRecordingContext: 1282", TRaised::Context3D},
        TRaiserCase{"PercentInArgument",
                    [](TObject* s) { RaiseContextException(s, SErrorInContextMethod, "Do%dClear", 1280); },
                    true, "[Context Exception]: ", TContextErrorKind::Context,
                    "error in context method \"Do%dClear\" (error = 1280)", TRaised::Context3D},
        TRaiserCase{"SurplusArgumentsIgnored",
                    [](TObject* s) { RaiseContextException(s, SCannotUseShaderProgram, "extra", 7); }, true,
                    "[Context Exception]: ", TContextErrorKind::Context, "cannot use shader program",
                    TRaised::Context3D},
        TRaiserCase{"Initialization",
                    [](TObject* s) {
                      RaiseInitializationException(s, SCannotCreateShaderProgram, "blur", "link failed");
                    },
                    true, "[Initialization Exception]: ", TContextErrorKind::Initialization,
                    "cannot create shader program: blur - link failed", TRaised::Plain},
        TRaiserCase{"ShaderRaised", [](TObject* s) { FragmentError(s, true); }, true,
                    "[Shader Compile Exception]: ", TContextErrorKind::ShaderCompile, FragmentMessage,
                    TRaised::Context3D},
        TRaiserCase{"ShaderGlobalOff", [](TObject* s) { FragmentError(s, true); }, false,
                    "[Shader Compile Exception]: ", TContextErrorKind::ShaderCompile, FragmentMessage,
                    TRaised::Nothing},
        TRaiserCase{"ShaderCallerOff", [](TObject* s) { FragmentError(s, false); }, true,
                    "[Shader Compile Exception]: ", TContextErrorKind::ShaderCompile, FragmentMessage,
                    TRaised::Nothing},
        TRaiserCase{"ShaderBothOff", [](TObject* s) { FragmentError(s, false); }, false,
                    "[Shader Compile Exception]: ", TContextErrorKind::ShaderCompile, FragmentMessage,
                    TRaised::Nothing}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(ContextRaisers, ShaderErrorsRaiseFromProgramStartAndWorkWithoutHook) {
  EXPECT_TRUE(RaiseShaderCompileErrors);
  EXPECT_FALSE(ContextErrorHook);
  vtest::TLogCapture log;
  EXPECT_THROW(RaiseContextException(nullptr, SCannotActivateCreatedShaderProgram), EContext3DException);
  EXPECT_EQ(log.Lines(),
            std::vector<std::string>{"[Context Exception]: cannot activated created shader program"});
}

// ---- Annotated shader log ------------------------------------------------------------------------

struct TAnnotateCase {
  const char* Name;
  std::string_view Log;
  std::string_view Source;
  std::string_view Expected;
};

void PrintTo(const TAnnotateCase& ACase, std::ostream* AStream) {
  *AStream << ACase.Name;
}

class AnnotateShaderLogTable : public ::testing::TestWithParam<TAnnotateCase> {};

TEST_P(AnnotateShaderLogTable, QuotesTheLineNamed) {
  EXPECT_EQ(AnnotateShaderLog(GetParam().Log, GetParam().Source), GetParam().Expected);
}

constexpr std::string_view TenLines = "line0\nline1\nline2\nline3\nline4\nline5\nline6\nline7\nline8\nline9";

INSTANTIATE_TEST_SUITE_P(
    Table, AnnotateShaderLogTable,
    ::testing::Values(
        TAnnotateCase{"ThirdLine", "ERROR: 0:3: 'x' : undeclared identifier", TenLines,
                      "\r\nERROR: 0:3: 'x' : undeclared identifier\r\n\tline2\r\n"},
        TAnnotateCase{"NumberNotBelowLineCount", "ERROR: 0:3: 'x' : undeclared identifier",
                      "line0\nline1\nline2", "\r\nERROR: 0:3: 'x' : undeclared identifier\r\n"},
        TAnnotateCase{"MesaStyleNotAnnotated", "0:3(20): error: `x' undeclared", TenLines,
                      "\r\n0:3(20): error: `x' undeclared\r\n"},
        TAnnotateCase{"LineZero", "ERROR: 0:0: '' : syntax error", TenLines,
                      "\r\nERROR: 0:0: '' : syntax error\r\n\tline0\r\n"},
        TAnnotateCase{"NegativeGivesLineZero", "ERROR: 0:-4: oops", TenLines,
                      "\r\nERROR: 0:-4: oops\r\n\tline0\r\n"},
        TAnnotateCase{"LeadingBlanks", "E: 0:  2: x", TenLines, "\r\nE: 0:  2: x\r\n\tline1\r\n"},
        TAnnotateCase{"OnlyTwoFields", "E: 3", TenLines, "\r\nE: 3\r\n"},
        TAnnotateCase{"CarriageReturnStaysInLogLine", "ERROR: 0:2: bad\r\nERROR: 0:3: worse", TenLines,
                      "\r\nERROR: 0:2: bad\r\r\n\tline1\r\n\r\nERROR: 0:3: worse\r\n\tline2\r\n"},
        // CRLF is one break and the closing break opens no line: four source lines.
        TAnnotateCase{"MixedSourceLineEnds", "E: 0:2: x\nE: 0:3: y\nE: 0:4: z", "a\rb\nc\r\nd\n",
                      "\r\nE: 0:2: x\r\n\tb\r\n\r\nE: 0:3: y\r\n\tc\r\n\r\nE: 0:4: z\r\n"},
        TAnnotateCase{"EmptyLogLinesSkipped", "\n\nE: 0:1: x\n\n", TenLines, "\r\nE: 0:1: x\r\n\tline0\r\n"},
        TAnnotateCase{"EmptyLog", "", TenLines, ""}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

// ---- GPU error drain -----------------------------------------------------------------------------

class ScriptedErrors : public ::testing::Test {
protected:
  void SetUp() override { FPrevious = SetGLErrorReader(Read); }
  void TearDown() override { SetGLErrorReader(FPrevious); }

  static inline std::vector<uint32_t> Codes;
  static inline bool Forever = false;
  static inline int Reads = 0;

  static void Script(std::vector<uint32_t> ACodes, bool AForever = false) {
    Codes = std::move(ACodes);
    Forever = AForever;
    Reads = 0;
  }

private:
  static uint32_t Read() {
    const int index = Reads++;
    if (Forever)
      return Codes.front();
    return index < static_cast<int>(Codes.size()) ? Codes[static_cast<size_t>(index)] : 0;
  }
  TGLErrorReader FPrevious = nullptr;
};

TEST_F(ScriptedErrors, DrainStopsAtNoErrorAndOrsTheCodes) {
  Script({0x501, 0x502, 0, 0x504});
  EXPECT_EQ(DrainGLErrors(), 0x503u);
  EXPECT_EQ(Reads, 3);

  Script({0x505}, true);
  EXPECT_EQ(DrainGLErrors(), 0x505u);
  EXPECT_EQ(Reads, 16);

  Script({});
  EXPECT_EQ(GetContextError(), 0);
  EXPECT_FALSE(HasContextError());
  EXPECT_EQ(Reads, 2);

  Script({0x506});
  EXPECT_TRUE(HasContextError());
  Script({0x500, 0x501});
  EXPECT_EQ(GetContextError(), 0x501);
}

// ---- Records -------------------------------------------------------------------------------------

TEST(ShaderLight, FromLightDescription) {
  TLightDescription light;
  light.LightType = TLightType::Spot;
  light.Color = 0xFF336699;
  light.SpotCutOff = 45;
  light.SpotExponent = 2;
  light.Position = {1, 2, 3};
  light.Direction = {0, -1, 0};
  const TVantrelShaderLight shader = TVantrelShaderLight::Create(light);
  EXPECT_EQ(shader.LightType, 2);
  EXPECT_EQ(shader.Reserved1, (std::array<uint8_t, 12>{}));
  EXPECT_EQ(shader.Position, (TVector3D{1, 2, 3, 1}));
  EXPECT_EQ(shader.Direction, (TVector3D{0, -1, 0, 1}));
  EXPECT_EQ(shader.Diffuse, TAlphaColorF::Create(0xFF336699));
  EXPECT_EQ(shader.Ambient, (TAlphaColorF{0, 0, 0, 1}));
  EXPECT_EQ(shader.Specular, (TAlphaColorF{1, 1, 1, 1}));
  EXPECT_EQ(shader.Scattering, (TVector3D{0.1f, 0.0034f, 1.0f, 0.84f}));
  EXPECT_EQ(shader.SpotCutoff, 45);
  EXPECT_FLOAT_EQ(shader.SpotCosCutoff, 0.70710677f);
  EXPECT_EQ(shader.SpotExponent, 2);
  EXPECT_EQ(shader.ConstantAttenuation, 1);
  EXPECT_EQ(shader.LinearAttenuation, 0);
  EXPECT_EQ(shader.QuadraticAttenuation, 0);
  EXPECT_EQ(shader.Intensity, 1);
  EXPECT_EQ(shader.Enabled, 1);
  EXPECT_TRUE(shader.IsEnabled());

  const TLightDescription back = shader.ToLightDescription();
  EXPECT_TRUE(back.Enabled);
  EXPECT_EQ(back.LightType, TLightType::Spot);
  EXPECT_EQ(back.Color, 0xFF336699u);
  EXPECT_EQ(back.SpotCutOff, 45);
  EXPECT_EQ(back.SpotExponent, 2);
  EXPECT_EQ(back.Position, (TPoint3D{1, 2, 3}));
  EXPECT_EQ(back.Direction, (TPoint3D{0, -1, 0}));
}

TEST(ShaderLight, SpotCosineOfTheCutoff) {
  const std::pair<float, float> cases[] = {{180, -1}, {0, 1}, {60, 0.5f}, {90, 0}};
  for (const auto& [cutoff, cosine] : cases) {
    TLightDescription light;
    light.SpotCutOff = cutoff;
    EXPECT_NEAR(TVantrelShaderLight::Create(light).SpotCosCutoff, cosine, 1e-7) << cutoff;
  }
}

TEST(ShaderLight, DisabledLight) {
  TLightDescription light;
  light.Enabled = false;
  light.Color = 0x80FF0000;
  const TVantrelShaderLight shader = TVantrelShaderLight::Create(light);
  EXPECT_EQ(shader.Enabled, 0);
  EXPECT_FALSE(shader.IsEnabled());
  const TLightDescription back = shader.ToLightDescription();
  EXPECT_FALSE(back.Enabled);
  EXPECT_EQ(back.Color, 0x80FF0000u);
}

TEST(ShaderLight, PositionsBackThroughTheWRule) {
  TVantrelShaderLight shader{};
  const std::pair<TVector3D, TPoint3D> cases[] = {
      {{2, 4, 6, 2}, {1, 2, 3}},
      {{2, 4, 6, 0}, {2, 4, 6}},
      {{2, 4, 6, 0.00005f}, {2, 4, 6}},
      {{2, 4, 6, -0.5f}, {-4, -8, -12}},
  };
  for (const auto& [vector, point] : cases) {
    shader.Position = vector;
    shader.Direction = vector;
    EXPECT_EQ(shader.ToLightDescription().Position, point) << vector.W;
    EXPECT_EQ(shader.ToLightDescription().Direction, point) << vector.W;
  }
}

TEST(ShaderMaterial, DefaultsAtTheirOffsets) {
  const TVantrelShaderMaterial material = TVantrelShaderMaterial::Create();
  unsigned char bytes[sizeof material];
  std::memcpy(bytes, &material, sizeof material);
  auto floatAt = [&](size_t AOffset) {
    float value;
    std::memcpy(&value, bytes + AOffset, sizeof value);
    return value;
  };
  auto intAt = [&](size_t AOffset) {
    int32_t value;
    std::memcpy(&value, bytes + AOffset, sizeof value);
    return value;
  };
  const std::pair<size_t, std::vector<float>> floats[] = {
      {0, {0, 0, 0, 1}},   {16, {0.5f, 0.5f, 0.5f, 1}},
      {32, {1, 1, 1, 1}},  {48, {0.75f, 0.75f, 0.75f, 1}},
      {64, {0, 0, 0, 0}},  {80, {0, 0}},
      {88, {1, 0}},        {96, {0.1f, 0.1f, 0.1f, 1}},
      {112, {1, 0, 0, 0}}, {128, {32}},
  };
  for (const auto& [offset, values] : floats)
    for (size_t i = 0; i < values.size(); ++i)
      EXPECT_EQ(floatAt(offset + 4 * i), values[i]) << "offset " << offset + 4 * i;
  EXPECT_EQ(intAt(132), 1);
  EXPECT_EQ(intAt(136), 0);
  EXPECT_EQ(intAt(140), 0);
  for (size_t k = 0; k < 16; ++k) {
    const size_t entry = 144 + 32 * k;
    for (size_t i = 0; i < 4; ++i)
      EXPECT_EQ(floatAt(entry + 4 * i), 0) << "feature of entry " << k;
    EXPECT_EQ(floatAt(entry + 16), 1) << "tiling of entry " << k;
    EXPECT_EQ(floatAt(entry + 20), 1) << "tiling of entry " << k;
    EXPECT_EQ(intAt(entry + 24), 0);
    EXPECT_EQ(intAt(entry + 28), 0);
  }
}

TEST(BlendSetting, Constructors) {
  using F = TBlendFactor;
  using E = TBlendEquationFunc;
  const std::pair<TBlendSetting, TBlendSetting> cases[] = {
      {TBlendSetting::Create(),
       {true, E::befAdd, E::befAdd, F::bfOne, F::bfOneMinusSrcColor, F::bfOne, F::bfOneMinusSrcAlpha}},
      {TBlendSetting::CreateForFMX(),
       {true, E::befAdd, E::befAdd, F::bfOne, F::bfOneMinusSrcAlpha, F::bfOne, F::bfOneMinusSrcAlpha}},
      {TBlendSetting::Create(false),
       {false, E::befAdd, E::befAdd, F::bfOne, F::bfOneMinusSrcColor, F::bfOne, F::bfOneMinusSrcAlpha}},
      {TBlendSetting::Create(true, E::befMax, F::bfDstColor, F::bfZero, F::bfSrcAlphaSaturate, F::bfDstAlpha),
       {true, E::befMax, E::befMax, F::bfDstColor, F::bfZero, F::bfSrcAlphaSaturate, F::bfDstAlpha}},
      {TBlendSetting::Create(true, E::befSubtract, F::bfSrcAlpha, F::bfOne),
       {true, E::befSubtract, E::befSubtract, F::bfSrcAlpha, F::bfOne, F::bfSrcAlpha, F::bfOne}},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].first, cases[i].second) << "row " << i;
}

TEST(ContextRecords, PlanesFogSmoothingAndOrthographicData) {
  const TPlaneF plane = TPlaneF::Create(0.1, 0.2, 0.3, 1e40);
  EXPECT_EQ(plane.Normal(), (TPoint3D{0.1f, 0.2f, 0.3f}));
  EXPECT_EQ(plane.Distance(), std::numeric_limits<float>::infinity());
  EXPECT_EQ(plane.Values(), (std::array<float, 4>{0.1f, 0.2f, 0.3f, plane.D}));
  EXPECT_EQ(plane.AsVector3D(), (TVector3D{0.1f, 0.2f, 0.3f, plane.D}));
  float uploaded[4];
  std::memcpy(uploaded, plane.GetPointer(), sizeof uploaded);
  EXPECT_EQ(uploaded[2], 0.3f);
  EXPECT_EQ(TPlaneF::Create(TPoint3D{0, 0, -1}, 5.0f), (TPlaneF{0, 0, -1, 5}));

  const TVantrelFogSettings fog = TVantrelFogSettings::Create(true, 4, 0.5f, 10, 100);
  EXPECT_TRUE(fog.Enabled);
  EXPECT_EQ(fog.Mode, 4);
  EXPECT_EQ(fog.Density, 0.5f);
  EXPECT_EQ(fog.FogStart, 10);
  EXPECT_EQ(fog.FogEnd, 100);
  EXPECT_EQ(fog.Color, (TAlphaColorF{0, 0, 0, 1}));

  EXPECT_EQ(TSmoothSetting::Create().Targets.Bits(), 0b111u);
  const TOrthographicData ortho = TOrthographicData::Create(1, 2, 3, 4, 5, 6);
  EXPECT_EQ(ortho.Top, 2);
  EXPECT_EQ(ortho.Far, 6);
}

TEST(ContextRecords, EnumerationNamesAndSetBits) {
  EXPECT_EQ(TypeInfoOf<TBlendFactor>().Names->at(10), "bfSrcAlphaSaturate");
  EXPECT_EQ(TypeInfoOf<TVantrelPrimitivesKind>().Names->at(6), "TriangleFan");
  EXPECT_EQ(TypeInfoOf<TContextErrorKind>().Names->at(2), "Initialization");
  EXPECT_EQ(TMemoryBarrierFlags{TMemoryBarrierFlag::ShaderStorageBarrierBit}.Bits(), 1u << 12);
}

} // namespace
