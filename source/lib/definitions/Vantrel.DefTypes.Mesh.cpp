// Mesh definitions' data side: sources, the vertex index map, instances, the material reference,
// their JSON form and the link to the context's GPU buffers.

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <typeinfo>

#include "context/Vantrel.Context.Buffers.h"
#include "context/Vantrel.Context.Types.h"
#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "gl/names.h"
#include "rtl/exceptions.h"
#include "rtl/sysutils.h"
#include "rtl/threads.h"

namespace vantrel {

VANTREL_DEFINE_DEF_CLASS(TMaterialRefDef)
VANTREL_DEFINE_DEF_CLASS(TMeshInstanceDef)
VANTREL_DEFINE_DEF_CLASS(TCustomMeshDef)

namespace {

constexpr const char* InvalidIndexMessage = "invalid index %u in mesh definition \"%s\" - vertex count %d";
constexpr const char* DataTooLargeMessage = "%s of mesh definition \"%s\" exceed %d bytes";

// Which of the two kinds of data a member holds: "Values" only for exactly that text.
bool IsValuesKind(const TJSONObject& AValue, std::string_view AMember) {
  return AValue.GetValue(AMember) && TCustomDef::GetJSONValueText(AValue, AMember) == "Values";
}

// A count from a file: a negative one reads as 0 (fault of counts that allocate blindly).
int32_t CountMember(const TJSONObject& AValue, std::string_view AName) {
  return std::max(TCustomDef::GetJSONInteger(AValue, AName, 0), 0);
}

// Refuses a buffer above the int32 byte range before anything is allocated.
void CheckBufferBytes(int64_t ACount, int64_t AElementSize, std::string_view AWhat, const std::string& AId) {
  if (ACount * AElementSize > std::numeric_limits<int32_t>::max())
    throw EArgumentOutOfRangeException(Format(DataTooLargeMessage, {AWhat, AId, std::numeric_limits<int32_t>::max()}));
}

// An element that must be a number, read as a float. A parsed number (the class is final, and the
// class test a pointer comparison when it holds) is read without a virtual call.
float SingleOf(const TJSONValue* AElement) {
  if (typeid(*AElement) == typeid(json_detail::TTextNumber))
    return static_cast<const json_detail::TTextNumber*>(AElement)->json_detail::TTextNumber::AsSingle();
  const TJSONNumber* number = AElement->AsNumber();
  if (!number)
    throw EInvalidCast(rtl::messages::InvalidCast);
  return number->AsSingle();
}

// An element that must be a number.
const TJSONNumber& AsNumber(const TJSONValue* AElement) {
  const TJSONNumber* number = AElement->AsNumber();
  if (!number)
    throw EInvalidCast(rtl::messages::InvalidCast);
  return *number;
}

const TJSONNumber& NumberElement(const TJSONArray& AArray, int AIndex) {
  // Items raises the index error for an incomplete last group.
  return AsNumber(AArray.Items(AIndex));
}

float FloatElement(const TJSONArray& AArray, int AIndex) {
  return NumberElement(AArray, AIndex).AsSingle();
}

// A colour number: unsigned 32-bit, rounded half to even when its text holds a fraction.
uint32_t ColorElement(const TJSONArray& AArray, int AIndex) {
  const std::string_view text = NumberElement(AArray, AIndex).Value();
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc() && end == text.data() + text.size()) {
    value = std::nearbyint(value);
    if (value >= 0 && value <= double(std::numeric_limits<uint32_t>::max()))
      return uint32_t(value);
  }
  throw EConvertError(Format("'%s' is not a valid integer value", {text}));
}

// The members of "Vertices" in write order, with the numbers per vertex.
enum class TVertexMember : uint8_t { Point, TexCoord, Color };
struct TVertexMemberRow {
  const char* Name;
  TVertexFormat Format;
  TVertexMember Kind;
  int32_t Slot;
};
constexpr TVertexMemberRow VertexMembers[] = {
    {"Positions", TVertexFormat::Vertex, TVertexMember::Point, 0},
    {"Normals", TVertexFormat::Normal, TVertexMember::Point, 0},
    {"Binormals", TVertexFormat::BiNormal, TVertexMember::Point, 0},
    {"Tangents", TVertexFormat::Tangent, TVertexMember::Point, 0},
    {"TexCoord0", TVertexFormat::TexCoord0, TVertexMember::TexCoord, 0},
    {"TexCoord1", TVertexFormat::TexCoord1, TVertexMember::TexCoord, 1},
    {"TexCoord2", TVertexFormat::TexCoord2, TVertexMember::TexCoord, 2},
    {"TexCoord3", TVertexFormat::TexCoord3, TVertexMember::TexCoord, 3},
    {"Color0", TVertexFormat::Color0, TVertexMember::Color, 0},
    {"Color1", TVertexFormat::Color1, TVertexMember::Color, 1},
    {"Color2", TVertexFormat::Color2, TVertexMember::Color, 2},
    {"Color3", TVertexFormat::Color3, TVertexMember::Color, 3},
};

int32_t GroupSize(TVertexMember AKind) {
  return AKind == TVertexMember::Point ? 3 : AKind == TVertexMember::TexCoord ? 2 : 1;
}

TPoint3D GetPoint(const TVertexBuffer& ABuffer, TVertexFormat AFormat, int32_t AIndex) {
  switch (AFormat) {
  case TVertexFormat::Vertex:
    return ABuffer.GetVertices(AIndex);
  case TVertexFormat::Normal:
    return ABuffer.GetNormals(AIndex);
  case TVertexFormat::BiNormal:
    return ABuffer.GetBiNormals(AIndex);
  default:
    return ABuffer.GetTangents(AIndex);
  }
}

// GL is reached only from the UI thread with the context current there; anything else waits.
bool CanUseGL() {
  return rtl::IsMainThread() && gl::IsContextCurrent();
}

TIndexFormat IndexFormatOf(int32_t AOrdinal) {
  if (AOrdinal < 0 || AOrdinal > 1)
    throw ERangeError(rtl::messages::RangeError);
  return TIndexFormat(AOrdinal);
}

} // namespace

uint32_t MaxIndexOf(const TIndexBuffer& ABuffer) {
  uint32_t result = 0;
  const uint8_t* bytes = ABuffer.Buffer();
  const int32_t count = ABuffer.Length();
  if (ABuffer.Format() == TIndexFormat::UInt16)
    for (int32_t i = 0; i < count; ++i) {
      uint16_t value;
      std::memcpy(&value, bytes + size_t(i) * 2, 2);
      result = std::max<uint32_t>(result, value);
    }
  else
    for (int32_t i = 0; i < count; ++i) {
      uint32_t value;
      std::memcpy(&value, bytes + size_t(i) * 4, 4);
      result = std::max(result, value);
    }
  return result;
}

// ---- TMeshInstanceDef ----

TMeshInstanceDef::TMeshInstanceDef(TCustomDef* AOwner) : FMeshRef(dynamic_cast<TCustomMeshDef*>(AOwner)) {}

int64_t TMeshInstanceDef::GetSize() const {
  return inherited::GetSize();
}

std::unique_ptr<TJSONObject> TMeshInstanceDef::ToJSON() const {
  auto result = inherited::ToJSON();
  if (FMeshRef)
    result->AddPair("MeshRef", FMeshRef->GetId());
  result->AddPair("Position", Point3DToString(Position));
  result->AddPair("Scale", Point3DToString(Scale));
  result->AddPair("RotationAngle", Point3DToString(RotationAngle));
  result->AddPair("RotationCenter", Point3DToString(RotationCenter));
  return result;
}

void TMeshInstanceDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  inherited::FromJSON(AModel, AValue);
  Position = GetJSONPoint3D(AValue, "Position", {});
  Scale = GetJSONPoint3D(AValue, "Scale", {});
  RotationAngle = GetJSONPoint3D(AValue, "RotationAngle", {});
  RotationCenter = GetJSONPoint3D(AValue, "RotationCenter", {});
}

// ---- TCustomMeshDef: sources ----

TVertexFormats TCustomMeshDef::DefaultVertexFormat() {
  return {TVertexFormat::Vertex,    TVertexFormat::Normal,   TVertexFormat::ColorF0,
          TVertexFormat::TexCoord0, TVertexFormat::BiNormal, TVertexFormat::Tangent};
}

TCustomMeshDef::TCustomMeshDef(TCustomDef* AOwner)
    : TTransformDef(AOwner), FVertexFormat(DefaultVertexFormat()), FVertexIndexMap(std::make_unique<TVertexIndexMap>()),
      FInstances(std::make_unique<TObjectList<TMeshInstanceDef>>()) {}

TCustomMeshDef::~TCustomMeshDef() {
  // Work queued from a worker must not run on a freed definition.
  TThread::RemoveQueuedEvents(static_cast<const void*>(this));
  UnlinkMeshBuffer();
  FreeBufferObject();
  FMaterial.reset();
  FInstances.reset();
  FIndexSource.Clear();
  FVertexSource.Clear();
  FVertexIndexMap.reset();
  AssignOwner(nullptr);
}

void TCustomMeshDef::SetMaterial(TMaterialRefDef* AValue) {
  if (AValue != FMaterial.get())
    FMaterial.reset(AValue);
}

void TCustomMeshDef::CreateVertexSource(TVertexFormats AFormat) {
  FVertexSource.Clear();
  FVertexFormat = AFormat;
  FVertexSource.Own(MakeOwned<TVertexBuffer>(AFormat, 0));
}

void TCustomMeshDef::CreateIndexSource(TIndexFormat AFormat) {
  FIndexSource.Clear();
  FIndexFormat = AFormat;
  FIndexSource.Own(MakeOwned<TIndexBuffer>(0, AFormat));
}

void TCustomMeshDef::SetVertices(const TVertexBuffer* AVertices) {
  auto copy = MakeOwned<TVertexBuffer>(AVertices ? AVertices->Format() : FVertexFormat, 0);
  if (AVertices)
    copy->Assign(*AVertices);
  FVertexSource.Own(std::move(copy));
}

void TCustomMeshDef::SetIndices(const TIndexBuffer* AIndices) {
  auto copy = MakeOwned<TIndexBuffer>(0, AIndices ? AIndices->Format() : FIndexFormat);
  if (AIndices)
    copy->Assign(*AIndices);
  FIndexSource.Own(std::move(copy));
}

void TCustomMeshDef::SetVertexFormatByVertexData(const TVertexData* AVertex) {
  if (!AVertex)
    return;
  TVertexFormats format{TVertexFormat::Vertex, TVertexFormat::Normal, TVertexFormat::BiNormal, TVertexFormat::Tangent};
  for (size_t i = 0; i < std::min<size_t>(AVertex->TexCoords.size(), 4); ++i)
    format.Include(TVertexFormat(size_t(TVertexFormat::TexCoord0) + i));
  for (size_t i = 0; i < std::min<size_t>(AVertex->Colors.size(), 4); ++i)
    format.Include(TVertexFormat(size_t(TVertexFormat::ColorF0) + i));
  FVertexFormat = format;
}

void TCustomMeshDef::WriteVertexData(TVertexBuffer& ABuffer, int32_t ATarget, const TVertexData& AVertex) const {
  ABuffer.SetVertices(ATarget, AVertex.Position);
  ABuffer.SetNormals(ATarget, AVertex.Normal);
  ABuffer.SetBiNormals(ATarget, AVertex.Binormal);
  ABuffer.SetTangents(ATarget, AVertex.Tangent);
  for (size_t i = 0; i < std::min<size_t>(AVertex.TexCoords.size(), 4); ++i)
    ABuffer.SetTexCoord(int32_t(i), ATarget, AVertex.TexCoords[i]);
  for (size_t i = 0; i < std::min<size_t>(AVertex.Colors.size(), 4); ++i)
    ABuffer.SetColor(int32_t(i), ATarget, AVertex.Colors[i].ToAlphaColor());
}

void TCustomMeshDef::AddVertices(const std::vector<TVertexData>& AVertices, int32_t AIndex, int32_t ACount) {
  FVertexSource.Clear();
  if (AVertices.empty())
    return;
  SetVertexFormatByVertexData(&AVertices.front());
  auto buffer = MakeOwned<TVertexBuffer>(FVertexFormat, ACount);
  for (int32_t k = 0; k < ACount; ++k)
    WriteVertexData(*buffer, k, AVertices.at(size_t(AIndex + k)));
  FVertexSource.Own(std::move(buffer));
}

void TCustomMeshDef::AppendVertices(const std::vector<TVertexData>& AVertices, int32_t AIndex, int32_t ACount) {
  if (AVertices.empty())
    return;
  SetVertexFormatByVertexData(&AVertices.front());
  TVertexBuffer* buffer = GetVertexSource();
  int32_t first = 0;
  if (buffer) {
    first = buffer->Length();
    buffer->SetLength(first + ACount);
  } else {
    FVertexSource.Own(MakeOwned<TVertexBuffer>(FVertexFormat, ACount));
    buffer = FVertexSource.Get();
  }
  for (int32_t k = 0; k < ACount; ++k)
    WriteVertexData(*buffer, first + k, AVertices.at(size_t(AIndex + k)));
}

void TCustomMeshDef::AddIndices(const std::vector<uint32_t>& AIndices, int32_t AIndex, int32_t ACount,
                                uint32_t AOffset) {
  FIndexSource.Clear();
  auto buffer = MakeOwned<TIndexBuffer>(ACount, FIndexFormat);
  for (int32_t k = 0; k < ACount; ++k)
    buffer->SetIndices(k, AIndices.at(size_t(AIndex + k)) - AOffset);
  FIndexSource.Own(std::move(buffer));
}

void TCustomMeshDef::AddIndices(const std::vector<TTriangleIndex>& ATriangles, int32_t AIndex, int32_t ACount,
                                uint32_t AOffset) {
  FIndexSource.Clear();
  auto buffer = MakeOwned<TIndexBuffer>(3 * ACount, FIndexFormat);
  for (int32_t t = 0; t < ACount; ++t)
    for (int32_t c = 0; c < 3; ++c)
      buffer->SetIndices(3 * t + c, ATriangles.at(size_t(AIndex + t))[size_t(c)] - AOffset);
  FIndexSource.Own(std::move(buffer));
}

void TCustomMeshDef::AppendIndices(const std::vector<uint32_t>& AIndices, int32_t AIndex, int32_t ACount,
                                   uint32_t AOffset) {
  TIndexBuffer* buffer = GetIndexSource();
  int32_t first = 0;
  if (buffer) {
    first = buffer->Length();
    buffer->SetLength(first + ACount);
  } else {
    FIndexSource.Own(MakeOwned<TIndexBuffer>(ACount, FIndexFormat));
    buffer = FIndexSource.Get();
  }
  for (int32_t k = 0; k < ACount; ++k)
    buffer->SetIndices(first + k, AIndices.at(size_t(AIndex + k)) - AOffset);
}

void TCustomMeshDef::AppendIndices(const std::vector<TTriangleIndex>& ATriangles, int32_t AIndex, int32_t ACount,
                                   uint32_t AOffset) {
  TIndexBuffer* buffer = GetIndexSource();
  int32_t first = 0;
  if (buffer) {
    first = buffer->Length();
    buffer->SetLength(first + 3 * ACount);
  } else {
    FIndexSource.Own(MakeOwned<TIndexBuffer>(3 * ACount, FIndexFormat));
    buffer = FIndexSource.Get();
  }
  for (int32_t t = 0; t < ACount; ++t)
    for (int32_t c = 0; c < 3; ++c)
      buffer->SetIndices(first + 3 * t + c, ATriangles.at(size_t(AIndex + t))[size_t(c)] - AOffset);
}

std::vector<TPoint3D> TCustomMeshDef::GetVertexPositions() const {
  std::vector<TPoint3D> result;
  const TVertexBuffer* buffer = GetVertexSource();
  if (!buffer)
    return result;
  result.resize(size_t(buffer->Length()));
  for (int32_t i = 0; i < buffer->Length(); ++i)
    result[size_t(i)] = buffer->GetVertices(i);
  return result;
}

void TCustomMeshDef::AddVertexIndexMap(const TVertexIndexMap& AMap, uint32_t AOffset) {
  if (!FVertexIndexMap)
    FVertexIndexMap = std::make_unique<TVertexIndexMap>();
  if (AOffset == 0) {
    FVertexIndexMap->Assign(&AMap);
    return;
  }
  for (const auto& pair : AMap) {
    std::vector<uint32_t> list = pair.Value;
    for (uint32_t& index : list)
      index += AOffset;
    FVertexIndexMap->Add(pair.Key, std::move(list));
  }
}

void TCustomMeshDef::AppendVertexIndexMap(const TVertexIndexMap& AMap, uint32_t AOffset) {
  if (!FVertexIndexMap)
    return AddVertexIndexMap(AMap, AOffset);
  for (const auto& pair : AMap) {
    std::vector<uint32_t> list = pair.Value;
    for (uint32_t& index : list)
      index += AOffset;
    FVertexIndexMap->Add(pair.Key, std::move(list));
  }
}

// ---- TCustomMeshDef: transform, bounds, size ----

void TCustomMeshDef::ApplyTransformation(const TMatrix3D& AMatrix) {
  SetTransform(GetTransform() * AMatrix);
}

void TCustomMeshDef::BoundingBoxChanged() {
  FBoundingBoxUpdateNeeded = true;
  GetBoundingBox();
}

namespace {

TBoundingBox BoxOfPositions(const TVertexBuffer* ABuffer, const TMatrix3D* ATransform) {
  if (!ABuffer || ABuffer->Size() == 0)
    return {};
  TPoint3D low{}, high{};
  for (int32_t i = 0; i < ABuffer->Length(); ++i) {
    TPoint3D p = ABuffer->GetVertices(i);
    if (ATransform)
      p = p * *ATransform;
    if (i == 0) {
      low = high = p;
      continue;
    }
    low = {std::min(low.X, p.X), std::min(low.Y, p.Y), std::min(low.Z, p.Z)};
    high = {std::max(high.X, p.X), std::max(high.Y, p.Y), std::max(high.Z, p.Z)};
  }
  return TBoundingBox::Create(low, high);
}

} // namespace

TBoundingBox TCustomMeshDef::GetBoundingBox() {
  if (FBoundingBoxUpdateNeeded) {
    FBoundingBoxUpdateNeeded = false;
    const TMatrix3D transform = GetTransform();
    FBoundingBox = BoxOfPositions(GetVertexSource(), &transform);
  }
  return FBoundingBox;
}

TBoundingBox TCustomMeshDef::GetRawBoundingBox() const {
  return BoxOfPositions(GetVertexSource(), nullptr);
}

int64_t TCustomMeshDef::GetSize() const {
  int64_t size = inherited::GetSize();
  if (FBufferObject)
    size += int64_t(sizeof(TMeshBufferObject));
  if (const TVertexBuffer* vertices = GetVertexSource())
    size += int64_t(sizeof(TVertexBuffer)) + vertices->Size();
  if (const TIndexBuffer* indices = GetIndexSource())
    size += int64_t(sizeof(TIndexBuffer)) + indices->Size();
  if (FMaterial)
    size += int64_t(sizeof(TMaterialRefDef));
  return size;
}

// ---- TCustomMeshDef: JSON ----

void TCustomMeshDef::WriteVertices(TJSONObject& AResult) const {
  auto vertices = TJSONObject::Create();
  // The own field, not the getter: a vertex group writes its empty source, not its parent's data.
  if (const TVertexBuffer* buffer = FVertexSource.Get()) {
    const int32_t count = buffer->Length();
    for (const TVertexMemberRow& row : VertexMembers) {
      auto array = TJSONArray::Create();
      if (buffer->Format().Contains(row.Format))
        for (int32_t i = 0; i < count; ++i)
          switch (row.Kind) {
          case TVertexMember::Point: {
            const TPoint3D p = GetPoint(*buffer, row.Format, i);
            array->Add(p.X).Add(p.Y).Add(p.Z);
            break;
          }
          case TVertexMember::TexCoord: {
            const TPointF p = buffer->GetTexCoord(row.Slot, i);
            array->Add(p.X).Add(p.Y);
            break;
          }
          case TVertexMember::Color:
            array->Add(int64_t(buffer->GetColor(row.Slot, i)));
            break;
          }
      vertices->AddPair(row.Name, std::move(array));
    }
  }
  AResult.AddPair("Vertices", std::move(vertices));
}

std::unique_ptr<TJSONObject> TCustomMeshDef::ToJSON() const {
  auto result = inherited::ToJSON();
  result->AddPair("IsStatic", FIsStatic);
  result->AddPair("VertexFormat", VertexFormatsToString(FVertexFormat));
  result->AddPair("VertexCount", FVertexSource.Get() ? FVertexSource.Get()->Length() : 0);
  result->AddPair("VerticesDataType", "Values");
  WriteVertices(*result);
  const TIndexBuffer* indices = GetIndexSource();
  result->AddPair("IndexFormat", int32_t(FIndexFormat));
  result->AddPair("IndexCount", indices ? indices->Length() : 0);
  result->AddPair("IndicesDataType", "Values");
  auto indexArray = TJSONArray::Create();
  if (indices)
    for (int32_t i = 0; i < indices->Length(); ++i)
      indexArray->Add(int64_t(indices->GetIndices(i)));
  result->AddPair("Indices", std::move(indexArray));
  auto map = TJSONObject::Create();
  if (FVertexIndexMap)
    for (const auto& pair : *FVertexIndexMap) {
      auto list = TJSONArray::Create();
      for (const uint32_t index : pair.Value)
        list->Add(int64_t(index));
      map->AddPair(std::to_string(pair.Key), std::move(list));
    }
  result->AddPair("VertexIndexMap", std::move(map));
  result->AddPair("FaceOrientation", int32_t(FFaceOrientation));
  if (FMaterial)
    result->AddPair("Material", FMaterial->GetId());
  else
    result->AddPair("Material", TJSONNull::Create());
  auto instances = TJSONArray::Create();
  for (const TMeshInstanceDef* instance : *FInstances)
    instances->Add(instance->ToJSON());
  result->AddPair("Instances", std::move(instances));
  return result;
}

void TCustomMeshDef::ReadVertices(const TJSONObject& AValue, int32_t ACount) {
  const TJSONValue* member = AValue.GetValue("Vertices");
  if (!member)
    return;
  const bool values = IsValuesKind(AValue, "VerticesDataType");
  const auto* object = dynamic_cast<const TJSONObject*>(member);
  if (values && !object)
    throw Exception("invalid json data type for \"Vertices\"");
  CheckBufferBytes(ACount, TVertexBuffer::VertexSizeOf(FVertexFormat), "vertices", GetId());
  FVertexSource.Own(MakeOwned<TVertexBuffer>(FVertexFormat, ACount));
  TVertexBuffer& buffer = *FVertexSource.Get();
  if (!values) {
    const std::vector<uint8_t> bytes = StringToBytes(GetJSONValueText(AValue, "Vertices"));
    if (buffer.Buffer() && !bytes.empty())
      std::memcpy(buffer.Buffer(), bytes.data(), std::min<size_t>(bytes.size(), size_t(buffer.Size())));
    return;
  }
  for (const TVertexMemberRow& row : VertexMembers) {
    const TJSONValue* value = object->GetValue(row.Name);
    if (!value)
      continue;
    const auto* array = dynamic_cast<const TJSONArray*>(value);
    if (!array)
      throw EInvalidCast(rtl::messages::InvalidCast);
    const int32_t group = GroupSize(row.Kind);
    const int32_t offset = buffer.OffsetOf(row.Format);
    if (row.Kind != TVertexMember::Color && offset >= 0 && array->Count() % group == 0 &&
        array->Count() / group <= buffer.Length()) {
      // The hot loop of large files: whole groups of floats straight into the interleaved bytes.
      uint8_t* target = buffer.Buffer() + size_t(offset);
      const size_t stride = size_t(buffer.VertexSize());
      auto element = array->begin();
      for (int32_t k = 0; k < array->Count() / group; ++k, target += stride) {
        float p[3];
        for (int32_t c = 0; c < group; ++c) {
          p[c] = SingleOf(*element);
          ++element;
        }
        std::memcpy(target, p, size_t(group) * sizeof(float));
      }
      continue;
    }
    for (int32_t first = 0, k = 0; first < array->Count(); first += group, ++k)
      switch (row.Kind) {
      case TVertexMember::Point: {
        const TPoint3D p{FloatElement(*array, first), FloatElement(*array, first + 1), FloatElement(*array, first + 2)};
        if (k >= buffer.Length())
          throw ERangeError(rtl::messages::RangeError);
        // Straight into the interleaved bytes: the hot loop of large files.
        if (offset >= 0)
          std::memcpy(buffer.Buffer() + size_t(k) * size_t(buffer.VertexSize()) + size_t(offset), &p, sizeof p);
        break;
      }
      case TVertexMember::TexCoord: {
        const TPointF p{FloatElement(*array, first), FloatElement(*array, first + 1)};
        buffer.SetTexCoord(row.Slot, k, p);
        break;
      }
      case TVertexMember::Color:
        buffer.SetColor(row.Slot, k, ColorElement(*array, first));
        break;
      }
  }
}

void TCustomMeshDef::ReadIndices(const TJSONObject& AValue, int32_t ACount, TIndexFormat AFormat) {
  const TJSONValue* member = AValue.GetValue("Indices");
  if (!member)
    return;
  const bool values = IsValuesKind(AValue, "IndicesDataType");
  const auto* array = dynamic_cast<const TJSONArray*>(member);
  if (values && !array)
    throw Exception("invalid json data type for \"Indices\"");
  CheckBufferBytes(ACount, AFormat == TIndexFormat::UInt16 ? 2 : 4, "indices", GetId());
  auto buffer = MakeOwned<TIndexBuffer>(ACount, AFormat);
  if (!values) {
    const std::vector<uint8_t> bytes = StringToBytes(GetJSONValueText(AValue, "Indices"));
    if (buffer->Buffer() && !bytes.empty())
      std::memcpy(buffer->Buffer(), bytes.data(), std::min<size_t>(bytes.size(), size_t(buffer->Size())));
  } else {
    for (int k = 0; k < array->Count(); ++k)
      buffer->SetIndices(k, uint32_t(JSONNumberToInteger(NumberElement(*array, k))));
  }
  FIndexSource.Own(std::move(buffer));
}

void TCustomMeshDef::ReadVertexIndexMap(const TJSONObject& AValue) {
  const TJSONValue* member = AValue.GetValue("VertexIndexMap");
  if (!member)
    return;
  const auto* object = dynamic_cast<const TJSONObject*>(member);
  if (!object)
    throw EInvalidCast(rtl::messages::InvalidCast);
  if (!FVertexIndexMap)
    FVertexIndexMap = std::make_unique<TVertexIndexMap>();
  for (const TJSONPair* pair : *object) {
    const auto* list = dynamic_cast<const TJSONArray*>(pair->JsonValue());
    if (!list)
      throw EInvalidCast(rtl::messages::InvalidCast);
    std::vector<uint32_t> indices;
    indices.reserve(size_t(list->Count()));
    for (int k = 0; k < list->Count(); ++k)
      indices.push_back(uint32_t(JSONNumberToInteger(NumberElement(*list, k))));
    int key = 0;
    if (!TryStrToInt(pair->Name(), key))
      throw Exception(Format("unexpected value in VertexIndexMap - ordinal values expected, but \"%s\" found",
                             {pair->Name()}));
    FVertexIndexMap->Add(uint32_t(key), std::move(indices));
  }
}

void TCustomMeshDef::ReadInstances(TModelDef* AModel, const TJSONObject& AValue) {
  const auto* instances = dynamic_cast<const TJSONArray*>(AValue.GetValue("Instances"));
  if (!instances)
    return;
  for (const TJSONValue* element : *instances) {
    const auto* object = dynamic_cast<const TJSONObject*>(element);
    if (!object)
      continue;
    auto instance = MakeOwned<TMeshInstanceDef>(this);
    instance->FromJSON(AModel, *object);
    FInstances->Add(instance.release());
  }
}

void TCustomMeshDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  inherited::FromJSON(AModel, AValue);
  FVertexFormat = StringToVertexFormats(GetJSONString(AValue, "VertexFormat"));
  const int32_t vertexCount = CountMember(AValue, "VertexCount");
  if (vertexCount > 0 && ReadsOwnVertices())
    ReadVertices(AValue, vertexCount);
  // The indices are read whatever the vertex count: a mesh without vertices still writes its
  // indices, and reading them only with vertices lost them on the way back.
  const int32_t indexCount = CountMember(AValue, "IndexCount");
  // The format is written for every mesh, so it is read wherever it stands: a mesh with neither
  // vertices nor indices otherwise came back with the default format.
  if (AValue.GetValue("IndexFormat") || vertexCount > 0 || indexCount > 0)
    FIndexFormat = IndexFormatOf(GetJSONInteger(AValue, "IndexFormat", 0));
  if (indexCount > 0)
    ReadIndices(AValue, indexCount, FIndexFormat);
  // The map is written whenever it holds entries, indices or not, so it is read the same way.
  ReadVertexIndexMap(AValue);
  const int32_t orientation = GetJSONInteger(AValue, "FaceOrientation", 0);
  if (orientation < 0 || orientation > 2)
    throw ERangeError(rtl::messages::RangeError);
  FFaceOrientation = TFaceOrientation(orientation);
  if (const auto* material = dynamic_cast<const TJSONString*>(AValue.GetValue("Material"))) {
    auto reference = MakeOwned<TMaterialRefDef>();
    reference->SetId(std::string(material->Value()));
    reference->SetReference(AModel ? AModel->FindMaterialById(reference->GetId()) : nullptr);
    FMaterial = std::move(reference);
    // A material read after this mesh is linked once the model has read everything; outside a
    // model's read there is no list and the reference stays unresolved.
    if (AModel && !FMaterial->GetReference())
      AModel->RegisterLateResolve(FMaterial.get(), AValue);
  }
  ReadInstances(AModel, AValue);
}

// ---- TCustomMeshDef: the GPU buffer link ----

bool TCustomMeshDef::HasData() const {
  const TVertexBuffer* vertices = GetVertexSource();
  const TIndexBuffer* indices = GetIndexSource();
  return vertices && indices && vertices->Length() > 0 && indices->Length() > 0;
}

void TCustomMeshDef::FreeBufferObject() {
  if (FBufferObject && FBuffersLinked)
    FBufferObject->ClearAssignedBufferObject();
  // GL names freed off the context's thread are queued for it by the buffers themselves.
  FBufferObject.reset();
}

void TCustomMeshDef::QueueBuild(TVantrelPrimitivesKind AKind) {
  TThread::Queue(static_cast<const void*>(this), [this, AKind] { RunBuild(AKind); });
}

void TCustomMeshDef::RunBuild(TVantrelPrimitivesKind AKind) {
  if (!FIsStatic || !HasData()) {
    FPendingBuild.reset();
    return;
  }
  if (!CanUseGL()) {
    FPendingBuild = AKind;
    return;
  }
  FPendingBuild.reset();
  FRefreshPending = false;
  const TVertexBuffer& vertices = *GetVertexSource();
  const TIndexBuffer& indices = *GetIndexSource();
  CheckIndices(vertices, indices);
  auto object = MakeOwned<TMeshBufferObject>(nullptr);
  object->SetKind(AKind);
  object->PushData(TMeshBufferComponent::All, &vertices);
  object->PushData(TMeshBufferComponent::Indices, indices.Buffer(), indices.Size());
  object->SetStaticBuffer(object.get());
  FreeBufferObject();
  FBufferObject = std::move(object);
}

void TCustomMeshDef::CheckIndices(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices) {
  if (FMaxIndex.Buffer != &AIndices || FMaxIndex.Version != AIndices.Version()) {
    FMaxIndex = {&AIndices, AIndices.Version(), MaxIndexOf(AIndices)};
  }
  if (AIndices.Length() > 0 && FMaxIndex.Value >= uint32_t(AVertices.Length()))
    throw Exception(Format(InvalidIndexMessage, {FMaxIndex.Value, GetId(), AVertices.Length()}));
}

void TCustomMeshDef::RunRefresh() {
  if (!FIsStatic || !FBufferObject || !HasData()) {
    FRefreshPending = false;
    return;
  }
  if (!CanUseGL()) {
    FRefreshPending = true;
    return;
  }
  FRefreshPending = false;
  const TVertexBuffer& vertices = *GetVertexSource();
  const TIndexBuffer& indices = *GetIndexSource();
  CheckIndices(vertices, indices);
  FBufferObject->PushData(TMeshBufferComponent::All, &vertices);
  FBufferObject->PushData(TMeshBufferComponent::Indices, indices.Buffer(), indices.Size());
}

void TCustomMeshDef::SetIsStatic(bool AValue) {
  if (!AValue) {
    // A linked mesh gives the lender's buffers back instead of freeing them.
    UnlinkMeshBuffer();
    FreeBufferObject();
    FPendingBuild.reset();
    FRefreshPending = false;
    FIsStatic = false;
    return;
  }
  if (FIsStatic && (FBufferObject || FPendingBuild))
    return;
  TVantrelPrimitivesKind kind = TVantrelPrimitivesKind::Triangles;
  if (FBufferObject) {
    kind = FBufferObject->Kind();
    TThread::Queue(static_cast<const void*>(this), [this] { FreeBufferObject(); });
  }
  if (HasData()) {
    FIsStatic = true;
    QueueBuild(kind);
  }
}

void TCustomMeshDef::UpdateMeshBuffer() {
  // Building owned buffers from borrowed sources would leak them at unlink.
  UnlinkMeshBuffer();
  TVantrelPrimitivesKind kind = TVantrelPrimitivesKind::Triangles;
  if (FBufferObject) {
    kind = FBufferObject->Kind();
    FreeBufferObject();
  } else if (FPendingBuild) {
    kind = *FPendingBuild;
  }
  FPendingBuild.reset();
  if (FIsStatic && HasData())
    QueueBuild(kind);
}

void TCustomMeshDef::RefreshMeshBuffer(bool ASync) {
  if (!FIsStatic || !FBufferObject || !HasData())
    return;
  if (ASync)
    TThread::Queue(static_cast<const void*>(this), [this] { RunRefresh(); });
  else
    RunRefresh();
}

void TCustomMeshDef::LinkMeshBuffer(TMeshBufferObject* ABufferObject, TVertexBuffer* AVertices,
                                    TIndexBuffer* AIndices) {
  UnlinkMeshBuffer();
  FreeBufferObject();
  FPendingBuild.reset();
  FRefreshPending = false;
  auto object = MakeOwned<TMeshBufferObject>(nullptr);
  if (ABufferObject)
    object->AssignBufferObject(*ABufferObject);
  FBufferObject = std::move(object);
  FBuffersLinked = true;
  FVertexSource.Borrow(AVertices);
  FIndexSource.Borrow(AIndices);
  FIsStatic = true;
}

void TCustomMeshDef::UnlinkMeshBuffer() {
  if (!FBuffersLinked)
    return;
  if (FBufferObject) {
    FBufferObject->ClearAssignedBufferObject();
    FBufferObject.reset();
  }
  FVertexSource.DropBorrowed();
  FIndexSource.DropBorrowed();
  FBuffersLinked = false;
}

void TCustomMeshDef::CompletePendingBuild() {
  if (!CanUseGL())
    return;
  if (FPendingBuild)
    RunBuild(*FPendingBuild);
  else if (FRefreshPending)
    RunRefresh();
}

} // namespace vantrel
