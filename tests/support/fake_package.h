#pragma once
// A stand-in for an asset package as texture definitions reach it: texture assets held by id,
// with counters of the two operations. It has no GoogleTest in it, so benchmarks can link it.

#include <vector>

#include "definitions/Vantrel.AssetsManager.h"

namespace vtest {

class TFakePackage : public rtl::TObject, public vantrel::IVantrelAssetsPackage {
  RTL_CLASS(TFakePackage, rtl::TObject)
public:
  TFakePackage() = default;
  // Frees every asset it holds.
  ~TFakePackage() override;

  // Adds an asset (owned by the package) with that id and file name; returns it.
  vantrel::TVantrelTextureAsset* AddAsset(const rtl::TGUID& AId, const std::string& AFilename);

  vantrel::TVantrelTextureAsset* GetOwnerTextureAssetFromId(rtl::TObject* AOwnerAsset, const rtl::TGUID& AId) override;
  vantrel::TVantrelTextureAsset* AddEmptyTextureAsset(rtl::TObject* AOwnerAsset, const rtl::TGUID& AId) override;

  int LookupCount = 0;
  int AddEmptyCount = 0;
  // The owner asset of the last call.
  rtl::TObject* LastOwner = nullptr;
  const std::vector<vantrel::TVantrelTextureAsset*>& Assets() const { return FAssets; }

private:
  std::vector<vantrel::TVantrelTextureAsset*> FAssets;
};

} // namespace vtest
