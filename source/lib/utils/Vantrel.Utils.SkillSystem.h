#pragma once
// The skill system: groups of skills whose values grow level by level, each skill leading to
// further skills (its destinations) once it is fully levelled. A levelling thread per system
// starts the queued level-ups and hands the finished ones to the UI thread, where the skills take
// their new level and value. Only the UI thread touches the skill tree; the thread touches nothing
// but its own lists. The tree and the pending level-ups are saved as one XML file.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Vantrel.Prelude.h"
#include "rtl/classes.h"
#include "rtl/generics.h"
#include "rtl/guid.h"
#include "rtl/streams.h"
#include "rtl/sync.h"
#include "rtl/threads.h"
#include "rtl/types2d.h"
#include "rtl/value.h"
#include "utils/Vantrel.Utils.Language.h"

namespace vantrel {

class TVantrelSkill;
class TVantrelSkillCollection;
class TVantrelSkillGroup;
class TVantrelSkillProcess;
class TVantrelSkillProcessThread;
class TVantrelSkillSystem;
class TMz_XmlElement;

enum class TVantrelSkillLevelInterpolation : uint8_t {
  LinearInterpolation,
  LogarithmicInterpolation,
  ExponentialInterpolation,
  ExponentialMinus1Interpolation,
};
RTL_ENUM_TYPEINFO(TVantrelSkillLevelInterpolation, "LinearInterpolation", "LogarithmicInterpolation",
                  "ExponentialInterpolation", "ExponentialMinus1Interpolation")

using TVantrelActivatedSkills = TDictionary<std::string, TVantrelSkill*>;
// Skills by GUID, for reading the level-ups of a file.
using TVantrelSkillIndex = TDictionary<TGUID, TVantrelSkill*>;

// The base of groups and skills: identity, names per language, icon and place in an editor.
class TVantrelCustomSkillEntity : public TCollectionItem {
  RTL_CLASS(TVantrelCustomSkillEntity, TCollectionItem)
public:
  TVantrelCustomSkillEntity();

  // Publishes Enabled, Icon and Position.
  static void RegisterProperties(TPropertyList& AList);

  // From another entity: GUID, Enabled, names, Icon and Position.
  void Assign(const TPersistent* ASource) override;

  const TGUID& GetGUID() const { return FGUID; }
  void SetGUID(const TGUID& AValue) { FGUID = AValue; }
  bool GetEnabled() const { return FEnabled; }
  void SetEnabled(bool AValue) { FEnabled = AValue; }
  int GetIcon() const { return FIcon; }
  void SetIcon(int AValue) { FIcon = AValue; }
  TPointF GetPosition() const { return FPosition; }
  void SetPosition(TPointF AValue) { FPosition = AValue; }
  TVantrelLanguageMap& NameMap() { return FName; }
  const TVantrelLanguageMap& NameMap() const { return FName; }

  // The name in the skill system's current language ("en-us" outside a system).
  std::string GetName() const;
  void SetName(const std::string& AValue);
  // The name in language ALanguage; setting an empty name removes that language.
  std::string GetNames(const std::string& ALanguage) const;
  void SetNames(const std::string& ALanguage, const std::string& AValue);

  // The system the entity belongs to through its collections, or null.
  virtual TVantrelSkillSystem* GetSkillSystem() const;
  // The name in the current language, or the class name when that is empty. An entity keeps no
  // display name of its own, so setting one stores nothing.
  std::string GetDisplayName() const override;
  void SetDisplayName(const std::string&) override {}
  // The element name in the skill file.
  virtual std::string GetIdentifier() const = 0;

  // Reads the attributes, then hands each child element to ReadXmlChild. Missing attributes leave
  // the fields as they are; a bad "guid" raises EConvertError.
  virtual void FromXml(const TMz_XmlElement* ANode);
  // Writes the entity as a new element under AParent and returns it.
  virtual TMz_XmlElement* ToXml(TMz_XmlElement* AParent) const;

protected:
  virtual void ReadXmlChild(const TMz_XmlElement* AChild);
  // Writes the child elements after the name.
  virtual void WriteXmlChildren(TMz_XmlElement* /*AElement*/) const {}

private:
  std::string CurrentLanguage() const;

  TGUID FGUID;
  bool FEnabled = true;
  TVantrelLanguageMap FName;
  int FIcon = -1;
  TPointF FPosition;
};

// A collection of groups or skills that knows the skill system it belongs to.
class TVantrelCustomSkillCollection : public TOwnedCollection {
  RTL_CLASS(TVantrelCustomSkillCollection, TOwnedCollection)
public:
  using TOwnedCollection::TOwnedCollection;
  virtual TVantrelSkillSystem* GetSkillSystem() const = 0;
  // Appends one entry for every child node of ANode, whatever its name, and lets it read the node.
  virtual void FromXml(const TMz_XmlElement* ANode);
  // Writes the entries into a new element ATagName under AParent and returns it.
  virtual TMz_XmlElement* ToXml(const std::string& ATagName, TMz_XmlElement* AParent) const;
};

class TVantrelSkillGroupCollection : public TVantrelCustomSkillCollection {
  RTL_CLASS(TVantrelSkillGroupCollection, TVantrelCustomSkillCollection)
public:
  explicit TVantrelSkillGroupCollection(TVantrelSkillSystem* AOwner);
  TVantrelSkillSystem* GetSkillSystem() const override;
  TVantrelSkillGroup* Group(int AIndex) const;
};

// The skills of a group, or the destinations of a skill.
class TVantrelSkillCollection : public TVantrelCustomSkillCollection {
  RTL_CLASS(TVantrelSkillCollection, TVantrelCustomSkillCollection)
public:
  explicit TVantrelSkillCollection(TVantrelSkillGroup* AOwner);
  TVantrelSkillSystem* GetSkillSystem() const override;
  TVantrelSkillGroup* Group() const;
  TVantrelSkill* Skill(int AIndex) const;
};

class TVantrelSkillGroup : public TVantrelCustomSkillEntity {
  RTL_CLASS(TVantrelSkillGroup, TVantrelCustomSkillEntity)
public:
  TVantrelSkillGroup();
  ~TVantrelSkillGroup() override;

  // Publishes Skills.
  static void RegisterProperties(TPropertyList& AList);

  // Names the entity "<prefix>-<0..9999>" once it is in its collection, so under its system's
  // language.
  void AfterConstruction() override;
  // Frees the skills while the group still reaches its system, so their pending level-ups go too.
  void BeforeDestruction() override;
  void Assign(const TPersistent* ASource) override;
  std::string GetIdentifier() const override { return "group"; }

  TVantrelSkillCollection* GetSkills() const { return FSkills; }
  // Copies ASkills into the group's own collection.
  void SetSkills(TVantrelSkillCollection* ASkills);

  TVantrelSkill* AddSkill();
  // The first skill of the group's own skills whose display name is ASkillName.
  TVantrelSkill* FindSkillByName(const std::string& ASkillName) const;
  // The first skill of the group's own skills (not their destinations) with that GUID.
  TVantrelSkill* FindSkillByGUID(const TGUID& AGUID) const;
  // As FindSkillByGUID, then the destinations of each skill, depth first.
  TVantrelSkill* FindSkillInTree(const TGUID& AGUID) const;
  // Adds or replaces, for every activated skill of the group's own skills, display name -> skill.
  void GetActivatedSkills(TVantrelActivatedSkills& AMap) const;

  // Adds the skills of the group and of all their destinations to AIndex, in the order
  // FindSkillInTree searches them; the first skill of a GUID wins.
  void IndexSkills(TVantrelSkillIndex& AIndex) const;

protected:
  virtual std::string DefaultNamePrefix() const { return "Group"; }
  void ReadXmlChild(const TMz_XmlElement* AChild) override;
  void WriteXmlChildren(TMz_XmlElement* AElement) const override;

private:
  TVantrelSkillCollection* FSkills;
};

class TVantrelSkill : public TVantrelSkillGroup {
  RTL_CLASS(TVantrelSkill, TVantrelSkillGroup)
public:
  TVantrelSkill() = default;

  // Publishes Activated, Value, Factor, Interpolation, Level, MaxLevel and LevelingTime.
  static void RegisterProperties(TPropertyList& AList);

  // Drops every level-up that names this skill before it goes.
  void BeforeDestruction() override;
  void Assign(const TPersistent* ASource) override;
  std::string GetIdentifier() const override { return "skill"; }

  bool GetActivated() const { return FActivated; }
  void SetActivated(bool AValue) { FActivated = AValue; }
  float GetValue() const { return FValue; }
  void SetValue(float AValue) { FValue = AValue; }
  float GetFactor() const { return FFactor; }
  void SetFactor(float AValue) { FFactor = AValue; }
  TVantrelSkillLevelInterpolation GetInterpolation() const { return FInterpolation; }
  void SetInterpolation(TVantrelSkillLevelInterpolation AValue) { FInterpolation = AValue; }
  int GetLevel() const { return FLevel; }
  void SetLevel(int AValue) { FLevel = AValue; }
  int GetMaxLevel() const { return FMaxLevel; }
  void SetMaxLevel(int AValue) { FMaxLevel = AValue; }
  // Milliseconds one level-up takes.
  int GetLevelingTime() const { return FLevelingTime; }
  void SetLevelingTime(int AValue) { FLevelingTime = AValue; }
  const TValue& GetData() const { return FData; }
  void SetData(const TValue& AValue) { FData = AValue; }

  // The group, or the skill whose destination this skill is.
  TVantrelSkillGroup* GetGroup() const;

  // Whether the skill is fully levelled (no maximum, or the maximum reached) and ADest can take
  // over: it is given and enabled.
  bool IsLevelingFinished(const TVantrelSkill* ADest) const;
  // Takes ALevel and AValue; when levelling is finished, the activation passes to ADest.
  bool ApplyLevel(int ALevel, float AValue, TVantrelSkill* ADest);
  bool ApplyProcess(const TVantrelSkillProcess& AProcess);
  // The value at ALevel: AValue + ALevel * AFactor for linear skills, a function of
  // ALevel * AFactor alone for the others. Raises EZeroDivide or EInvalidOp for the logarithm of
  // zero or of a negative product, and EOverflow when the result does not fit a Single.
  float InterpolateValue(int ALevel, float AValue, float AFactor) const;
  // StartLevelingUp with the first destination, or none.
  TVantrelSkillProcess* StartLevelingUp();
  // When levelling is finished, passes the activation to ADest and returns null. Otherwise queues
  // a level-up to the next level with the value computed from the current level and returns it
  // (owned by the levelling thread). Raises EInvalidOperation for a skill outside a system.
  TVantrelSkillProcess* StartLevelingUp(TVantrelSkill* ADest);

protected:
  std::string DefaultNamePrefix() const override { return "Skill"; }
  // The skill's own fields, matched in lower case; anything else goes to the group.
  void ReadXmlChild(const TMz_XmlElement* AChild) override;
  void WriteXmlChildren(TMz_XmlElement* AElement) const override;

private:
  bool FActivated = false;
  float FValue = 1.0f;
  float FFactor = 1.0f;
  TVantrelSkillLevelInterpolation FInterpolation = TVantrelSkillLevelInterpolation::LinearInterpolation;
  int FLevel = 0;
  int FMaxLevel = 0;
  int FLevelingTime = 1000;
  TValue FData;
};

// One pending level-up. Its clock runs from Start, on the process clock (rtl::GetTickCount64).
class TVantrelSkillProcess : public TObject {
  RTL_CLASS(TVantrelSkillProcess, TObject)
public:
  TVantrelSkillProcess(TVantrelSkill* ASkill, TVantrelSkill* ADestination, int ATotalTime, int AToLevel,
                       float ANewValue);

  TVantrelSkill* Skill() const { return FSkill; }
  TVantrelSkill* Destination() const { return FDestination; }
  int ToLevel() const { return FToLevel; }
  float NewValue() const { return FNewValue; }
  int64_t StartTime() const { return FStartTime; }
  int TotalTime() const { return FTotalTime; }
  bool IsStarted() const { return FStarted; }
  bool IsElapsed() const;
  bool Names(const TVantrelSkill* ASkill) const { return FSkill == ASkill || FDestination == ASkill; }

  // Starts the clock unless it runs already.
  void Start();
  // Milliseconds since the start, clamped to 0..2^31-1; 0 when not started.
  int Progress() const;
  // Marks the level-up as started AProgress milliseconds ago; 0 or less leaves it unstarted.
  void Resume(int AProgress);

  // Reads a "process" element, finding its skills in ASkills. A skill or destination that is
  // missing there raises "failed to load leveling process - … not found".
  void FromXml(const TVantrelSkillIndex& ASkills, const TMz_XmlElement* ANode);
  // Writes a "process" element under AParent.
  void ToXml(TMz_XmlElement* AParent) const;

private:
  TVantrelSkill* FSkill;
  TVantrelSkill* FDestination;
  int FToLevel;
  float FNewValue;
  int64_t FStartTime = 0;
  int FTotalTime;
  bool FStarted = false;
};

// The levelling thread: every 500 ms it starts the newly queued level-ups and hands the elapsed
// ones to the UI thread. It owns its processes.
class TVantrelSkillProcessThread : public TThread {
  RTL_CLASS(TVantrelSkillProcessThread, TThread)
public:
  explicit TVantrelSkillProcessThread(bool ASuspended);
  ~TVantrelSkillProcessThread() override;

  // Takes AProcess; it is freed when applied or cleared.
  void AddProcess(TVantrelSkillProcess* AProcess);
  // Frees every pending and finished process without applying it.
  void ClearProcesses();
  // Frees every pending or finished process that names ASkill as skill or destination.
  void RemoveProcessesOf(const TVantrelSkill* ASkill);
  // The pending processes, under the list lock for as long as the result lives.
  TThreadList<TVantrelSkillProcess*>::TLockedList LockProcesses() { return FProcesses.Locked(); }
  // Calls AProc for the pending and the finished, not yet applied processes in the order they
  // were added, under the list lock, so a file written while a level-up finishes keeps its order.
  void ForEachProcess(const std::function<void(const TVantrelSkillProcess&)>& AProc);

protected:
  void Execute() override;
  void TerminatedSet() override { FWake.SetEvent(); }

private:
  // Under the list lock: starts unstarted processes and moves the elapsed ones to FFinished.
  bool CollectFinished();
  // On the UI thread: applies and frees the finished processes one by one.
  void ApplyFinished();

  TThreadList<TVantrelSkillProcess*> FProcesses;
  // Elapsed processes not yet applied, guarded by FProcesses' lock.
  std::vector<TVantrelSkillProcess*> FFinished;
  // The order of adding, by process; guarded by FProcesses' lock.
  TDictionary<const TVantrelSkillProcess*, uint64_t> FSequence;
  uint64_t FNextSequence = 0;
  TEvent FWake;
};

class TVantrelSkillSystem : public TComponent {
  RTL_CLASS(TVantrelSkillSystem, TComponent)
public:
  explicit TVantrelSkillSystem(TComponent* AOwner);
  ~TVantrelSkillSystem() override;

  // Publishes Language and Groups.
  static void RegisterProperties(TPropertyList& AList);

  // Names the system "SkillSystem_<0..9999>" and starts its levelling thread.
  void AfterConstruction() override;
  // Stops and frees the levelling thread, then the groups.
  void BeforeDestruction() override;

  int GetLanguage() const { return FLanguage; }
  void SetLanguage(int AValue) { FLanguage = AValue; }
  TVantrelSkillGroupCollection* GetGroups() const { return FGroups; }
  // Copies AGroups into the system's own collection.
  void SetGroups(TVantrelSkillGroupCollection* AGroups);
  TPointF GetPosition() const { return FPosition; }
  void SetPosition(TPointF AValue) { FPosition = AValue; }
  TVantrelSkillProcessThread* Leveling() const { return FLeveling; }

  // The language code of Language ("en-us" for an index outside the table).
  std::string GetCurrentLanguageId() const;
  TVantrelSkillGroup* AddGroup();
  // Takes AGroup out of Groups. It stays alive, owned by the system, so a caller's pointer and
  // the pending level-ups of its skills stay valid until the system is freed.
  void RemoveGroup(TVantrelSkillGroup* AGroup);
  // Asks each group in order for a skill of its own with that GUID.
  TVantrelSkill* FindSkillByGUID(const TGUID& AGUID) const;
  // Searches the whole tree: each group's own skills first, then their destinations.
  TVantrelSkill* FindSkillInTree(const TGUID& AGUID) const;

  // The file: the declaration, then "skillsystem" with its language, groups and pending
  // level-ups. Loading adds to what the system holds.
  void SaveToStream(TStream* AStream) const;
  void SaveToFile(const std::string& AFileName) const;
  void LoadFromStream(TStream* AStream);
  // A missing file loads nothing.
  void LoadFromFile(const std::string& AFileName);

private:
  void ReadProcesses(const TMz_XmlElement* ANode);

  int FLanguage = 0;
  TVantrelSkillGroupCollection* FGroups;
  TPointF FPosition;
  TVantrelSkillProcessThread* FLeveling = nullptr;
  // Groups taken out by RemoveGroup.
  TVantrelSkillGroupCollection* FRemovedGroups;
};

void InitializeSkillSystem();
void FinalizeSkillSystem();

} // namespace vantrel
