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
#include "rtl/classes.h"
#include "ui/fmx_object.h"
#include "ui/shaders.h"

namespace ui {
class TContext3D;
class TMaterial;
} // namespace ui

namespace vantrel {

class TVantrelNodeBuilder;
class TVantrelMaterialBehaviourItem;
class TVantrelDefaultMaterial;
class TCustomDef;
class TMaterialBehaviourDef;
class TShaderProgram;

// The one allocate/free pair for behaviour blocks: the behaviour allocates in
// DoOnRegisterUniformBuffer and the item that takes the block frees it. Blocks start zero-filled;
// freeing nullptr does nothing.
void* AllocateBehaviourUBO(int32_t ASize);
void FreeBehaviourUBO(void* ABlock);

class TVantrelMaterialBehaviour : public TFmxObject {
  RTL_CLASS(TVantrelMaterialBehaviour, TFmxObject)
public:
  explicit TVantrelMaterialBehaviour(TComponent* AOwner);
  // Publishes OnAttached and OnDetached.
  static void RegisterProperties(TPropertyList& AList);

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

  // The definition the behaviour was built from (not owned); the framework never sets it, a
  // subclass that builds itself from one does.
  TMaterialBehaviourDef* GetDef() const { return FDef; }
  // UniqueID becomes the definition's Id / the definition's Id becomes UniqueID. Another
  // definition class raises EInvalidCast.
  virtual void LoadFromDefinition(const TCustomDef* ADef);
  virtual void StoreToDefinition(TCustomDef* ADef) const;

protected:
  void SetDef(TMaterialBehaviourDef* AValue) { FDef = AValue; }

private:
  TMaterialBehaviourDef* FDef = nullptr;
  std::string FUniqueID;
  uintptr_t FReferenceID;
  bool FInitialized = false;
  TNotifyEvent FOnAttached;
  TNotifyEvent FOnDetached;
};

// Links one behaviour to the default material that owns the item's collection, and owns the
// behaviour's uniform block from its registration on the material's program until the next
// registration or the item's end. A block is always taken off the program before it is freed, so
// the program never pushes freed memory.
class TVantrelMaterialBehaviourItem : public TCollectionItem {
  RTL_CLASS(TVantrelMaterialBehaviourItem, TCollectionItem)
public:
  TVantrelMaterialBehaviourItem() = default;
  ~TVantrelMaterialBehaviourItem() override;
  // Takes the block off the program and frees it, and lets go of the behaviour.
  void BeforeDestruction() override;
  // Publishes DisplayName and Behaviour.
  static void RegisterProperties(TPropertyList& AList);

  std::string GetDisplayName() const override { return FName; }
  // Stores the name; reports no change.
  void SetDisplayName(const std::string& AValue) override { FName = AValue; }

  TVantrelMaterialBehaviour* GetBehaviour() const { return FBehaviour; }
  // Nothing without a collection material. Removes the old behaviour's nodes (vertex, then
  // fragment stage) and fires its OnDetached when the value is another object, stores the value,
  // adds its nodes and fires its OnAttached, then rebuilds the material's program. Raises
  // EInvalidCast when the collection's material is not a default material.
  void SetBehaviour(TVantrelMaterialBehaviour* AValue);

  void* GetUBO() const { return FUBO; }
  int32_t GetUBOSize() const { return FUBOSize; }
  // Frees the block the item holds (first taking it off the material's program), then keeps the
  // new one.
  void SetUBO(void* AUBO, int32_t AUBOSize);

  // Takes a new block from the behaviour and registers it on AProgram under the behaviour's name.
  void OnRegisterUniformBuffer(TMaterial* AMaterial, TContext3D* AContext, TShaderProgram* AProgram);
  void OnUpdateShader(TVantrelNodeBuilder* ABuilder, TContextShaderKind AKind);
  // Initialises the behaviour while it is not Initialized, then lets it fill the block.
  void Apply(TMaterial* AMaterial, TContext3D* AContext);
  // The removal notice of the held behaviour makes the item forget it, calling no hook.
  virtual void Notification(TComponent* AComponent, TOperation AOperation);

  // The default material of the item's collection, or nullptr.
  TVantrelDefaultMaterial* DefaultMaterial() const;

protected:
  void AssignTo(TPersistent* ADest) const override;

private:
  // Stores ABehaviour without hooks, moving the source's free notification along.
  void HoldBehaviour(TVantrelMaterialBehaviour* ABehaviour);
  // Takes the held block off the material's current program when the program reads it.
  void UnregisterBlock();

  std::string FName;
  TVantrelMaterialBehaviour* FBehaviour = nullptr;
  void* FUBO = nullptr;
  int32_t FUBOSize = 0;
  std::string FUBOName;
};

// The behaviour items of one default material.
class TVantrelMaterialBehaviourCollection : public TCollection {
  RTL_CLASS(TVantrelMaterialBehaviourCollection, TCollection)
public:
  explicit TVantrelMaterialBehaviourCollection(TMaterial* AMaterial);

  TMaterial* GetMaterial() const { return FMaterial; }
  void SetMaterial(TMaterial* AValue) { FMaterial = AValue; }
  TVantrelMaterialBehaviourItem* GetItem(int AIndex) const;
  TPersistent* GetOwner() const override;
  // Passes the notification to every item in order.
  virtual void Notification(TComponent* AComponent, TOperation AOperation);
  // True when an item holds ABehaviour.
  bool Holds(const TVantrelMaterialBehaviour* ABehaviour) const;

private:
  TMaterial* FMaterial;
};

// Registers TVantrelMaterialBehaviour for streaming; counted.
void InitializeMaterialBehaviour();
void FinalizeMaterialBehaviour();

} // namespace vantrel
