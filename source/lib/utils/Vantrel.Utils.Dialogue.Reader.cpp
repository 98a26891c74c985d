#include "utils/Vantrel.Utils.Dialogue.Reader.h"

#include <cfloat>
#include <cmath>

#include "rtl/sysutils.h"
#include "utils/Vantrel.Utils.Dialogue.System.h"
#include "xml/Vantrel.Xml.Document.h"

namespace vantrel {

namespace {

// Exactly two pieces split at ";", each an en-US number within the Single range (0 when it is
// not); any other count gives (0, 0).
TPointF PositionFromText(std::string_view AText) {
  const std::vector<std::string> pieces = SplitString(AText, ";");
  if (pieces.size() != 2)
    return {};
  float coordinates[2] = {0, 0};
  for (std::size_t i = 0; i < 2; ++i)
    if (double value = 0; TryStrToFloat(pieces[i], value, FormatSettingsEnUS()) && std::isfinite(value) &&
                          std::fabs(value) <= FLT_MAX)
      coordinates[i] = static_cast<float>(value);
  return {coordinates[0], coordinates[1]};
}

bool HasAttribute(const TMz_XmlElement* ANode, std::string_view AName) {
  return ANode->attributes().find(AName) != nullptr;
}

std::vector<const TMz_XmlElement*> ChildrenNamed(const TMz_XmlElement* ANode, std::string_view AName) {
  std::vector<const TMz_XmlElement*> result;
  if (const TMz_XmlNodes* children = ANode->nodes())
    for (const TMz_XmlElement* child : *children)
      if (child->name() == AName)
        result.push_back(child);
  return result;
}

// Ident, "enabled" and "position", which every entry has.
void ReadEntry(const TMz_XmlElement* ANode, TVantrelDialogueCustomItem& AEntry) {
  AEntry.SetIdent(ANode->getAttribute("id"));
  if (HasAttribute(ANode, "enabled"))
    AEntry.SetEnabled(SameText(ANode->getAttribute("enabled"), "true"));
  if (HasAttribute(ANode, "position"))
    AEntry.SetPosition(PositionFromText(ANode->getAttribute("position")));
}

void ReadParameters(const TMz_XmlElement* ANode, TVantrelDialogueParameterizedItem& AEntry) {
  for (const TMz_XmlElement* param : ChildrenNamed(ANode, "param"))
    AEntry.AddParameter(param->getAttribute("name"), param->getValue());
}

void ReadEvents(const TMz_XmlElement* ANode, TVantrelDialogueItem& AItem) {
  for (const TMz_XmlElement* node : ChildrenNamed(ANode, "event")) {
    auto& event = *static_cast<TVantrelDialogueItemEvent*>(AItem.GetEvents()->Add());
    event.SetIdent(node->getAttribute("id"));
    if (std::string owner = node->getAttribute("owner"); !owner.empty())
      event.SetOwnerEvent(owner);
    event.SetKind(StrToDialogueEventKind(node->getAttribute("kind")));
    if (HasAttribute(node, "enabled"))
      event.SetEnabled(SameText(node->getAttribute("enabled"), "true"));
    if (HasAttribute(node, "position"))
      event.SetPosition(PositionFromText(node->getAttribute("position")));
    event.SetTrigger(StrToDialogueEventTrigger(node->getAttribute("trigger")));
    event.SetScope(node->getAttribute("scope"));
    if (int iterations = 0; TryStrToInt(node->getAttribute("iterations"), iterations))
      event.SetIterations(iterations);
    if (!node->nodes())
      continue;
    for (const TMz_XmlElement* child : *node->nodes()) {
      if (child->name() == "data")
        event.Data().FromXml(child);
      else if (child->name() == "params")
        ReadParameters(child, event);
    }
  }
}

void ReadItems(const TMz_XmlElement* ANode, TVantrelDialogueParentItem& AParent);

void ReadItem(const TMz_XmlElement* ANode, TVantrelDialogueItem& AItem) {
  AItem.SetIdent(ANode->getAttribute("id"));
  AItem.SetKind(StrToDialogueItemKind(ANode->getAttribute("kind")));
  if (HasAttribute(ANode, "enabled"))
    AItem.SetEnabled(SameText(ANode->getAttribute("enabled"), "true"));
  if (HasAttribute(ANode, "position"))
    AItem.SetPosition(PositionFromText(ANode->getAttribute("position")));
  // Resolved against the characters read before.
  AItem.SetCharacter(Trim(ANode->getAttribute("character")));
  AItem.SetDisplayNameText(Trim(ANode->getAttribute("display-name")));
  if (AItem.GetKind() == TVantrelDialogueItemKind::Reference)
    AItem.SetReference(Trim(ANode->getAttribute("ref")));
  if (int displayTime = 0; TryStrToInt(ANode->getAttribute("display-time"), displayTime))
    AItem.SetDisplayTime(displayTime);
  if (!ANode->nodes())
    return;
  for (const TMz_XmlElement* child : *ANode->nodes()) {
    if (child->name() == "text")
      AItem.Text().FromXml(child);
    else if (child->name() == "params")
      ReadParameters(child, AItem);
    else if (child->name() == "events")
      ReadEvents(child, AItem);
    else if (child->name() == "items")
      ReadItems(child, AItem);
  }
}

void ReadItems(const TMz_XmlElement* ANode, TVantrelDialogueParentItem& AParent) {
  for (const TMz_XmlElement* node : ChildrenNamed(ANode, "item")) {
    if (!dynamic_cast<TVantrelDialogue*>(&AParent) && !dynamic_cast<TVantrelDialogueItem*>(&AParent))
      throw EVantrelDialogueReaderException(
          "failed to read dialogue file - invalid parent component in dialog item " +
          node->getAttribute("id"));
    ReadItem(node, *static_cast<TVantrelDialogueItem*>(AParent.GetItems()->Add()));
  }
}

void ReadCharacters(const TMz_XmlElement* ANode, TVantrelDialogueParentItem& AParent) {
  for (const TMz_XmlElement* node : ChildrenNamed(ANode, "character")) {
    auto* dialogue = dynamic_cast<TVantrelDialogue*>(&AParent);
    if (!dialogue)
      throw EVantrelDialogueReaderException(
          "failed to read dialogue file - invalid parent component in dialog character " +
          node->getAttribute("id"));
    auto& character = *static_cast<TVantrelDialogueCharacter*>(dialogue->GetCharacters()->Add());
    ReadEntry(node, character);
    if (std::string name = Trim(node->getAttribute("name")); !name.empty())
      character.SetName(name);
    if (const TMz_XmlElement* params = node->find("params"))
      ReadParameters(params, character);
  }
}

void ReadDialogues(const TMz_XmlElement* ANode, TVantrelDialogueSystem& ASystem) {
  for (const TMz_XmlElement* node : ChildrenNamed(ANode, "dialogue")) {
    auto& dialogue = *static_cast<TVantrelDialogue*>(ASystem.GetDialogues()->Add());
    ReadEntry(node, dialogue);
    if (const TMz_XmlElement* characters = node->find("characters"))
      ReadCharacters(characters, dialogue);
    if (const TMz_XmlElement* items = node->find("items"))
      ReadItems(items, dialogue);
  }
}

} // namespace

TOwned<TVantrelDialogueSystem> TVantrelDialogueReader::LoadFromStream(TStream* AStream) const {
  auto system = MakeOwned<TVantrelDialogueSystem>(nullptr);
  AddFromStream(AStream, system.get());
  return system;
}

TOwned<TVantrelDialogueSystem> TVantrelDialogueReader::LoadFromFile(const std::string& AFileName) const {
  return LoadFromStream(MakeOwned<TFileStream>(AFileName, fmOpenRead | fmShareDenyNone).get());
}

void TVantrelDialogueReader::AddFromStream(TStream* AStream, TVantrelDialogueSystem* ASystem) const {
  TMz_XmlDocument document;
  document.loadFromStream(AStream);
  const auto* root = dynamic_cast<const TMz_XmlElement*>(document.root());
  if (root && root->name() == "xml")
    root = root->find("dialogues");
  if (!root || root->name() != "dialogues")
    throw EVantrelDialogueReaderException("invalid xml structure - \"dialogues\" tag expected");
  ASystem->SetId(root->getAttribute("id"));
  ASystem->SetLanguage(LanguageCodeToIndex(root->getAttribute("default-lang")));
  if (!root->nodes())
    throw EVantrelDialogueReaderException(
        "invalid xml structure - no child nodes inside of \"dialogues\" tag");
  ReadDialogues(root, *ASystem);
}

void TVantrelDialogueReader::AddFromFile(const std::string& AFileName,
                                         TVantrelDialogueSystem* ASystem) const {
  AddFromStream(MakeOwned<TFileStream>(AFileName, fmOpenRead | fmShareDenyNone).get(), ASystem);
}

} // namespace vantrel
