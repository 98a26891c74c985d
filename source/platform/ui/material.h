#pragma once
// A material prepares a context for drawing (shaders, their variables, states) and undoes what
// needs undoing afterwards. The context calls Apply before and Reset after every draw with it.
// A material source is the component that makes and keeps one material.

#include <cstdint>
#include <string>

#include "rtl/classes.h"
#include "rtl/object.h"
#include "rtl/typeinfo.h"

namespace ui {

class TContext3D;
class TContextShader;

// The matrices a context hands to a material's shaders, each under the name the material gives.
enum class TMaterialProperty : uint8_t { ModelViewProjection, ModelView, ModelViewInverseTranspose };
RTL_ENUM_TYPEINFO(TMaterialProperty, "ModelViewProjection", "ModelView", "ModelViewInverseTranspose")

class TMaterial : public rtl::TPersistent {
  RTL_CLASS(TMaterial, rtl::TPersistent)
public:
  void Apply(TContext3D* AContext) { DoApply(AContext); }
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

protected:
  TMaterial() = default;
  virtual void DoApply(TContext3D* AContext) = 0;
  // Most materials leave nothing behind that the next draw would trip over.
  virtual void DoReset(TContext3D*) {}
  // A plain material takes none of the matrices.
  virtual std::string DoGetMaterialProperty(TMaterialProperty) const { return {}; }
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

class TMaterialSource : public rtl::TComponent {
  RTL_CLASS(TMaterialSource, rtl::TComponent)
public:
  explicit TMaterialSource(rtl::TComponent* AOwner) : TComponent(AOwner) {}

  // The source's material, made on first use and owned by the source.
  TMaterial* GetMaterial();
  // The material of ASource; nullptr for no source.
  static TMaterial* ValidMaterial(TMaterialSource* ASource);

protected:
  virtual rtl::TOwned<TMaterial> CreateMaterial() = 0;

private:
  rtl::TOwned<TMaterial> FMaterial;
};

} // namespace ui
