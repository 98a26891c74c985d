#include "materials/Vantrel.Material.Behaviour.h"

#include <atomic>
#include <cstdlib>

#include "rtl/exceptions.h"
#include "rtl/guid.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelMaterialBehaviour, "Vantrel.Material.Behaviour")

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
