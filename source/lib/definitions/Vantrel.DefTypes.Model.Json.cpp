// The model definition's size, its JSON form, and reading a whole model with the late-resolve
// list that links the parts once everything is read.

#include <functional>
#include <unordered_set>
#include <utility>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "rtl/json.h"
#include "rtl/net_encoding.h"
#include "rtl/sysutils.h"

namespace vantrel {

namespace {

constexpr const char* DefaultBehaviourClass = "TMaterialBehaviourDef";

// A section of the model object: nullptr when absent; anything but an array raises EInvalidCast.
const TJSONArray* Section(const TJSONObject& AValue, std::string_view AName) {
  const TJSONValue* member = AValue.GetValue(AName);
  if (!member)
    return nullptr;
  const auto* array = dynamic_cast<const TJSONArray*>(member);
  if (!array)
    throw EInvalidCast(rtl::messages::InvalidCast);
  return array;
}

// Calls AProc with each element of the section, which must be an object (else EInvalidCast).
void ForEachObject(const TJSONArray* ASection, const std::function<void(const TJSONObject&)>& AProc) {
  if (!ASection)
    return;
  for (const TJSONValue* element : *ASection) {
    const auto* object = dynamic_cast<const TJSONObject*>(element);
    if (!object)
      throw EInvalidCast(rtl::messages::InvalidCast);
    AProc(*object);
  }
}

template <class TItems> std::unique_ptr<TJSONArray> ArrayOf(const TItems& AItems) {
  auto array = TJSONArray::Create();
  for (const auto* item : AItems)
    array->Add(item->ToJSON());
  return array;
}

// Whether a "Children" list holds the node: its owner's children contain it.
bool IsTreeNode(const TTransformDef* ANode) {
  const auto* owner = dynamic_cast<const TTransformDef*>(ANode->GetOwnerRef());
  return owner && owner->GetChildren() && owner->GetChildren()->Contains(const_cast<TTransformDef*>(ANode));
}

// A tag's name as the metadata reader makes it from a member name (trimmed, one pair of quotes
// taken off).
std::string MetaTagName(std::string_view AName) {
  std::string name = Trim(AName);
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
    name = Trim(std::string_view(name).substr(1, name.size() - 2));
  return name;
}

// The metadata reader turns every member into a tag, its own "Type" and "Id" included, so each
// load and save would add those two. A tag that only the object's own member gave is dropped; one
// that a later member of the same name gave (a file saved that way before) stays.
void DropBaseMemberTags(TModelMetaDef& AMeta, const TJSONObject& AValue) {
  int typeCount = 0;
  int idCount = 0;
  for (const TJSONPair* pair : AValue) {
    const std::string name = MetaTagName(pair->Name());
    typeCount += name == "Type";
    idCount += name == "Id";
  }
  if (typeCount != 1 && idCount != 1)
    return;
  std::vector<std::pair<std::string, TValue>> kept;
  for (const auto& tag : AMeta.GetTags())
    if (!(tag.Key == "Type" && typeCount == 1) && !(tag.Key == "Id" && idCount == 1))
      kept.emplace_back(tag.Key, tag.Value);
  AMeta.Clear();
  for (const auto& [name, value] : kept)
    AMeta.SetTag(name, value);
}

// Every node below ANode (the children, a joint's table, an armature's root), ANode included.
void CollectNodes(const TTransformDef* ANode, std::unordered_set<const TCustomDef*>& ALive) {
  if (!ANode || !ALive.insert(ANode).second)
    return;
  if (const auto* mesh = dynamic_cast<const TCustomMeshDef*>(ANode); mesh && mesh->GetMaterial())
    ALive.insert(mesh->GetMaterial());
  if (const auto* children = ANode->GetChildren())
    for (const TTransformDef* child : *children)
      CollectNodes(child, ALive);
  if (const auto* joint = dynamic_cast<const TJointDef*>(ANode); joint && joint->GetJoints())
    for (const auto& pair : *joint->GetJoints())
      CollectNodes(pair.Value, ALive);
  if (const auto* armature = dynamic_cast<const TArmatureDef*>(ANode))
    CollectNodes(armature->GetRoot(), ALive);
}

} // namespace

// ---- size ----

int64_t TModelDef::GetSize() const {
  int64_t size = inherited::GetSize() + StringByteSize(FFilename);
  size += int64_t(sizeof(FMaterials));
  for (const auto& pair : FMaterials)
    size += StringByteSize(pair.Key) + (pair.Value.Material ? pair.Value.Material->GetSize() : 0);
  const auto addList = [&size](const auto& AList) {
    if (!AList)
      return;
    size += int64_t(sizeof(*AList));
    for (const auto* item : *AList)
      size += item->GetSize();
  };
  addList(FArmatures);
  addList(FControllers);
  addList(FAnimations);
  return size;
}

// ---- writing ----

std::unique_ptr<TJSONObject> TModelDef::ToJSON() const {
  auto result = inherited::ToJSON();
  result->AddPair("Filename", TNetEncoding::URL().Encode(FFilename));
  if (FBehaviours)
    result->AddPair("Behaviours", ArrayOf(*FBehaviours));
  auto materials = TJSONArray::Create();
  for (const auto& pair : FMaterials)
    if (pair.Value.Material)
      materials->Add(pair.Value.Material->ToJSON());
  result->AddPair("Materials", std::move(materials));
  if (FLights)
    result->AddPair("Lights", ArrayOf(*FLights));
  if (FCameras)
    result->AddPair("Cameras", ArrayOf(*FCameras));
  if (FArmatures)
    result->AddPair("Armatures", ArrayOf(*FArmatures));
  if (FControllers)
    result->AddPair("Controllers", ArrayOf(*FControllers));
  if (FAnimations)
    result->AddPair("Animations", ArrayOf(*FAnimations));
  if (FMetaData)
    result->AddPair("MetaData", FMetaData->ToJSON());
  return result;
}

// ---- reading ----

bool TModelDef::RegisterLateResolve(TCustomDef* ADef, const TJSONObject& AValue) {
  if (!FLateResolveList || !ADef)
    return false;
  FLateResolveList->TryAdd(ADef, &AValue);
  return true;
}

void TModelDef::FromJSON(TModelDef* /*AModel*/, const TJSONObject& AValue) {
  // The list lives for this call only, also when reading raises.
  struct TListScope {
    TModelDef& Model;
    std::unique_ptr<TLateResolveList> Previous;
    explicit TListScope(TModelDef& AModel)
        : Model(AModel), Previous(std::exchange(AModel.FLateResolveList, std::make_unique<TLateResolveList>())) {}
    ~TListScope() { Model.FLateResolveList = std::move(Previous); }
  } scope(*this);

  FFilename = TNetEncoding::URL().Decode(GetJSONString(AValue, "Filename"));
  ReadBehaviours(AValue);
  ReadMaterials(AValue);
  inherited::FromJSON(this, AValue);
  ReadLightsAndCameras(AValue);
  ReadArmatures(AValue);
  ReadControllers(AValue);
  ReadAnimations(AValue);
  ReadMetaData(AValue);
  LateResolve();
}

void TModelDef::ReadBehaviours(const TJSONObject& AValue) {
  ForEachObject(Section(AValue, "Behaviours"), [this](const TJSONObject& AElement) {
    // The first "Type" holds the qualified class name, the last one the plain name.
    std::string className = DefaultBehaviourClass;
    if (const TJSONValue* type = AElement.GetLastValue("Type")) {
      const auto* text = dynamic_cast<const TJSONString*>(type);
      className = text ? std::string(text->Value()) : std::string();
    }
    if (className != DefaultBehaviourClass)
      throw Exception(Format("reading model data failed - unsupported behaviour class \"%s\" found", {className}));
    TMaterialBehaviourDef* behaviour = AddNewMaterialBehaviour();
    behaviour->FromJSON(this, AElement);
    RegisterLateResolve(behaviour, AElement);
  });
}

void TModelDef::ReadMaterials(const TJSONObject& AValue) {
  ForEachObject(Section(AValue, "Materials"), [this](const TJSONObject& AElement) {
    // The table owns a material once it registers under its Id; until then this holder does, so a
    // material refused for a taken id is freed.
    const auto held = [this](const TMaterialDef* AMaterial) {
      for (const auto& pair : FMaterials)
        if (pair.Value.Material == AMaterial)
          return true;
      return false;
    };
    auto material = MakeOwned<TMaterialDef>(this);
    try {
      material->FromJSON(this, AElement);
    } catch (...) {
      if (held(material.get()))
        static_cast<void>(material.release());
      throw;
    }
    // A material without Id does not register itself; the table keeps it under the empty id.
    if (!held(material.get()))
      AddMaterial(material->GetId(), material.get());
    RegisterLateResolve(material.release(), AElement);
  });
}

void TModelDef::ReadLightsAndCameras(const TJSONObject& AValue) {
  // A definition read in the tree is also written in its list; that element is not read again.
  ForEachObject(Section(AValue, "Lights"), [this](const TJSONObject& AElement) {
    if (const TLightDef* known = FindLightById(GetJSONString(AElement, "Id")); known && IsTreeNode(known))
      return;
    // Made under the model, the light lists itself and the list owns it.
    auto* light = New<TLightDef>(this);
    light->FromJSON(this, AElement);
    RegisterLateResolve(light, AElement);
  });
  ForEachObject(Section(AValue, "Cameras"), [this](const TJSONObject& AElement) {
    if (const TCameraDef* known = FindCameraById(GetJSONString(AElement, "Id")); known && IsTreeNode(known))
      return;
    auto* camera = New<TCameraDef>(this);
    camera->FromJSON(this, AElement);
    RegisterLateResolve(camera, AElement);
  });
}

void TModelDef::ReadArmatures(const TJSONObject& AValue) {
  // "Humanoids" is the older name of the section, read only when "Armatures" is no array.
  const auto* armatures = dynamic_cast<const TJSONArray*>(AValue.GetValue("Armatures"));
  if (!armatures)
    armatures = dynamic_cast<const TJSONArray*>(AValue.GetValue("Humanoids"));
  ForEachObject(armatures, [this](const TJSONObject& AElement) {
    // Listed before it reads, so that what a failing read made stays owned.
    auto* armature = New<TArmatureDef>(this);
    AddArmature(armature);
    armature->FromJSON(this, AElement);
    RegisterLateResolve(armature, AElement);
  });
}

TTransformDef* TModelDef::ControllerTarget(const std::string& AId) const {
  // A controller of the model itself is written with the model's Id, which no child carries.
  if (SameText(GetId(), AId) || SameText("#" + GetId(), AId))
    return const_cast<TModelDef*>(this);
  return FindChildById(AId, true);
}

void TModelDef::ReadControllers(const TJSONObject& AValue) {
  ForEachObject(Section(AValue, "Controllers"), [this](const TJSONObject& AElement) {
    std::string targetId = GetJSONString(AElement, "Target");
    if (targetId.empty())
      targetId = GetJSONString(AElement, "Mesh");
    if (targetId.empty())
      throw Exception(Format("failed to load controller %s - mesh id not set", {GetJSONString(AElement, "Id")}));
    auto* controller = New<TControllerDef>(ControllerTarget(targetId));
    AddController(controller);
    controller->FromJSON(this, AElement);
    RegisterLateResolve(controller, AElement);
  });
}

void TModelDef::ReadAnimations(const TJSONObject& AValue) {
  ForEachObject(Section(AValue, "Animations"), [this](const TJSONObject& AElement) {
    auto* animation = New<TAnimationDef>(this);
    AddAnimation(animation);
    animation->FromJSON(this, AElement);
    RegisterLateResolve(animation, AElement);
  });
}

void TModelDef::ReadMetaData(const TJSONObject& AValue) {
  if (!FMetaData)
    FMetaData = std::make_unique<TModelMetaDef>();
  const TJSONValue* member = AValue.GetValue("MetaData");
  if (!member)
    return;
  const auto* object = dynamic_cast<const TJSONObject*>(member);
  if (!object)
    throw EInvalidCast(rtl::messages::InvalidCast);
  FMetaData->FromJSON(this, *object);
  DropBaseMemberTags(*FMetaData, *object);
}

void TModelDef::CollectLiveDefs(std::unordered_set<const TCustomDef*>& ALive) const {
  CollectNodes(this, ALive);
  for (const TBehaviourDef* behaviour : *FBehaviours)
    ALive.insert(behaviour);
  for (const auto& pair : FMaterials)
    ALive.insert(pair.Value.Material);
  if (FLights)
    for (const TLightDef* light : *FLights)
      CollectNodes(light, ALive);
  if (FCameras)
    for (const TCameraDef* camera : *FCameras)
      CollectNodes(camera, ALive);
  if (FArmatures)
    for (const TArmatureDef* armature : *FArmatures)
      CollectNodes(armature, ALive);
  if (FControllers)
    for (const TControllerDef* controller : *FControllers) {
      ALive.insert(controller);
      CollectNodes(controller->GetSkin(), ALive);
    }
  if (FAnimations)
    for (const TAnimationDef* animation : *FAnimations)
      ALive.insert(animation);
}

void TModelDef::LateResolve() {
  // A definition registered while reading may have been freed since (a mesh below a joint that its
  // parent refused): only those the model still holds are visited.
  std::unordered_set<const TCustomDef*> live;
  CollectLiveDefs(live);
  for (const auto& entry : FLateResolveList->ToArray()) {
    if (!live.contains(entry.Key) || entry.Key->LateResolveFromJSON(this, *entry.Value))
      FLateResolveList->Remove(entry.Key);
  }
}

} // namespace vantrel
