#pragma once
// Persistent objects, components and collections: the classes that are streamed, named, owned
// and notified.
//
// Components form an ownership tree. A component joins its owner in TComponent's
// AfterConstruction, so the owner and its other components are told (opInsert) about an object
// whose constructors have all run; an override that must finish before the owner sees the
// component does that work before calling the inherited AfterConstruction. Free() runs
// BeforeDestruction, which, while the component is still whole, marks it and its components
// csDestroying, tells the owner's other components (through the owner's Notification) and its
// free-notification partners that it goes away, and then frees its own components in reverse
// order of creation, each through Free(). An override of BeforeDestruction that still needs its
// components does its work before calling the inherited one. The destructor leaves the owner.
// Components are never deleted directly.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/object.h"
#include "rtl/set.h"
#include "rtl/typeinfo.h"

namespace rtl {

class TComponent;
class TPropertyList;
class TReader;
class TWriter;
class TStream;

using NativeInt = intptr_t;

// What a persistent object tells the streamer about values that are not published properties:
// each is read and written by its own callbacks.
class TFiler : public TObject {
  RTL_CLASS(TFiler, TObject)
public:
  using TReaderProc = std::function<void(TReader& AReader)>;
  using TWriterProc = std::function<void(TWriter& AWriter)>;
  using TStreamProc = std::function<void(TStream& AStream)>;

  // A value read with AReadData and written with AWriteData; a writer skips it when AHasData is
  // false.
  virtual void DefineProperty(const std::string& AName, TReaderProc AReadData, TWriterProc AWriteData,
                              bool AHasData) = 0;
  // As DefineProperty, for a value kept as raw bytes.
  virtual void DefineBinaryProperty(const std::string& AName, TStreamProc AReadData, TStreamProc AWriteData,
                                    bool AHasData) = 0;

  // The component whose tree is being read or written; nullptr outside a root.
  TComponent* Root() const { return FRoot; }

protected:
  TFiler() = default;
  TComponent* FRoot = nullptr;
};

class TPersistent : public TObject {
  RTL_CLASS(TPersistent, TObject)
public:
  TPersistent() = default;

  // Copies ASource into this object. The base asks ASource->AssignTo(this), which raises
  // EConvertError "Cannot assign a <source class or nil> to a <this class>" unless a class on
  // either side knows the other.
  virtual void Assign(const TPersistent* ASource);
  // The object this one belongs to in name paths (the owner component, the collection of an item).
  virtual TPersistent* GetOwner() const { return nullptr; }
  // The name an object inspector or error message shows: "Owner.Path.ClassName" by default.
  virtual std::string GetNamePath() const;
  // Declares custom streamed values through AFiler->DefineProperty.
  virtual void DefineProperties(TFiler* AFiler);

protected:
  virtual void AssignTo(TPersistent* ADest) const;
  [[noreturn]] void AssignError(const TPersistent* ASource) const;
};

enum class TOperation : uint8_t { opInsert, opRemove };
RTL_ENUM_TYPEINFO(TOperation, "opInsert", "opRemove")

enum class TComponentStateItem : uint8_t {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csAncestor,
  csUpdating,
  csFixups,
  csFreeNotification,
  csInline,
  csDesignInstance,
};
RTL_ENUM_TYPEINFO(TComponentStateItem, "csLoading", "csReading", "csWriting", "csDestroying", "csDesigning",
                  "csAncestor", "csUpdating", "csFixups", "csFreeNotification", "csInline",
                  "csDesignInstance")
using TComponentState = TSet<TComponentStateItem>;

// While a marker lives on this thread, every component constructed on it starts with csLoading
// set, so that its AfterConstruction already sees it. A reader opens one around making a
// component it is about to read and calls Loaded when the reading is done. Markers nest.
class TComponentLoadingMarker {
public:
  TComponentLoadingMarker();
  ~TComponentLoadingMarker();
  TComponentLoadingMarker(const TComponentLoadingMarker&) = delete;
  TComponentLoadingMarker& operator=(const TComponentLoadingMarker&) = delete;
  static bool Active();
};

class TComponent : public TPersistent {
  RTL_CLASS(TComponent, TPersistent)
public:
  // The owner, when given, takes the component in AfterConstruction and frees it with itself.
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;

  // Publishes Name and Tag.
  static void RegisterProperties(TPropertyList& AList);

  void AfterConstruction() override;
  void BeforeDestruction() override;

  TComponent* Owner() const { return FOwner; }
  TPersistent* GetOwner() const override { return FOwner; }
  std::string GetNamePath() const override { return FName; }

  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  // Raises EListError for an index out of range.
  TComponent* Components(int AIndex) const;
  // The position among the owner's components, or -1.
  int ComponentIndex() const;
  // The owned component of that name (ASCII case-insensitive), or nullptr; "" finds nothing.
  TComponent* FindComponent(std::string_view AName) const;
  // Takes AComponent from its previous owner. Raises EComponentError when the name is taken here,
  // and EInvalidOperation when AComponent is this component or one of its owners.
  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);

  const std::string& Name() const { return FName; }
  // Raises EComponentError for a name that is not an identifier or is taken among the owner's
  // components (compared ignoring case). The empty name is always allowed.
  virtual void SetName(const std::string& AName);
  NativeInt Tag() const { return FTag; }
  void SetTag(NativeInt ATag) { FTag = ATag; }

  TComponentState ComponentState() const { return FComponentState; }
  void SetDesigning(bool AValue, bool ASetChildren = true);
  // The streamer brackets reading with Loading() and Loaded().
  void Loading() { FComponentState.Include(TComponentStateItem::csLoading); }
  virtual void Loaded();
  virtual void Updating() { FComponentState.Include(TComponentStateItem::csUpdating); }
  virtual void Updated() { FComponentState.Exclude(TComponentStateItem::csUpdating); }
  // Marks this component and its components csDestroying.
  void Destroying();

  // Either component is told (Notification opRemove) when the other is freed. The link is
  // symmetric and kept until one side is freed or RemoveFreeNotification is called.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Where a designer placed the component: Left in the low 32 bits, Top in the high 32 bits.
  // Streamed as the defined properties "Left" and "Top", each only when non-zero.
  int64_t DesignInfo() const { return FDesignInfo; }
  void SetDesignInfo(int64_t AValue) { FDesignInfo = AValue; }
  void DefineProperties(TFiler* AFiler) override;

  // The component this one is a child of in a visual tree (a control's parent); the streamer
  // calls SetParentComponent with the enclosing component before reading the properties.
  virtual TComponent* GetParentComponent() const { return nullptr; }
  virtual bool HasParent() const { return false; }
  virtual void SetParentComponent(TComponent* /*AParent*/) {}
  // Calls AProc for each child the streamer writes inside this component. The base lists, when
  // this component is ARoot, its owned components that have no parent component.
  using TGetChildProc = std::function<void(TComponent* AChild)>;
  virtual void GetChildren(const TGetChildProc& AProc, TComponent* ARoot);

protected:
  // AComponent was inserted into or is being removed from this component's owner tree, or a
  // free-notification partner is being freed. The base forgets a partner that goes away and
  // passes the notice on to its own components except AComponent.
  virtual void Notification(TComponent* AComponent, TOperation AOperation);

private:
  friend class TReader;
  TComponent* FOwner;
  int64_t FDesignInfo = 0;
  std::string FName;
  NativeInt FTag = 0;
  TComponentState FComponentState;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;

  bool Owns(const TComponent* AComponent) const;
  void ValidateRename(const TComponent* AComponent, const std::string& ACurName,
                      const std::string& ANewName) const;
  void DestroyComponents();
  void RemoveFreeNotifications();
};

// Components that names reach from anywhere (forms and data modules add themselves). A global
// component leaves the list when it is freed.
void AddGlobalComponent(TComponent* AComponent);
void RemoveGlobalComponent(TComponent* AComponent);
// The global component of that name (ASCII case-insensitive), or nullptr; "" finds nothing.
TComponent* FindGlobalComponent(std::string_view AName);

// A replaceable answer to whether a name is free among the global names. Empty by default: no
// answer is installed, and name helpers look the name up with FindGlobalComponent instead.
using TIsUniqueGlobalComponentName = std::function<bool(const std::string& AName)>;
// Installs AProc (an empty function removes it) and returns the one it replaces.
TIsUniqueGlobalComponentName SetIsUniqueGlobalComponentNameProc(TIsUniqueGlobalComponentName AProc);
const TIsUniqueGlobalComponentName& IsUniqueGlobalComponentNameProc();

class TCollection;

// What a collection reports to Notify about an item.
enum class TCollectionItemNotification : uint8_t { cnAdded, cnExtracting, cnDeleting };

class TCollectionItem : public TPersistent {
  RTL_CLASS(TCollectionItem, TPersistent)
public:
  TCollectionItem() = default;
  ~TCollectionItem() override;

  // Leaves the collection while still whole, so its Notify sees a complete item.
  void BeforeDestruction() override;

  TCollection* Collection() const { return FCollection; }
  // Moves the item to the end of ACollection (nullptr: out of any collection).
  void SetCollection(TCollection* ACollection);
  TPersistent* GetOwner() const override;
  std::string GetNamePath() const override;

  // The position in the collection, or -1. SetIndex moves the item; an index out of range raises
  // EListError.
  int Index() const;
  virtual void SetIndex(int AValue);
  // A number unique in the collection, kept when items move.
  int ID() const { return FID; }
  virtual std::string GetDisplayName() const { return ClassName(); }
  virtual void SetDisplayName(const std::string& AValue);

protected:
  // Tells the collection (Update) that this item, or every item, changed.
  void Changed(bool AAllItems);

private:
  friend class TCollection;
  TCollection* FCollection = nullptr;
  int FID = 0;
};

// A list of items of one item class, which it makes (Add) and frees.
class TCollection : public TPersistent {
  RTL_CLASS(TCollection, TPersistent)
public:
  // Raises EInvalidCast when AItemClass is not a TCollectionItem class.
  explicit TCollection(const TClass& AItemClass);
  ~TCollection() override;

  // Frees the items while the collection is still whole.
  void BeforeDestruction() override;
  // From another collection: clears this one and adds a copy of each item made by Assign.
  void Assign(const TPersistent* ASource) override;
  // "<owner name path>.<published property holding this collection>" when owned, else the class
  // name.
  std::string GetNamePath() const override;

  const TClass& ItemClass() const { return *FItemClass; }
  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises EListError for an index out of range.
  TCollectionItem* Items(int AIndex) const;
  // A new item of the item class made through its factory and appended; its AfterConstruction
  // runs when it is already in the collection.
  TCollectionItem* Add();
  // As Add, then moved to AIndex (0..Count).
  TCollectionItem* Insert(int AIndex);
  void Delete(int AIndex);
  void Clear();
  // Swaps two items without notification; both keep their IDs. An index out of range raises
  // EListError.
  void Exchange(int AIndex1, int AIndex2);
  TCollectionItem* FindItemID(int AID) const;

  // Update calls are held back until the outermost EndUpdate, which sends one Update(nullptr).
  virtual void BeginUpdate() { ++FUpdateCount; }
  virtual void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

protected:
  // AItem changed, or every item when AItem is nullptr.
  virtual void Update(TCollectionItem* AItem);
  virtual void Notify(TCollectionItem* AItem, TCollectionItemNotification AAction);
  void Changed();

private:
  friend class TCollectionItem;
  const TClass* FItemClass;
  std::vector<TCollectionItem*> FItems;
  int FNextID = 0;
  int FUpdateCount = 0;

  void CheckItemClass(const TCollectionItem* AItem) const;
  void InsertItem(TCollectionItem* AItem);
  void RemoveItem(TCollectionItem* AItem);
  void CheckIndex(int AIndex, int ALimit) const;
};

// A collection that belongs to a persistent object (for name paths and the streamer).
class TOwnedCollection : public TCollection {
  RTL_CLASS(TOwnedCollection, TCollection)
public:
  TOwnedCollection(TPersistent* AOwner, const TClass& AItemClass);
  TPersistent* GetOwner() const override { return FOwner; }

private:
  TPersistent* FOwner;
};

} // namespace rtl
