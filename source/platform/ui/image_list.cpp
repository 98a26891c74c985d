#include "ui/image_list.h"

namespace ui {

RTL_DEFINE_CLASS(TFixedBitmapItem, "ui.ImageList")
RTL_DEFINE_CLASS(TFixedMultiResBitmap, "ui.ImageList")
RTL_DEFINE_CLASS(TCustomSourceItem, "ui.ImageList")
RTL_DEFINE_CLASS(TSourceCollection, "ui.ImageList")
RTL_DEFINE_CLASS(TLayer, "ui.ImageList")
RTL_DEFINE_CLASS(TLayers, "ui.ImageList")
RTL_DEFINE_CLASS(TCustomDestinationItem, "ui.ImageList")
RTL_DEFINE_CLASS(TDestinationCollection, "ui.ImageList")
RTL_DEFINE_CLASS(TImageList, "ui.ImageList")

TFixedBitmapItem::TFixedBitmapItem() : FBitmap(rtl::New<TBitmap>()) {}

TFixedMultiResBitmap::TFixedMultiResBitmap(rtl::TPersistent* AOwner)
    : TOwnedCollection(AOwner, TFixedBitmapItem::StaticClass()) {}

TFixedBitmapItem* TFixedMultiResBitmap::Add() {
  auto* item = static_cast<TFixedBitmapItem*>(inherited::Add());
  item->Bitmap()->SetSize(FWidth, FHeight);
  return item;
}

TFixedBitmapItem* TFixedMultiResBitmap::Items(int AIndex) const {
  return static_cast<TFixedBitmapItem*>(inherited::Items(AIndex));
}

TCustomSourceItem::TCustomSourceItem() : FMultiResBitmap(std::make_unique<TFixedMultiResBitmap>(this)) {}

TSourceCollection::TSourceCollection(rtl::TPersistent* AOwner)
    : TOwnedCollection(AOwner, TCustomSourceItem::StaticClass()) {}

TCustomSourceItem* TSourceCollection::IndexOf(const std::string& AName) const {
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->Name() == AName)
      return Items(i);
  return nullptr;
}

TLayers::TLayers(rtl::TPersistent* AOwner) : TOwnedCollection(AOwner, TLayer::StaticClass()) {}

TCustomDestinationItem::TCustomDestinationItem() : FLayers(std::make_unique<TLayers>(this)) {}

TDestinationCollection::TDestinationCollection(rtl::TPersistent* AOwner)
    : TOwnedCollection(AOwner, TCustomDestinationItem::StaticClass()) {}

TImageList::TImageList(rtl::TComponent* AOwner)
    : TComponent(AOwner), FSource(std::make_unique<TSourceCollection>(this)),
      FDestination(std::make_unique<TDestinationCollection>(this)) {}

TImageList::~TImageList() = default;

TBitmap* TImageList::Bitmap(int32_t AWidth, int32_t AHeight, int AIndex) {
  if (AIndex < 0 || AIndex >= Count() || AWidth <= 0 || AHeight <= 0)
    return nullptr;
  const auto key = std::make_tuple(AWidth, AHeight, AIndex);
  if (auto found = FCache.find(key); found != FCache.end())
    return found->second.get();
  const TLayers* layers = FDestination->Items(AIndex)->Layers();
  const TCustomSourceItem* source =
      layers->Count() > 0 ? FSource->IndexOf(layers->Items(0)->Name()) : nullptr;
  if (!source || source->MultiResBitmap()->Count() == 0)
    return nullptr;
  const TBitmap* picture = source->MultiResBitmap()->Items(0)->Bitmap();
  if (picture->IsEmpty())
    return nullptr;
  auto copy = rtl::MakeOwned<TBitmap>();
  copy->Assign(picture);
  copy->Resize(AWidth, AHeight);
  return FCache.emplace(key, std::move(copy)).first->second.get();
}

void TImageList::ClearCache() {
  FCache.clear();
}

void TImageList::Change() {
  ClearCache();
  if (FOnChange)
    FOnChange(this);
}

} // namespace ui
