#include "ui/material.h"

#include "ui/context3d.h"

namespace ui {

RTL_DEFINE_CLASS(TMaterial, "ui.Material")
RTL_DEFINE_CLASS(TCustomMaterial, "ui.Material")
RTL_DEFINE_CLASS(TMaterialSource, "ui.Material")

namespace {
constexpr const char* ModelViewProjectionName = "MVPMatrix";
}

// ---- TMaterial ------------------------------------------------------------------------------------

void TMaterial::AfterConstruction() {
  inherited::AfterConstruction();
  DoInitialize();
}

void TMaterial::DoChange() {
  FModified = true;
  if (FOnChange)
    FOnChange(this);
}

// ---- TCustomMaterial ------------------------------------------------------------------------------

void TCustomMaterial::DoApply(TContext3D* AContext) {
  AContext->SetShaders(FVertexShader, FPixelShader);
}

std::string TCustomMaterial::DoGetMaterialProperty(TMaterialProperty AProperty) const {
  return AProperty == TMaterialProperty::ModelViewProjection ? ModelViewProjectionName : std::string();
}

// ---- TMaterialSource ------------------------------------------------------------------------------

void TMaterialSource::AfterConstruction() {
  FMaterial = CreateMaterial();
  inherited::AfterConstruction();
}

TMaterial* TMaterialSource::ValidMaterial(TMaterialSource* ASource) {
  return ASource ? ASource->GetMaterial() : nullptr;
}

} // namespace ui
