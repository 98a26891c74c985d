// bson_read: any input either ends cleanly (no tree, or a reader or writer exception) or reads,
// through the tree builder, to a complete tree whose text is valid JSON. Written back as BSON it
// reads to a tree again, and from then on the round trip is stable (the first one may turn
// integers into doubles).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "formats/v3d/Vantrel.BSON.Writer.h"
#include "formats/v3d/Vantrel.JSON.BSON.h"

namespace {

void Check(bool ACondition) {
  if (!ACondition)
    std::abort();
}

// The tree the reader's tokens build, or null when the data ends early or is malformed.
std::unique_ptr<rtl::TJSONValue> ReadTree(const rtl::TBytes& ABytes) {
  rtl::TBytesStream stream(ABytes);
  vantrel::TBsonReader reader(&stream);
  rtl::TJsonObjectWriter writer(false);
  try {
    while (reader.Read())
      writer.WriteToken(reader);
  } catch (const rtl::EJsonReaderException&) {
    return nullptr;
  } catch (const rtl::EJsonWriterException&) {
    return nullptr;
  }
  return writer.ExtractJSON();
}

std::unique_ptr<rtl::TJSONValue> RoundTrip(const rtl::TJSONValue& ATree) {
  const auto* object = dynamic_cast<const rtl::TJSONObject*>(&ATree);
  Check(object != nullptr);
  rtl::TBytesStream out;
  {
    vantrel::TVantrelBSONWriter writer(&out);
    writer.WriteJsonObject(object);
  }
  return ReadTree(out.Bytes());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const auto tree = ReadTree(rtl::TBytes(AData, AData + ASize));
  if (!tree)
    return 0;
  const std::string text = tree->ToString();
  const auto reparsed = rtl::TJSONValue::ParseJSONValue(text);
  Check(reparsed && reparsed->ToString() == text);
  const auto once = RoundTrip(*tree);
  Check(once != nullptr);
  const auto twice = RoundTrip(*once);
  Check(twice && twice->ToString() == once->ToString());
  return 0;
}
