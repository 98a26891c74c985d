// The loader's steps that make, fill and free model controls. The loader (definitions/) opens
// sources, chooses readers, looks up package assets and hands definitions over, a floor below the
// model, and names the model control only by its forward declaration; the members of
// TVantrelLoader that need the whole control are built here, beside the model.

#include "definitions/Vantrel.Loader.h"
#include "scene/Vantrel.Model.h"

namespace vantrel {

namespace {

TModelDef* DefinitionOf(TVantrelModel* AModel) {
  return AModel ? dynamic_cast<TModelDef*>(AModel->Def()) : nullptr;
}

// AModel loaded from ADef, then the options' caching flags applied to ADef's animations.
void FillModel(TVantrelModel* AModel, TModelDef* ADef, const TVantrelLoadOptions& AOptions) {
  AModel->LoadFromDefinition(ADef);
  if (!AOptions.Caching.IsEmpty())
    ADef->CacheAnimations({}, AOptions.Caching, AModel);
}

// A new model owned by AOwner, filled by AFill; it is freed again when filling fails.
template <class TFill> TVantrelModel* NewFilledModel(rtl::TComponent* AOwner, TFill&& AFill) {
  auto* model = New<TVantrelModel>(AOwner);
  try {
    AFill(model);
  } catch (...) {
    model->Free();
    throw;
  }
  return model;
}

// Fills AModel from a definition a reader just made. One that an asset holds stays the asset's;
// any other one is held by ADef until the model has taken it as its own Def, so that it is freed
// exactly once whichever step fails.
void FillFromRead(TVantrelModel* AModel, TOwned<TModelDef>& ADef, const TVantrelLoadOptions& AOptions) {
  TModelDef* def = ADef.get();
  if (def->GetAsset())
    (void)ADef.release();
  try {
    FillModel(AModel, def, AOptions);
  } catch (...) {
    if (DefinitionOf(AModel) == def && AModel->OwnsDefinition())
      (void)ADef.release();
    throw;
  }
  (void)ADef.release();
}

} // namespace

TModelDef* TVantrelLoader::ModelDefOf(TVantrelModel* AModel) {
  return DefinitionOf(AModel);
}

TVantrelModel* TVantrelLoader::LoadModelFromStream(rtl::TComponent* AOwner, TStream* AStream,
                                                   const TVantrelLoadOptions& AOptions) {
  TOwned<TModelDef> def(LoadModelDefFromStream(AStream, AOptions));
  return NewFilledModel(AOwner, [&](TVantrelModel* AModel) { FillFromRead(AModel, def, AOptions); });
}

void TVantrelLoader::LoadExistingModelFromStream(TVantrelModel* AModel, TStream* AStream,
                                                 const TVantrelLoadOptions& AOptions) {
  TOwned<TModelDef> def(LoadModelDefFromStream(AStream, AOptions));
  FillFromRead(AModel, def, AOptions);
}

TVantrelModel* TVantrelLoader::LoadModelFromDef(rtl::TComponent* AOwner, TModelDef* ADef,
                                                const TVantrelLoadOptions& AOptions) {
  return ADef ? NewFilledModel(AOwner, [&](TVantrelModel* AModel) { FillModel(AModel, ADef, AOptions); }) : nullptr;
}

void TVantrelLoader::LoadExistingModelFromDef(TVantrelModel* AModel, TModelDef* ADef,
                                              const TVantrelLoadOptions& AOptions) {
  if (AModel && ADef)
    FillModel(AModel, ADef, AOptions);
}

} // namespace vantrel
