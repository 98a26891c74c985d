// The vertex records of the mesh definitions: the identity key of an imported corner, one full
// vertex with its JSON form and hash, the vertex index map and the joints of one vertex.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "rtl/zlib_streams.h"

namespace vantrel {

namespace {

// The used entries of a fixed index array, with a count from file data clamped to its size.
template <size_t N> std::string IndexText(int8_t ACount, const std::array<int32_t, N>& AIndices) {
  const int count = std::clamp<int>(ACount, 0, int(N));
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += std::to_string(AIndices[size_t(i)]);
    text += ';';
  }
  return text;
}

[[noreturn]] void RaiseVertexData(const char* AWhat) {
  throw Exception(std::string("failed to load vertexdata from json - ") + AWhat);
}

// The member's text as the readers take it; raises AMissing when the member is absent.
std::string RequiredText(const TJSONObject& AValue, std::string_view AName, const char* AMissing) {
  if (!AValue.GetValue(AName))
    RaiseVertexData(AMissing);
  return TCustomDef::GetJSONValueText(AValue, AName);
}

// The member as an array: null when absent, EInvalidCast for another JSON type.
const TJSONArray* OptionalArray(const TJSONObject& AValue, std::string_view AName) {
  const TJSONValue* value = AValue.GetValue(AName);
  if (!value)
    return nullptr;
  const auto* array = dynamic_cast<const TJSONArray*>(value);
  if (!array)
    throw EInvalidCast(rtl::messages::InvalidCast);
  return array;
}

bool Near(float A, float B, double ATolerance) {
  return std::abs(double(A) - double(B)) <= ATolerance;
}

bool NearPoint(const TPoint3D& A, const TPoint3D& B) {
  constexpr double tolerance = 0.0001;
  return Near(A.X, B.X, tolerance) && Near(A.Y, B.Y, tolerance) && Near(A.Z, B.Z, tolerance);
}

// Relative closeness of texture coordinates: within max(|a|, |b|) x 1.25e-6.
bool SameTexValue(float A, float B) {
  const double scale = std::max(std::abs(double(A)), std::abs(double(B)));
  const double tolerance = scale == 0 ? 6.25e-37 : scale * 1.25e-6;
  return std::abs(double(A) - double(B)) <= tolerance;
}

} // namespace

// ---- TVertexID ----

uint64_t VertexKeyTextHash(std::string_view AText) {
  uint64_t hash = 0;
  for (const char c : AText) {
    const auto code = static_cast<unsigned char>(c);
    hash ^= (code >= 'A' && code <= 'Z') ? uint64_t(code | 0x20) : uint64_t(code);
    hash = (hash >> 27) | (hash << 5);
  }
  return hash;
}

uint64_t TVertexID::GetHash() const {
  std::string text = std::to_string(Position) + ';' + std::to_string(Normal) + ';' + std::to_string(Binormal) +
                     ';' + std::to_string(Tangent) + ';' + std::to_string(SmoothGroup) + ';';
  text += IndexText(Textures.Count, Textures.Indices);
  text += IndexText(Colors.Count, Colors.Indices);
  return VertexKeyTextHash(text);
}

// ---- TVertexData ----

std::unique_ptr<TJSONObject> TVertexData::ToJSON() const {
  auto result = TJSONObject::Create();
  result->AddPair("Position", Point3DToString(Position));
  result->AddPair("Normal", Point3DToString(Normal));
  result->AddPair("Binormal", Point3DToString(Binormal));
  result->AddPair("Tangent", Point3DToString(Tangent));
  if (!TexCoords.empty()) {
    auto array = TJSONArray::Create();
    for (const TPointF& coordinate : TexCoords)
      array->Add(PointFToString(coordinate));
    result->AddPair("TexCoords", std::move(array));
  }
  if (!Colors.empty()) {
    auto array = TJSONArray::Create();
    for (const TAlphaColorF& color : Colors)
      array->Add(Vector3DToString({color.R, color.G, color.B, color.A}, true));
    result->AddPair("Colors", std::move(array));
  }
  result->AddPair("SmoothGroup", SmoothGroup);
  return result;
}

void TVertexData::FromJSON(const TJSONObject& AValue) {
  Position = StringToPoint3D(RequiredText(AValue, "Position", "position not found"));
  Normal = StringToPoint3D(RequiredText(AValue, "Normal", "normal not found"));
  Binormal = StringToPoint3D(RequiredText(AValue, "Binormal", "binormal not found"));
  Tangent = StringToPoint3D(RequiredText(AValue, "Tangent", "tangent not found"));
  TexCoords.clear();
  if (const TJSONArray* array = OptionalArray(AValue, "TexCoords"))
    for (const TJSONValue* element : *array)
      TexCoords.push_back(StringToPointF(element->Value()));
  Colors.clear();
  if (const TJSONArray* array = OptionalArray(AValue, "Colors"))
    for (const TJSONValue* element : *array) {
      const TVector3D color = StringToVector3D(element->Value());
      Colors.push_back({color.X, color.Y, color.Z, color.W});
    }
  const TJSONValue* smoothGroup = AValue.GetValue("SmoothGroup");
  if (!smoothGroup)
    RaiseVertexData("smoothgroup not found");
  const auto* number = dynamic_cast<const TJSONNumber*>(smoothGroup);
  if (!number)
    RaiseVertexData("smoothgroup contains invalid value");
  SmoothGroup = TCustomDef::JSONNumberToInteger(*number);
}

uint64_t TVertexData::GetHash() const {
  std::array<uint8_t, 104> key{};
  size_t at = 0;
  const auto put = [&](const void* AData, size_t ASize) {
    std::memcpy(key.data() + at, AData, ASize);
    at += ASize;
  };
  put(&Position, 12);
  put(&Normal, 12);
  put(&Binormal, 12);
  put(&Tangent, 12);
  for (size_t i = 0; i < std::min<size_t>(TexCoords.size(), 2); ++i)
    put(&TexCoords[i], 8);
  for (size_t i = 0; i < std::min<size_t>(Colors.size(), 2); ++i)
    put(&Colors[i], 16);
  put(&SmoothGroup, 4);
  const auto flags = static_cast<uint8_t>(Flags.Bits());
  put(&flags, 1);
  return rtl::Crc32(0, key.data(), key.size());
}

bool TVertexData::Equals(const TVertexData& AOther) const {
  if (!NearPoint(Position, AOther.Position) || !NearPoint(Normal, AOther.Normal) ||
      !NearPoint(Binormal, AOther.Binormal) || !NearPoint(Tangent, AOther.Tangent))
    return false;
  if (SmoothGroup != AOther.SmoothGroup || Flags != AOther.Flags)
    return false;
  if (TexCoords.size() != AOther.TexCoords.size() || Colors.size() != AOther.Colors.size())
    return false;
  for (size_t i = 0; i < TexCoords.size(); ++i)
    if (!SameTexValue(TexCoords[i].X, AOther.TexCoords[i].X) || !SameTexValue(TexCoords[i].Y, AOther.TexCoords[i].Y))
      return false;
  constexpr double colorTolerance = 1.5259e-05;
  for (size_t i = 0; i < Colors.size(); ++i) {
    const TAlphaColorF& a = Colors[i];
    const TAlphaColorF& b = AOther.Colors[i];
    if (!Near(a.R, b.R, colorTolerance) || !Near(a.G, b.G, colorTolerance) || !Near(a.B, b.B, colorTolerance) ||
        !Near(a.A, b.A, colorTolerance))
      return false;
  }
  return true;
}

// ---- TVertexIndexMap ----

void TVertexIndexMap::AddIndex(uint32_t AOriginal, uint32_t ACurrent) {
  std::vector<uint32_t>* list = Find(AOriginal);
  if (!list) {
    Add(AOriginal, {ACurrent});
    return;
  }
  if (std::find(list->begin(), list->end(), ACurrent) == list->end())
    list->push_back(ACurrent);
}

void TVertexIndexMap::Assign(const TVertexIndexMap* AMap) {
  Clear();
  if (!AMap)
    return;
  for (const auto& pair : *AMap)
    Add(pair.Key, pair.Value);
}

// ---- TVertexJoints ----

TVertexJoints TVertexJoints::Create(int32_t) {
  return {};
}

void TVertexJoints::Free() {
  *this = {};
}

bool TVertexJoints::JointExists(const TJointDef* AJoint) const {
  return std::find(JointsArray.begin(), JointsArray.end(), AJoint) != JointsArray.end();
}

void TVertexJoints::Add(TJointDef* AJoint, float AWeight) {
  if (JointExists(AJoint))
    return;
  if (JointsCount >= JointsArray.size())
    throw Exception("TVertexJoints.Add(): failed to add joint for vertex - range exceeded - too many joints on a "
                    "single vertex");
  JointsArray[JointsCount] = AJoint;
  WeightsArray[JointsCount] = AWeight;
  ++JointsCount;
}

} // namespace vantrel
