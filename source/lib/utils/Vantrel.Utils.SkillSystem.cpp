#include "utils/Vantrel.Utils.SkillSystem.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

#include "rtl/properties.h"
#include "rtl/random.h"
#include "rtl/stopwatch.h"
#include "rtl/sysutils.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelCustomSkillEntity, "Vantrel.Utils.SkillSystem",
                 &TVantrelCustomSkillEntity::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelCustomSkillCollection, "Vantrel.Utils.SkillSystem")
RTL_DEFINE_CLASS(TVantrelSkillGroupCollection, "Vantrel.Utils.SkillSystem")
RTL_DEFINE_CLASS(TVantrelSkillCollection, "Vantrel.Utils.SkillSystem")
RTL_DEFINE_CLASS(TVantrelSkillGroup, "Vantrel.Utils.SkillSystem", &TVantrelSkillGroup::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelSkill, "Vantrel.Utils.SkillSystem", &TVantrelSkill::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelSkillProcess, "Vantrel.Utils.SkillSystem")
RTL_DEFINE_CLASS(TVantrelSkillProcessThread, "Vantrel.Utils.SkillSystem")
RTL_DEFINE_CLASS(TVantrelSkillSystem, "Vantrel.Utils.SkillSystem", &TVantrelSkillSystem::RegisterProperties)

namespace {

constexpr const char* DefaultLanguage = "en-us";
// The supported language codes by index.
constexpr const char* LanguageCodes[] = {"en-us", "en-uk", "de-de", "de-at", "de-ch"};
// How long the levelling thread rests between two passes.
constexpr uint32_t LevelingCycleMs = 500;

} // namespace

// ---- TVantrelCustomSkillEntity ----

TVantrelCustomSkillEntity::TVantrelCustomSkillEntity() : FGUID(TGUID::NewGuid()) {}

void TVantrelCustomSkillEntity::RegisterProperties(TPropertyList& AList) {
  AList.Add("Enabled", &TVantrelCustomSkillEntity::GetEnabled, &TVantrelCustomSkillEntity::SetEnabled);
  AList.Add("Icon", &TVantrelCustomSkillEntity::GetIcon, &TVantrelCustomSkillEntity::SetIcon);
  AList.Add("Position", &TVantrelCustomSkillEntity::GetPosition, &TVantrelCustomSkillEntity::SetPosition);
}

void TVantrelCustomSkillEntity::Assign(const TPersistent* ASource) {
  const auto* source = dynamic_cast<const TVantrelCustomSkillEntity*>(ASource);
  if (!source) {
    inherited::Assign(ASource);
    return;
  }
  TMonitorLock lock(this);
  FGUID = source->FGUID;
  FEnabled = source->FEnabled;
  FName = source->FName;
  FIcon = source->FIcon;
  FPosition = source->FPosition;
}

std::string TVantrelCustomSkillEntity::GetName() const {
  return GetNames(CurrentLanguage());
}

void TVantrelCustomSkillEntity::SetName(const std::string& AValue) {
  SetNames(CurrentLanguage(), AValue);
}

std::string TVantrelCustomSkillEntity::GetNames(const std::string& ALanguage) const {
  TMonitorLock lock(this);
  const std::string* text = FName.Find(ALanguage);
  return text ? *text : std::string();
}

void TVantrelCustomSkillEntity::SetNames(const std::string& ALanguage, const std::string& AValue) {
  TMonitorLock lock(this);
  if (AValue.empty())
    FName.Remove(ALanguage);
  else
    FName.AddOrSetValue(ALanguage, AValue);
}

TVantrelSkillSystem* TVantrelCustomSkillEntity::GetSkillSystem() const {
  const auto* collection = dynamic_cast<const TVantrelCustomSkillCollection*>(Collection());
  return collection ? collection->GetSkillSystem() : nullptr;
}

std::string TVantrelCustomSkillEntity::GetDisplayName() const {
  std::string name = GetName();
  return name.empty() ? ClassName() : name;
}

std::string TVantrelCustomSkillEntity::CurrentLanguage() const {
  const TVantrelSkillSystem* system = GetSkillSystem();
  return system ? system->GetCurrentLanguageId() : DefaultLanguage;
}

// ---- Collections ----

TVantrelSkillGroupCollection::TVantrelSkillGroupCollection(TVantrelSkillSystem* AOwner)
    : TVantrelCustomSkillCollection(AOwner, TVantrelSkillGroup::StaticClass()) {}

TVantrelSkillSystem* TVantrelSkillGroupCollection::GetSkillSystem() const {
  return dynamic_cast<TVantrelSkillSystem*>(GetOwner());
}

TVantrelSkillGroup* TVantrelSkillGroupCollection::Group(int AIndex) const {
  return static_cast<TVantrelSkillGroup*>(Items(AIndex));
}

TVantrelSkillCollection::TVantrelSkillCollection(TVantrelSkillGroup* AOwner)
    : TVantrelCustomSkillCollection(AOwner, TVantrelSkill::StaticClass()) {}

TVantrelSkillSystem* TVantrelSkillCollection::GetSkillSystem() const {
  const TVantrelSkillGroup* group = Group();
  return group ? group->GetSkillSystem() : nullptr;
}

TVantrelSkillGroup* TVantrelSkillCollection::Group() const {
  return dynamic_cast<TVantrelSkillGroup*>(GetOwner());
}

TVantrelSkill* TVantrelSkillCollection::Skill(int AIndex) const {
  return static_cast<TVantrelSkill*>(Items(AIndex));
}

// ---- TVantrelSkillGroup ----

TVantrelSkillGroup::TVantrelSkillGroup() : FSkills(New<TVantrelSkillCollection>(this)) {}

TVantrelSkillGroup::~TVantrelSkillGroup() {
  FSkills->Free();
}

void TVantrelSkillGroup::RegisterProperties(TPropertyList& AList) {
  AList.Add("Skills", &TVantrelSkillGroup::GetSkills, &TVantrelSkillGroup::SetSkills);
}

void TVantrelSkillGroup::AfterConstruction() {
  inherited::AfterConstruction();
  SetName(DefaultNamePrefix() + "-" + IntToStr(Random(10000)));
}

void TVantrelSkillGroup::BeforeDestruction() {
  FSkills->Clear();
  inherited::BeforeDestruction();
}

void TVantrelSkillGroup::Assign(const TPersistent* ASource) {
  inherited::Assign(ASource);
  if (const auto* source = dynamic_cast<const TVantrelSkillGroup*>(ASource))
    FSkills->Assign(source->FSkills);
}

void TVantrelSkillGroup::SetSkills(TVantrelSkillCollection* ASkills) {
  FSkills->Assign(ASkills);
}

TVantrelSkill* TVantrelSkillGroup::AddSkill() {
  TMonitorLock lock(this);
  return static_cast<TVantrelSkill*>(FSkills->Add());
}

TVantrelSkill* TVantrelSkillGroup::FindSkillByName(const std::string& ASkillName) const {
  TMonitorLock lock(this);
  for (int i = 0; i < FSkills->Count(); ++i)
    if (FSkills->Skill(i)->GetDisplayName() == ASkillName)
      return FSkills->Skill(i);
  return nullptr;
}

TVantrelSkill* TVantrelSkillGroup::FindSkillByGUID(const TGUID& AGUID) const {
  TMonitorLock lock(this);
  for (int i = 0; i < FSkills->Count(); ++i)
    if (FSkills->Skill(i)->GetGUID() == AGUID)
      return FSkills->Skill(i);
  return nullptr;
}

TVantrelSkill* TVantrelSkillGroup::FindSkillInTree(const TGUID& AGUID) const {
  if (TVantrelSkill* own = FindSkillByGUID(AGUID))
    return own;
  for (int i = 0; i < FSkills->Count(); ++i)
    if (TVantrelSkill* nested = FSkills->Skill(i)->FindSkillInTree(AGUID))
      return nested;
  return nullptr;
}

void TVantrelSkillGroup::GetActivatedSkills(TVantrelActivatedSkills& AMap) const {
  TMonitorLock lock(this);
  for (int i = 0; i < FSkills->Count(); ++i)
    if (TVantrelSkill* skill = FSkills->Skill(i); skill->GetActivated())
      AMap.AddOrSetValue(skill->GetDisplayName(), skill);
}

// ---- TVantrelSkill ----

void TVantrelSkill::RegisterProperties(TPropertyList& AList) {
  AList.Add("Activated", &TVantrelSkill::GetActivated, &TVantrelSkill::SetActivated);
  AList.Add("Value", &TVantrelSkill::GetValue, &TVantrelSkill::SetValue);
  AList.Add("Factor", &TVantrelSkill::GetFactor, &TVantrelSkill::SetFactor);
  AList.Add("Interpolation", &TVantrelSkill::GetInterpolation, &TVantrelSkill::SetInterpolation);
  AList.Add("Level", &TVantrelSkill::GetLevel, &TVantrelSkill::SetLevel);
  AList.Add("MaxLevel", &TVantrelSkill::GetMaxLevel, &TVantrelSkill::SetMaxLevel);
  AList.Add("LevelingTime", &TVantrelSkill::GetLevelingTime, &TVantrelSkill::SetLevelingTime);
}

void TVantrelSkill::BeforeDestruction() {
  if (const TVantrelSkillSystem* system = GetSkillSystem(); system && system->Leveling())
    system->Leveling()->RemoveProcessesOf(this);
  inherited::BeforeDestruction();
}

void TVantrelSkill::Assign(const TPersistent* ASource) {
  inherited::Assign(ASource);
  const auto* source = dynamic_cast<const TVantrelSkill*>(ASource);
  if (!source)
    return;
  TMonitorLock lock(this);
  FActivated = source->FActivated;
  FValue = source->FValue;
  FFactor = source->FFactor;
  FInterpolation = source->FInterpolation;
  FLevel = source->FLevel;
  FMaxLevel = source->FMaxLevel;
  FLevelingTime = source->FLevelingTime;
  FData = source->FData;
}

TVantrelSkillGroup* TVantrelSkill::GetGroup() const {
  const auto* collection = dynamic_cast<const TVantrelSkillCollection*>(Collection());
  return collection ? collection->Group() : nullptr;
}

bool TVantrelSkill::IsLevelingFinished(const TVantrelSkill* ADest) const {
  TMonitorLock lock(this);
  const bool maxed = FMaxLevel == 0 || (FMaxLevel > 0 && FLevel >= FMaxLevel);
  return maxed && ADest && ADest->GetEnabled();
}

bool TVantrelSkill::ApplyLevel(int ALevel, float AValue, TVantrelSkill* ADest) {
  TMonitorLock lock(this);
  FValue = AValue;
  FLevel = ALevel;
  const bool finished = IsLevelingFinished(ADest);
  if (finished) {
    FActivated = false;
    ADest->SetActivated(true);
  }
  return finished;
}

bool TVantrelSkill::ApplyProcess(const TVantrelSkillProcess& AProcess) {
  return ApplyLevel(AProcess.ToLevel(), AProcess.NewValue(), AProcess.Destination());
}

float TVantrelSkill::InterpolateValue(int ALevel, float AValue, float AFactor) const {
  const double product = static_cast<double>(ALevel) * static_cast<double>(AFactor);
  double result;
  switch (FInterpolation) {
  case TVantrelSkillLevelInterpolation::LogarithmicInterpolation:
    if (product == 0)
      throw EZeroDivide(messages::ZeroDivide);
    if (product < 0)
      throw EInvalidOp(messages::InvalidOp);
    result = std::log2(product);
    break;
  case TVantrelSkillLevelInterpolation::ExponentialInterpolation:
    result = std::exp(product);
    break;
  case TVantrelSkillLevelInterpolation::ExponentialMinus1Interpolation:
    result = std::exp(product) - 1;
    break;
  default:
    result = static_cast<double>(AValue) + product;
  }
  // Tested before narrowing: a double beyond the Single range does not convert.
  if (!std::isfinite(result) || std::fabs(result) > FLT_MAX)
    throw EOverflow(messages::Overflow);
  return static_cast<float>(result);
}

TVantrelSkillProcess* TVantrelSkill::StartLevelingUp() {
  return StartLevelingUp(GetSkills()->Count() > 0 ? GetSkills()->Skill(0) : nullptr);
}

TVantrelSkillProcess* TVantrelSkill::StartLevelingUp(TVantrelSkill* ADest) {
  TMonitorLock lock(this);
  if (IsLevelingFinished(ADest)) {
    ApplyLevel(FLevel, FValue, ADest);
    return nullptr;
  }
  const TVantrelSkillSystem* system = GetSkillSystem();
  if (!system || !system->Leveling())
    throw EInvalidOperation("skill has no skill system");
  const float newValue = InterpolateValue(FLevel, FValue, FFactor);
  auto* process = New<TVantrelSkillProcess>(this, ADest, FLevelingTime, FLevel + 1, newValue);
  system->Leveling()->AddProcess(process);
  return process;
}

// ---- TVantrelSkillProcess ----

TVantrelSkillProcess::TVantrelSkillProcess(TVantrelSkill* ASkill, TVantrelSkill* ADestination, int ATotalTime,
                                           int AToLevel, float ANewValue)
    : FSkill(ASkill), FDestination(ADestination), FToLevel(AToLevel), FNewValue(ANewValue),
      FTotalTime(ATotalTime) {}

bool TVantrelSkillProcess::IsElapsed() const {
  return FStarted && GetTickCount64() - FStartTime >= FTotalTime;
}

void TVantrelSkillProcess::Start() {
  if (FStarted)
    return;
  FStartTime = GetTickCount64();
  FStarted = true;
}

int TVantrelSkillProcess::Progress() const {
  if (!FStarted)
    return 0;
  const int64_t elapsed = GetTickCount64() - FStartTime;
  return static_cast<int>(std::clamp<int64_t>(elapsed, 0, std::numeric_limits<int32_t>::max()));
}

void TVantrelSkillProcess::Resume(int AProgress) {
  if (AProgress <= 0)
    return;
  FStartTime = GetTickCount64() - AProgress;
  FStarted = true;
}

// ---- TVantrelSkillProcessThread ----

TVantrelSkillProcessThread::TVantrelSkillProcessThread(bool ASuspended) : TThread(ASuspended) {}

TVantrelSkillProcessThread::~TVantrelSkillProcessThread() {
  ClearProcesses();
}

void TVantrelSkillProcessThread::AddProcess(TVantrelSkillProcess* AProcess) {
  FProcesses.Add(AProcess);
}

void TVantrelSkillProcessThread::ClearProcesses() {
  auto list = FProcesses.Locked();
  for (TVantrelSkillProcess* process : *list)
    process->Free();
  list->Clear();
  for (TVantrelSkillProcess* process : FFinished)
    process->Free();
  FFinished.clear();
}

void TVantrelSkillProcessThread::RemoveProcessesOf(const TVantrelSkill* ASkill) {
  auto list = FProcesses.Locked();
  for (int i = list->Count() - 1; i >= 0; --i)
    if (TVantrelSkillProcess* process = (*list)[i]; process->Names(ASkill)) {
      list->Delete(i);
      process->Free();
    }
  std::erase_if(FFinished, [ASkill](TVantrelSkillProcess* AProcess) {
    if (!AProcess->Names(ASkill))
      return false;
    AProcess->Free();
    return true;
  });
}

void TVantrelSkillProcessThread::Execute() {
  while (!Terminated()) {
    if (CollectFinished())
      Synchronize([this] { ApplyFinished(); });
    FWake.WaitFor(LevelingCycleMs);
  }
}

bool TVantrelSkillProcessThread::CollectFinished() {
  auto list = FProcesses.Locked();
  for (int i = 0; i < list->Count();) {
    TVantrelSkillProcess* process = (*list)[i];
    if (!process->IsStarted()) {
      process->Start();
      ++i;
    } else if (process->IsElapsed()) {
      FFinished.push_back(list->ExtractAt(i));
    } else {
      ++i;
    }
  }
  return !FFinished.empty();
}

void TVantrelSkillProcessThread::ApplyFinished() {
  for (;;) {
    TOwned<TVantrelSkillProcess> process;
    {
      auto list = FProcesses.Locked();
      if (FFinished.empty())
        return;
      process.reset(FFinished.front());
      FFinished.erase(FFinished.begin());
    }
    process->Skill()->ApplyProcess(*process);
  }
}

// ---- TVantrelSkillSystem ----

TVantrelSkillSystem::TVantrelSkillSystem(TComponent* AOwner)
    : TComponent(AOwner), FGroups(New<TVantrelSkillGroupCollection>(this)),
      FRemovedGroups(New<TVantrelSkillGroupCollection>(this)) {}

TVantrelSkillSystem::~TVantrelSkillSystem() {
  FGroups->Free();
  FRemovedGroups->Free();
}

void TVantrelSkillSystem::RegisterProperties(TPropertyList& AList) {
  AList.Add("Language", &TVantrelSkillSystem::GetLanguage, &TVantrelSkillSystem::SetLanguage);
  AList.Add("Groups", &TVantrelSkillSystem::GetGroups, &TVantrelSkillSystem::SetGroups);
}

void TVantrelSkillSystem::AfterConstruction() {
  inherited::AfterConstruction();
  SetName("SkillSystem_" + IntToStr(Random(10000)));
  FLeveling = New<TVantrelSkillProcessThread>(false);
}

void TVantrelSkillSystem::BeforeDestruction() {
  // The thread goes first: its last hand-overs still find every skill alive.
  FreeAndNil(FLeveling);
  FGroups->Clear();
  FRemovedGroups->Clear();
  inherited::BeforeDestruction();
}

void TVantrelSkillSystem::SetGroups(TVantrelSkillGroupCollection* AGroups) {
  FGroups->Assign(AGroups);
}

std::string TVantrelSkillSystem::GetCurrentLanguageId() const {
  if (FLanguage < 0 || FLanguage >= static_cast<int>(std::size(LanguageCodes)))
    return DefaultLanguage;
  return LanguageCodes[FLanguage];
}

TVantrelSkillGroup* TVantrelSkillSystem::AddGroup() {
  TMonitorLock lock(this);
  return static_cast<TVantrelSkillGroup*>(FGroups->Add());
}

void TVantrelSkillSystem::RemoveGroup(TVantrelSkillGroup* AGroup) {
  TMonitorLock lock(this);
  if (AGroup)
    AGroup->SetCollection(FRemovedGroups);
}

TVantrelSkill* TVantrelSkillSystem::FindSkillByGUID(const TGUID& AGUID) const {
  TMonitorLock lock(this);
  for (int i = 0; i < FGroups->Count(); ++i)
    if (TVantrelSkill* skill = FGroups->Group(i)->FindSkillByGUID(AGUID))
      return skill;
  return nullptr;
}

TVantrelSkill* TVantrelSkillSystem::FindSkillInTree(const TGUID& AGUID) const {
  TMonitorLock lock(this);
  for (int i = 0; i < FGroups->Count(); ++i)
    if (TVantrelSkill* skill = FGroups->Group(i)->FindSkillInTree(AGUID))
      return skill;
  return nullptr;
}

// ---- Unit start-up ----

namespace {
int SkillSystemInitCount = 0;
std::vector<TClass*> SkillSystemClasses() {
  return {&TVantrelSkillGroup::StaticClass(), &TVantrelSkill::StaticClass(),
          &TVantrelSkillSystem::StaticClass()};
}
} // namespace

void InitializeSkillSystem() {
  if (SkillSystemInitCount++ > 0)
    return;
  for (TClass* cls : SkillSystemClasses())
    RegisterClass(*cls);
}

void FinalizeSkillSystem() {
  if (SkillSystemInitCount == 0 || --SkillSystemInitCount > 0)
    return;
  for (TClass* cls : SkillSystemClasses())
    UnRegisterClass(*cls);
}

} // namespace vantrel
