#include "fake_package.h"

namespace vtest {

RTL_DEFINE_CLASS(TFakePackage, "Vantrel.Tests")

TFakePackage::~TFakePackage() {
  for (vantrel::TVantrelTextureAsset* asset : FAssets)
    asset->Free();
}

vantrel::TVantrelTextureAsset* TFakePackage::AddAsset(const rtl::TGUID& AId, const std::string& AFilename) {
  vantrel::TVantrelTextureAsset* asset = vantrel::TVantrelTextureAsset::Create(nullptr);
  asset->SetId(AId);
  asset->SetFilename(AFilename);
  FAssets.push_back(asset);
  return asset;
}

vantrel::TVantrelTextureAsset* TFakePackage::GetOwnerTextureAssetFromId(rtl::TObject* AOwnerAsset,
                                                                        const rtl::TGUID& AId) {
  ++LookupCount;
  LastOwner = AOwnerAsset;
  for (vantrel::TVantrelTextureAsset* asset : FAssets)
    if (asset->Id() == AId)
      return asset;
  return nullptr;
}

vantrel::TVantrelTextureAsset* TFakePackage::AddEmptyTextureAsset(rtl::TObject* AOwnerAsset, const rtl::TGUID& AId) {
  ++AddEmptyCount;
  LastOwner = AOwnerAsset;
  return AddAsset(AId, {});
}

} // namespace vtest
