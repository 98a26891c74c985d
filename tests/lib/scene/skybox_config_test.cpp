#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "rtl/json.h"
#include "rtl/streams.h"
#include "scene/Vantrel.SkyBox.h"
#include "support/json_object.h"

namespace {

using namespace vantrel;
using namespace rtl;

using vtest::ParseObject;

bool SameBytes(const TSkyBoxShaderData& A, const TSkyBoxShaderData& B) {
  return std::memcmp(&A, &B, sizeof(A)) == 0;
}

TEST(SkyBoxShaderData, StylesDifferOnlyInTheSunDiameter) {
  const TSkyBoxShaderData style0 = TSkyBoxShaderData::Create(0), style1 = TSkyBoxShaderData::Create(1);
  const auto* a = reinterpret_cast<const uint8_t*>(&style0);
  const auto* b = reinterpret_cast<const uint8_t*>(&style1);
  for (size_t i = 0; i < sizeof(TSkyBoxShaderData); ++i)
    if (i < 428 || i >= 432)
      ASSERT_EQ(a[i], b[i]) << "offset " << i;
  EXPECT_FLOAT_EQ(style0.SunAngularDiameterDegrees, 0.1f);
  EXPECT_FLOAT_EQ(style1.SunAngularDiameterDegrees, 0.05f);
  TSkyBoxShaderData reset = style0;
  reset.Rayleigh = 1;
  reset.Reset(1);
  EXPECT_TRUE(SameBytes(reset, style1));
}

TEST(SkyBoxShaderData, ToJSONWritesTheThirtyFourKeysInOrder) {
  const TSkyBoxShaderData data = TSkyBoxShaderData::Create(0);
  const auto json = data.ToJSON();
  std::vector<std::string> names;
  for (const TJSONPair* pair : *json)
    names.emplace_back(pair->Name());
  EXPECT_EQ(names, (std::vector<std::string>{
                       "Diffuse", "Emissive", "CrescentMoon", "MoonSurface", "CrescentOfs", "DepolarizationFactor",
                       "Luminance", "MieCoefficient", "MieDirectionalG", "MieV", "MieZenithLength",
                       "MieKCoefficient", "Primaries", "NumMolecules", "Rayleigh", "RayleighZenithLength",
                       "RefractiveIndex", "SunAngularDiameterDegrees", "SunIntensityFactor",
                       "SunIntensityFalloffSteepness", "TonemapWeighting", "Turbidity", "Inclination", "Azimuth",
                       "StarDensity", "StarProbe", "StarSize", "StarSpark", "StarBrightness", "StarColor",
                       "CloudColor", "CloudIterations", "CloudFrequency", "CloudAmplitude"}));
  const auto number = [&](const char* AName) {
    return dynamic_cast<const TJSONNumber*>(json->GetValue(AName))->AsDouble();
  };
  EXPECT_EQ(number("Luminance"), static_cast<double>(1.1735f));
  EXPECT_EQ(number("SunAngularDiameterDegrees"), static_cast<double>(0.1f));
  EXPECT_EQ(number("NumMolecules"), static_cast<double>(2.542e25f));
  EXPECT_EQ(json->GetValue("CloudIterations")->Value(), "4");
  EXPECT_EQ(json->GetValue("Primaries")->ToString(),
            TJSONArray::Create()
                ->Add(static_cast<double>(0.00000045f))
                .Add(static_cast<double>(0.00000055f))
                .Add(static_cast<double>(0.00000068f))
                .ToString());
}

TEST(SkyBoxShaderData, FromJSONResetsMissingKeysAndReadsNumbersOnly) {
  const TSkyBoxShaderData defaults = TSkyBoxShaderData::Create(0);
  struct TRow {
    const char* Json;
    void (*Expect)(TSkyBoxShaderData& AData);
  };
  const TRow rows[] = {
      {"{}", [](TSkyBoxShaderData&) {}},
      {R"({"Rayleigh":500})", [](TSkyBoxShaderData& D) { D.Rayleigh = 500; }},
      {R"({"Diffuse":[0.5]})", [](TSkyBoxShaderData& D) { D.Diffuse.R = 0.5f; }},
      {R"({"Diffuse":[0.5,"x",0.25]})", [](TSkyBoxShaderData& D) { D.Diffuse.R = 0.5f, D.Diffuse.B = 0.25f; }},
      {R"({"Luminance":"2"})", [](TSkyBoxShaderData&) {}},
      {R"({"Primaries":[0.1,0.2,0.3,0.4,0.5]})", [](TSkyBoxShaderData& D) { D.Primaries = {0.1f, 0.2f, 0.3f}; }},
      {R"({"CloudIterations":1000000})", [](TSkyBoxShaderData& D) { D.CloudIterations = 16; }},
      {R"({"CloudIterations":-5})", [](TSkyBoxShaderData& D) { D.CloudIterations = 0; }},
      {R"({"StarSize":1e300})", [](TSkyBoxShaderData&) {}},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Json);
    TSkyBoxShaderData data = TSkyBoxShaderData::Create(0);
    data.Rayleigh = 1;
    data.MoonSurface = 0.9f;
    data.FromJSON(*ParseObject(row.Json));
    TSkyBoxShaderData expected = defaults;
    row.Expect(expected);
    EXPECT_TRUE(SameBytes(data, expected));
  }
}

TEST(SkyBoxShaderData, StreamsReadFromThePositionAndRejectNonObjects) {
  TSkyBoxShaderData data = TSkyBoxShaderData::Create(0);
  data.Rayleigh = 12;
  data.Diffuse = {0.25f, 0.5f, 0.75f, 1};
  TMemoryStream stream;
  stream.WriteBuffer("0123456789", 10);
  WriteSkyBoxConfiguration(data, stream);
  const uint8_t* bytes = stream.Memory();
  EXPECT_EQ(bytes[10], '{');
  stream.SetPosition(10);
  EXPECT_TRUE(SameBytes(ReadSkyBoxConfiguration(stream), data));

  for (const char* text : {"[1,2]", "{broken", ""}) {
    SCOPED_TRACE(text);
    TMemoryStream bad;
    bad.WriteBuffer(text, static_cast<int64_t>(std::strlen(text)));
    bad.SetPosition(0);
    try {
      ReadSkyBoxConfiguration(bad);
      ADD_FAILURE() << "no error";
    } catch (const Exception& error) {
      EXPECT_EQ(error.Message(), "failed to load sky box configuration - json object expected");
    }
  }
}

} // namespace
