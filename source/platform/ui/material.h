#pragma once
// A material prepares a context for drawing (shaders, their variables, states) and undoes what
// needs undoing afterwards. The context calls Apply before and Reset after every draw with it.
// A material source is the component that makes and keeps one material.

#include <cstdint>
#include <functional>
#include <string>

#include "rtl/classes.h"
#include "rtl/object.h"
#include "rtl/typeinfo.h"
#include "ui/fmx_object.h"

namespace ui {

class TContext3D;
class TContextShader;

// The matrices a context hands to a material's shaders, each under the name the material gives.
enum class TMaterialProperty : uint8_t { ModelViewProjection, ModelView, ModelViewInverseTranspose };
RTL_ENUM_TYPEINFO(TMaterialProperty, "ModelViewProjection", "ModelView", "ModelViewInverseTranspose")

class TMaterial : public rtl::TPersistent {
  RTL_CLASS(TMaterial, rtl::TPersistent)
public:
  using TChangeEvent = std::function<void(rtl::TObject* ASender)>;

  // Runs the initialisation hook once the most-derived constructor is done, so the hook reaches
  // the final class's override.
  void AfterConstruction() override;

  // Applies the material; the material counts as up to date afterwards.
  void Apply(TContext3D* AContext) {
    DoApply(AContext);
    FModified = false;
  }
  void Reset(TContext3D* AContext) { DoReset(AContext); }

  // The shader variable that receives AProperty; empty when the material takes no such matrix.
  std::string GetMaterialProperty(TMaterialProperty AProperty) const {
    return DoGetMaterialProperty(AProperty);
  }
  std::string ModelViewProjection() const {
    return GetMaterialProperty(TMaterialProperty::ModelViewProjection);
  }
  std::string ModelView() const { return GetMaterialProperty(TMaterialProperty::ModelView); }
  std::string ModelViewInverseTranspose() const {
    return GetMaterialProperty(TMaterialProperty::ModelViewInverseTranspose);
  }

  // Whether a setting changed since the last Apply.
  bool Modified() const { return FModified; }
  const TChangeEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TChangeEvent AHandler) { FOnChange = std::move(AHandler); }

protected:
  TMaterial() = default;
  // The initialisation hook: runs once, from AfterConstruction. The base has nothing to set up.
  virtual void DoInitialize() {}
  // The change hook every setter calls: marks the material modified and fires OnChange.
  virtual void DoChange();
  virtual void DoApply(TContext3D* AContext) = 0;
  // Most materials leave nothing behind that the next draw would trip over.
  virtual void DoReset(TContext3D*) {}
  // A plain material takes none of the matrices.
  virtual std::string DoGetMaterialProperty(TMaterialProperty) const { return {}; }

private:
  bool FModified = false;
  TChangeEvent FOnChange;
};

// A material drawn by one vertex and one pixel shader, which it sets on the context when applied.
// The shaders are not owned: whoever made them (a shader registry, a test) keeps them alive
// while the material is in use.
class TCustomMaterial : public TMaterial {
  RTL_CLASS(TCustomMaterial, TMaterial)
public:
  TContextShader* VertexShader() const { return FVertexShader; }
  TContextShader* PixelShader() const { return FPixelShader; }

protected:
  TCustomMaterial() = default;
  // Sets the two shaders; subclasses set their variables after calling this.
  void DoApply(TContext3D* AContext) override;
  // The model-view-projection matrix goes to "MVPMatrix"; the other two are not taken.
  std::string DoGetMaterialProperty(TMaterialProperty AProperty) const override;

  TContextShader* FVertexShader = nullptr;
  TContextShader* FPixelShader = nullptr;
};

// The source makes its material in AfterConstruction, before the inherited step, so the material
// exists (and its own initialisation hook has run) before anything the subclass stores after
// construction; it owns the material and frees it with itself.
class TMaterialSource : public TFmxObject {
  RTL_CLASS(TMaterialSource, TFmxObject)
public:
  explicit TMaterialSource(rtl::TComponent* AOwner) : TFmxObject(AOwner) {}

  void AfterConstruction() override;

  // The source's material; nullptr when CreateMaterial made none.
  TMaterial* GetMaterial() const { return FMaterial.get(); }
  // The material of ASource; nullptr for no source.
  static TMaterial* ValidMaterial(TMaterialSource* ASource);

protected:
  virtual rtl::TOwned<TMaterial> CreateMaterial() = 0;
  // The change hook a source runs when its settings change; the base has nothing to pass on.
  virtual void DoChange() {}

private:
  rtl::TOwned<TMaterial> FMaterial;
};

} // namespace ui
