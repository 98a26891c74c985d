#include "utils/Vantrel.Utils.Language.h"

#include <array>
#include <mutex>

#include "xml/Vantrel.Xml.Node.h"

namespace vantrel {

namespace {

constexpr std::array<std::string_view, 5> LanguageCodes = {"en-us", "en-uk", "de-de", "de-at", "de-ch"};

const TJSONString* AsJSONString(const TJSONValue* AValue) {
  return dynamic_cast<const TJSONString*>(AValue);
}

} // namespace

int32_t LanguageCodeToIndex(std::string_view ACode) {
  for (size_t i = 0; i < LanguageCodes.size(); ++i)
    if (LanguageCodes[i] == ACode)
      return static_cast<int32_t>(i);
  return 0;
}

std::string LanguageIndexToCode(int32_t AIndex) {
  if (AIndex < 0 || static_cast<size_t>(AIndex) >= LanguageCodes.size())
    return std::string(LanguageCodes[0]);
  return std::string(LanguageCodes[static_cast<size_t>(AIndex)]);
}

void TVantrelLanguageMap::FromXml(const TMz_XmlElement* ANode) {
  if (!ANode)
    return;
  std::scoped_lock lock(FLock);
  if (!ANode->nodes()) {
    std::string code;
    if (ANode->getAttribute("id", code) || ANode->getAttribute("lang", code))
      AddOrSetValue(code, std::string(ANode->getRawValue()));
    return;
  }
  Clear();
  for (const TMz_XmlElement* child : *ANode->nodes()) {
    std::string code;
    if (child->name() != "lang" || !child->getAttribute("id", code))
      continue;
    if (!child->nodes()) {
      AddOrSetValue(code, std::string(child->getRawValue()));
      continue;
    }
    for (const TMz_XmlElement* part : *child->nodes())
      if (part->kind() == TMz_XmlNodeKind::mzData) {
        AddOrSetValue(code, std::string(part->getRawValue()));
        break;
      }
  }
}

TMz_XmlElement* TVantrelLanguageMap::ToXml(std::string_view ATagName, bool ACreateTag,
                                           TMz_XmlElement* AParent) {
  std::scoped_lock lock(FLock);
  TMz_XmlDocument* document = AParent ? AParent->document() : nullptr;
  TMz_XmlElement* target = AParent;
  if (ACreateTag) {
    target = TMz_XmlElement::Create(document, AParent, "", ATagName);
    target->setAttribute("type", "multilingual");
  }
  if (!target)
    return nullptr;
  for (const auto& entry : *this) {
    TMz_XmlElement* lang = TMz_XmlElement::Create(document, target, "", "lang");
    lang->setAttribute("id", entry.Key);
    TMz_XmlElement* data = TMz_XmlElement::Create(document, lang, "", "");
    data->setKind(TMz_XmlNodeKind::mzData);
    data->setRawValue(entry.Value);
  }
  return target;
}

void TVantrelLanguageMap::Assign(const TVantrelLanguageMap* ASrc) {
  Clear();
  std::scoped_lock lock(FLock);
  if (!ASrc || ASrc == this)
    return;
  for (const auto& entry : *ASrc)
    AddOrSetValue(entry.Key, entry.Value);
}

std::unique_ptr<TJSONObject> TVantrelLanguageMap::ToJSON() const {
  auto values = TJSONArray::Create();
  for (const auto& entry : *this) {
    auto item = TJSONObject::Create();
    item->AddPair("Key", std::string_view(entry.Key));
    item->AddPair("Value", std::string_view(entry.Value));
    values->Add(std::move(item));
  }
  auto result = TJSONObject::Create();
  result->AddPair("Values", std::move(values));
  return result;
}

void TVantrelLanguageMap::FromJSON(const TJSONObject* AData) {
  Clear();
  const auto* values = AData ? dynamic_cast<const TJSONArray*>(AData->GetValue("Values")) : nullptr;
  if (!values)
    return;
  for (const TJSONValue* item : *values) {
    const auto* entry = dynamic_cast<const TJSONObject*>(item);
    if (!entry)
      continue;
    const TJSONString* key = AsJSONString(entry->GetValue("Key"));
    const TJSONString* text = AsJSONString(entry->GetValue("Value"));
    if (key && text)
      AddOrSetValue(std::string(key->Value()), std::string(text->Value()));
  }
}

} // namespace vantrel
