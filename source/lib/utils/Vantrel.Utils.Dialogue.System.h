#pragma once
// The dialogue system: branching conversations of questions, answers, narration steps and
// references, spoken by characters, with events attached to items. A dialogue runs on the UI
// thread: each item owns a UI timer for its display time, and every step is reported through the
// system's handlers, which draw whatever the application shows.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Vantrel.Prelude.h"
#include "rtl/classes.h"
#include "rtl/generics.h"
#include "rtl/streams.h"
#include "rtl/types2d.h"
#include "rtl/value.h"
#include "ui/timers.h"
#include "utils/Vantrel.Utils.Language.h"
#include "utils/Vantrel.Utils.Parameters.h"

namespace vantrel {

class TVantrelDialogue;
class TVantrelDialogueCharacter;
class TVantrelDialogueItem;
class TVantrelDialogueItemEvent;
class TVantrelDialogueSystem;

enum class TVantrelDialogueItemKind : uint8_t { None, Question, Answer, Flow, Reference };
RTL_ENUM_TYPEINFO(TVantrelDialogueItemKind, "None", "Question", "Answer", "Flow", "Reference")

enum class TVantrelDialogueEventKind : uint8_t {
  Text,
  Image,
  Audio,
  Video,
  Animation,
  Method,
  ObjProperty,
  Redirect,
  Timer,
  Misc
};
RTL_ENUM_TYPEINFO(TVantrelDialogueEventKind, "Text", "Image", "Audio", "Video", "Animation", "Method",
                  "ObjProperty", "Redirect", "Timer", "Misc")

enum class TVantrelDialogueEventTrigger : uint8_t { Undefined, OnBegin, OnEnd, OnTimeout };
RTL_ENUM_TYPEINFO(TVantrelDialogueEventTrigger, "Undefined", "OnBegin", "OnEnd", "OnTimeout")

// The texts of the kinds and triggers in dialogue files. Reading ignores letter case; a text
// that names nothing gives None, Misc or Undefined.
TVantrelDialogueItemKind StrToDialogueItemKind(std::string_view AText);
std::string DialogueItemKindToStr(TVantrelDialogueItemKind AKind);
TVantrelDialogueEventKind StrToDialogueEventKind(std::string_view AText);
std::string DialogueEventKindToStr(TVantrelDialogueEventKind AKind);
TVantrelDialogueEventTrigger StrToDialogueEventTrigger(std::string_view AText);
std::string DialogueEventTriggerToStr(TVantrelDialogueEventTrigger ATrigger);

// An entry's place in an editor's graph as the text "(x,y)", en-US numbers.
std::string DialoguePositionToText(TPointF APosition);
// Splits at ",", "(" and ")" and reads the second piece as x and the third as y; reading stops
// silently at the first piece that is not a number, keeping what was set.
void DialoguePositionFromText(std::string_view AText, TPointF& APosition);
// The maps as the JSON text their owners stream. Reading empties the map first; text that is no
// JSON object leaves it empty.
std::string DialogueTextsToJSON(const TVantrelLanguageMap& ATexts);
void DialogueTextsFromJSON(std::string_view AText, TVantrelLanguageMap& ATexts);
std::string DialogueParametersToJSON(const TVantrelParametersMap& AParameters);
void DialogueParametersFromJSON(std::string_view AText, TVantrelParametersMap& AParameters);

using TVantrelDialogueTexts = TVantrelLanguageMap;
using TVantrelDialogueParameters = TVantrelParametersMap;
// Objects by name that events may act on; the system does not own them.
using TVantrelDialogueVariables = TDictionary<std::string, TObject*>;
using TVantrelDialogueItems = std::vector<TVantrelDialogueItem*>;

using TVantrelDialogueBeginItemEventEvent =
    std::function<void(TVantrelDialogueItemEvent* AEvent, TObject* AScope, bool& AHandled)>;
using TVantrelDialogueEndItemEventEvent =
    std::function<void(TVantrelDialogueItemEvent* AEvent, TObject* AScope)>;
using TVantrelDialogueBeginItemEvent =
    std::function<void(TVantrelDialogueItem* AItem, const TVantrelDialogueItems& AItems)>;
using TVantrelDialogueItemNotifyEvent = std::function<void(TVantrelDialogueItem* AItem)>;
using TVantrelDialogueStartEvent =
    std::function<void(TVantrelDialogue* ADialogue, const TVantrelDialogueItems& AItems)>;
using TVantrelDialogueNotifyEvent = std::function<void(TVantrelDialogue* ADialogue)>;
using TVantrelDialogueSkippedEvent = std::function<void(
    TVantrelDialogue* ADialogue, TVantrelDialogueItem* ABeginItem, TVantrelDialogueItem* AEndItem)>;
using TVantrelDialogueSkipAvailabilityEvent =
    std::function<void(TVantrelDialogue* ADialogue, TVantrelDialogueItem* AItem, bool AIsAvailable)>;
using TVantrelDialogueItemTimeoutEvent = std::function<void(TVantrelDialogueItem* AItem, int ATime)>;

// ---- Collections ----

// A collection whose items belong to a dialogue system.
class TVantrelDialogueSystemCollection : public TOwnedCollection {
  RTL_CLASS(TVantrelDialogueSystemCollection, TOwnedCollection)
public:
  using TOwnedCollection::TOwnedCollection;
  // The owner as a system, or null.
  virtual TVantrelDialogueSystem* GetDialogueSystem() const;
};

// A collection whose items belong to a dialogue.
class TVantrelDialogueCustomCollection : public TVantrelDialogueSystemCollection {
  RTL_CLASS(TVantrelDialogueCustomCollection, TVantrelDialogueSystemCollection)
public:
  using TVantrelDialogueSystemCollection::TVantrelDialogueSystemCollection;
  // The owner as a dialogue, or null.
  virtual TVantrelDialogue* GetDialogue() const;
  TVantrelDialogueSystem* GetDialogueSystem() const override;
};

// The child items of a dialogue or of an item.
class TVantrelDialogueItemCollection : public TVantrelDialogueCustomCollection {
  RTL_CLASS(TVantrelDialogueItemCollection, TVantrelDialogueCustomCollection)
public:
  explicit TVantrelDialogueItemCollection(TPersistent* AOwner);
  TVantrelDialogueItem* Item(int AIndex) const;
  // The owning dialogue or item, or null.
  virtual TPersistent* GetParent() const { return GetOwner(); }
  // Raise "invalid owner of TVantrelDialogueItem - …" when the owner is neither a dialogue nor an
  // item.
  TVantrelDialogue* GetDialogue() const override;
  TVantrelDialogueSystem* GetDialogueSystem() const override;
};

class TVantrelDialogueItemEventCollection : public TVantrelDialogueCustomCollection {
  RTL_CLASS(TVantrelDialogueItemEventCollection, TVantrelDialogueCustomCollection)
public:
  explicit TVantrelDialogueItemEventCollection(TVantrelDialogueItem* AOwner);
  TVantrelDialogueItemEvent* Event(int AIndex) const;
  virtual TVantrelDialogueItem* GetDialogueItem() const;
  TVantrelDialogue* GetDialogue() const override;
  TVantrelDialogueSystem* GetDialogueSystem() const override;
};

class TVantrelDialogueCharacterCollection : public TVantrelDialogueCustomCollection {
  RTL_CLASS(TVantrelDialogueCharacterCollection, TVantrelDialogueCustomCollection)
public:
  explicit TVantrelDialogueCharacterCollection(TVantrelDialogue* AOwner);
  TVantrelDialogueCharacter* Character(int AIndex) const;
};

class TVantrelDialogueCollection : public TVantrelDialogueSystemCollection {
  RTL_CLASS(TVantrelDialogueCollection, TVantrelDialogueSystemCollection)
public:
  explicit TVantrelDialogueCollection(TVantrelDialogueSystem* AOwner);
  TVantrelDialogue* Dialogue(int AIndex) const;
};

// ---- Items ----

// The base of every entry: identity, state and place in an editor.
class TVantrelDialogueCustomItem : public TCollectionItem {
  RTL_CLASS(TVantrelDialogueCustomItem, TCollectionItem)
public:
  // Publishes Ident and Enabled.
  static void RegisterProperties(TPropertyList& AList);

  // Gives the entry its Ident, "<class name>_<0..9999>".
  void AfterConstruction() override;

  const std::string& GetIdent() const { return FIdent; }
  void SetIdent(const std::string& AValue) { FIdent = AValue; }
  bool GetEnabled() const { return FEnabled; }
  void SetEnabled(bool AValue) { FEnabled = AValue; }
  // The application's on-screen representation; not owned.
  TObject* GetUIElement() const { return FUIElement; }
  void SetUIElement(TObject* AValue) { FUIElement = AValue; }
  TPointF GetPosition() const { return FPosition; }
  void SetPosition(TPointF AValue) { FPosition = AValue; }
  // Streams "Position" as DialoguePositionToText (when not at the origin).
  void DefineProperties(TFiler* AFiler) override;

  // The system of the entry's collection, or null.
  virtual TVantrelDialogueSystem* GetDialogueSystem() const;
  // A new entry in ACollection with this entry's content.
  virtual TVantrelDialogueCustomItem* Clone(TCollection* ACollection) const = 0;
  std::string GetRandomId() const;

protected:
  void AssignTo(TPersistent* ADest) const override;
  template <class T> T* CloneInto(TCollection* ACollection) const {
    T* result = CheckedCast<T>(ACollection->Add());
    result->Assign(this);
    return result;
  }

private:
  std::string FIdent;
  bool FEnabled = true;
  TObject* FUIElement = nullptr;
  TPointF FPosition;
};

class TVantrelDialogueParameterizedItem : public TVantrelDialogueCustomItem {
  RTL_CLASS(TVantrelDialogueParameterizedItem, TVantrelDialogueCustomItem)
public:
  TVantrelDialogueParameters& Parameters() { return FParameters; }
  const TVantrelDialogueParameters& Parameters() const { return FParameters; }
  // Streams "ParameterMap" as DialogueParametersToJSON (when there are parameters).
  void DefineProperties(TFiler* AFiler) override;
  // Adds or replaces.
  void AddParameter(const std::string& AName, const TValue& AValue);
  // The value, or the empty value.
  TValue GetParameter(const std::string& AName) const;
  void RemoveParameter(const std::string& AName);

protected:
  // Adds or replaces every parameter in the destination; its other parameters stay.
  void AssignTo(TPersistent* ADest) const override;

private:
  TVantrelDialogueParameters FParameters;
};

// An entry with child items: a dialogue or an item.
class TVantrelDialogueParentItem : public TVantrelDialogueParameterizedItem {
  RTL_CLASS(TVantrelDialogueParentItem, TVantrelDialogueParameterizedItem)
public:
  TVantrelDialogueParentItem();
  ~TVantrelDialogueParentItem() override;

  // Publishes Items.
  static void RegisterProperties(TPropertyList& AList);

  // Raises, and the entry is freed, unless its collection is a TVantrelDialogueSystemCollection.
  void AfterConstruction() override;
  // Frees the children while the entry still reaches its dialogue.
  void BeforeDestruction() override;

  TVantrelDialogueItemCollection* GetItems() const { return FItems; }
  // Copies AItems into the entry's own collection.
  void SetItems(TVantrelDialogueItemCollection* AItems);

  // Clears the cached reference and the Character text of every child item that refers to
  // ACharacter, all the way down.
  virtual void UnrefCharacter(const TVantrelDialogueCharacter* ACharacter);
  // The enabled child items in collection order.
  TVantrelDialogueItems GetAvailableItems() const;
  void ClearItems();
  // Depth first: the entry itself when it is an item with that Ident, else each child and its
  // children in order. A dialogue never matches itself.
  TVantrelDialogueItem* FindItem(const std::string& AId) const;
  // The index of the direct child with that Ident, or -1.
  int FindItemIndex(const std::string& AId) const;

protected:
  // Clones every child item into the destination's items.
  void AssignTo(TPersistent* ADest) const override;

private:
  TVantrelDialogueItemCollection* FItems;
};

class TVantrelDialogueItem : public TVantrelDialogueParentItem {
  RTL_CLASS(TVantrelDialogueItem, TVantrelDialogueParentItem)
public:
  TVantrelDialogueItem();
  ~TVantrelDialogueItem() override;

  // Publishes Kind, DisplayName, Reference, DisplayTime, Events and Character.
  static void RegisterProperties(TPropertyList& AList);

  // Also requires a TVantrelDialogueCustomCollection.
  void AfterConstruction() override;
  // Stops the timer, and leaves the dialogue's current item and paused list.
  void BeforeDestruction() override;

  TVantrelDialogueItemKind GetKind() const { return FKind; }
  void SetKind(TVantrelDialogueItemKind AValue) { FKind = AValue; }
  const std::string& GetDisplayNameText() const { return FDisplayName; }
  void SetDisplayNameText(const std::string& AValue) { FDisplayName = AValue; }
  const std::string& GetReference() const { return FReference; }
  void SetReference(const std::string& AValue) { FReference = AValue; }
  // Milliseconds until the item times out; 0 for never.
  int GetDisplayTime() const { return FDisplayTime; }
  void SetDisplayTime(int AValue) { FDisplayTime = AValue; }
  TVantrelDialogueTexts& Text() { return FText; }
  const TVantrelDialogueTexts& Text() const { return FText; }
  // Streams "TextMap" as DialogueTextsToJSON (when there are texts).
  void DefineProperties(TFiler* AFiler) override;
  TVantrelDialogueItemEventCollection* GetEvents() const { return FEvents; }
  void SetEvents(TVantrelDialogueItemEventCollection* AEvents);
  bool GetStarted() const { return FStarted; }
  ui::TTimer* Timer() const { return FTimer; }

  // The owning item or dialogue.
  virtual TVantrelDialogueParentItem* GetParent() const;
  virtual TVantrelDialogue* GetDialogue() const;
  TVantrelDialogueSystem* GetDialogueSystem() const override;
  // The speaking character: cached, else looked up by Ident, then by name, in the dialogue.
  virtual TVantrelDialogueCharacter* GetCharacterRef();
  virtual void SetCharacterRef(TVantrelDialogueCharacter* AValue);
  virtual const std::string& GetCharacter() const { return FCharacter; }
  // Sets the Ident or name of the character; a non-empty one is resolved again.
  virtual void SetCharacter(const std::string& AValue);
  // The display name, else the character's name, else the class name.
  std::string GetDisplayName() const override;
  TVantrelDialogueItem* Clone(TCollection* ACollection) const override;
  // The enabled events with that trigger, in order.
  virtual std::vector<TVantrelDialogueItemEvent*>
  GetAvailableEvents(TVantrelDialogueEventTrigger ATrigger) const;
  virtual TVantrelDialogueItemEvent* FindEventById(const std::string& AId) const;
  // The text in the system's language, else "*", else "en-us", else empty.
  virtual std::string GetCurrentText() const;

  // Running (on the UI thread).
  virtual void Start();
  virtual void Stop(bool ADeep);
  // Stops every enabled child item of that kind.
  virtual void StopItems(TVantrelDialogueItemKind AKind);
  // Reports the end of every enabled event.
  virtual void StopEvents();
  // The display time ran out.
  virtual void DoOnExecTimer();

protected:
  void AssignTo(TPersistent* ADest) const override;

private:
  void RunEvents(TVantrelDialogueEventTrigger ATrigger);
  // The dialogue through the collections, or null where GetDialogue would raise.
  TVantrelDialogue* OwningDialogue() const;

  // Made first: without a timer service construction fails before anything else is made.
  ui::TTimer* FTimer;
  TVantrelDialogueItemKind FKind = TVantrelDialogueItemKind::Flow;
  std::string FDisplayName;
  std::string FReference;
  int FDisplayTime = 0;
  TVantrelDialogueTexts FText;
  TVantrelDialogueItemEventCollection* FEvents;
  std::string FCharacter;
  TVantrelDialogueCharacter* FCharacterRef = nullptr;
  bool FStarted = false;
};

class TVantrelDialogueItemEvent : public TVantrelDialogueParameterizedItem {
  RTL_CLASS(TVantrelDialogueItemEvent, TVantrelDialogueParameterizedItem)
public:
  // Publishes OwnerEvent, Kind, Trigger, Scope and Iterations.
  static void RegisterProperties(TPropertyList& AList);

  const std::string& GetOwnerEvent() const { return FOwnerEvent; }
  void SetOwnerEvent(const std::string& AValue) { FOwnerEvent = AValue; }
  TVantrelDialogueEventKind GetKind() const { return FKind; }
  void SetKind(TVantrelDialogueEventKind AValue) { FKind = AValue; }
  TVantrelDialogueEventTrigger GetTrigger() const { return FTrigger; }
  void SetTrigger(TVantrelDialogueEventTrigger AValue) { FTrigger = AValue; }
  const std::string& GetScope() const { return FScope; }
  void SetScope(const std::string& AValue) { FScope = AValue; }
  TVantrelDialogueTexts& Data() { return FData; }
  const TVantrelDialogueTexts& Data() const { return FData; }
  // Streams "DataMap" as DialogueTextsToJSON (when there is data).
  void DefineProperties(TFiler* AFiler) override;
  // How many executions are only reported before the event acts; 0 acts every time.
  int GetIterations() const { return FIterations; }
  void SetIterations(int AValue) { FIterations = AValue; }
  int GetIterationCount() const { return FIterationCount; }
  void SetIterationCount(int AValue) { FIterationCount = AValue; }

  TVantrelDialogueItem* GetDialogueItem() const;
  TVantrelDialogueSystem* GetDialogueSystem() const override;
  TVantrelDialogueItemEvent* Clone(TCollection* ACollection) const override;
  // The data in the system's language, else "*", else "en-us", else empty.
  std::string GetCurrentData() const;
  // Reports the event and, unless a handler or the iteration count holds it back, acts by kind.
  virtual void Execute();

protected:
  void AssignTo(TPersistent* ADest) const override;

private:
  TObject* ScopeObject();
  void CallMethod(TObject* AScope);
  void SetProperty(TObject* AScope);
  void Redirect();

  std::string FOwnerEvent;
  TVantrelDialogueEventKind FKind = TVantrelDialogueEventKind::Misc;
  TVantrelDialogueEventTrigger FTrigger = TVantrelDialogueEventTrigger::OnBegin;
  std::string FScope;
  TVantrelDialogueTexts FData;
  int FIterations = 0;
  int FIterationCount = 0;
};

class TVantrelDialogueCharacter : public TVantrelDialogueParameterizedItem {
  RTL_CLASS(TVantrelDialogueCharacter, TVantrelDialogueParameterizedItem)
public:
  // Publishes Name.
  static void RegisterProperties(TPropertyList& AList);

  // Inside a system, drops every item's reference to the character first.
  void BeforeDestruction() override;

  const std::string& GetName() const { return FName; }
  void SetName(const std::string& AValue) { FName = AValue; }
  TVantrelDialogue* GetDialogue() const;
  TVantrelDialogueCharacter* Clone(TCollection* ACollection) const override;

protected:
  void AssignTo(TPersistent* ADest) const override;

private:
  std::string FName;
};

class TVantrelDialogue : public TVantrelDialogueParentItem {
  RTL_CLASS(TVantrelDialogue, TVantrelDialogueParentItem)
public:
  TVantrelDialogue();
  ~TVantrelDialogue() override;

  // Publishes Characters.
  static void RegisterProperties(TPropertyList& AList);

  TVantrelDialogueItem* GetCurrentItem() const { return FCurrentItem; }
  void SetCurrentItem(TVantrelDialogueItem* AValue) { FCurrentItem = AValue; }
  bool GetStarted() const { return FStarted; }
  bool GetPaused() const { return FPaused; }
  const TVantrelDialogueItems& PausedItems() const { return FPausedItems; }
  TVantrelDialogueCharacterCollection* GetCharacters() const { return FCharacters; }
  void SetCharacters(TVantrelDialogueCharacterCollection* AValue);

  TVantrelDialogue* Clone(TCollection* ACollection) const override;
  // Marks the dialogue started when it has items and reports the items to begin with.
  virtual void Start();
  // Stops every item and reports the end once.
  virtual void Stop();
  // Toggles: stops the running timers of the current item (and of a question's answers), or
  // restarts them from their full interval.
  virtual void Pause();
  // From a narration step: one step on, or down the chain to the next item that is not one.
  virtual void Skip(bool ASingleSkip);
  // Makes AItem (or the target of a reference) the current item. Raises "invalid dialogue item
  // - …" for no item, an item of another dialogue, or a reference without target, leaving the
  // dialogue as it was.
  virtual void StartItem(TVantrelDialogueItem* AItem);
  // The player chose the answer AItem.
  virtual void SelectItem(TVantrelDialogueItem* AItem);
  virtual TVantrelDialogueCharacter* FindCharacterById(const std::string& AId) const;
  virtual TVantrelDialogueCharacter* FindCharacterByName(const std::string& AName) const;

  // How many StartItem calls of this dialogue are running, one inside the other.
  int StartItemDepth() const { return FStartItemDepth; }
  // Called by a freed item: it is neither current nor paused any more.
  void ForgetItem(const TVantrelDialogueItem* AItem);

protected:
  void AssignTo(TPersistent* ADest) const override;

private:
  void PauseTimer(TVantrelDialogueItem* AItem);

  TVantrelDialogueItem* FCurrentItem = nullptr;
  bool FStarted = false;
  bool FPaused = false;
  TVantrelDialogueItems FPausedItems;
  TVantrelDialogueCharacterCollection* FCharacters;
  int FStartItemDepth = 0;
};

// ---- The component ----

class TVantrelDialogueSystem : public TComponent {
  RTL_CLASS(TVantrelDialogueSystem, TComponent)
public:
  explicit TVantrelDialogueSystem(TComponent* AOwner);
  ~TVantrelDialogueSystem() override;

  // Publishes Id, Language and Dialogues.
  static void RegisterProperties(TPropertyList& AList);

  void BeforeDestruction() override;

  const std::string& GetId() const { return FId; }
  void SetId(const std::string& AValue) { FId = AValue; }
  // An index into the language-code table.
  int GetLanguage() const { return FLanguage; }
  void SetLanguage(int AValue) { FLanguage = AValue; }
  // The code of Language ("en-us" for an index outside the table).
  std::string GetLanguageName() const;
  TVantrelDialogueCollection* GetDialogues() const { return FDialogues; }
  void SetDialogues(TVantrelDialogueCollection* AValue);
  TVantrelDialogueVariables& Variables() { return FVariables; }
  const TVantrelDialogueVariables& Variables() const { return FVariables; }

  const TVantrelDialogueBeginItemEventEvent& GetOnBeginDialogueItemEvent() const {
    return FOnBeginDialogueItemEvent;
  }
  void SetOnBeginDialogueItemEvent(TVantrelDialogueBeginItemEventEvent AValue) {
    FOnBeginDialogueItemEvent = std::move(AValue);
  }
  const TVantrelDialogueEndItemEventEvent& GetOnEndDialogueItemEvent() const {
    return FOnEndDialogueItemEvent;
  }
  void SetOnEndDialogueItemEvent(TVantrelDialogueEndItemEventEvent AValue) {
    FOnEndDialogueItemEvent = std::move(AValue);
  }
  const TVantrelDialogueBeginItemEvent& GetOnBeginDialogueItem() const { return FOnBeginDialogueItem; }
  void SetOnBeginDialogueItem(TVantrelDialogueBeginItemEvent AValue) {
    FOnBeginDialogueItem = std::move(AValue);
  }
  const TVantrelDialogueItemNotifyEvent& GetOnEndDialogueItem() const { return FOnEndDialogueItem; }
  void SetOnEndDialogueItem(TVantrelDialogueItemNotifyEvent AValue) {
    FOnEndDialogueItem = std::move(AValue);
  }
  const TVantrelDialogueStartEvent& GetOnStartDialogue() const { return FOnStartDialogue; }
  void SetOnStartDialogue(TVantrelDialogueStartEvent AValue) { FOnStartDialogue = std::move(AValue); }
  const TVantrelDialogueNotifyEvent& GetOnStopDialogue() const { return FOnStopDialogue; }
  void SetOnStopDialogue(TVantrelDialogueNotifyEvent AValue) { FOnStopDialogue = std::move(AValue); }
  const TVantrelDialogueNotifyEvent& GetOnPauseDialogue() const { return FOnPauseDialogue; }
  void SetOnPauseDialogue(TVantrelDialogueNotifyEvent AValue) { FOnPauseDialogue = std::move(AValue); }
  const TVantrelDialogueSkippedEvent& GetOnSkippedDialogue() const { return FOnSkippedDialogue; }
  void SetOnSkippedDialogue(TVantrelDialogueSkippedEvent AValue) { FOnSkippedDialogue = std::move(AValue); }
  const TVantrelDialogueSkipAvailabilityEvent& GetOnSkipAvailability() const { return FOnSkipAvailability; }
  void SetOnSkipAvailability(TVantrelDialogueSkipAvailabilityEvent AValue) {
    FOnSkipAvailability = std::move(AValue);
  }
  const TVantrelDialogueItemTimeoutEvent& GetOnBeginItemTimeout() const { return FOnBeginItemTimeout; }
  void SetOnBeginItemTimeout(TVantrelDialogueItemTimeoutEvent AValue) {
    FOnBeginItemTimeout = std::move(AValue);
  }
  const TVantrelDialogueItemNotifyEvent& GetOnEndItemTimeout() const { return FOnEndItemTimeout; }
  void SetOnEndItemTimeout(TVantrelDialogueItemNotifyEvent AValue) { FOnEndItemTimeout = std::move(AValue); }

  // The dialogue file (Vantrel.Utils.Dialogue.Reader and .Writer). Loading appends the file's
  // dialogues and takes its Id and Language.
  virtual void LoadFromStream(TStream* AStream);
  virtual void LoadFromFile(const std::string& AFileName);
  virtual void SaveToStream(TStream* AStream) const;
  virtual void SaveToFile(const std::string& AFileName) const;

  // Adds or replaces.
  virtual void AddVariable(const std::string& AName, TObject* AObject);
  virtual void RemoveVariable(const std::string& AName);
  virtual TObject* GetVariable(const std::string& AName) const;
  virtual void ClearVariables();
  virtual void ClearDialogues();
  // Empties Id, the dialogues and the variables.
  virtual void ClearAll();
  // Drops every item's reference to ACharacter, in every dialogue.
  virtual void UnrefCharacter(const TVantrelDialogueCharacter* ACharacter);
  // A new system owned by AOwner (by the caller when AOwner is null) with this one's content and
  // handlers.
  TVantrelDialogueSystem* Clone(TComponent* AOwner) const;
  TVantrelDialogue* FindDialogue(const std::string& AId) const;

protected:
  void AssignTo(TPersistent* ADest) const override;

private:
  std::string FId;
  int FLanguage = 0;
  TVantrelDialogueCollection* FDialogues;
  TVantrelDialogueVariables FVariables;
  TVantrelDialogueBeginItemEventEvent FOnBeginDialogueItemEvent;
  TVantrelDialogueEndItemEventEvent FOnEndDialogueItemEvent;
  TVantrelDialogueBeginItemEvent FOnBeginDialogueItem;
  TVantrelDialogueItemNotifyEvent FOnEndDialogueItem;
  TVantrelDialogueStartEvent FOnStartDialogue;
  TVantrelDialogueNotifyEvent FOnStopDialogue;
  TVantrelDialogueNotifyEvent FOnPauseDialogue;
  TVantrelDialogueSkippedEvent FOnSkippedDialogue;
  TVantrelDialogueSkipAvailabilityEvent FOnSkipAvailability;
  TVantrelDialogueItemTimeoutEvent FOnBeginItemTimeout;
  TVantrelDialogueItemNotifyEvent FOnEndItemTimeout;
};

void InitializeDialogueSystem();
void FinalizeDialogueSystem();

} // namespace vantrel
