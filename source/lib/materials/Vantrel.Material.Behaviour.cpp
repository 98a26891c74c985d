#include "materials/Vantrel.Material.Behaviour.h"

#include <atomic>
#include <cstdlib>

#include "context/Vantrel.Context.h"
#include "materials/Vantrel.Material.Default.GLSL.h"
#include "materials/Vantrel.Material.Default.h"
#include "rtl/exceptions.h"
#include "rtl/guid.h"
#include "rtl/sysutils.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelMaterialBehaviour, "Vantrel.Material.Behaviour",
                 &TVantrelMaterialBehaviour::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelMaterialBehaviourItem, "Vantrel.Material.Behaviour",
                 &TVantrelMaterialBehaviourItem::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelMaterialBehaviourCollection, "Vantrel.Material.Behaviour")

namespace {

int MaterialBehaviourInitCount = 0;
std::atomic<uintptr_t> NextReferenceID{1};

[[noreturn]] void RaiseAbstract() {
  throw EAbstractError(rtl::messages::AbstractError);
}

} // namespace

void* AllocateBehaviourUBO(int32_t ASize) {
  if (ASize <= 0)
    return nullptr;
  void* block = std::calloc(1, static_cast<std::size_t>(ASize));
  if (!block)
    throw std::bad_alloc();
  return block;
}

void FreeBehaviourUBO(void* ABlock) {
  std::free(ABlock);
}

TVantrelMaterialBehaviour::TVantrelMaterialBehaviour(TComponent* AOwner)
    : TFmxObject(AOwner), FUniqueID(TGUID::NewGuid().ToString()), FReferenceID(NextReferenceID++) {}

bool TVantrelMaterialBehaviour::DoOnRegisterUniformBuffer(std::string&, void*&, int32_t&) {
  RaiseAbstract();
}

void TVantrelMaterialBehaviour::DoOnInitializeUniformBuffer(TMaterial*, bool& AInitialized) {
  AInitialized = true;
}

void TVantrelMaterialBehaviour::DoOnCreateShader(TVantrelNodeBuilder*, TContextShaderKind) {
  RaiseAbstract();
}

void TVantrelMaterialBehaviour::DoOnUpdateShader(TVantrelNodeBuilder*, TContextShaderKind) {
  RaiseAbstract();
}

void TVantrelMaterialBehaviour::DoOnRemoveShader(TVantrelNodeBuilder*, TContextShaderKind) {
  RaiseAbstract();
}

void TVantrelMaterialBehaviour::Apply(TMaterial*, TContext3D*, TVantrelMaterialBehaviourItem*) {
  RaiseAbstract();
}

void TVantrelMaterialBehaviour::InitializeUniformBuffer(TMaterial* AMaterial) {
  bool initialized = FInitialized;
  DoOnInitializeUniformBuffer(AMaterial, initialized);
  FInitialized = initialized;
}

void TVantrelMaterialBehaviour::RegisterProperties(TPropertyList& AList) {
  AList.AddEvent("OnAttached", &TVantrelMaterialBehaviour::FOnAttached);
  AList.AddEvent("OnDetached", &TVantrelMaterialBehaviour::FOnDetached);
}

// ---- TVantrelMaterialBehaviourItem ----

void TVantrelMaterialBehaviourItem::BeforeDestruction() {
  // While the item is still in its collection it can reach the material's program and take its
  // block off it before freeing it.
  SetUBO(nullptr, 0);
  HoldBehaviour(nullptr);
  inherited::BeforeDestruction();
}

TVantrelMaterialBehaviourItem::~TVantrelMaterialBehaviourItem() {
  FreeBehaviourUBO(FUBO);
}

void TVantrelMaterialBehaviourItem::RegisterProperties(TPropertyList& AList) {
  AList.Add("DisplayName", &TVantrelMaterialBehaviourItem::GetDisplayName,
            &TVantrelMaterialBehaviourItem::SetDisplayName);
  AList.Add("Behaviour", &TVantrelMaterialBehaviourItem::GetBehaviour, &TVantrelMaterialBehaviourItem::SetBehaviour)
      .AsReference();
}

TVantrelDefaultMaterial* TVantrelMaterialBehaviourItem::DefaultMaterial() const {
  auto* collection = dynamic_cast<TVantrelMaterialBehaviourCollection*>(Collection());
  return collection ? dynamic_cast<TVantrelDefaultMaterial*>(collection->GetMaterial()) : nullptr;
}

void TVantrelMaterialBehaviourItem::SetBehaviour(TVantrelMaterialBehaviour* AValue) {
  auto* collection = dynamic_cast<TVantrelMaterialBehaviourCollection*>(Collection());
  if (!collection || !collection->GetMaterial())
    return;
  auto* material = dynamic_cast<TVantrelDefaultMaterial*>(collection->GetMaterial());
  if (!material)
    throw EInvalidCast(rtl::messages::InvalidCast);
  TVantrelNodeBuilder* vertex = material->GetVertexShaderNode();
  TVantrelNodeBuilder* fragment = material->GetFragmentShaderNode();
  if (FBehaviour && FBehaviour != AValue) {
    TVantrelMaterialBehaviour* old = FBehaviour;
    old->DoOnRemoveShader(vertex, TContextShaderKind::VertexShader);
    old->DoOnRemoveShader(fragment, TContextShaderKind::PixelShader);
    if (old->GetOnDetached())
      old->GetOnDetached()(material);
  }
  HoldBehaviour(AValue);
  if (AValue) {
    AValue->DoOnCreateShader(vertex, TContextShaderKind::VertexShader);
    AValue->DoOnCreateShader(fragment, TContextShaderKind::PixelShader);
    if (AValue->GetOnAttached())
      AValue->GetOnAttached()(material);
  }
  material->UpdateShaderProgram();
}

void TVantrelMaterialBehaviourItem::HoldBehaviour(TVantrelMaterialBehaviour* ABehaviour) {
  if (ABehaviour == FBehaviour)
    return;
  TVantrelMaterialBehaviour* old = FBehaviour;
  FBehaviour = ABehaviour;
  TVantrelDefaultMaterial* material = DefaultMaterial();
  TVantrelDefaultMaterialSource* source = material ? material->GetSource() : nullptr;
  if (!source || source->ComponentState().Contains(TComponentStateItem::csDestroying))
    return;
  // The source hears of a behaviour's end and passes it to the items; one registration serves
  // every item that holds the behaviour.
  if (ABehaviour)
    source->FreeNotification(ABehaviour);
  auto* collection = static_cast<TVantrelMaterialBehaviourCollection*>(Collection());
  if (old && !collection->Holds(old))
    source->RemoveFreeNotification(old);
}

void TVantrelMaterialBehaviourItem::UnregisterBlock() {
  if (!FUBO)
    return;
  TVantrelDefaultMaterial* material = DefaultMaterial();
  if (!material || !material->VertexShader() || !material->PixelShader())
    return;
  TShaderProgram* program = TVantrelContext::GetProgram(material->VertexShader(), material->PixelShader());
  if (!program)
    return;
  PUniformBufferStruct entry = program->GetUniformBufferByName(FUBOName);
  if (entry && entry->Data == FUBO)
    program->UnregisterUniformBufferByName(FUBOName);
}

void TVantrelMaterialBehaviourItem::SetUBO(void* AUBO, int32_t AUBOSize) {
  if (FUBO && FUBOSize > 0) {
    UnregisterBlock();
    FreeBehaviourUBO(FUBO);
  }
  FUBO = AUBO;
  FUBOSize = AUBOSize;
}

void TVantrelMaterialBehaviourItem::OnRegisterUniformBuffer(TMaterial*, TContext3D*, TShaderProgram* AProgram) {
  if (!FBehaviour)
    return;
  std::string name;
  void* block = nullptr;
  int32_t size = 0;
  if (!FBehaviour->DoOnRegisterUniformBuffer(name, block, size))
    return;
  SetUBO(block, size);
  FUBOName = name;
  if (AProgram) {
    // A program that survived a rebuild may still hold an entry of this name for an older block.
    AProgram->UnregisterUniformBufferByName(name);
    AProgram->RegisterUniformBuffer(name, FUBO, FUBOSize);
  }
}

void TVantrelMaterialBehaviourItem::OnUpdateShader(TVantrelNodeBuilder* ABuilder, TContextShaderKind AKind) {
  if (FBehaviour)
    FBehaviour->DoOnUpdateShader(ABuilder, AKind);
}

void TVantrelMaterialBehaviourItem::Apply(TMaterial* AMaterial, TContext3D* AContext) {
  if (!FBehaviour)
    return;
  if (!FBehaviour->GetInitialized())
    FBehaviour->InitializeUniformBuffer(AMaterial);
  FBehaviour->Apply(AMaterial, AContext, this);
}

void TVantrelMaterialBehaviourItem::Notification(TComponent* AComponent, TOperation AOperation) {
  if (AOperation == TOperation::opRemove && AComponent && AComponent == FBehaviour)
    FBehaviour = nullptr;
}

void TVantrelMaterialBehaviourItem::AssignTo(TPersistent* ADest) const {
  if (auto* dest = dynamic_cast<TVantrelMaterialBehaviourItem*>(ADest)) {
    dest->FName = FName;
    dest->HoldBehaviour(FBehaviour);
    return;
  }
  inherited::AssignTo(ADest);
}

// ---- TVantrelMaterialBehaviourCollection ----

TVantrelMaterialBehaviourCollection::TVantrelMaterialBehaviourCollection(TMaterial* AMaterial)
    : TCollection(TVantrelMaterialBehaviourItem::StaticClass()), FMaterial(AMaterial) {}

TVantrelMaterialBehaviourItem* TVantrelMaterialBehaviourCollection::GetItem(int AIndex) const {
  return static_cast<TVantrelMaterialBehaviourItem*>(Items(AIndex));
}

TPersistent* TVantrelMaterialBehaviourCollection::GetOwner() const {
  return FMaterial;
}

void TVantrelMaterialBehaviourCollection::Notification(TComponent* AComponent, TOperation AOperation) {
  for (int i = 0; i < Count(); ++i)
    GetItem(i)->Notification(AComponent, AOperation);
}

bool TVantrelMaterialBehaviourCollection::Holds(const TVantrelMaterialBehaviour* ABehaviour) const {
  for (int i = 0; i < Count(); ++i)
    if (GetItem(i)->GetBehaviour() == ABehaviour)
      return true;
  return false;
}

void InitializeMaterialBehaviour() {
  if (MaterialBehaviourInitCount++ > 0)
    return;
  RegisterClass(TVantrelMaterialBehaviour::StaticClass());
}

void FinalizeMaterialBehaviour() {
  if (MaterialBehaviourInitCount == 0 || --MaterialBehaviourInitCount > 0)
    return;
  UnRegisterClass(TVantrelMaterialBehaviour::StaticClass());
}

} // namespace vantrel
