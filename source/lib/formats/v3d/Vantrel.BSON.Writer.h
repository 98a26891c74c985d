#pragma once
// Writes a JSON document tree as BSON. Every number goes as a double, except an integer text
// whose value a double cannot hold exactly and which fits int64: that one goes as int64 so that it
// keeps its value.

#include "Vantrel.Prelude.h"
#include "formats/v3d/Vantrel.JSON.BSON.h"
#include "rtl/json.h"

namespace vantrel {

class TVantrelBSONWriter : public TBsonWriter {
  RTL_CLASS(TVantrelBSONWriter, TBsonWriter)
public:
  // Writes onto AStream (not owned).
  explicit TVantrelBSONWriter(TStream* AStream) : TBsonWriter(AStream) {}

  // The object as a document, its members in order. The document's end is written also when a
  // value raises, so the containers opened so far are closed on the way out.
  void WriteJsonObject(const TJSONObject* AObject);
  void WriteJsonArray(const TJSONArray* AArray);
  // One value as one element.
  void WriteJsonValue(const TJSONValue* AValue);
  // The payload of one scalar value, with no type byte and no name.
  void WriteRawJsonValue(const TJSONValue* AValue);

private:
  // Ends the open container after a failure, giving a name still waiting a null value.
  void EndAfterFailure(bool AObject) noexcept;
  void WriteNumber(const TJSONNumber& ANumber);
};

} // namespace vantrel
