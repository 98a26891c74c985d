#include "utils/Vantrel.Utils.Dialogue.Writer.h"

#include "rtl/sysutils.h"
#include "utils/Vantrel.Utils.Dialogue.System.h"
#include "xml/Vantrel.Xml.Document.h"

namespace vantrel {

namespace {

TMz_XmlElement* AddElement(TMz_XmlElement* AParent, std::string_view AName) {
  return TMz_XmlElement::Create(AParent->document(), AParent, "", AName);
}

// "x;y", each the Single widened to double.
std::string PositionText(TPointF APosition) {
  return FloatToStr(static_cast<double>(APosition.X)) + ";" + FloatToStr(static_cast<double>(APosition.Y));
}

// "id", "position" and "enabled" (only as "false"), the attributes every entry starts with; AKind
// goes between the identifier and the position when given.
void WriteEntry(TMz_XmlElement* AElement, const TVantrelDialogueCustomItem& AEntry,
                const std::string& AKindAttribute = {}, const std::string& AKind = {}) {
  AElement->addAttribute("id", AEntry.GetIdent());
  if (!AKindAttribute.empty())
    AElement->addAttribute(AKindAttribute, AKind);
  AElement->addAttribute("position", PositionText(AEntry.GetPosition()));
  if (!AEntry.GetEnabled())
    AElement->addAttribute("enabled", std::string("false"));
}

void WriteParameters(TMz_XmlElement* AParent, const TVantrelDialogueParameterizedItem& AEntry) {
  if (AEntry.Parameters().IsEmpty())
    return;
  TMz_XmlElement* params = AddElement(AParent, "params");
  for (const auto& pair : AEntry.Parameters()) {
    TMz_XmlElement* param = AddElement(params, "param");
    param->addAttribute("name", pair.Key);
    param->setValue(pair.Value);
  }
}

void WriteTexts(TMz_XmlElement* AParent, const char* ATagName, const TVantrelLanguageMap& ATexts) {
  if (!ATexts.IsEmpty())
    const_cast<TVantrelLanguageMap&>(ATexts).ToXml(ATagName, true, AParent);
}

void WriteEvent(TMz_XmlElement* AParent, const TVantrelDialogueItemEvent& AEvent) {
  TMz_XmlElement* element = AddElement(AParent, "event");
  element->addAttribute("id", AEvent.GetIdent());
  if (!AEvent.GetOwnerEvent().empty())
    element->addAttribute("owner", AEvent.GetOwnerEvent());
  element->addAttribute("kind", DialogueEventKindToStr(AEvent.GetKind()));
  element->addAttribute("position", PositionText(AEvent.GetPosition()));
  if (!AEvent.GetEnabled())
    element->addAttribute("enabled", std::string("false"));
  element->addAttribute("trigger", DialogueEventTriggerToStr(AEvent.GetTrigger()));
  if (!AEvent.GetScope().empty())
    element->addAttribute("scope", AEvent.GetScope());
  if (AEvent.GetIterations() > 0)
    element->addAttribute("iterations", IntToStr(AEvent.GetIterations()));
  WriteParameters(element, AEvent);
  WriteTexts(element, "data", AEvent.Data());
}

void WriteItems(TMz_XmlElement* AParent, const TVantrelDialogueItemCollection& AItems);

void WriteItem(TMz_XmlElement* AParent, const TVantrelDialogueItem& AItem) {
  TMz_XmlElement* element = AddElement(AParent, "item");
  WriteEntry(element, AItem, "kind", DialogueItemKindToStr(AItem.GetKind()));
  if (!AItem.GetDisplayNameText().empty())
    element->addAttribute("display-name", AItem.GetDisplayNameText());
  if (!AItem.GetCharacter().empty())
    element->addAttribute("character", AItem.GetCharacter());
  if (AItem.GetKind() == TVantrelDialogueItemKind::Reference)
    element->addAttribute("ref", AItem.GetReference());
  if (AItem.GetDisplayTime() > 0)
    element->addAttribute("display-time", IntToStr(AItem.GetDisplayTime()));
  WriteParameters(element, AItem);
  WriteTexts(element, "text", AItem.Text());
  if (AItem.GetEvents()->Count() > 0) {
    TMz_XmlElement* events = AddElement(element, "events");
    for (int i = 0; i < AItem.GetEvents()->Count(); ++i)
      WriteEvent(events, *AItem.GetEvents()->Event(i));
  }
  WriteItems(element, *AItem.GetItems());
}

void WriteItems(TMz_XmlElement* AParent, const TVantrelDialogueItemCollection& AItems) {
  if (AItems.Count() == 0)
    return;
  TMz_XmlElement* items = AddElement(AParent, "items");
  for (int i = 0; i < AItems.Count(); ++i)
    WriteItem(items, *AItems.Item(i));
}

void WriteCharacters(TMz_XmlElement* AParent, const TVantrelDialogueCharacterCollection& ACharacters) {
  if (ACharacters.Count() == 0)
    return;
  TMz_XmlElement* characters = AddElement(AParent, "characters");
  for (int i = 0; i < ACharacters.Count(); ++i) {
    const TVantrelDialogueCharacter& character = *ACharacters.Character(i);
    TMz_XmlElement* element = AddElement(characters, "character");
    WriteEntry(element, character);
    element->addAttribute("name", character.GetName());
    WriteParameters(element, character);
  }
}

} // namespace

void TVantrelDialogueWriter::SaveToStream(const TVantrelDialogueSystem* ASystem, TStream* AStream) const {
  if (!ASystem || !AStream)
    return;
  TMz_XmlDocument document;
  TMz_XmlElement* declaration = TMz_XmlElement::Create(&document, nullptr, "", "xml");
  declaration->setKind(TMz_XmlNodeKind::mzDocument);
  declaration->setAttributeRaw("version", "1.0");
  declaration->setAttributeRaw("encoding", "UTF-8");
  declaration->setAttributeRaw("standalone", "yes");
  document.setRoot(declaration);
  TMz_XmlElement* root = AddElement(declaration, "dialogues");
  root->addAttribute("id", ASystem->GetId());
  root->addAttribute("default-lang", ASystem->GetLanguageName());
  for (int i = 0; i < ASystem->GetDialogues()->Count(); ++i) {
    const TVantrelDialogue& dialogue = *ASystem->GetDialogues()->Dialogue(i);
    TMz_XmlElement* element = AddElement(root, "dialogue");
    WriteEntry(element, dialogue);
    WriteCharacters(element, *dialogue.GetCharacters());
    WriteItems(element, *dialogue.GetItems());
  }
  document.saveToStream(AStream, true);
}

void TVantrelDialogueWriter::SaveToFile(const TVantrelDialogueSystem* ASystem,
                                        const std::string& AFileName) const {
  if (ASystem)
    SaveToStream(ASystem, MakeOwned<TFileStream>(AFileName, fmCreate).get());
}

} // namespace vantrel
