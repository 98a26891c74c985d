#pragma once
// Material behaviours: components an application derives from to extend a default material
// without a new material class. A behaviour adds its own nodes to the material's two node trees,
// owns one uniform block that the material registers on its program, and fills that block on every
// apply. This unit holds the behaviour's base and the block allocator both sides use.

#include <cstddef>
#include <cstdint>
#include <string>

#include "Vantrel.Prelude.h"
#include "rtl/method.h"
#include "ui/fmx_object.h"
#include "ui/shaders.h"

namespace ui {
class TContext3D;
class TMaterial;
} // namespace ui

namespace vantrel {

class TVantrelNodeBuilder;
class TVantrelMaterialBehaviourItem;

// The one allocate/free pair for behaviour blocks: the behaviour allocates in
// DoOnRegisterUniformBuffer and the item that takes the block frees it. Blocks start zero-filled;
// freeing nullptr does nothing.
void* AllocateBehaviourUBO(int32_t ASize);
void FreeBehaviourUBO(void* ABlock);

class TVantrelMaterialBehaviour : public TFmxObject {
  RTL_CLASS(TVantrelMaterialBehaviour, TFmxObject)
public:
  explicit TVantrelMaterialBehaviour(TComponent* AOwner);

  // A new GUID in its braced upper-case text form, made at creation.
  const std::string& GetUniqueID() const { return FUniqueID; }
  // Set once the behaviour's uniform block was initialised.
  bool GetInitialized() const { return FInitialized; }
  // Called with the material as sender.
  const TNotifyEvent& GetOnAttached() const { return FOnAttached; }
  void SetOnAttached(const TNotifyEvent& AValue) { FOnAttached = AValue; }
  const TNotifyEvent& GetOnDetached() const { return FOnDetached; }
  void SetOnDetached(const TNotifyEvent& AValue) { FOnDetached = AValue; }

  // The tag of every node the behaviour adds, so that it finds and removes exactly its own nodes.
  // A process-wide serial rather than the address: a freed behaviour's identity never aliases a
  // live one.
  virtual uintptr_t GetReferenceID() const { return FReferenceID; }

  // The hooks below are virtuals whose base bodies raise EAbstractError rather than pure
  // virtuals: the class is registered for streaming, so its metaclass must be able to create it.
  //
  // True with the block's name, a block from AllocateBehaviourUBO and its size; False when the
  // behaviour has no block. The caller takes the block.
  virtual bool DoOnRegisterUniformBuffer(std::string& AName, void*& AUBO, int32_t& AUBOSize);
  // Called once before the first apply; the base only sets AInitialized.
  virtual void DoOnInitializeUniformBuffer(TMaterial* AMaterial, bool& AInitialized);
  virtual void DoOnCreateShader(TVantrelNodeBuilder* ABuilder, TContextShaderKind AKind);
  // Runs after the stage's text was made; changes reach the text at the next rebuild.
  virtual void DoOnUpdateShader(TVantrelNodeBuilder* ABuilder, TContextShaderKind AKind);
  virtual void DoOnRemoveShader(TVantrelNodeBuilder* ABuilder, TContextShaderKind AKind);
  // Writes the current values into AItem's block on every apply of the material.
  virtual void Apply(TMaterial* AMaterial, TContext3D* AContext, TVantrelMaterialBehaviourItem* AItem);

  // Runs DoOnInitializeUniformBuffer and keeps what it reports.
  void InitializeUniformBuffer(TMaterial* AMaterial);

private:
  std::string FUniqueID;
  uintptr_t FReferenceID;
  bool FInitialized = false;
  TNotifyEvent FOnAttached;
  TNotifyEvent FOnDetached;
};

// Registers TVantrelMaterialBehaviour for streaming; counted.
void InitializeMaterialBehaviour();
void FinalizeMaterialBehaviour();

} // namespace vantrel
