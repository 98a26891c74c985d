#include "ui/material.h"

#include "ui/context3d.h"

namespace ui {

RTL_DEFINE_CLASS(TMaterial, "ui.Material")
RTL_DEFINE_CLASS(TCustomMaterial, "ui.Material")
RTL_DEFINE_CLASS(TMaterialSource, "ui.Material")

namespace {
constexpr const char* ModelViewProjectionName = "MVPMatrix";
}

// ---- TCustomMaterial ------------------------------------------------------------------------------

void TCustomMaterial::DoApply(TContext3D* AContext) {
  AContext->SetShaders(FVertexShader, FPixelShader);
}

std::string TCustomMaterial::DoGetMaterialProperty(TMaterialProperty AProperty) const {
  return AProperty == TMaterialProperty::ModelViewProjection ? ModelViewProjectionName : std::string();
}

// ---- TMaterialSource ------------------------------------------------------------------------------

TMaterial* TMaterialSource::GetMaterial() {
  if (!FMaterial)
    FMaterial = CreateMaterial();
  return FMaterial.get();
}

TMaterial* TMaterialSource::ValidMaterial(TMaterialSource* ASource) {
  return ASource ? ASource->GetMaterial() : nullptr;
}

} // namespace ui
