#pragma once
// Multilingual texts: the table of supported language codes and the map from language code to
// text that game-data items keep, read and written as XML (single-language or multilingual form)
// and as JSON.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "Vantrel.Prelude.h"
#include "rtl/generics.h"
#include "rtl/json.h"
#include "rtl/sync.h"

namespace vantrel {

class TMz_XmlElement;

// The index of a code in the language table ("en-us" 0, "en-uk" 1, "de-de" 2, "de-at" 3, "de-ch"
// 4), compared exactly; 0 for a code not in the table.
int32_t LanguageCodeToIndex(std::string_view ACode);
// The code of an index; "en-us" for an index not in the table.
std::string LanguageIndexToCode(int32_t AIndex);

// Insertion-ordered; adding a present code replaces its text in place. FromXml, ToXml and Assign
// hold the map's own re-entrant lock while they run.
class TVantrelLanguageMap : public TDictionary<std::string, std::string> {
public:
  TVantrelLanguageMap() = default;

  // Without a child list: adds the element's text under its "id" (else "lang") attribute and
  // keeps the other entries. With one: empties the map and reads each "lang" child.
  virtual void FromXml(const TMz_XmlElement* ANode);
  // Writes one "lang" element with a CDATA child per entry into a new element ATagName under
  // AParent (ACreateTag) or into AParent itself; returns the element written into.
  virtual TMz_XmlElement* ToXml(std::string_view ATagName, bool ACreateTag, TMz_XmlElement* AParent);
  // Empties the map, then copies ASrc's entries when it is given.
  virtual void Assign(const TVantrelLanguageMap* ASrc);

  // {"Values":[{"Key":code,"Value":text},...]}
  std::unique_ptr<TJSONObject> ToJSON() const;
  // Empties the map and adds the well-formed entries, skipping anything else.
  void FromJSON(const TJSONObject* AData);

  TCriticalSection& Lock() const { return FLock; }

private:
  mutable TCriticalSection FLock;
};

} // namespace vantrel
