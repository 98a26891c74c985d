#include "formats/v3d/Vantrel.JSON.h"

#include <cstring>

#include "rtl/exceptions.h"

namespace vantrel {

RTL_DEFINE_CLASS(TJsonStreamReader, "Vantrel.JSON")
RTL_DEFINE_CLASS(TJsonStringWriter, "Vantrel.JSON")

void TLargeStringBuilder::Append(std::string_view AText) {
  const auto count = static_cast<int64_t>(AText.size());
  if (FPosition + count > FCapacity) {
    const int64_t needed = (FPosition + count + FBlockSize - 1) / FBlockSize * FBlockSize;
    const int64_t capacity = FCapacity + needed;
    auto buffer = std::make_unique<char[]>(static_cast<size_t>(capacity));
    if (FPosition > 0)
      std::memcpy(buffer.get(), FBuffer.get(), static_cast<size_t>(FPosition));
    FBuffer = std::move(buffer);
    FCapacity = capacity;
  }
  if (count > 0)
    std::memcpy(FBuffer.get() + FPosition, AText.data(), AText.size());
  FPosition += count;
}

namespace {

std::string CheckedText(const TJSONObject& AObject) {
  std::string text = AObject.ToJSON();
  rtl::Assert(!text.empty());
  return text;
}

} // namespace

TJsonStreamReader::TJsonStreamReader(const TJSONObject& AObject) : TJsonTextReader(CheckedText(AObject)) {}

std::string BeautifyJson(const TJSONObject& AObject) {
  TJsonStreamReader reader(AObject);
  TJsonStringWriter writer;
  while (reader.Read())
    writer.WriteToken(reader);
  return writer.ToString();
}

} // namespace vantrel
