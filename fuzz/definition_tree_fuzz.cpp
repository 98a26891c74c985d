// definition_tree: any input either fails cleanly or reads into a node tree (and a group node)
// whose JSON text is stable: the text read again writes the same text. The same bytes go to every
// text codec of the definitions, whose written form must read back to itself.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/json.h"

namespace {

using namespace vantrel;

void Check(bool ACondition) {
  if (!ACondition)
    std::abort();
}

// The node's JSON text after reading AValue, or "" when reading raised.
template <class TNode> std::string ReadAndWrite(const TJSONObject& AValue) {
  auto node = MakeOwned<TNode>();
  try {
    node->FromJSON(nullptr, AValue);
  } catch (const Exception&) {
    return {};
  }
  return node->ToJSON()->ToJSON();
}

template <class TNode> void CheckTree(const TJSONObject& AValue) {
  const std::string first = ReadAndWrite<TNode>(AValue);
  if (first.empty())
    return;
  const auto again = TJSONValue::ParseJSONValue(first);
  const auto* object = dynamic_cast<const TJSONObject*>(again.get());
  Check(object != nullptr);
  Check(ReadAndWrite<TNode>(*object) == first);
}

// Reading the written form of a codec's result gives that written form again.
template <class TRead, class TWrite> void CheckCodec(std::string_view AText, TRead&& ARead, TWrite&& AWrite) {
  const std::string written = AWrite(ARead(AText));
  Check(AWrite(ARead(written)) == written);
}

void CheckCodecs(std::string_view AText) {
  CheckCodec(AText, StringToPoint3D, [](const TPoint3D& AValue) { return Point3DToString(AValue); });
  CheckCodec(AText, StringToVector3D,
             [](const TVector3D& AValue) { return Vector3DToString(AValue, true, ','); });
  CheckCodec(AText, StringToPointF, [](const TPointF& AValue) { return PointFToString(AValue); });
  CheckCodec(AText, StringToQuaternion,
             [](const TQuaternion3D& AValue) { return QuaternionToString(AValue); });
  CheckCodec(AText, StringToIntegerArray,
             [](const std::vector<int32_t>& AValue) { return IntegerArrayToString(AValue); });
  CheckCodec(AText, StringToSingleArray,
             [](const std::vector<float>& AValue) { return SingleArrayToString(AValue); });
  CheckCodec(AText, StringToMatrix3D, [](const TMatrix3D& AValue) { return Matrix3DToString(AValue); });
  CheckCodec(AText, StringToPoint3DArray,
             [](const std::vector<TPoint3D>& AValue) { return Point3DArrayToString(AValue); });
  CheckCodec(AText, StringToBytes, [](const std::vector<uint8_t>& AValue) { return BytesToString(AValue); });
  CheckCodec(AText, StringToTextureFlippings, TextureFlippingsToString);
  CheckCodec(AText, StringToVertexFormats, VertexFormatsToString);
  float x = 0, y = 0, z = 0, w = 0;
  StringToVector4(AText, x, y, z, w);
  const std::string vector4 = Vector4ToString(x, y, z, w);
  StringToVector4(vector4, x, y, z, w);
  Check(Vector4ToString(x, y, z, w) == vector4);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  static const bool initialized = (InitializeDefTypes(), true);
  Check(initialized);
  const std::string_view text(reinterpret_cast<const char*>(AData), ASize);
  CheckCodecs(text);
  const auto value = TJSONValue::ParseJSONValue(text);
  if (const auto* object = dynamic_cast<const TJSONObject*>(value.get())) {
    CheckTree<TTransformDef>(*object);
    CheckTree<TGroupDef>(*object);
  }
  return 0;
}
