#include "utils/Vantrel.Utils.SkillSystem.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

#include "rtl/ioutils.h"
#include "rtl/properties.h"
#include "rtl/random.h"
#include "rtl/stopwatch.h"
#include "rtl/sysutils.h"
#include "xml/Vantrel.Xml.Document.h"

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
// How long the levelling thread rests between two passes.
constexpr uint32_t LevelingCycleMs = 500;

// AValue as a Single; false when it is not a finite number within the Single range.
bool NarrowToSingle(double AValue, float& AResult) {
  if (!std::isfinite(AValue) || std::fabs(AValue) > FLT_MAX)
    return false;
  AResult = static_cast<float>(AValue);
  return true;
}

// "x;y" with en-US numbers, each the Single widened to double.
std::string PointToText(TPointF APoint) {
  return FloatToStr(static_cast<double>(APoint.X)) + ";" + FloatToStr(static_cast<double>(APoint.Y));
}

// Exactly two pieces split at ";", each an en-US number (0 when it is not one); anything else
// gives (0, 0).
TPointF PointFromText(std::string_view AText) {
  const std::vector<std::string> pieces = SplitString(AText, ";");
  TPointF result;
  if (pieces.size() != 2)
    return result;
  float* targets[] = {&result.X, &result.Y};
  for (std::size_t i = 0; i < 2; ++i) {
    double value = 0;
    if (!TryStrToFloat(pieces[i], value, FormatSettingsEnUS()) || !NarrowToSingle(value, *targets[i]))
      *targets[i] = 0;
  }
  return result;
}

// The element's value read by the double rules: numbers convert, text is parsed as an en-US
// float, and again with "," read as "."; false when none of this gives a number.
bool ReadDouble(const TValue& AValue, double& AResult) {
  switch (AValue.Kind()) {
  case TTypeKind::tkInteger:
  case TTypeKind::tkInt64:
  case TTypeKind::tkFloat:
    AResult = AValue.AsDouble();
    return true;
  case TTypeKind::tkString: {
    const std::string text = AValue.AsString();
    return TryStrToFloat(text, AResult, FormatSettingsEnUS()) ||
           TryStrToFloat(StringReplace(text, ",", ".", {TReplaceFlag::rfReplaceAll}), AResult,
                         FormatSettingsEnUS());
  }
  default:
    return false;
  }
}

// Reads AValue into ATarget as a Single by the double rules; text that is no number leaves
// ATarget unchanged, and a number beyond the Single range raises EConvertError.
void ReadSingle(const TValue& AValue, float& ATarget) {
  double value = 0;
  if (!ReadDouble(AValue, value))
    return;
  if (!NarrowToSingle(value, ATarget))
    throw EConvertError(Format(messages::InvalidFloat, AValue.AsString()));
}

TMz_XmlElement* AddTextElement(TMz_XmlElement* AParent, std::string_view AName, std::string_view AText) {
  TMz_XmlElement* element = TMz_XmlElement::Create(AParent->document(), AParent, "", AName);
  element->setRawValue(AText);
  return element;
}

TGUID ReadGUID(const TMz_XmlElement* ANode, std::string_view AName) {
  return TGUID::Create(ANode->getAttributeRaw(AName));
}

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
  FName.Assign(&source->FName);
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

void TVantrelCustomSkillEntity::FromXml(const TMz_XmlElement* ANode) {
  if (!ANode->attributes().empty()) {
    if (ANode->attributes().find("guid"))
      FGUID = ReadGUID(ANode, "guid");
    // "id" carries the display name, which the entity does not store.
    if (bool enabled; ANode->getAttribute("enabled", enabled))
      FEnabled = enabled;
    if (int32_t icon; ANode->getAttribute("icon", icon))
      FIcon = icon;
    if (ANode->attributes().find("position"))
      FPosition = PointFromText(ANode->getAttribute("position"));
  }
  if (const TMz_XmlNodes* children = ANode->nodes())
    for (const TMz_XmlElement* child : *children)
      ReadXmlChild(child);
}

TMz_XmlElement* TVantrelCustomSkillEntity::ToXml(TMz_XmlElement* AParent) const {
  TMz_XmlElement* element = TMz_XmlElement::Create(AParent->document(), AParent, "", GetIdentifier());
  element->addAttribute("guid", FGUID.ToString());
  element->addAttribute("id", GetDisplayName());
  element->addAttribute("enabled", FEnabled);
  element->addAttribute("icon", static_cast<int32_t>(FIcon));
  element->addAttribute("position", PointToText(FPosition));
  const_cast<TVantrelLanguageMap&>(FName).ToXml("name", true, element);
  WriteXmlChildren(element);
  return element;
}

void TVantrelCustomSkillEntity::ReadXmlChild(const TMz_XmlElement* AChild) {
  // The file's names replace the default one, also when the element holds none, so an entity
  // written without names reads back without names.
  if (AChild->name() == "name") {
    FName.Clear();
    FName.FromXml(AChild);
  }
}

std::string TVantrelCustomSkillEntity::CurrentLanguage() const {
  const TVantrelSkillSystem* system = GetSkillSystem();
  return system ? system->GetCurrentLanguageId() : DefaultLanguage;
}

// ---- Collections ----

void TVantrelCustomSkillCollection::FromXml(const TMz_XmlElement* ANode) {
  if (const TMz_XmlNodes* children = ANode->nodes())
    for (const TMz_XmlElement* child : *children)
      static_cast<TVantrelCustomSkillEntity*>(Add())->FromXml(child);
}

TMz_XmlElement* TVantrelCustomSkillCollection::ToXml(const std::string& ATagName,
                                                     TMz_XmlElement* AParent) const {
  TMz_XmlElement* element = TMz_XmlElement::Create(AParent->document(), AParent, "", ATagName);
  for (int i = 0; i < Count(); ++i)
    static_cast<const TVantrelCustomSkillEntity*>(Items(i))->ToXml(element);
  return element;
}

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

void TVantrelSkillGroup::IndexSkills(TVantrelSkillIndex& AIndex) const {
  for (int i = 0; i < FSkills->Count(); ++i)
    AIndex.TryAdd(FSkills->Skill(i)->GetGUID(), FSkills->Skill(i));
  for (int i = 0; i < FSkills->Count(); ++i)
    FSkills->Skill(i)->IndexSkills(AIndex);
}

void TVantrelSkillGroup::ReadXmlChild(const TMz_XmlElement* AChild) {
  inherited::ReadXmlChild(AChild);
  if (AChild->name() == "skills")
    FSkills->FromXml(AChild);
}

void TVantrelSkillGroup::WriteXmlChildren(TMz_XmlElement* AElement) const {
  FSkills->ToXml("skills", AElement);
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

void TVantrelSkill::ReadXmlChild(const TMz_XmlElement* AChild) {
  const std::string name = LowerCase(AChild->name());
  const TValue value = AChild->getValue();
  if (name == "activated")
    FActivated = value.AsBoolean();
  else if (name == "value")
    ReadSingle(value, FValue);
  else if (name == "factor")
    ReadSingle(value, FFactor);
  else if (name == "interpolation") {
    const int ordinal = TypeInfoOf<TVantrelSkillLevelInterpolation>().IndexOfName(AChild->getRawValue());
    FInterpolation = static_cast<TVantrelSkillLevelInterpolation>(std::max(ordinal, 0));
  } else if (name == "level")
    FLevel = value.AsInteger();
  else if (name == "max-level")
    FMaxLevel = value.AsInteger();
  else if (name == "leveling-time")
    FLevelingTime = value.AsInteger();
  else if (name == "data")
    FData = value;
  else
    inherited::ReadXmlChild(AChild);
}

void TVantrelSkill::WriteXmlChildren(TMz_XmlElement* AElement) const {
  inherited::WriteXmlChildren(AElement);
  AddTextElement(AElement, "activated", FActivated ? "True" : "False");
  AddTextElement(AElement, "value", FloatToStr(static_cast<double>(FValue)));
  AddTextElement(AElement, "factor", FloatToStr(static_cast<double>(FFactor)));
  AddTextElement(
      AElement, "interpolation",
      TypeInfoOf<TVantrelSkillLevelInterpolation>().Names->at(static_cast<size_t>(FInterpolation)));
  AddTextElement(AElement, "level", IntToStr(FLevel));
  AddTextElement(AElement, "max-level", IntToStr(FMaxLevel));
  AddTextElement(AElement, "leveling-time", IntToStr(FLevelingTime));
  AddTextElement(AElement, "data", FData.ToString());
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

void TVantrelSkillProcess::FromXml(const TVantrelSkillIndex& ASkills, const TMz_XmlElement* ANode) {
  // A level-up always names its skill: one without would be applied to nothing.
  TVantrelSkill* const* skill =
      ANode->attributes().find("skill") ? ASkills.Find(ReadGUID(ANode, "skill")) : nullptr;
  if (!skill)
    throw Exception("failed to load leveling process - skill not found");
  FSkill = *skill;
  if (ANode->attributes().find("dest")) {
    TVantrelSkill* const* destination = ASkills.Find(ReadGUID(ANode, "dest"));
    if (!destination)
      throw Exception("failed to load leveling process - destination not found");
    FDestination = *destination;
  }
  ANode->getAttribute("to-level", FToLevel);
  if (TValue value; ANode->getAttribute("new-value", value))
    ReadSingle(value, FNewValue);
  ANode->getAttribute("total-time", FTotalTime);
  if (int32_t progress = 0; ANode->getAttribute("progress", progress))
    Resume(progress);
}

void TVantrelSkillProcess::ToXml(TMz_XmlElement* AParent) const {
  TMz_XmlElement* element = TMz_XmlElement::Create(AParent->document(), AParent, "", "process");
  element->addAttribute("skill", FSkill->GetGUID().ToString());
  if (FDestination)
    element->addAttribute("dest", FDestination->GetGUID().ToString());
  element->addAttribute("to-level", static_cast<int32_t>(FToLevel));
  element->addAttribute("new-value", FloatToStr(static_cast<double>(FNewValue)));
  element->addAttribute("total-time", static_cast<int32_t>(FTotalTime));
  element->addAttribute("progress", static_cast<int32_t>(Progress()));
}

// ---- TVantrelSkillProcessThread ----

TVantrelSkillProcessThread::TVantrelSkillProcessThread(bool ASuspended) : TThread(ASuspended) {}

TVantrelSkillProcessThread::~TVantrelSkillProcessThread() {
  ClearProcesses();
}

void TVantrelSkillProcessThread::AddProcess(TVantrelSkillProcess* AProcess) {
  auto list = FProcesses.Locked();
  list->Add(AProcess);
  FSequence.AddOrSetValue(AProcess, FNextSequence++);
}

void TVantrelSkillProcessThread::ClearProcesses() {
  auto list = FProcesses.Locked();
  for (TVantrelSkillProcess* process : *list)
    process->Free();
  list->Clear();
  for (TVantrelSkillProcess* process : FFinished)
    process->Free();
  FFinished.clear();
  FSequence.Clear();
}

void TVantrelSkillProcessThread::RemoveProcessesOf(const TVantrelSkill* ASkill) {
  auto list = FProcesses.Locked();
  for (int i = list->Count() - 1; i >= 0; --i)
    if (TVantrelSkillProcess* process = (*list)[i]; process->Names(ASkill)) {
      list->Delete(i);
      FSequence.Remove(process);
      process->Free();
    }
  std::erase_if(FFinished, [this, ASkill](TVantrelSkillProcess* AProcess) {
    if (!AProcess->Names(ASkill))
      return false;
    FSequence.Remove(AProcess);
    AProcess->Free();
    return true;
  });
}

void TVantrelSkillProcessThread::ForEachProcess(
    const std::function<void(const TVantrelSkillProcess&)>& AProc) {
  auto list = FProcesses.Locked();
  std::vector<const TVantrelSkillProcess*> processes(list->begin(), list->end());
  processes.insert(processes.end(), FFinished.begin(), FFinished.end());
  std::sort(processes.begin(), processes.end(),
            [this](const TVantrelSkillProcess* A, const TVantrelSkillProcess* B) {
              return FSequence.Items(A) < FSequence.Items(B);
            });
  for (const TVantrelSkillProcess* process : processes)
    AProc(*process);
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
      FSequence.Remove(process.get());
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
  return LanguageIndexToCode(FLanguage);
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

void TVantrelSkillSystem::SaveToStream(TStream* AStream) const {
  TMz_XmlDocument document;
  TMz_XmlElement* declaration = TMz_XmlElement::Create(&document, nullptr, "", "xml");
  declaration->setKind(TMz_XmlNodeKind::mzDocument);
  declaration->setAttributeRaw("version", "1.0");
  declaration->setAttributeRaw("encoding", "UTF-8");
  declaration->setAttributeRaw("standalone", "yes");
  document.setRoot(declaration);
  TMz_XmlElement* root = TMz_XmlElement::Create(&document, declaration, "", "skillsystem");
  root->addAttribute("id", Name());
  AddTextElement(root, "language", IntToStr(FLanguage));
  root->addAttribute("position", PointToText(FPosition));
  FGroups->ToXml("groups", root);
  TMz_XmlElement* processes = TMz_XmlElement::Create(&document, root, "", "processes");
  FLeveling->ForEachProcess([processes](const TVantrelSkillProcess& AProcess) { AProcess.ToXml(processes); });
  document.saveToStream(AStream, true);
}

void TVantrelSkillSystem::SaveToFile(const std::string& AFileName) const {
  SaveToStream(MakeOwned<TFileStream>(AFileName, fmCreate).get());
}

void TVantrelSkillSystem::LoadFromStream(TStream* AStream) {
  TMz_XmlDocument document;
  document.loadFromStream(AStream);
  const auto* declaration = dynamic_cast<const TMz_XmlElement*>(document.root());
  const TMz_XmlElement* root = declaration ? declaration->find("skillsystem") : nullptr;
  if (!root)
    throw Exception("root node \"skillsystem\" not found!");
  SetName(root->getAttribute("id"));
  if (root->attributes().find("position"))
    FPosition = PointFromText(root->getAttribute("position"));
  if (!root->nodes())
    throw Exception("skill groups not found!");
  for (const TMz_XmlElement* child : *root->nodes()) {
    if (child->name() == "language")
      FLanguage = child->getValue().AsInteger();
    else if (child->name() == "groups")
      FGroups->FromXml(child);
    else if (child->name() == "processes")
      ReadProcesses(child);
  }
}

void TVantrelSkillSystem::ReadProcesses(const TMz_XmlElement* ANode) {
  if (!ANode->nodes())
    return;
  // One index for all level-ups of the file, so reading stays linear in the tree's size.
  TVantrelSkillIndex skills;
  for (int i = 0; i < FGroups->Count(); ++i)
    FGroups->Group(i)->IndexSkills(skills);
  for (const TMz_XmlElement* child : *ANode->nodes()) {
    if (child->name() != "process")
      continue;
    TOwned<TVantrelSkillProcess> process(New<TVantrelSkillProcess>(nullptr, nullptr, 0, 0, 0.0f));
    process->FromXml(skills, child);
    FLeveling->AddProcess(process.release());
  }
}

void TVantrelSkillSystem::LoadFromFile(const std::string& AFileName) {
  if (!TFile::Exists(AFileName))
    return;
  LoadFromStream(MakeOwned<TFileStream>(AFileName, fmOpenRead | fmShareDenyNone).get());
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
