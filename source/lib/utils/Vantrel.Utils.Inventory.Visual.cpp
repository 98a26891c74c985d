// Visual items as image lists: one list per level of detail, built on demand from the visual
// items' picture files (or the application's OnLoadResource) and rebuilt after they change.

#include "rtl/ioutils.h"
#include "rtl/log.h"
#include "rtl/sync.h"
#include "rtl/sysutils.h"
#include "ui/bitmap.h"
#include "ui/image_list.h"
#include "utils/Vantrel.Utils.Inventory.h"

namespace vantrel {

namespace {

constexpr const char* ImageNotFound = "<WARNING> [LOD #%d] visual item #%d - image not found: %s";

void LoadScaled(ui::TBitmap* ABitmap, const std::string& AFileName, const TPoint& ASize) {
  ABitmap->LoadFromFile(AFileName);
  ABitmap->Resize(ASize.X, ASize.Y);
}

} // namespace

void TVantrelInventory::LoadImage(int ALevel, int ANumber, TVantrelInventoryVisualItem* AItem,
                                  const TPoint& ASize, ui::TBitmap* ABitmap) {
  std::string resource = AItem->GetResource(ALevel);
  if (FOnLoadResource) {
    FOnLoadResource(this, ALevel, resource, AItem, ABitmap);
    return;
  }
  if (TFile::Exists(resource)) {
    LoadScaled(ABitmap, resource, ASize);
    return;
  }
  if (!FFileName.empty()) {
    resource = IncludeTrailingPathDelimiter(ExtractFilePath(FFileName)) + resource;
    if (TFile::Exists(resource)) {
      LoadScaled(ABitmap, resource, ASize);
      return;
    }
  }
  Log::d(ImageNotFound, ALevel, ANumber, resource);
}

void TVantrelInventoryVisualItemCollection::Exchange(int AIdx1, int AIdx2) {
  TMonitorLock lock(this);
  TCollection::Exchange(AIdx1, AIdx2);
}

ui::TImageList* TVantrelInventory::GetImageList(int AIndex) {
  TMonitorLock lock(this);
  if (AIndex < 0 || AIndex > 2)
    throw EArgumentOutOfRangeException(Format(messages::ListIndexError, AIndex));
  TOwned<ui::TImageList>& current = FImageLists[AIndex];
  if (current && !FImageListsModified[AIndex])
    return current.get();
  auto list = MakeOwned<ui::TImageList>(nullptr);
  for (int n = 0; n < FVisualItems->Count(); ++n) {
    auto* item = static_cast<TVantrelInventoryVisualItem*>(FVisualItems->Items(n));
    const TPoint size = FVisualItems->GetImageLODSize(AIndex);
    const std::string name = item->GetDisplayName();
    ui::TCustomSourceItem* source = list->Source()->Add();
    source->SetName(name);
    source->MultiResBitmap()->SetWidth(size.X);
    source->MultiResBitmap()->SetHeight(size.Y);
    ui::TBitmap* bitmap = source->MultiResBitmap()->Add()->Bitmap();
    LoadImage(AIndex, n, item, size, bitmap);
    ui::TLayer* layer = list->Destination()->Add()->Layers()->Add();
    layer->SetName(name);
    layer->SetSourceRect({0, 0, float(size.X), float(size.Y)});
  }
  // The old list goes after the new one is whole, so a caller never gets the old address again.
  if (current) {
    current->ClearCache();
    current->Change();
  }
  current = std::move(list);
  FImageListsModified[AIndex] = false;
  return current.get();
}

} // namespace vantrel
