#include "utils/Vantrel.Utils.Dialogue.System.h"

#include <algorithm>
#include <array>

#include "rtl/filer.h"
#include "rtl/json.h"
#include "rtl/log.h"
#include "rtl/methods.h"
#include "rtl/properties.h"
#include "rtl/random.h"
#include "rtl/sysutils.h"
#include "utils/Vantrel.Utils.Dialogue.Reader.h"
#include "utils/Vantrel.Utils.Dialogue.Writer.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelDialogueSystemCollection, "Vantrel.Utils.Dialogue.System")
RTL_DEFINE_CLASS(TVantrelDialogueCustomCollection, "Vantrel.Utils.Dialogue.System")
RTL_DEFINE_CLASS(TVantrelDialogueItemCollection, "Vantrel.Utils.Dialogue.System")
RTL_DEFINE_CLASS(TVantrelDialogueItemEventCollection, "Vantrel.Utils.Dialogue.System")
RTL_DEFINE_CLASS(TVantrelDialogueCharacterCollection, "Vantrel.Utils.Dialogue.System")
RTL_DEFINE_CLASS(TVantrelDialogueCollection, "Vantrel.Utils.Dialogue.System")
RTL_DEFINE_CLASS(TVantrelDialogueCustomItem, "Vantrel.Utils.Dialogue.System",
                 &TVantrelDialogueCustomItem::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelDialogueParameterizedItem, "Vantrel.Utils.Dialogue.System")
RTL_DEFINE_CLASS(TVantrelDialogueParentItem, "Vantrel.Utils.Dialogue.System",
                 &TVantrelDialogueParentItem::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelDialogueItem, "Vantrel.Utils.Dialogue.System",
                 &TVantrelDialogueItem::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelDialogueItemEvent, "Vantrel.Utils.Dialogue.System",
                 &TVantrelDialogueItemEvent::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelDialogueCharacter, "Vantrel.Utils.Dialogue.System",
                 &TVantrelDialogueCharacter::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelDialogue, "Vantrel.Utils.Dialogue.System", &TVantrelDialogue::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelDialogueSystem, "Vantrel.Utils.Dialogue.System",
                 &TVantrelDialogueSystem::RegisterProperties)

namespace {

constexpr const char* DefaultLanguage = "en-us";
constexpr const char* AnyLanguage = "*";
// An item's timer until it is started: disabled, with an hour's interval.
constexpr int IdleTimerInterval = 3'600'000;
// Redirect events beyond this many nested StartItem calls of one dialogue are not followed, so a
// loop of redirects in a file ends instead of overflowing the stack.
constexpr int MaxStartItemDepth = 64;

constexpr std::array<const char*, 5> ItemKindTexts{"none", "question", "answer", "flow", "reference"};
constexpr std::array<const char*, 10> EventKindTexts{"text",   "image",    "audio",    "video", "animation",
                                                     "method", "property", "redirect", "timer", "misc"};
constexpr std::array<const char*, 4> TriggerTexts{"undefined", "onBegin", "onEnd", "onTimeout"};

// The index of AText in ATexts ignoring letter case, or AFallback.
template <class E, std::size_t N>
E FromText(std::string_view AText, const std::array<const char*, N>& ATexts, E AFallback) {
  for (std::size_t i = 0; i < N; ++i)
    if (SameText(AText, ATexts[i]))
      return static_cast<E>(i);
  return AFallback;
}

// The first present text of ALanguage, "*" and "en-us".
std::string CurrentText(const TVantrelDialogueTexts& ATexts, const TVantrelDialogueSystem* ASystem) {
  const std::string language = ASystem ? ASystem->GetLanguageName() : DefaultLanguage;
  for (const std::string& key : {language, std::string(AnyLanguage), std::string(DefaultLanguage)})
    if (const std::string* text = ATexts.Find(key))
      return *text;
  return {};
}

template <class K, class V> void AddOrReplaceAll(TDictionary<K, V>& ADest, const TDictionary<K, V>& ASource) {
  for (const auto& pair : ASource)
    ADest.AddOrSetValue(pair.Key, pair.Value);
}

std::string ExceptionMessage(const std::exception& AError) {
  if (const auto* error = dynamic_cast<const Exception*>(&AError))
    return error->Message();
  return AError.what();
}

} // namespace

TVantrelDialogueItemKind StrToDialogueItemKind(std::string_view AText) {
  return FromText(AText, ItemKindTexts, TVantrelDialogueItemKind::None);
}

std::string DialogueItemKindToStr(TVantrelDialogueItemKind AKind) {
  return ItemKindTexts.at(static_cast<std::size_t>(AKind));
}

TVantrelDialogueEventKind StrToDialogueEventKind(std::string_view AText) {
  return FromText(AText, EventKindTexts, TVantrelDialogueEventKind::Misc);
}

std::string DialogueEventKindToStr(TVantrelDialogueEventKind AKind) {
  return EventKindTexts.at(static_cast<std::size_t>(AKind));
}

TVantrelDialogueEventTrigger StrToDialogueEventTrigger(std::string_view AText) {
  return FromText(AText, TriggerTexts, TVantrelDialogueEventTrigger::Undefined);
}

std::string DialogueEventTriggerToStr(TVantrelDialogueEventTrigger ATrigger) {
  return TriggerTexts.at(static_cast<std::size_t>(ATrigger));
}

std::string DialoguePositionToText(TPointF APosition) {
  return "(" + FloatToStr(APosition.X) + "," + FloatToStr(APosition.Y) + ")";
}

void DialoguePositionFromText(std::string_view AText, TPointF& APosition) {
  const std::vector<std::string> pieces = SplitString(AText, ",()");
  float* targets[] = {&APosition.X, &APosition.Y};
  for (std::size_t i = 0; i < 2 && i + 1 < pieces.size(); ++i) {
    double value = 0;
    if (!TryStrToFloat(pieces[i + 1], value, FormatSettingsEnUS()))
      return;
    *targets[i] = static_cast<float>(value);
  }
}

namespace {
// AText as a JSON object, or null.
std::unique_ptr<TJSONValue> ParseObject(std::string_view AText) {
  std::unique_ptr<TJSONValue> value = TJSONValue::ParseJSONValue(AText);
  return value && dynamic_cast<TJSONObject*>(value.get()) ? std::move(value) : nullptr;
}
} // namespace

void TVantrelDialogueCustomItem::DefineProperties(TFiler* AFiler) {
  inherited::DefineProperties(AFiler);
  const bool atOrigin = FPosition.X == 0 && FPosition.Y == 0;
  DefineTextProperty(AFiler, "Position", atOrigin ? std::string() : DialoguePositionToText(FPosition), "",
                     [this](std::string_view AText) { DialoguePositionFromText(AText, FPosition); });
}

void TVantrelDialogueParameterizedItem::DefineProperties(TFiler* AFiler) {
  inherited::DefineProperties(AFiler);
  DefineTextProperty(AFiler, "ParameterMap", DialogueParametersToJSON(FParameters), "{}",
                     [this](std::string_view AText) { DialogueParametersFromJSON(AText, FParameters); });
}

void TVantrelDialogueItem::DefineProperties(TFiler* AFiler) {
  inherited::DefineProperties(AFiler);
  DefineTextProperty(AFiler, "TextMap", DialogueTextsToJSON(FText), "{}",
                     [this](std::string_view AText) { DialogueTextsFromJSON(AText, FText); });
}

void TVantrelDialogueItemEvent::DefineProperties(TFiler* AFiler) {
  inherited::DefineProperties(AFiler);
  DefineTextProperty(AFiler, "DataMap", DialogueTextsToJSON(FData), "{}",
                     [this](std::string_view AText) { DialogueTextsFromJSON(AText, FData); });
}

std::string DialogueTextsToJSON(const TVantrelLanguageMap& ATexts) {
  return ATexts.ToJSON()->ToJSON();
}

void DialogueTextsFromJSON(std::string_view AText, TVantrelLanguageMap& ATexts) {
  const std::unique_ptr<TJSONValue> data = ParseObject(AText);
  ATexts.FromJSON(static_cast<const TJSONObject*>(data.get()));
}

std::string DialogueParametersToJSON(const TVantrelParametersMap& AParameters) {
  return AParameters.ToJSON()->ToJSON();
}

void DialogueParametersFromJSON(std::string_view AText, TVantrelParametersMap& AParameters) {
  const std::unique_ptr<TJSONValue> data = ParseObject(AText);
  AParameters.FromJSON(static_cast<const TJSONObject*>(data.get()));
}

// ---- Collections ----

TVantrelDialogueSystem* TVantrelDialogueSystemCollection::GetDialogueSystem() const {
  return dynamic_cast<TVantrelDialogueSystem*>(GetOwner());
}

TVantrelDialogue* TVantrelDialogueCustomCollection::GetDialogue() const {
  return dynamic_cast<TVantrelDialogue*>(GetOwner());
}

TVantrelDialogueSystem* TVantrelDialogueCustomCollection::GetDialogueSystem() const {
  const TVantrelDialogue* dialogue = GetDialogue();
  return dialogue ? dialogue->GetDialogueSystem() : nullptr;
}

TVantrelDialogueItemCollection::TVantrelDialogueItemCollection(TPersistent* AOwner)
    : TVantrelDialogueCustomCollection(AOwner, TVantrelDialogueItem::StaticClass()) {}

TVantrelDialogueItem* TVantrelDialogueItemCollection::Item(int AIndex) const {
  return static_cast<TVantrelDialogueItem*>(Items(AIndex));
}

TVantrelDialogue* TVantrelDialogueItemCollection::GetDialogue() const {
  if (auto* dialogue = dynamic_cast<TVantrelDialogue*>(GetOwner()))
    return dialogue;
  if (const auto* item = dynamic_cast<const TVantrelDialogueItem*>(GetOwner()))
    return item->GetDialogue();
  throw Exception("invalid owner of TVantrelDialogueItem - GetDialogue() failed");
}

TVantrelDialogueSystem* TVantrelDialogueItemCollection::GetDialogueSystem() const {
  if (const auto* dialogue = dynamic_cast<const TVantrelDialogue*>(GetOwner()))
    return dialogue->GetDialogueSystem();
  if (const auto* item = dynamic_cast<const TVantrelDialogueItem*>(GetOwner()))
    return item->GetDialogueSystem();
  throw Exception("invalid owner of TVantrelDialogueItem - GetDialogueSystem() failed");
}

TVantrelDialogueItemEventCollection::TVantrelDialogueItemEventCollection(TVantrelDialogueItem* AOwner)
    : TVantrelDialogueCustomCollection(AOwner, TVantrelDialogueItemEvent::StaticClass()) {}

TVantrelDialogueItemEvent* TVantrelDialogueItemEventCollection::Event(int AIndex) const {
  return static_cast<TVantrelDialogueItemEvent*>(Items(AIndex));
}

TVantrelDialogueItem* TVantrelDialogueItemEventCollection::GetDialogueItem() const {
  return dynamic_cast<TVantrelDialogueItem*>(GetOwner());
}

TVantrelDialogue* TVantrelDialogueItemEventCollection::GetDialogue() const {
  const TVantrelDialogueItem* item = GetDialogueItem();
  return item ? item->GetDialogue() : nullptr;
}

TVantrelDialogueSystem* TVantrelDialogueItemEventCollection::GetDialogueSystem() const {
  const TVantrelDialogueItem* item = GetDialogueItem();
  return item ? item->GetDialogueSystem() : nullptr;
}

TVantrelDialogueCharacterCollection::TVantrelDialogueCharacterCollection(TVantrelDialogue* AOwner)
    : TVantrelDialogueCustomCollection(AOwner, TVantrelDialogueCharacter::StaticClass()) {}

TVantrelDialogueCharacter* TVantrelDialogueCharacterCollection::Character(int AIndex) const {
  return static_cast<TVantrelDialogueCharacter*>(Items(AIndex));
}

TVantrelDialogueCollection::TVantrelDialogueCollection(TVantrelDialogueSystem* AOwner)
    : TVantrelDialogueSystemCollection(AOwner, TVantrelDialogue::StaticClass()) {}

TVantrelDialogue* TVantrelDialogueCollection::Dialogue(int AIndex) const {
  return static_cast<TVantrelDialogue*>(Items(AIndex));
}

// ---- TVantrelDialogueCustomItem ----

void TVantrelDialogueCustomItem::RegisterProperties(TPropertyList& AList) {
  AList.Add("Ident", &TVantrelDialogueCustomItem::GetIdent, &TVantrelDialogueCustomItem::SetIdent);
  AList.Add("Enabled", &TVantrelDialogueCustomItem::GetEnabled, &TVantrelDialogueCustomItem::SetEnabled)
      .WithDefault(true);
}

void TVantrelDialogueCustomItem::AfterConstruction() {
  inherited::AfterConstruction();
  FIdent = GetRandomId();
}

TVantrelDialogueSystem* TVantrelDialogueCustomItem::GetDialogueSystem() const {
  const auto* collection = dynamic_cast<const TVantrelDialogueSystemCollection*>(Collection());
  return collection ? collection->GetDialogueSystem() : nullptr;
}

std::string TVantrelDialogueCustomItem::GetRandomId() const {
  return ClassName() + "_" + IntToStr(Random(10000));
}

void TVantrelDialogueCustomItem::AssignTo(TPersistent* ADest) const {
  auto* dest = dynamic_cast<TVantrelDialogueCustomItem*>(ADest);
  if (!dest) {
    inherited::AssignTo(ADest);
    return;
  }
  dest->FIdent = FIdent;
  dest->FEnabled = FEnabled;
  dest->FUIElement = FUIElement;
  dest->FPosition = FPosition;
}

// ---- TVantrelDialogueParameterizedItem ----

void TVantrelDialogueParameterizedItem::AddParameter(const std::string& AName, const TValue& AValue) {
  FParameters.AddOrSetValue(AName, AValue);
}

TValue TVantrelDialogueParameterizedItem::GetParameter(const std::string& AName) const {
  const TValue* value = FParameters.Find(AName);
  return value ? *value : TValue();
}

void TVantrelDialogueParameterizedItem::RemoveParameter(const std::string& AName) {
  FParameters.Remove(AName);
}

void TVantrelDialogueParameterizedItem::AssignTo(TPersistent* ADest) const {
  inherited::AssignTo(ADest);
  if (auto* dest = dynamic_cast<TVantrelDialogueParameterizedItem*>(ADest))
    AddOrReplaceAll(dest->FParameters, FParameters);
}

// ---- TVantrelDialogueParentItem ----

TVantrelDialogueParentItem::TVantrelDialogueParentItem()
    : FItems(New<TVantrelDialogueItemCollection>(this)) {}

TVantrelDialogueParentItem::~TVantrelDialogueParentItem() {
  FItems->Free();
}

void TVantrelDialogueParentItem::RegisterProperties(TPropertyList& AList) {
  AList.Add("Items", &TVantrelDialogueParentItem::GetItems, &TVantrelDialogueParentItem::SetItems);
}

void TVantrelDialogueParentItem::AfterConstruction() {
  if (!dynamic_cast<TVantrelDialogueSystemCollection*>(Collection()))
    throw Exception(
        Format("invalid collection type - TVantrelDialogueSystemCollection expected, but %s found",
               Collection() ? Collection()->ClassName() : std::string("nil")));
  inherited::AfterConstruction();
}

void TVantrelDialogueParentItem::BeforeDestruction() {
  FItems->Clear();
  inherited::BeforeDestruction();
}

void TVantrelDialogueParentItem::SetItems(TVantrelDialogueItemCollection* AItems) {
  FItems->Assign(AItems);
}

void TVantrelDialogueParentItem::UnrefCharacter(const TVantrelDialogueCharacter* ACharacter) {
  for (int i = 0; i < FItems->Count(); ++i) {
    TVantrelDialogueItem* item = FItems->Item(i);
    if (item->GetCharacterRef() == ACharacter) {
      item->SetCharacterRef(nullptr);
      item->SetCharacter("");
    }
    item->UnrefCharacter(ACharacter);
  }
}

TVantrelDialogueItems TVantrelDialogueParentItem::GetAvailableItems() const {
  TVantrelDialogueItems result;
  for (int i = 0; i < FItems->Count(); ++i)
    if (FItems->Item(i)->GetEnabled())
      result.push_back(FItems->Item(i));
  return result;
}

void TVantrelDialogueParentItem::ClearItems() {
  FItems->Clear();
}

TVantrelDialogueItem* TVantrelDialogueParentItem::FindItem(const std::string& AId) const {
  if (auto* self = dynamic_cast<const TVantrelDialogueItem*>(this); self && self->GetIdent() == AId)
    return const_cast<TVantrelDialogueItem*>(self);
  for (int i = 0; i < FItems->Count(); ++i)
    if (TVantrelDialogueItem* found = FItems->Item(i)->FindItem(AId))
      return found;
  return nullptr;
}

int TVantrelDialogueParentItem::FindItemIndex(const std::string& AId) const {
  for (int i = 0; i < FItems->Count(); ++i)
    if (FItems->Item(i)->GetIdent() == AId)
      return i;
  return -1;
}

void TVantrelDialogueParentItem::AssignTo(TPersistent* ADest) const {
  inherited::AssignTo(ADest);
  if (auto* dest = dynamic_cast<TVantrelDialogueParentItem*>(ADest))
    for (int i = 0; i < FItems->Count(); ++i)
      FItems->Item(i)->Clone(dest->FItems);
}

// ---- TVantrelDialogueItem ----

TVantrelDialogueItem::TVantrelDialogueItem()
    : FTimer(New<ui::TTimer>(nullptr)), FEvents(New<TVantrelDialogueItemEventCollection>(this)) {
  // Disabled before anything else, so a new item never asks the timer service for a timer.
  FTimer->SetEnabled(false);
  FTimer->SetInterval(IdleTimerInterval);
}

TVantrelDialogueItem::~TVantrelDialogueItem() {
  FEvents->Free();
}

void TVantrelDialogueItem::RegisterProperties(TPropertyList& AList) {
  AList.Add("Kind", &TVantrelDialogueItem::GetKind, &TVantrelDialogueItem::SetKind);
  AList.Add("DisplayName", &TVantrelDialogueItem::GetDisplayNameText,
            &TVantrelDialogueItem::SetDisplayNameText);
  AList.Add("Reference", &TVantrelDialogueItem::GetReference, &TVantrelDialogueItem::SetReference);
  AList.Add("DisplayTime", &TVantrelDialogueItem::GetDisplayTime, &TVantrelDialogueItem::SetDisplayTime);
  AList.Add("Events", &TVantrelDialogueItem::GetEvents, &TVantrelDialogueItem::SetEvents);
  AList.Add("Character", &TVantrelDialogueItem::GetCharacter, &TVantrelDialogueItem::SetCharacter);
}

void TVantrelDialogueItem::AfterConstruction() {
  inherited::AfterConstruction();
  if (!dynamic_cast<TVantrelDialogueCustomCollection*>(Collection()))
    throw Exception(
        Format("invalid collection type - TVantrelDialogueCustomCollection expected, but %s found",
               Collection()->ClassName()));
}

void TVantrelDialogueItem::BeforeDestruction() {
  FreeAndNil(FTimer);
  if (TVantrelDialogue* dialogue = OwningDialogue())
    dialogue->ForgetItem(this);
  inherited::BeforeDestruction();
}

void TVantrelDialogueItem::SetEvents(TVantrelDialogueItemEventCollection* AEvents) {
  FEvents->Assign(AEvents);
}

TVantrelDialogueParentItem* TVantrelDialogueItem::GetParent() const {
  const auto* collection = dynamic_cast<const TVantrelDialogueItemCollection*>(Collection());
  return collection ? dynamic_cast<TVantrelDialogueParentItem*>(collection->GetParent()) : nullptr;
}

TVantrelDialogue* TVantrelDialogueItem::GetDialogue() const {
  const auto* collection = dynamic_cast<const TVantrelDialogueCustomCollection*>(Collection());
  return collection ? collection->GetDialogue() : nullptr;
}

TVantrelDialogueSystem* TVantrelDialogueItem::GetDialogueSystem() const {
  const auto* collection = dynamic_cast<const TVantrelDialogueSystemCollection*>(Collection());
  return collection ? collection->GetDialogueSystem() : nullptr;
}

TVantrelDialogue* TVantrelDialogueItem::OwningDialogue() const {
  for (const TVantrelDialogueItem* item = this; item;) {
    TPersistent* owner = item->Collection() ? item->Collection()->GetOwner() : nullptr;
    if (auto* dialogue = dynamic_cast<TVantrelDialogue*>(owner))
      return dialogue;
    item = dynamic_cast<const TVantrelDialogueItem*>(owner);
  }
  return nullptr;
}

TVantrelDialogueCharacter* TVantrelDialogueItem::GetCharacterRef() {
  if (FCharacterRef || FCharacter.empty())
    return FCharacterRef;
  if (const TVantrelDialogue* dialogue = GetDialogue()) {
    FCharacterRef = dialogue->FindCharacterById(FCharacter);
    if (!FCharacterRef)
      FCharacterRef = dialogue->FindCharacterByName(FCharacter);
  }
  return FCharacterRef;
}

void TVantrelDialogueItem::SetCharacterRef(TVantrelDialogueCharacter* AValue) {
  FCharacterRef = AValue;
  FCharacter = AValue ? AValue->GetIdent() : std::string();
}

void TVantrelDialogueItem::SetCharacter(const std::string& AValue) {
  FCharacter = AValue;
  if (AValue.empty())
    return;
  FCharacterRef = nullptr;
  GetCharacterRef();
}

std::string TVantrelDialogueItem::GetDisplayName() const {
  if (!FDisplayName.empty())
    return FDisplayName;
  if (const TVantrelDialogueCharacter* character = const_cast<TVantrelDialogueItem*>(this)->GetCharacterRef())
    return character->GetName();
  return ClassName();
}

TVantrelDialogueItem* TVantrelDialogueItem::Clone(TCollection* ACollection) const {
  return CloneInto<TVantrelDialogueItem>(ACollection);
}

std::vector<TVantrelDialogueItemEvent*>
TVantrelDialogueItem::GetAvailableEvents(TVantrelDialogueEventTrigger ATrigger) const {
  std::vector<TVantrelDialogueItemEvent*> result;
  for (int i = 0; i < FEvents->Count(); ++i)
    if (TVantrelDialogueItemEvent* event = FEvents->Event(i);
        event->GetEnabled() && event->GetTrigger() == ATrigger)
      result.push_back(event);
  return result;
}

TVantrelDialogueItemEvent* TVantrelDialogueItem::FindEventById(const std::string& AId) const {
  for (int i = 0; i < FEvents->Count(); ++i)
    if (FEvents->Event(i)->GetIdent() == AId)
      return FEvents->Event(i);
  return nullptr;
}

std::string TVantrelDialogueItem::GetCurrentText() const {
  return CurrentText(FText, GetDialogueSystem());
}

void TVantrelDialogueItem::AssignTo(TPersistent* ADest) const {
  inherited::AssignTo(ADest);
  auto* dest = dynamic_cast<TVantrelDialogueItem*>(ADest);
  if (!dest)
    return;
  dest->FKind = FKind;
  dest->FDisplayName = FDisplayName;
  dest->FReference = FReference;
  dest->FDisplayTime = FDisplayTime;
  dest->FCharacter = FCharacter;
  dest->FCharacterRef = nullptr;
  for (int i = 0; i < FEvents->Count(); ++i)
    FEvents->Event(i)->Clone(dest->FEvents);
  AddOrReplaceAll(dest->FText, FText);
}

// ---- Running an item ----

void TVantrelDialogueItem::RunEvents(TVantrelDialogueEventTrigger ATrigger) {
  for (TVantrelDialogueItemEvent* event : GetAvailableEvents(ATrigger))
    event->Execute();
}

void TVantrelDialogueItem::Start() {
  if (FStarted)
    return;
  FStarted = true;
  TVantrelDialogue* dialogue = GetDialogue();
  if (dialogue && !dialogue->GetCurrentItem())
    dialogue->SetCurrentItem(this);
  const TVantrelDialogueSystem* system = GetDialogueSystem();
  if (system && system->GetOnBeginDialogueItem())
    system->GetOnBeginDialogueItem()(this, GetAvailableItems());
  FTimer->SetEnabled(false);
  if (FDisplayTime > 0) {
    FTimer->SetInterval(FDisplayTime);
    FTimer->SetOnTimer([this](TObject*) { DoOnExecTimer(); });
    FTimer->SetEnabled(true);
    if (system && system->GetOnBeginItemTimeout())
      system->GetOnBeginItemTimeout()(this, FDisplayTime);
  }
  RunEvents(TVantrelDialogueEventTrigger::OnBegin);
}

void TVantrelDialogueItem::Stop(bool ADeep) {
  if (ADeep)
    for (int i = 0; i < GetItems()->Count(); ++i)
      GetItems()->Item(i)->Stop(true);
  FTimer->SetEnabled(false);
  if (!FStarted)
    return;
  FStarted = false;
  RunEvents(TVantrelDialogueEventTrigger::OnEnd);
  StopEvents();
  const TVantrelDialogueSystem* system = GetDialogueSystem();
  if (system && system->GetOnEndDialogueItem())
    system->GetOnEndDialogueItem()(this);
  if (FKind == TVantrelDialogueItemKind::Flow && GetItems()->Count() == 0)
    if (TVantrelDialogue* dialogue = GetDialogue())
      dialogue->Stop();
}

void TVantrelDialogueItem::StopItems(TVantrelDialogueItemKind AKind) {
  for (TVantrelDialogueItem* item : GetAvailableItems())
    if (item->GetKind() == AKind)
      item->Stop(false);
}

void TVantrelDialogueItem::StopEvents() {
  const TVantrelDialogueSystem* system = GetDialogueSystem();
  if (!system || !system->GetOnEndDialogueItemEvent())
    return;
  for (int i = 0; i < FEvents->Count(); ++i)
    if (FEvents->Event(i)->GetEnabled())
      system->GetOnEndDialogueItemEvent()(FEvents->Event(i), nullptr);
}

void TVantrelDialogueItem::DoOnExecTimer() {
  FTimer->SetEnabled(false);
  const TVantrelDialogueSystem* system = GetDialogueSystem();
  if (system && system->GetOnEndItemTimeout())
    system->GetOnEndItemTimeout()(this);
  RunEvents(TVantrelDialogueEventTrigger::OnTimeout);
  TVantrelDialogue* dialogue = GetDialogue();
  switch (FKind) {
  case TVantrelDialogueItemKind::Question:
    Stop(false);
    break;
  case TVantrelDialogueItemKind::Flow:
    if (const TVantrelDialogueItems next = GetAvailableItems(); !next.empty() && dialogue)
      dialogue->StartItem(next.front());
    Stop(false);
    break;
  case TVantrelDialogueItemKind::Reference:
    if (TVantrelDialogueItem* target = dialogue ? dialogue->FindItem(FReference) : nullptr)
      dialogue->StartItem(target);
    break;
  default:
    break;
  }
}

// ---- TVantrelDialogueItemEvent ----

void TVantrelDialogueItemEvent::RegisterProperties(TPropertyList& AList) {
  AList.Add("OwnerEvent", &TVantrelDialogueItemEvent::GetOwnerEvent,
            &TVantrelDialogueItemEvent::SetOwnerEvent);
  AList.Add("Kind", &TVantrelDialogueItemEvent::GetKind, &TVantrelDialogueItemEvent::SetKind);
  AList.Add("Trigger", &TVantrelDialogueItemEvent::GetTrigger, &TVantrelDialogueItemEvent::SetTrigger);
  AList.Add("Scope", &TVantrelDialogueItemEvent::GetScope, &TVantrelDialogueItemEvent::SetScope);
  AList.Add("Iterations", &TVantrelDialogueItemEvent::GetIterations,
            &TVantrelDialogueItemEvent::SetIterations);
}

TVantrelDialogueItem* TVantrelDialogueItemEvent::GetDialogueItem() const {
  const auto* collection = dynamic_cast<const TVantrelDialogueItemEventCollection*>(Collection());
  return collection ? collection->GetDialogueItem() : nullptr;
}

TVantrelDialogueSystem* TVantrelDialogueItemEvent::GetDialogueSystem() const {
  const TVantrelDialogueItem* item = GetDialogueItem();
  return item ? item->GetDialogueSystem() : nullptr;
}

TVantrelDialogueItemEvent* TVantrelDialogueItemEvent::Clone(TCollection* ACollection) const {
  return CloneInto<TVantrelDialogueItemEvent>(ACollection);
}

std::string TVantrelDialogueItemEvent::GetCurrentData() const {
  return CurrentText(FData, GetDialogueSystem());
}

void TVantrelDialogueItemEvent::AssignTo(TPersistent* ADest) const {
  inherited::AssignTo(ADest);
  auto* dest = dynamic_cast<TVantrelDialogueItemEvent*>(ADest);
  if (!dest)
    return;
  dest->FOwnerEvent = FOwnerEvent;
  dest->FKind = FKind;
  dest->FTrigger = FTrigger;
  dest->FScope = FScope;
  dest->FIterations = FIterations;
  dest->FIterationCount = FIterationCount;
  AddOrReplaceAll(dest->FData, FData);
}

TObject* TVantrelDialogueItemEvent::ScopeObject() {
  if (FScope.empty() || SameText(FScope, "self"))
    return this;
  TVantrelDialogueItem* item = GetDialogueItem();
  if (SameText(FScope, "ui"))
    return item ? item->GetUIElement() : nullptr;
  const TVantrelDialogue* dialogue = item ? item->GetDialogue() : nullptr;
  if (TVantrelDialogueItem* found = dialogue ? dialogue->FindItem(FScope) : nullptr)
    return found;
  const TVantrelDialogueSystem* system = GetDialogueSystem();
  return system ? system->GetVariable(FScope) : nullptr;
}

void TVantrelDialogueItemEvent::Execute() {
  if (!GetEnabled())
    return;
  TObject* scope = ScopeObject();
  bool handled = false;
  if (const TVantrelDialogueSystem* system = GetDialogueSystem();
      system && system->GetOnBeginDialogueItemEvent())
    system->GetOnBeginDialogueItemEvent()(this, scope, handled);
  if (FIterations > 0 && ++FIterationCount < FIterations)
    handled = true;
  if (handled)
    return;
  switch (FKind) {
  case TVantrelDialogueEventKind::Method:
    CallMethod(scope);
    break;
  case TVantrelDialogueEventKind::ObjProperty:
    SetProperty(scope);
    break;
  case TVantrelDialogueEventKind::Redirect:
    Redirect();
    break;
  default:
    // The application acts on the other kinds in OnBeginDialogueItemEvent.
    break;
  }
}

void TVantrelDialogueItemEvent::CallMethod(TObject* AScope) {
  if (!GetDialogueItem() || !AScope)
    return;
  const std::string name = GetCurrentData();
  if (name.empty() || !Parameters().ContainsKey("property") || !Parameters().ContainsKey("value"))
    return;
  try {
    const TMethodInfo* method = GetMethodInfo(AScope->ClassType(), name);
    if (!method)
      return;
    std::vector<TValue> arguments;
    for (const auto& pair : Parameters())
      arguments.push_back(pair.Value);
    method->Invoke(AScope, arguments);
  } catch (const std::exception& e) {
    Log::d(std::string_view("failure in event.execute(method) on calling method: \"" + name + "\" - " +
                            ExceptionMessage(e)));
  }
}

void TVantrelDialogueItemEvent::SetProperty(TObject* AScope) {
  if (!GetDialogueItem() || !AScope || Parameters().IsEmpty())
    return;
  const auto& first = *Parameters().begin();
  try {
    if (GetPropInfo(AScope->ClassType(), first.Key))
      SetPropValue(AScope, first.Key, first.Value);
  } catch (const std::exception& e) {
    Log::d(std::string_view("failure in event.execute(method) on setting property: \"" + first.Key + "\" - " +
                            ExceptionMessage(e)));
  }
}

void TVantrelDialogueItemEvent::Redirect() {
  TVantrelDialogueItem* item = GetDialogueItem();
  TVantrelDialogue* dialogue = item ? item->GetDialogue() : nullptr;
  if (!dialogue)
    return;
  TVantrelDialogueItem* target = dialogue->FindItem(GetCurrentData());
  if (!target)
    return;
  if (dialogue->StartItemDepth() >= MaxStartItemDepth) {
    Log::d(
        std::string_view("<WARNING> dialogue redirect depth exceeded at item \"" + item->GetIdent() + "\""));
    return;
  }
  dialogue->StartItem(target);
}

// ---- TVantrelDialogueCharacter ----

void TVantrelDialogueCharacter::RegisterProperties(TPropertyList& AList) {
  AList.Add("Name", &TVantrelDialogueCharacter::GetName, &TVantrelDialogueCharacter::SetName);
}

void TVantrelDialogueCharacter::BeforeDestruction() {
  if (TVantrelDialogueSystem* system = GetDialogueSystem())
    system->UnrefCharacter(this);
  inherited::BeforeDestruction();
}

TVantrelDialogue* TVantrelDialogueCharacter::GetDialogue() const {
  const auto* collection = dynamic_cast<const TVantrelDialogueCustomCollection*>(Collection());
  return collection ? collection->GetDialogue() : nullptr;
}

TVantrelDialogueCharacter* TVantrelDialogueCharacter::Clone(TCollection* ACollection) const {
  return CloneInto<TVantrelDialogueCharacter>(ACollection);
}

void TVantrelDialogueCharacter::AssignTo(TPersistent* ADest) const {
  inherited::AssignTo(ADest);
  if (auto* dest = dynamic_cast<TVantrelDialogueCharacter*>(ADest))
    dest->FName = FName;
}

// ---- TVantrelDialogue ----

TVantrelDialogue::TVantrelDialogue() : FCharacters(New<TVantrelDialogueCharacterCollection>(this)) {}

TVantrelDialogue::~TVantrelDialogue() {
  FCharacters->Free();
}

void TVantrelDialogue::RegisterProperties(TPropertyList& AList) {
  AList.Add("Characters", &TVantrelDialogue::GetCharacters, &TVantrelDialogue::SetCharacters);
}

void TVantrelDialogue::SetCharacters(TVantrelDialogueCharacterCollection* AValue) {
  FCharacters->Assign(AValue);
}

TVantrelDialogue* TVantrelDialogue::Clone(TCollection* ACollection) const {
  return CloneInto<TVantrelDialogue>(ACollection);
}

void TVantrelDialogue::AssignTo(TPersistent* ADest) const {
  inherited::AssignTo(ADest);
  auto* dest = dynamic_cast<TVantrelDialogue*>(ADest);
  if (!dest)
    return;
  dest->FCurrentItem = nullptr;
  dest->FStarted = false;
  dest->FPaused = false;
  dest->FPausedItems.clear();
  for (int i = 0; i < FCharacters->Count(); ++i)
    FCharacters->Character(i)->Clone(dest->FCharacters);
}

TVantrelDialogueCharacter* TVantrelDialogue::FindCharacterById(const std::string& AId) const {
  for (int i = 0; i < FCharacters->Count(); ++i)
    if (FCharacters->Character(i)->GetIdent() == AId)
      return FCharacters->Character(i);
  return nullptr;
}

TVantrelDialogueCharacter* TVantrelDialogue::FindCharacterByName(const std::string& AName) const {
  for (int i = 0; i < FCharacters->Count(); ++i)
    if (FCharacters->Character(i)->GetName() == AName)
      return FCharacters->Character(i);
  return nullptr;
}

void TVantrelDialogue::ForgetItem(const TVantrelDialogueItem* AItem) {
  if (FCurrentItem == AItem)
    FCurrentItem = nullptr;
  std::erase(FPausedItems, AItem);
}

void TVantrelDialogue::Start() {
  FStarted = false;
  FPaused = false;
  if (GetItems()->Count() == 0)
    return;
  FStarted = true;
  if (const TVantrelDialogueSystem* system = GetDialogueSystem(); system && system->GetOnStartDialogue())
    system->GetOnStartDialogue()(this, GetAvailableItems());
}

void TVantrelDialogue::Stop() {
  for (int i = 0; i < GetItems()->Count(); ++i)
    GetItems()->Item(i)->Stop(true);
  if (FStarted)
    if (const TVantrelDialogueSystem* system = GetDialogueSystem(); system && system->GetOnStopDialogue())
      system->GetOnStopDialogue()(this);
  FStarted = false;
  FPaused = false;
  FCurrentItem = nullptr;
}

void TVantrelDialogue::PauseTimer(TVantrelDialogueItem* AItem) {
  if (!AItem->Timer()->GetEnabled())
    return;
  AItem->Timer()->SetEnabled(false);
  FPausedItems.push_back(AItem);
}

void TVantrelDialogue::Pause() {
  if (!FStarted)
    return;
  if (FPaused) {
    for (TVantrelDialogueItem* item : FPausedItems)
      item->Timer()->SetEnabled(true);
    FPausedItems.clear();
    FPaused = false;
    return;
  }
  FPaused = true;
  if (FCurrentItem && FCurrentItem->GetKind() == TVantrelDialogueItemKind::Question)
    for (TVantrelDialogueItem* answer : FCurrentItem->GetAvailableItems())
      PauseTimer(answer);
  else
    FPausedItems.clear();
  if (FCurrentItem)
    PauseTimer(FCurrentItem);
  if (const TVantrelDialogueSystem* system = GetDialogueSystem(); system && system->GetOnPauseDialogue())
    system->GetOnPauseDialogue()(this);
}

void TVantrelDialogue::Skip(bool ASingleSkip) {
  if (!FStarted || !FCurrentItem || FCurrentItem->GetKind() != TVantrelDialogueItemKind::Flow)
    return;
  TVantrelDialogueItem* before = FCurrentItem;
  for (TVantrelDialogueItem* entry = FCurrentItem;;) {
    const TVantrelDialogueItems next = entry->GetAvailableItems();
    if (next.empty()) {
      Stop();
      break;
    }
    if (ASingleSkip || next.front()->GetKind() != TVantrelDialogueItemKind::Flow) {
      StartItem(next.front());
      break;
    }
    entry = next.front();
  }
  if (const TVantrelDialogueSystem* system = GetDialogueSystem(); system && system->GetOnSkippedDialogue())
    system->GetOnSkippedDialogue()(this, before, FCurrentItem);
}

void TVantrelDialogue::StartItem(TVantrelDialogueItem* AItem) {
  if (!AItem)
    throw Exception("invalid dialogue item - empty");
  if (AItem->GetDialogue() != this)
    throw Exception("invalid dialogue item - not belonging to this dialogue");
  if (AItem->GetKind() == TVantrelDialogueItemKind::Reference) {
    AItem = FindItem(AItem->GetReference());
    if (!AItem)
      throw Exception("invalid dialogue item - reference not found");
  }
  if (AItem == FCurrentItem)
    return;
  struct TDepth {
    int& Count;
    explicit TDepth(int& ACount) : Count(++ACount) {}
    ~TDepth() { --Count; }
  } depth(FStartItemDepth);
  if (FStarted && FCurrentItem) {
    FCurrentItem->Stop(false);
    FCurrentItem = nullptr;
  }
  FCurrentItem = AItem;
  AItem->Start();
  if (const TVantrelDialogueSystem* system = GetDialogueSystem(); system && system->GetOnSkipAvailability())
    system->GetOnSkipAvailability()(
        this, FCurrentItem, FCurrentItem && FCurrentItem->GetKind() == TVantrelDialogueItemKind::Flow);
}

void TVantrelDialogue::SelectItem(TVantrelDialogueItem* AItem) {
  if (!AItem || AItem->GetKind() != TVantrelDialogueItemKind::Answer)
    return;
  if (auto* question = dynamic_cast<TVantrelDialogueItem*>(AItem->GetParent()))
    question->StopItems(TVantrelDialogueItemKind::Answer);
  const TVantrelDialogueItems next = AItem->GetAvailableItems();
  if (next.empty()) {
    if (TVantrelDialogue* dialogue = AItem->GetDialogue())
      dialogue->Stop();
    return;
  }
  StartItem(next.front());
}

// ---- TVantrelDialogueSystem ----

TVantrelDialogueSystem::TVantrelDialogueSystem(TComponent* AOwner)
    : TComponent(AOwner), FId(ClassName() + "_" + IntToStr(Random(10000))),
      FDialogues(New<TVantrelDialogueCollection>(this)) {}

TVantrelDialogueSystem::~TVantrelDialogueSystem() {
  FDialogues->Free();
}

void TVantrelDialogueSystem::RegisterProperties(TPropertyList& AList) {
  AList.Add("Id", &TVantrelDialogueSystem::GetId, &TVantrelDialogueSystem::SetId);
  AList.Add("Language", &TVantrelDialogueSystem::GetLanguage, &TVantrelDialogueSystem::SetLanguage);
  AList.Add("Dialogues", &TVantrelDialogueSystem::GetDialogues, &TVantrelDialogueSystem::SetDialogues);
}

void TVantrelDialogueSystem::BeforeDestruction() {
  // The dialogues go while the system is whole: characters reach it to drop their references.
  FDialogues->Clear();
  inherited::BeforeDestruction();
}

std::string TVantrelDialogueSystem::GetLanguageName() const {
  return LanguageIndexToCode(FLanguage);
}

void TVantrelDialogueSystem::LoadFromStream(TStream* AStream) {
  TVantrelDialogueReader().AddFromStream(AStream, this);
}

void TVantrelDialogueSystem::LoadFromFile(const std::string& AFileName) {
  LoadFromStream(MakeOwned<TFileStream>(AFileName, fmOpenRead | fmShareDenyNone).get());
}

void TVantrelDialogueSystem::SaveToStream(TStream* AStream) const {
  TVantrelDialogueWriter().SaveToStream(this, AStream);
}

void TVantrelDialogueSystem::SaveToFile(const std::string& AFileName) const {
  TVantrelDialogueWriter().SaveToFile(this, AFileName);
}

void TVantrelDialogueSystem::SetDialogues(TVantrelDialogueCollection* AValue) {
  FDialogues->Assign(AValue);
}

void TVantrelDialogueSystem::AddVariable(const std::string& AName, TObject* AObject) {
  FVariables.AddOrSetValue(AName, AObject);
}

void TVantrelDialogueSystem::RemoveVariable(const std::string& AName) {
  FVariables.Remove(AName);
}

TObject* TVantrelDialogueSystem::GetVariable(const std::string& AName) const {
  TObject* const* object = FVariables.Find(AName);
  return object ? *object : nullptr;
}

void TVantrelDialogueSystem::ClearVariables() {
  FVariables.Clear();
}

void TVantrelDialogueSystem::ClearDialogues() {
  FDialogues->Clear();
}

void TVantrelDialogueSystem::ClearAll() {
  FId.clear();
  ClearDialogues();
  ClearVariables();
}

void TVantrelDialogueSystem::UnrefCharacter(const TVantrelDialogueCharacter* ACharacter) {
  for (int i = 0; i < FDialogues->Count(); ++i)
    FDialogues->Dialogue(i)->UnrefCharacter(ACharacter);
}

TVantrelDialogueSystem* TVantrelDialogueSystem::Clone(TComponent* AOwner) const {
  TOwned<TVantrelDialogueSystem> result = MakeOwned<TVantrelDialogueSystem>(AOwner);
  result->Assign(this);
  return result.release();
}

TVantrelDialogue* TVantrelDialogueSystem::FindDialogue(const std::string& AId) const {
  for (int i = 0; i < FDialogues->Count(); ++i)
    if (FDialogues->Dialogue(i)->GetIdent() == AId)
      return FDialogues->Dialogue(i);
  return nullptr;
}

void TVantrelDialogueSystem::AssignTo(TPersistent* ADest) const {
  auto* dest = dynamic_cast<TVantrelDialogueSystem*>(ADest);
  if (!dest) {
    inherited::AssignTo(ADest);
    return;
  }
  dest->FId = FId;
  dest->FLanguage = FLanguage;
  for (int i = 0; i < FDialogues->Count(); ++i)
    FDialogues->Dialogue(i)->Clone(dest->FDialogues);
  AddOrReplaceAll(dest->FVariables, FVariables);
  dest->FOnBeginDialogueItemEvent = FOnBeginDialogueItemEvent;
  dest->FOnEndDialogueItemEvent = FOnEndDialogueItemEvent;
  dest->FOnBeginDialogueItem = FOnBeginDialogueItem;
  dest->FOnEndDialogueItem = FOnEndDialogueItem;
  dest->FOnStartDialogue = FOnStartDialogue;
  dest->FOnStopDialogue = FOnStopDialogue;
  dest->FOnPauseDialogue = FOnPauseDialogue;
  dest->FOnSkippedDialogue = FOnSkippedDialogue;
  dest->FOnSkipAvailability = FOnSkipAvailability;
  dest->FOnBeginItemTimeout = FOnBeginItemTimeout;
  dest->FOnEndItemTimeout = FOnEndItemTimeout;
}

// ---- Unit start-up ----

namespace {
int DialogueSystemInitCount = 0;
std::vector<TClass*> DialogueClasses() {
  return {&TVantrelDialogueItem::StaticClass(), &TVantrelDialogueItemEvent::StaticClass(),
          &TVantrelDialogueCharacter::StaticClass(), &TVantrelDialogue::StaticClass(),
          &TVantrelDialogueSystem::StaticClass()};
}
} // namespace

void InitializeDialogueSystem() {
  if (DialogueSystemInitCount++ > 0)
    return;
  for (TClass* cls : DialogueClasses())
    RegisterClass(*cls);
}

void FinalizeDialogueSystem() {
  if (DialogueSystemInitCount == 0 || --DialogueSystemInitCount > 0)
    return;
  for (TClass* cls : DialogueClasses())
    UnRegisterClass(*cls);
}

} // namespace vantrel
