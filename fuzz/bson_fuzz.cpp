// bson_read: any input either ends cleanly (no tree, or a reader or writer exception) or reads,
// through the tree builder, to a complete tree whose text is valid JSON and which writes back to
// BSON that reads to the same tree.

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const auto tree = ReadTree(rtl::TBytes(AData, AData + ASize));
  if (!tree)
    return 0;
  const std::string text = tree->ToString();
  const auto reparsed = rtl::TJSONValue::ParseJSONValue(text);
  Check(reparsed && reparsed->ToString() == text);
  const auto* object = dynamic_cast<const rtl::TJSONObject*>(tree.get());
  Check(object != nullptr);
  rtl::TBytesStream out;
  {
    vantrel::TVantrelBSONWriter writer(&out);
    writer.WriteJsonObject(object);
  }
  const auto again = ReadTree(out.Bytes());
  Check(again && again->ToString() == text);
  return 0;
}
