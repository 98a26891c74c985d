#pragma once
// TImageList: named pictures kept for drawing by index. Its source items hold the pictures (a
// multi-resolution bitmap of fixed-size bitmap items); its destination items name what an index
// draws (layers, each a source picture and the part of it to show). Count is the number of
// destinations. Scaled copies of the pictures are cached until ClearCache.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>

#include "rtl/classes.h"
#include "rtl/types2d.h"
#include "ui/bitmap.h"

namespace ui {

// One picture of a multi-resolution bitmap.
class TFixedBitmapItem : public rtl::TCollectionItem {
  RTL_CLASS(TFixedBitmapItem, rtl::TCollectionItem)
public:
  TFixedBitmapItem();
  TBitmap* Bitmap() const { return FBitmap.get(); }

private:
  rtl::TOwned<TBitmap> FBitmap;
};

// Pictures of one source item; each new item's bitmap takes the Width x Height given here.
class TFixedMultiResBitmap : public rtl::TOwnedCollection {
  RTL_CLASS(TFixedMultiResBitmap, rtl::TOwnedCollection)
public:
  explicit TFixedMultiResBitmap(rtl::TPersistent* AOwner);

  int32_t Width() const { return FWidth; }
  void SetWidth(int32_t AValue) { FWidth = AValue; }
  int32_t Height() const { return FHeight; }
  void SetHeight(int32_t AValue) { FHeight = AValue; }
  TFixedBitmapItem* Add();
  TFixedBitmapItem* Items(int AIndex) const;

private:
  int32_t FWidth = 0;
  int32_t FHeight = 0;
};

class TCustomSourceItem : public rtl::TCollectionItem {
  RTL_CLASS(TCustomSourceItem, rtl::TCollectionItem)
public:
  TCustomSourceItem();
  const std::string& Name() const { return FName; }
  void SetName(const std::string& AValue) { FName = AValue; }
  TFixedMultiResBitmap* MultiResBitmap() const { return FMultiResBitmap.get(); }

private:
  std::string FName;
  std::unique_ptr<TFixedMultiResBitmap> FMultiResBitmap;
};

class TSourceCollection : public rtl::TOwnedCollection {
  RTL_CLASS(TSourceCollection, rtl::TOwnedCollection)
public:
  explicit TSourceCollection(rtl::TPersistent* AOwner);
  TCustomSourceItem* Add() { return static_cast<TCustomSourceItem*>(inherited::Add()); }
  TCustomSourceItem* Items(int AIndex) const {
    return static_cast<TCustomSourceItem*>(inherited::Items(AIndex));
  }
  // The first source item named AName, else null.
  TCustomSourceItem* IndexOf(const std::string& AName) const;
};

// What a destination shows of one source picture.
class TLayer : public rtl::TCollectionItem {
  RTL_CLASS(TLayer, rtl::TCollectionItem)
public:
  TLayer() = default;
  const std::string& Name() const { return FName; }
  void SetName(const std::string& AValue) { FName = AValue; }
  const rtl::TRectF& SourceRect() const { return FSourceRect; }
  void SetSourceRect(const rtl::TRectF& AValue) { FSourceRect = AValue; }

private:
  std::string FName;
  rtl::TRectF FSourceRect;
};

class TLayers : public rtl::TOwnedCollection {
  RTL_CLASS(TLayers, rtl::TOwnedCollection)
public:
  explicit TLayers(rtl::TPersistent* AOwner);
  TLayer* Add() { return static_cast<TLayer*>(inherited::Add()); }
  TLayer* Items(int AIndex) const { return static_cast<TLayer*>(inherited::Items(AIndex)); }
};

class TCustomDestinationItem : public rtl::TCollectionItem {
  RTL_CLASS(TCustomDestinationItem, rtl::TCollectionItem)
public:
  TCustomDestinationItem();
  TLayers* Layers() const { return FLayers.get(); }

private:
  std::unique_ptr<TLayers> FLayers;
};

class TDestinationCollection : public rtl::TOwnedCollection {
  RTL_CLASS(TDestinationCollection, rtl::TOwnedCollection)
public:
  explicit TDestinationCollection(rtl::TPersistent* AOwner);
  TCustomDestinationItem* Add() { return static_cast<TCustomDestinationItem*>(inherited::Add()); }
  TCustomDestinationItem* Items(int AIndex) const {
    return static_cast<TCustomDestinationItem*>(inherited::Items(AIndex));
  }
};

class TImageList : public rtl::TComponent {
  RTL_CLASS(TImageList, rtl::TComponent)
public:
  using TNotifyEvent = std::function<void(rtl::TObject* ASender)>;

  explicit TImageList(rtl::TComponent* AOwner);
  ~TImageList() override;

  TSourceCollection* Source() const { return FSource.get(); }
  TDestinationCollection* Destination() const { return FDestination.get(); }
  int Count() const { return FDestination->Count(); }

  // The picture of destination AIndex scaled to AWidth x AHeight: the source picture its first
  // layer names. Null for an index out of range, a destination without layers, a layer naming no
  // source or an empty picture. The copy is cached until ClearCache.
  TBitmap* Bitmap(int32_t AWidth, int32_t AHeight, int AIndex);
  // Frees the cached copies.
  void ClearCache();
  // Tells the users of the list that its content changed (OnChange); the cache is cleared first.
  void Change();
  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent AValue) { FOnChange = std::move(AValue); }

private:
  std::unique_ptr<TSourceCollection> FSource;
  std::unique_ptr<TDestinationCollection> FDestination;
  std::map<std::tuple<int32_t, int32_t, int>, rtl::TOwned<TBitmap>> FCache;
  TNotifyEvent FOnChange;
};

} // namespace ui
