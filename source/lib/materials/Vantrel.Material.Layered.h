#pragma once
// The layered material: a source that holds an ordered list of layers, each naming another
// material source, and a material with two fixed shaders of its own. Drawing with it writes the
// object's position and depth and zero colour, and makes the material the context's current
// layered material; the context's batch draw then asks it for its layers through
// ILayeredPassMaterial.
//
// Layers refer to sources they do not own: the layered source registers for the free
// notification of every layer's source, and a freed source leaves each layer that held it empty.

#include <cstdint>
#include <string>

#include "Vantrel.Prelude.h"
#include "context/Vantrel.Context.h"
#include "rtl/classes.h"
#include "ui/material.h"

namespace ui {
class TContext3D;
}

namespace vantrel {

class TVantrelLayeredMaterialSource;

// One layer: a name and the material source it draws with (not owned).
class TVantrelLayeredMaterialItem : public TCollectionItem {
  RTL_CLASS(TVantrelLayeredMaterialItem, TCollectionItem)
public:
  TVantrelLayeredMaterialItem() = default;
  // Lets go of the source (and of its notification when no other layer holds it).
  void BeforeDestruction() override;

  std::string GetDisplayName() const override { return FName; }
  void SetDisplayName(const std::string& AValue) override { FName = AValue; }
  TMaterialSource* GetMaterial() const { return FMaterial; }
  // Within a layered source's collection the source is free-notified.
  void SetMaterial(TMaterialSource* AValue);
  // The layered source whose collection holds the item, or nullptr.
  TVantrelLayeredMaterialSource* LayeredSource() const;
  // Forgets the material when it is the one being removed.
  void Notification(TComponent* AComponent, TOperation AOperation);

protected:
  // Another item takes the name and the material; any other target is refused.
  void AssignTo(TPersistent* ADest) const override;

private:
  std::string FName;
  TMaterialSource* FMaterial = nullptr;
};

// The layers of a layered source, owned by it.
class TVantrelLayeredMaterialCollection : public TOwnedCollection {
  RTL_CLASS(TVantrelLayeredMaterialCollection, TOwnedCollection)
public:
  explicit TVantrelLayeredMaterialCollection(TPersistent* AOwner = nullptr);
  TVantrelLayeredMaterialItem* Item(int AIndex) const { return static_cast<TVantrelLayeredMaterialItem*>(Items(AIndex)); }
  // Passes the notification to every item.
  void Notification(TComponent* AComponent, TOperation AOperation);
};

class TVantrelLayeredMaterial : public TCustomMaterial, public ILayeredPassMaterial {
  RTL_CLASS(TVantrelLayeredMaterial, TCustomMaterial)
public:
  // ASource may be nullptr for materials that answer for their layers themselves.
  explicit TVantrelLayeredMaterial(TVantrelLayeredMaterialSource* ASource = nullptr) : FSource(ASource) {}
  static TOwned<TVantrelLayeredMaterial> Create(TVantrelLayeredMaterialSource* ASource) {
    return MakeOwned<TVantrelLayeredMaterial>(ASource);
  }
  // Removes the program of the two shaders, then unregisters both.
  void BeforeDestruction() override;

  TVantrelLayeredMaterialSource* Source() const { return FSource; }
  // The number of layers of the source.
  int32_t GetMaterialsCount() const override;
  // The layer at AIndex; nullptr at or above the count; a negative index raises the collection's
  // index error.
  virtual TVantrelLayeredMaterialItem* GetMaterialItem(TContext3D* AContext, int32_t AIndex) const;
  // The material of the layer's item.
  TMaterialSource* GetLayerMaterial(TContext3D* AContext, int32_t AIndex) const override;

  // The two fixed texts.
  static const char* VertexText();
  static const char* PixelText();

protected:
  // Registers "Layered-<serial>.fvs" and ".fps" with the shader manager.
  void DoInitialize() override;
  // EInvalidCast unless AContext is the framework's context; sets the shaders and makes this the
  // current layered material.
  void DoApply(TContext3D* AContext) override;
  // Clears the current layered material when it is still this one, so that no later draw runs
  // this material's layers.
  void DoReset(TContext3D* AContext) override;

private:
  TVantrelLayeredMaterialSource* FSource;
};

// Not registered for streaming.
class TVantrelLayeredMaterialSource : public TMaterialSource {
  RTL_CLASS(TVantrelLayeredMaterialSource, TMaterialSource)
public:
  explicit TVantrelLayeredMaterialSource(TComponent* AOwner);
  ~TVantrelLayeredMaterialSource() override;

  TVantrelLayeredMaterialCollection* GetMaterials() const { return FMaterials.get(); }
  // Copies the given collection's items.
  void SetMaterials(const TVantrelLayeredMaterialCollection* AValue);
  // Appends a layer named AName drawing with AMaterial.
  TVantrelLayeredMaterialItem* AddLayer(const std::string& AName, TMaterialSource* AMaterial);

  // The items tell the source when they take or drop a material.
  void LayerMaterialChanged(TMaterialSource* AOld, TMaterialSource* ANew);

protected:
  TOwned<TMaterial> CreateMaterial() override;
  void Notification(TComponent* AComponent, TOperation AOperation) override;

private:
  TOwned<TVantrelLayeredMaterialCollection> FMaterials;
  bool FDestroying = false;

  bool AnyLayerHolds(const TMaterialSource* AMaterial) const;
};

} // namespace vantrel
