// The material factory.

#include "materials/Vantrel.Material.h"

#include <cmath>

#include "materials/Vantrel.Material.Blinn.h"
#include "materials/Vantrel.Material.BumpMap.h"
#include "materials/Vantrel.Material.Default.h"
#include "materials/Vantrel.Material.Lambert.h"
#include "materials/Vantrel.Material.Layered.h"
#include "materials/Vantrel.Material.NormalMap.h"
#include "materials/Vantrel.Material.PBR.h"
#include "materials/Vantrel.Material.Phong.h"
#include "materials/Vantrel.Material.VertexColor.h"
#include "utils/Vantrel.Utils.Components.h"

namespace vantrel {

namespace {

using TSource = TVantrelDefaultMaterialSource;

// The model AOwner is a mesh of, found as TVantrelMesh::GetModel finds it: up through the parent
// meshes to the first model (a model is a mesh itself); nullptr when AOwner is no mesh or the
// chain leaves the meshes first.
TFmxObject* ModelOfMesh(const TFmxObject* AOwner) {
  if (!InheritsFromClassNamed(AOwner, MeshClassName))
    return nullptr;
  for (TFmxObject* parent = AOwner->Parent(); InheritsFromClassNamed(parent, MeshClassName);
       parent = parent->Parent())
    if (InheritsFromClassNamed(parent, ModelClassName))
      return parent;
  return nullptr;
}

// The texture of AChannel as a bitmap to copy from; a clone made for the call is freed with the
// instance.
TBitmapInstance BitmapOf(const TMaterialDef& ADef, TColorChannelDef AChannel) {
  TTextureDef* texture = ADef.GetTexture(AChannel);
  return texture ? texture->GetAssetBitmapInstance(false) : TBitmapInstance{};
}

void CopySurface(TSource& S, const TMaterialDef& D) {
  S.SetUseColorClipping(D.UseClipping);
  S.SetClippingColorF(D.Clipping);
  S.SetUseAlphaCutoff(D.UseAlphaCutoff);
  S.SetAlphaCutoff(D.AlphaCutoff);
  S.SetTonemapping(D.Tonemapping);
}

void CopyColours(TSource& S, const TMaterialDef& D) {
  S.SetDiffuseF(D.Diffuse);
  S.SetAmbientF(D.Ambient);
}

void CopySpecular(TSource& S, const TMaterialDef& D) {
  S.SetSpecularF(D.Specular);
  S.SetShininess(TVantrelMaterial::ShininessOf(D.SpecPow));
}

void CopyLightingExtras(TSource& S, const TMaterialDef& D) {
  S.SetBrightness(D.Brightness);
  S.SetReflectionPower(D.ReflectionPower);
  S.SetReflections(D.UseReflection);
  S.SetRefractionPower(D.RefractionPower);
  S.SetRefractions(D.UseRefraction);
}

void CopyAllSettings(TSource& S, const TMaterialDef& D) {
  CopySurface(S, D);
  CopyColours(S, D);
  S.SetEmissiveF(D.Emissive);
  CopySpecular(S, D);
  CopyLightingExtras(S, D);
}

void CopyDiffuseTexture(TSource& S, const TMaterialDef& D) {
  if (D.TextureChannelExists(TColorChannelDef::Diffuse)) {
    S.SetUseTexturing(true);
    S.SetUseTexture0(true);
    S.SetTexture(BitmapOf(D, TColorChannelDef::Diffuse).Bitmap);
    S.UpdateDefaultBitmaps();
  } else {
    S.SetUseTexturing(false);
    S.SetUseTexture0(false);
  }
}

void CopyNormalTexture(TSource& S, const TMaterialDef& D) {
  if (D.TextureChannelExists(TColorChannelDef::Normal))
    S.SetNormalMap(BitmapOf(D, TColorChannelDef::Normal).Bitmap);
}

// The kinds that use one lit source class with all settings and the diffuse texture.
void BuildLit(TSource& S, const TMaterialDef& D) {
  S.SetUseLighting(true);
  CopyAllSettings(S, D);
  CopyDiffuseTexture(S, D);
}

void BuildColor(TSource& S, const TMaterialDef& D) {
  S.SetUseTexturing(false);
  S.SetUseTexture0(false);
  S.SetUseVertexColor(false);
  S.SetUseLighting(true);
  CopyAllSettings(S, D);
}

void BuildVertexColor(TSource& S, const TMaterialDef& D) {
  S.SetUseTexturing(false);
  S.SetUseTexture0(false);
  S.SetUseVertexColor(true);
  S.SetUseLighting(true);
  CopyAllSettings(S, D);
}

void BuildNormalMap(TSource& S, const TMaterialDef& D) {
  S.SetUseTexturing(true);
  S.SetUseLighting(true);
  CopySurface(S, D);
  CopyColours(S, D);
  CopySpecular(S, D);
  CopyLightingExtras(S, D);
  if (D.TextureChannelExists(TColorChannelDef::Diffuse)) {
    S.SetUseTexture0(true);
    S.SetTexture(BitmapOf(D, TColorChannelDef::Diffuse).Bitmap);
  } else {
    S.SetUseTexture0(false);
  }
  CopyNormalTexture(S, D);
  S.UpdateDefaultBitmaps();
}

void BuildBumpMap(TSource& S, const TMaterialDef& D) {
  S.SetUseTexturing(true);
  S.SetUseLighting(true);
  CopyAllSettings(S, D);
  if (D.TextureChannelExists(TColorChannelDef::Diffuse)) {
    S.SetUseTexture0(true);
    S.SetTexture(BitmapOf(D, TColorChannelDef::Diffuse).Bitmap);
  } else {
    S.SetUseTexturing(false);
  }
  CopyNormalTexture(S, D);
  if (D.TextureChannelExists(TColorChannelDef::Specular))
    static_cast<TVantrelBumpMapMaterialSource&>(S).SetSpecularMap(BitmapOf(D, TColorChannelDef::Specular).Bitmap);
  S.UpdateDefaultBitmaps();
}

void BuildCustom(TSource& S, const TMaterialDef& D) {
  S.SetShadingModel(D.ShadingModel);
  S.SetUseTexturing(D.UseTexturing);
  S.SetUseTexture0(D.UseTexture0);
  S.SetUseLighting(D.UseLighting);
  S.SetUseVertexColor(D.UseVertexColor);
  S.SetUseSpecular(D.UseSpecular);
  CopyAllSettings(S, D);
  if (D.TextureChannelExists(TColorChannelDef::Diffuse)) {
    S.SetUseTexturing(true);
    S.SetUseTexture0(true);
    S.SetTexture(BitmapOf(D, TColorChannelDef::Diffuse).Bitmap);
    S.UpdateDefaultBitmaps();
  }
}

void BuildPBR(TSource& ASource, const TMaterialDef& D) {
  auto& S = static_cast<TVantrelPBRMaterialSource&>(ASource);
  S.SetUseTexturing(true);
  S.SetUseTexture0(true);
  S.SetUseLighting(D.UseLighting);
  CopySurface(S, D);
  S.SetUseParallaxOcclusion(false);
  S.SetNormalIntensity(1.0f);
  CopyColours(S, D);
  S.SetEmissiveF(D.Emissive);
  CopySpecular(S, D);
  CopyLightingExtras(S, D);
  S.SetMetallicBias(D.Metallic);
  S.SetRoughnessBias(D.Roughness);
  S.SetAOBias(D.AO);
  const bool albedo = D.TextureChannelExists(TColorChannelDef::Diffuse);
  S.SetUsePBRAlbedoTexture(albedo);
  if (albedo)
    S.SetTexture(BitmapOf(D, TColorChannelDef::Diffuse).Bitmap);
  CopyNormalTexture(S, D);
  const auto channel = [&](TColorChannelDef AChannel, void (TVantrelPBRMaterialSource::*ASwitch)(bool),
                           void (TVantrelPBRMaterialSource::*ASetBitmap)(TBitmap*)) {
    const bool present = D.TextureChannelExists(AChannel);
    (S.*ASwitch)(present);
    if (present)
      (S.*ASetBitmap)(BitmapOf(D, AChannel).Bitmap);
    return present;
  };
  using P = TVantrelPBRMaterialSource;
  channel(TColorChannelDef::Metalness, &P::SetUsePBRMetallicTexture, &P::SetMetalnessTexture);
  channel(TColorChannelDef::Roughness, &P::SetUsePBRRoughnessTexture, &P::SetRoughnessTexture);
  channel(TColorChannelDef::AO, &P::SetUsePBRAOTexture, &P::SetAmbientOcclusionTexture);
  if (channel(TColorChannelDef::Emissive, &P::SetUsePBREmissiveTexture, &P::SetEmissiveTexture))
    S.SetEmissiveF(TAlphaColorF::Create(1, 1, 1, 1));
  channel(TColorChannelDef::Specular, &P::SetUsePBRSpecularTexture, &P::SetSpecularMap);
  if (D.TextureChannelExists(TColorChannelDef::Displacement))
    S.SetDisplacementMap(BitmapOf(D, TColorChannelDef::Displacement).Bitmap);
  S.UpdateDefaultBitmaps();
}

void BuildDefault(TSource& S, const TMaterialDef& D) {
  if (D.TextureChannelExists(TColorChannelDef::Diffuse)) {
    S.SetUseTexturing(true);
    S.SetUseTexture0(true);
    S.SetUseLighting(true);
    S.SetUseVertexColor(false);
    CopySurface(S, D);
    CopyColours(S, D);
    CopySpecular(S, D);
    CopyLightingExtras(S, D);
    S.SetTexture(BitmapOf(D, TColorChannelDef::Diffuse).Bitmap);
  } else {
    S.SetUseLighting(true);
    S.SetUseVertexColor(false);
    S.SetUseTexturing(false);
    S.SetUseTexture0(false);
    CopySurface(S, D);
    CopyColours(S, D);
    S.SetEmissiveF(D.Emissive);
    CopySpecular(S, D);
    CopyLightingExtras(S, D);
  }
}

struct TKindRow {
  TClass* (*Class)();
  void (*Build)(TSource&, const TMaterialDef&);
};

template <class T> TClass* ClassOf() {
  return &T::StaticClass();
}

// Indexed by the kind's ordinal; the layered kind is built apart.
TKindRow RowOf(TMaterialDefKind AKind) {
  switch (AKind) {
  case TMaterialDefKind::mkColor:
    return {&ClassOf<TVantrelLambertMaterialSource>, &BuildColor};
  case TMaterialDefKind::mkLambert:
    return {&ClassOf<TVantrelLambertMaterialSource>, &BuildLit};
  case TMaterialDefKind::mkPhong:
    return {&ClassOf<TVantrelPhongMaterialSource>, &BuildLit};
  case TMaterialDefKind::mkBlinnPhong:
    return {&ClassOf<TVantrelBlinnMaterialSource>, &BuildLit};
  case TMaterialDefKind::mkNormalMap:
    return {&ClassOf<TVantrelNormalMapMaterialSource>, &BuildNormalMap};
  case TMaterialDefKind::mkBumpMap:
    return {&ClassOf<TVantrelBumpMapMaterialSource>, &BuildBumpMap};
  case TMaterialDefKind::mkVertexColor:
    return {&ClassOf<TVantrelVertexColorMaterialSource>, &BuildVertexColor};
  case TMaterialDefKind::mkCustom:
    return {&ClassOf<TVantrelDefaultMaterialSource>, &BuildCustom};
  case TMaterialDefKind::mkPBR:
    return {&ClassOf<TVantrelPBRMaterialSource>, &BuildPBR};
  default:
    return {&ClassOf<TVantrelLambertMaterialSource>, &BuildDefault};
  }
}

// Made through the metaclass, so that the registered class is the one made, and constructed
// inside a build that the caller ends.
template <class T> T* NewSourceOf(TClass& AClass, TComponent* AOwner) {
  TObject* object = AClass.NewInstance(AOwner);
  auto* source = dynamic_cast<T*>(object);
  if (!source) {
    object->Free();
    throw EInvalidCast(rtl::messages::InvalidCast);
  }
  source->BeginBuild();
  return Construct(source);
}

} // namespace

float TVantrelMaterial::ShininessOf(float ASpecPow) {
  // Kept in single precision: 0.07f x 100 is 7 as a float, but just above 7 as a double.
  const float scaled = ASpecPow < 1 ? ASpecPow * 100.0f : ASpecPow;
  return std::ceil(scaled);
}

TMaterialSource* TVantrelMaterial::CreateMaterial(TControl3D* AOwner, TModelDef* AModel,
                                                  const TMaterialRefDef* ADef) {
  if (!AModel || !ADef)
    return nullptr;
  const TMaterialDef* def = ADef->GetReference();
  if (def && AOwner) {
    TComponent* root = AOwner;
    if (TFmxObject* model = ModelOfMesh(AOwner))
      root = model;
    TComponent* found = FindComponentDeepSearchByFilter(root, [&](TComponent* AComponent) {
      auto* source = dynamic_cast<TMaterialSource*>(AComponent);
      return source && source->TagObject() == def;
    });
    if (found)
      return static_cast<TMaterialSource*>(found);
  }
  if (!def)
    def = AModel->GetMaterial(ADef->GetId());
  return def ? CreateMaterial(AOwner, def) : nullptr;
}

TMaterialSource* TVantrelMaterial::CreateMaterial(TControl3D* AOwner, const TMaterialDef* ADef) {
  if (!ADef)
    return nullptr;
  TMaterialSource* result = nullptr;
  if (ADef->Kind == TMaterialDefKind::mkLayered) {
    auto* layered = New<TVantrelLayeredMaterialSource>(AOwner);
    layered->SetTagObject(const_cast<TMaterialDef*>(ADef));
    if (const rtl::TObjectList<TMaterialDef>* subs = ADef->GetMaterials())
      for (const TMaterialDef* sub : *subs)
        layered->AddLayer("", CreateMaterial(AOwner, sub));
    result = layered;
  } else {
    const TKindRow row = RowOf(ADef->Kind);
    TOwned<TSource> owned;
    TSource* source = NewSourceOf<TSource>(*row.Class(), AOwner);
    if (!AOwner)
      owned.reset(source);
    // The construction's build is still open: the texts are made once, after the definition's
    // settings, by EndBuild (also when a setting raises).
    try {
      source->SetTagObject(const_cast<TMaterialDef*>(ADef));
      row.Build(*source, *ADef);
    } catch (...) {
      source->EndBuild();
      throw;
    }
    source->EndBuild();
    owned.release();
    result = source;
  }
  result->SetStored(false);
  result->SetParent(AOwner);
  return result;
}

} // namespace vantrel
