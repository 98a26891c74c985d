// The sky box's shader record: defaults, the JSON configuration and its GL-free stream reader.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <span>
#include <string_view>
#include <vector>

#include "rtl/exceptions.h"
#include "rtl/streams.h"
#include "scene/Vantrel.SkyBox.h"

namespace vantrel {

namespace {

constexpr const char* ConfigurationExpected = "failed to load sky box configuration - json object expected";

// The configuration's scalar members, in the order the file lists them after "CrescentOfs".
struct TScalarKey {
  const char* Name;
  float TSkyBoxShaderData::*Field;
};

constexpr TScalarKey LeadScalars[] = {
    {"CrescentMoon", &TSkyBoxShaderData::CrescentMoon},
    {"MoonSurface", &TSkyBoxShaderData::MoonSurface},
};

constexpr TScalarKey MieScalars[] = {
    {"DepolarizationFactor", &TSkyBoxShaderData::DepolarizationFactor},
    {"Luminance", &TSkyBoxShaderData::Luminance},
    {"MieCoefficient", &TSkyBoxShaderData::MieCoefficient},
    {"MieDirectionalG", &TSkyBoxShaderData::MieDirectionalG},
    {"MieV", &TSkyBoxShaderData::MieV},
    {"MieZenithLength", &TSkyBoxShaderData::MieZenithLength},
};

constexpr TScalarKey SkyScalars[] = {
    {"NumMolecules", &TSkyBoxShaderData::NumMolecules},
    {"Rayleigh", &TSkyBoxShaderData::Rayleigh},
    {"RayleighZenithLength", &TSkyBoxShaderData::RayleighZenithLength},
    {"RefractiveIndex", &TSkyBoxShaderData::RefractiveIndex},
    {"SunAngularDiameterDegrees", &TSkyBoxShaderData::SunAngularDiameterDegrees},
    {"SunIntensityFactor", &TSkyBoxShaderData::SunIntensityFactor},
    {"SunIntensityFalloffSteepness", &TSkyBoxShaderData::SunIntensityFalloffSteepness},
    {"TonemapWeighting", &TSkyBoxShaderData::TonemapWeighting},
    {"Turbidity", &TSkyBoxShaderData::Turbidity},
    {"Inclination", &TSkyBoxShaderData::Inclination},
    {"Azimuth", &TSkyBoxShaderData::Azimuth},
    {"StarDensity", &TSkyBoxShaderData::StarDensity},
    {"StarProbe", &TSkyBoxShaderData::StarProbe},
    {"StarSize", &TSkyBoxShaderData::StarSize},
    {"StarSpark", &TSkyBoxShaderData::StarSpark},
    {"StarBrightness", &TSkyBoxShaderData::StarBrightness},
};

constexpr TScalarKey CloudScalars[] = {
    {"CloudFrequency", &TSkyBoxShaderData::CloudFrequency},
    {"CloudAmplitude", &TSkyBoxShaderData::CloudAmplitude},
};

// A number that fits a Single replaces AField; one beyond the Single range keeps it, as any other
// value does, since an infinity could not be written back as a JSON number.
void ReadSingle(const rtl::TJSONValue* AValue, float& AField) {
  const auto* number = dynamic_cast<const rtl::TJSONNumber*>(AValue);
  if (!number)
    return;
  const double value = number->AsDouble();
  if (std::fabs(value) <= std::numeric_limits<float>::max())
    AField = static_cast<float>(value);
}

void WriteScalars(rtl::TJSONObject& AJSON, const TSkyBoxShaderData& AData, std::span<const TScalarKey> AKeys) {
  for (const TScalarKey& key : AKeys)
    AJSON.AddPair(key.Name, static_cast<double>(AData.*key.Field));
}

void WriteVector(rtl::TJSONObject& AJSON, const char* AName, std::initializer_list<float> AValues) {
  auto array = rtl::TJSONArray::Create();
  for (float value : AValues)
    array->Add(static_cast<double>(value));
  AJSON.AddPair(AName, std::move(array));
}

void ReadScalars(const rtl::TJSONObject& AJSON, TSkyBoxShaderData& AData, std::span<const TScalarKey> AKeys) {
  for (const TScalarKey& key : AKeys)
    ReadSingle(AJSON.GetValue(key.Name), AData.*key.Field);
}

// Component i from element i of an array value; non-number elements are skipped but counted.
void ReadVector(const rtl::TJSONObject& AJSON, const char* AName, std::initializer_list<float*> AComponents) {
  const auto* array = dynamic_cast<const rtl::TJSONArray*>(AJSON.GetValue(AName));
  if (!array)
    return;
  int index = 0;
  for (float* component : AComponents) {
    if (index >= array->Count())
      return;
    ReadSingle(array->Items(index), *component);
    ++index;
  }
}

void ReadColor(const rtl::TJSONObject& AJSON, const char* AName, rtl::TAlphaColorF& AColor) {
  ReadVector(AJSON, AName, {&AColor.R, &AColor.G, &AColor.B, &AColor.A});
}

} // namespace

int32_t ClampCloudIterations(double AValue) {
  if (std::isnan(AValue))
    return 0;
  return static_cast<int32_t>(std::lround(std::clamp(AValue, 0.0, 16.0)));
}

TSkyBoxShaderData TSkyBoxShaderData::Create(int32_t AStyle) {
  TSkyBoxShaderData result;
  result.Reset(AStyle);
  return result;
}

void TSkyBoxShaderData::Reset(int32_t AStyle) {
  std::memset(static_cast<void*>(this), 0, sizeof(*this));
  Diffuse = {1, 1, 1, 1};
  Emissive = {0.2f, 0.2f, 1, 0};
  CrescentOfs = {-0.5f, 0};
  CrescentMoon = 0.03f;
  MoonSurface = 0.5f;
  DepolarizationFactor = 0.01f;
  Luminance = 1.1735f;
  MieCoefficient = 0.0191f;
  MieDirectionalG = 0.793f;
  MieV = 4.042f;
  MieZenithLength = 1600;
  MieKCoefficient = {0.686f, 0.678f, 0.666f, 1};
  Primaries = {0.00000045f, 0.00000055f, 0.00000068f};
  NumMolecules = 2.542e25f;
  Rayleigh = 6.77f;
  RayleighZenithLength = 1425;
  RefractiveIndex = 1.000633f;
  SunAngularDiameterDegrees = AStyle == 0 ? 0.1f : 0.05f;
  SunIntensityFactor = 2069;
  SunIntensityFalloffSteepness = 2.26f;
  TonemapWeighting = 10;
  Turbidity = 4.75f;
  Inclination = 0.4f;
  Azimuth = 0.22f;
  StarDensity = 100;
  StarProbe = 32;
  StarSize = 120;
  StarSpark = 0.2f;
  StarBrightness = 3;
  StarColor = {1, 1, 1, 1};
  CloudColor = {1, 1, 1, 1};
  CloudIterations = 4;
  CloudFrequency = 0.02f;
  CloudAmplitude = 4;
}

std::unique_ptr<rtl::TJSONObject> TSkyBoxShaderData::ToJSON() const {
  auto result = rtl::TJSONObject::Create();
  WriteVector(*result, "Diffuse", {Diffuse.R, Diffuse.G, Diffuse.B, Diffuse.A});
  WriteVector(*result, "Emissive", {Emissive.R, Emissive.G, Emissive.B, Emissive.A});
  WriteScalars(*result, *this, LeadScalars);
  WriteVector(*result, "CrescentOfs", {CrescentOfs.X, CrescentOfs.Y});
  WriteScalars(*result, *this, MieScalars);
  WriteVector(*result, "MieKCoefficient", {MieKCoefficient.X, MieKCoefficient.Y, MieKCoefficient.Z, MieKCoefficient.W});
  WriteVector(*result, "Primaries", {Primaries.X, Primaries.Y, Primaries.Z});
  WriteScalars(*result, *this, SkyScalars);
  WriteVector(*result, "StarColor", {StarColor.R, StarColor.G, StarColor.B, StarColor.A});
  WriteVector(*result, "CloudColor", {CloudColor.R, CloudColor.G, CloudColor.B, CloudColor.A});
  result->AddPair("CloudIterations", CloudIterations);
  WriteScalars(*result, *this, CloudScalars);
  return result;
}

void TSkyBoxShaderData::FromJSON(const rtl::TJSONObject& AJSON) {
  Reset(0);
  ReadColor(AJSON, "Diffuse", Diffuse);
  ReadColor(AJSON, "Emissive", Emissive);
  ReadVector(AJSON, "CrescentOfs", {&CrescentOfs.X, &CrescentOfs.Y});
  ReadScalars(AJSON, *this, LeadScalars);
  ReadScalars(AJSON, *this, MieScalars);
  ReadVector(AJSON, "MieKCoefficient", {&MieKCoefficient.X, &MieKCoefficient.Y, &MieKCoefficient.Z, &MieKCoefficient.W});
  ReadVector(AJSON, "Primaries", {&Primaries.X, &Primaries.Y, &Primaries.Z});
  ReadScalars(AJSON, *this, SkyScalars);
  ReadColor(AJSON, "StarColor", StarColor);
  ReadColor(AJSON, "CloudColor", CloudColor);
  // The shader loops this many octaves per pixel: a file may not ask for more than 16.
  if (const auto* number = dynamic_cast<const rtl::TJSONNumber*>(AJSON.GetValue("CloudIterations")))
    CloudIterations = ClampCloudIterations(number->AsDouble());
  ReadScalars(AJSON, *this, CloudScalars);
}

TSkyBoxShaderData ReadSkyBoxConfiguration(rtl::TStream& AStream) {
  // From the position to the end: a stream read from the middle has no stale tail.
  const int64_t count = std::max<int64_t>(AStream.GetSize() - AStream.GetPosition(), 0);
  std::vector<uint8_t> bytes(static_cast<size_t>(count));
  const int64_t read = count > 0 ? AStream.Read(bytes.data(), count) : 0;
  bytes.resize(static_cast<size_t>(std::max<int64_t>(read, 0)));
  const auto value = rtl::TJSONValue::ParseJSONValue(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  const auto* object = dynamic_cast<const rtl::TJSONObject*>(value.get());
  if (!object)
    throw rtl::Exception(ConfigurationExpected);
  TSkyBoxShaderData result = TSkyBoxShaderData::Create(0);
  result.FromJSON(*object);
  return result;
}

void WriteSkyBoxConfiguration(const TSkyBoxShaderData& AData, rtl::TStream& AStream) {
  const std::string text = AData.ToJSON()->ToString();
  AStream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

} // namespace vantrel
