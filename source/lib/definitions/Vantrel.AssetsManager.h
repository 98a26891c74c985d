#pragma once
// Asset packages: zip archives of models, textures and raw data, reached through shared archive
// references. One public header for the unit; its sources are split by topic
// (Vantrel.AssetsManager.Archive.cpp: the archive references).
//
// An archive reference is the one way a package reads and writes its zip archive. Packages that
// name the same archive share one reference, counted. Every operation locks the reference (a
// re-entrant monitor), opens the zip, works, and closes it again, so every write ends with a
// complete archive. A read scope (BeginRead/EndRead) keeps the zip open across many reads.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/classes.h"
#include "rtl/properties.h"
#include "rtl/generics.h"
#include "rtl/guid.h"
#include "rtl/json.h"
#include "rtl/object.h"
#include "rtl/set.h"
#include "rtl/streams.h"
#include "rtl/zip.h"
#include "ui/bitmap.h"

namespace vantrel {

class TVantrelAssetsManager;
class TVantrelArchiveReference;
class TVantrelArchiveReferences;
namespace detail {
class TEntryNames;
}

// What an archive reference asks of the package it saves: every top-level group writes itself
// into the archive. The package implements it.
class IVantrelArchiveContent {
public:
  virtual void SaveToArchive(TVantrelArchiveReference& AArchive) = 0;

protected:
  ~IVantrelArchiveContent() = default;
};

class TVantrelArchiveReference : public rtl::TObject {
  RTL_CLASS(TVantrelArchiveReference, rtl::TObject)
public:
  // Entries are copied in pieces of this many bytes.
  static constexpr int64_t ChunkSize = 1'048'576;

  TVantrelArchiveReference(TVantrelAssetsManager* AMngr, const std::string& AId);
  // Closes the zip. The kinds free their stream after it.
  ~TVantrelArchiveReference() override;

  TVantrelAssetsManager* Manager() const { return FManager; }
  // The key in the reference dictionary: a file name, or an in-memory id.
  const std::string& Id() const { return FId; }
  // The open zip, or nullptr between operations.
  rtl::TZipFile* Archive() const { return FArchive.get(); }
  // The stream the zip is opened on.
  virtual rtl::TStream* Stream() const = 0;
  // A zip exists and is open.
  virtual bool IsOpened() const;
  int32_t RefCount() const { return FRefCount.load(); }
  // Opens minus closes.
  int32_t OpenCount() const { return FOpenCount.load(); }
  // How often the zip was really opened (read its directory) so far.
  int32_t GetZipOpenCount() const { return FZipOpenCount.load(); }

  void IncRef();
  // At 0 the dictionary that holds the reference closes (and so frees) it: the caller must not
  // touch the reference after a DecRef that may have been the last.
  void DecRef();

  // Counts an open; the kinds open the zip unless it is open already.
  virtual void Open();
  // Counts a close and closes the zip (writing its directory when it changed), unless a read
  // scope keeps it.
  virtual void Close();

  // Whether an entry of that name (ASCII case ignored) exists; false when no zip could be opened.
  virtual bool FileExists(const std::string& AFile);
  // Adds the whole of AStream as a deflated entry named APath.
  virtual void AddFromStream(rtl::TStream* AStream, const std::string& APath);
  // Nothing for a nil AStream (the zip is not even opened). Otherwise AHeader is cleared, then
  // receives the entry's local header; AStream gets the entry's bytes and is rewound.
  virtual void ReadToStream(const std::string& APath, rtl::TStream* AStream, rtl::TZipHeader& AHeader);
  // Removes the entry of that name (ASCII case ignored), when there is one.
  virtual void DeleteFile(const std::string& AFile);
  // The entry names in archive order.
  std::vector<std::string> GetFileNames();

  // APckg's top-level groups save themselves into this archive; then the kinds copy the archive
  // to AFilename or AStream.
  virtual void SaveToFile(IVantrelArchiveContent* APckg, const std::string& AFilename);
  virtual void SaveToStream(IVantrelArchiveContent* APckg, rtl::TStream* AStream);

  // A read scope: holds the lock until the matching EndRead, opens the zip at the outermost
  // BeginRead and keeps it open, so reads inside reuse it (their Open and Close only count). A
  // write inside first closes the kept zip, then runs as outside a scope; the next read reopens.
  // The outermost EndRead closes the zip.
  void BeginRead();
  void EndRead();

protected:
  // The kinds' part of Open: the stream and the zip, opened read-write on it.
  virtual void OpenArchive() = 0;
  // The kinds' part of Close, after the zip closed: the file kind frees its file stream, the
  // in-memory kind rewinds its stream.
  virtual void ArchiveClosed() = 0;
  // Opens the zip in read-write mode on AStream, counting the real open.
  void OpenZipOn(rtl::TStream* AStream);
  // Copies all of ASource (from 0) into AFilename through a temporary file beside it, which
  // replaces AFilename only when the copy succeeded.
  static void CopyToFile(rtl::TStream& ASource, const std::string& AFilename);
  static void CopyChunks(rtl::TStream& ASource, rtl::TStream& ADest, int64_t ACount);
  // Closes the zip now, whatever keeps it.
  void CloseZip();
  // Marks a writing operation: a zip kept by a read scope is closed before it and after it.
  class TWriteScope;

private:
  friend class TVantrelArchiveReferences;

  TVantrelAssetsManager* FManager;
  std::string FId;
  std::atomic<int32_t> FRefCount{0};
  std::atomic<int32_t> FOpenCount{0};
  std::atomic<int32_t> FZipOpenCount{0};
  rtl::TOwned<rtl::TZipFile> FArchive;
  // The dictionary that holds this reference, set when it is added.
  TVantrelArchiveReferences* FReferences = nullptr;
  int FReadDepth = 0;
  int FWriteDepth = 0;

  bool KeptByReadScope() const { return FReadDepth > 0 && FWriteDepth == 0; }
};

// A package file on disk. The file is open only while the zip is.
class TVantrelFileArchiveReference : public TVantrelArchiveReference {
  RTL_CLASS(TVantrelFileArchiveReference, TVantrelArchiveReference)
public:
  TVantrelFileArchiveReference(TVantrelAssetsManager* AMngr, const std::string& AId)
      : TVantrelArchiveReference(AMngr, AId) {}
  ~TVantrelFileArchiveReference() override;

  rtl::TStream* Stream() const override { return FStream.get(); }

  // To the reference's own file name nothing is copied.
  void SaveToFile(IVantrelArchiveContent* APckg, const std::string& AFilename) override;
  void SaveToStream(IVantrelArchiveContent* APckg, rtl::TStream* AStream) override;

protected:
  // An existing file opens for reading and writing, shared; a missing one is created (an empty
  // archive, whose end record the close writes).
  void OpenArchive() override;
  void ArchiveClosed() override { FStream.reset(); }

private:
  rtl::TOwned<rtl::TFileStream> FStream;

  rtl::TOwned<rtl::TFileStream> OpenFile() const;
};

// A package kept in memory. The stream lives as long as the reference.
class TVantrelInMemoryArchiveReference : public TVantrelArchiveReference {
  RTL_CLASS(TVantrelInMemoryArchiveReference, TVantrelArchiveReference)
public:
  TVantrelInMemoryArchiveReference(TVantrelAssetsManager* AMngr, const std::string& AId)
      : TVantrelArchiveReference(AMngr, AId) {}
  // Closes the zip while the stream still exists, then frees the stream.
  ~TVantrelInMemoryArchiveReference() override;

  rtl::TStream* Stream() const override { return FStream.get(); }

  // Replaces the archive's bytes with AStream's, from its position to its end; nothing for nil.
  void ApplyStream(rtl::TStream* AStream);
  void SaveToFile(IVantrelArchiveContent* APckg, const std::string& AFilename) override;
  void SaveToStream(IVantrelArchiveContent* APckg, rtl::TStream* AStream) override;

protected:
  void OpenArchive() override;
  void ArchiveClosed() override;

private:
  rtl::TOwned<rtl::TMemoryStream> FStream;
};

// The references of one manager by id (keys compared exactly), in insertion order. It owns them:
// a reference leaving the dictionary is freed. Every operation holds the dictionary's lock; a
// create holds it across lookup, creation and insertion, so two packages asking for one id at
// once get one reference.
class TVantrelArchiveReferences : public rtl::TObject {
  RTL_CLASS(TVantrelArchiveReferences, rtl::TObject)
public:
  explicit TVantrelArchiveReferences(TVantrelAssetsManager* AMngr);
  ~TVantrelArchiveReferences() override;

  TVantrelAssetsManager* Manager() const { return FManager; }
  int Count() const;
  // The ids in insertion order.
  std::vector<std::string> Ids() const;

  // Each returns the reference of that id with one more reference count, made (and added) when
  // absent. CreateArchiveByStream copies AStream into a new in-memory reference; an existing id
  // ignores AStream.
  TVantrelArchiveReference* CreateArchiveByFilename(const std::string& AFileName);
  TVantrelArchiveReference* CreateArchiveByStream(const std::string& AId, rtl::TStream* AStream);
  TVantrelArchiveReference* CreateArchiveInMemory(const std::string& AId);

  bool ArchiveExists(const std::string& AId) const;
  // The reference, or nullptr.
  TVantrelArchiveReference* GetArchive(const std::string& AId) const;
  // Removes and frees the reference of that id, when present.
  void CloseArchive(const std::string& AId);
  void ClearArchives();

private:
  TVantrelAssetsManager* FManager;
  rtl::TObjectDictionary<std::string, TVantrelArchiveReference*> FItems{rtl::TDictionaryOwnership::doOwnsValues};

  // The reference of AId, made by AMake when absent, with one more count.
  template <class TMake> TVantrelArchiveReference* Acquire(const std::string& AId, TMake AMake);
};

// ---- Assets ----------------------------------------------------------------------------------------
//
// A package holds groups; a group holds the assets of one asset class by id and frees them; an
// asset may own sub-groups of further assets (a model its textures). A groupless asset (Group
// nullptr) belongs to whoever made it.

RTL_DECLARE_EXCEPTION(EVantrelAssetsException, EAbort);

class TVantrelAsset;
class TVantrelAssetsGroup;
class TVantrelAssetsGroupCollection;
class TVantrelAssetsPackage;

class TVantrelTextureAsset;

// What a texture definition asks of the package its model belongs to. Both act on group 1 (the
// textures) of AOwnerAsset's sub-groups, or of the package without an owner asset. The package
// class implements it; a package object without it is refused with EInvalidCast.
class IVantrelAssetsPackage {
public:
  // The texture asset of that id, or nullptr.
  virtual TVantrelTextureAsset* GetOwnerTextureAssetFromId(rtl::TObject* AOwnerAsset, const rtl::TGUID& AId) = 0;
  // A new empty texture asset with that id, held by the group.
  virtual TVantrelTextureAsset* AddEmptyTextureAsset(rtl::TObject* AOwnerAsset, const rtl::TGUID& AId) = 0;

protected:
  ~IVantrelAssetsPackage() = default;
};

enum class TVantrelLevelOfDetail : uint8_t { LowQuality, MediumQuality, HighQuality, ExcellentQuality };
RTL_ENUM_TYPEINFO(TVantrelLevelOfDetail, "LowQuality", "MediumQuality", "HighQuality", "ExcellentQuality")

enum class TVantrelPackageEvent : uint8_t {
  PackageModified = 0,
  PackageInitialize = 1,
  PackageClear = 2,
  PackageName = 3,
  PackageLoad = 4,
  PackageAssign = 5,
  GroupsModified = 6,
  GroupAssign = 7,
  GroupAdd = 8,
  GroupRemove = 9,
  GroupClear = 10,
  AssetsModified = 11,
  AssetAdd = 12,
  AssetRemove = 13,
  AssetClear = 14
};

using TOnPackageEvent = std::function<void(TVantrelAssetsPackage*, TVantrelPackageEvent, rtl::TObject*)>;

enum class TAssetImportFlag : uint8_t { StrictFileName, Cached };
RTL_ENUM_TYPEINFO(TAssetImportFlag, "StrictFileName", "Cached")
using TAssetImportFlags = rtl::TSet<TAssetImportFlag>;

enum class TAssetState : uint8_t { asUndef = 0, asLoading = 1, asLoaded = 2, asStoring = 3, asStored = 4 };

// The metaclass of the asset classes: what a kind answers without an instance. Each kind
// overrides these in its own metaclass; the base raises EAbstractError for the abstract ones.
class TVantrelAssetClass : public rtl::TClass {
public:
  using rtl::TClass::TClass;

  // The kind's standard group index and name, and its lower-case extensions with dots.
  virtual int GetGroupId() const;
  virtual std::string GetGroupDescr() const;
  virtual const std::vector<std::string>& GetSupportedExtensions() const;
  // AExt equals one of the kind's extensions exactly (no case folding).
  virtual bool IsExtensionSupported(const std::string& AExt) const;
  // APath + "/asset.json".
  virtual std::string GetDescriptorPath(const std::string& APath) const;
  // Opens AFilename read-only and shared and imports it through ImportFromStream; the file is
  // closed afterwards.
  virtual TVantrelAsset* ImportFromFile(TVantrelAssetsGroup* AGroup, const std::string& AFilename,
                                        TAssetImportFlags AFlags) const;
  // Makes an asset of the kind in AGroup from AStream and puts it into the group's dictionary.
  virtual TVantrelAsset* ImportFromStream(TVantrelAssetsGroup* AGroup, const std::string& AFilename,
                                          rtl::TStream* AStream, TAssetImportFlags AFlags) const;
  // Reads the asset in the archive folder APath into AGroup (see the asset's LoadFromArchive).
  virtual TVantrelAsset* LoadFromArchive(TVantrelArchiveReference* AArchive, TVantrelAssetsGroup* AGroup,
                                         const std::string& APath) const;
  // A new asset of this class for AGroup, not yet in any dictionary.
  virtual TVantrelAsset* CreateAsset(TVantrelAssetsGroup* AGroup) const;

  bool InheritsFromAsset(const TVantrelAssetClass& AClass) const { return InheritsFrom(AClass); }
  // The first of the ten standard classes, in group order, that supports AExt; nullptr for none.
  static const TVantrelAssetClass* GetSupportedAssetClass(const std::string& AExt);
  // The ten standard classes in group order (index = group id).
  static const std::vector<const TVantrelAssetClass*>& StandardClasses();
};

// The metaclass of a kind T (TBase: the metaclass of its parent) answering the kind questions
// from T's ClassGroupId, ClassGroupDescr and ClassExtensions().
template <class T, class TBase = TVantrelAssetClass> class TVantrelAssetClassOf : public TBase {
public:
  using TBase::TBase;
  int GetGroupId() const override { return T::ClassGroupId; }
  std::string GetGroupDescr() const override { return T::ClassGroupDescr; }
  const std::vector<std::string>& GetSupportedExtensions() const override { return T::ClassExtensions(); }
};

// The base of every asset: identity, file name, state, sub-groups, descriptor and the generic
// part of writing to and reading from the package archive.
class TVantrelAsset : public rtl::TPersistent {
  RTL_CLASS_META(TVantrelAsset, rtl::TPersistent, TVantrelAssetClass)
public:
  // A new GUID as Id and an empty sub-group collection.
  explicit TVantrelAsset(TVantrelAssetsGroup* AGroup = nullptr);
  // Frees the sub-groups with their assets while the asset is whole.
  void BeforeDestruction() override;
  ~TVantrelAsset() override;
  static void RegisterProperties(rtl::TPropertyList& AList);

  const TVantrelAssetClass& AssetClass() const { return static_cast<const TVantrelAssetClass&>(ClassType()); }
  TVantrelAssetsGroup* Group() const { return FGroup; }
  // The group's package, or nullptr (groupless, or a group outside any package).
  TVantrelAssetsPackage* Package() const;
  const rtl::TGUID& Id() const { return FId; }
  void SetId(const rtl::TGUID& AValue) { FId = AValue; }
  // The file name (normally without folders) and the extension with its dot.
  const std::string& Filename() const { return FFilename; }
  void SetFilename(std::string AValue) { FFilename = std::move(AValue); }
  const std::string& Extension() const { return FExtension; }
  void SetExtension(std::string AValue) { FExtension = std::move(AValue); }
  // The payload is held in memory.
  bool Cached() const { return FCached; }
  void SetCached(bool AValue) { FCached = AValue; }
  // The asset belongs to no package's lifetime: its user frees it.
  bool IsStandalone() const { return FIsStandalone; }
  void SetIsStandalone(bool AValue) { FIsStandalone = AValue; }
  TAssetState State() const { return FState; }
  void SetState(TAssetState AValue) { FState = AValue; }
  // True while the payload is being read from an archive.
  bool ReadingFromArchive() const { return FReadingFromArchive > 0; }
  TVantrelAssetsGroupCollection* SubGroups() const { return FSubGroups.get(); }
  void SetSubGroups(const TVantrelAssetsGroupCollection* AValue);

  // ---- sub-groups ----
  // The sub-group named by AClass's group name, or a new one for AClass.
  TVantrelAssetsGroup* AddSubGroup(const TVantrelAssetClass& AClass);
  void RemoveSubGroup(int AIdx);
  void RemoveSubGroup(const std::string& ADescr);
  void ClearSubGroup(int AIdx);
  TVantrelAssetsGroup* GetSubGroup(int AIdx) const;
  TVantrelAssetsGroup* GetSubGroup(const std::string& ADescr) const;
  int GetSubGroupIndex(const std::string& ADescr) const;
  int GetSubGroupIndex(const TVantrelAssetsGroup* ASubGroup) const;
  // The first sub-group whose class lists the lower-case AExt.
  TVantrelAssetsGroup* GetSubGroupByExtension(const std::string& AExt) const;
  TVantrelAsset* FindSubAsset(const std::string& AFilename, bool AStrictFilename) const;
  bool SubAssetExists(const std::string& AFilename) const { return FindSubAsset(AFilename, false) != nullptr; }
  TVantrelAsset* AddSubAssetFromFile(const std::string& AFilename);
  // The sub-group at that index and its operation (not strict); no sub-group raises "invalid
  // group name".
  TVantrelAsset* GetSubAssetFromId(int ASubGroup, const rtl::TGUID& AId);
  TVantrelAsset* GetSubAssetFromFile(int ASubGroup, const std::string& AFilename);
  TVantrelAsset* GetSubAssetFromStream(int ASubGroup, const std::string& AFilename, rtl::TStream* AStream);

  // ---- archive ----
  // The group's path, "/", and the id in braces (38 upper-case characters).
  virtual std::string GetArchivePath() const;
  // The base part of a kind's save: the group's descriptor when missing, this descriptor, then
  // every sub-group. Nothing without an archive.
  virtual void SaveToArchive(TVantrelArchiveReference* AArchive, const std::string& AGroupPath);
  // The kind reads its payload from the folder APath; the base reads nothing.
  virtual void LoadPayload(TVantrelArchiveReference* AArchive, const std::string& APath);
  // Saves this asset into its package's archive (opened around the save), when it has one.
  virtual void UpdateInArchive();
  // Reads the descriptor in APath, makes the asset of its "Type" for AGroup and its payload and
  // sub-assets; nullptr without a descriptor or a known type. A refused duplicate yields the
  // group's asset of that id; a descriptor of the wrong class raises (the new asset is freed).
  // ANames: the archive's entry names when the caller has them (a package scan), else read here.
  static TVantrelAsset* LoadFromArchive(TVantrelArchiveReference* AArchive, TVantrelAssetsGroup* AGroup,
                                        const std::string& APath, const detail::TEntryNames* ANames = nullptr);

  // ---- import ----
  // Opens AFilename read-only, not shared, and imports it through ImportFromStream.
  virtual void ImportFromFile(const std::string& AFilename, TAssetImportFlags AFlags);
  // The kind reads its payload; the base raises EAbstractError.
  virtual void ImportFromStream(const std::string& AFilename, rtl::TStream* AStream, TAssetImportFlags AFlags);

  // The object's own size plus two bytes per character of Filename.
  virtual int64_t GetSize() const;
  // "<indent><Filename> (<Extension>)\r\n", then each sub-group's Log with the indent doubled.
  std::string Log(const std::string& AIndent) const;

  // "Type" (the unit-qualified class name), "Id", "Version" "1.3", "Filename" (URL-encoded),
  // "Extension".
  virtual std::unique_ptr<rtl::TJSONObject> ToJSON() const;
  // "Id" is required (EVantrelAssetsException "failed to load asset - id not set") and read as a
  // GUID (a malformed one reads empty); "Filename" (URL-decoded) and "Extension" when present.
  virtual void FromJSON(const rtl::TJSONObject& AValue);

protected:
  // The in-memory size of the object itself (each kind answers sizeof itself).
  virtual int64_t InstanceSize() const { return sizeof(*this); }
  // Writes the descriptor entry for AArchive: ToJSON with "path", compact ASCII text.
  void WriteDescriptor(TVantrelArchiveReference& AArchive);
  // A kind's save bracket: returns false (nothing to do) while a save runs; otherwise the state
  // is asStoring until the guard ends, then asStored when Stored() was called, else the state
  // from before (a no-op or a failure leaves the asset savable).
  class TStoreGuard {
  public:
    explicit TStoreGuard(TVantrelAsset& AAsset);
    ~TStoreGuard();
    bool Active() const { return FActive; }
    void Stored() { FStored = true; }
    TStoreGuard(const TStoreGuard&) = delete;
    TStoreGuard& operator=(const TStoreGuard&) = delete;

  private:
    TVantrelAsset& FAsset;
    TAssetState FPrevious;
    bool FActive;
    bool FStored = false;
  };
  // Replaces the payload entry (the archive folder, "/", Filename without folders) with AData.
  void WritePayload(TVantrelArchiveReference& AArchive, const std::string& AGroupPath, rtl::TStream& AData);
  // The payload entry name for the archive folder APath.
  std::string PayloadPath(const std::string& APath) const;

private:
  friend class TVantrelAssetClass;
  TVantrelAssetsGroup* FGroup;
  rtl::TOwned<TVantrelAssetsGroupCollection> FSubGroups;
  rtl::TGUID FId;
  std::string FFilename;
  std::string FExtension;
  bool FCached = false;
  bool FIsStandalone = false;
  int FReadingFromArchive = 0;
  TAssetState FState = TAssetState::asUndef;

  void LoadSubAssets(TVantrelArchiveReference& AArchive, const std::string& APath, const detail::TEntryNames& ANames);
  TVantrelAssetsGroup* RequireSubGroup(int AIdx, const std::string& AWhat) const;
};

// The asset dictionary of a group, an object so that package events can name it.
class TVantrelAssetDictionary : public rtl::TObject, public rtl::TDictionary<rtl::TGUID, TVantrelAsset*> {
  RTL_CLASS(TVantrelAssetDictionary, rtl::TObject)
public:
  TVantrelAssetDictionary() = default;
};

// A group of assets of one class, keyed by id; it owns them.
class TVantrelAssetsGroup : public rtl::TCollectionItem {
  RTL_CLASS(TVantrelAssetsGroup, rtl::TCollectionItem)
public:
  TVantrelAssetsGroup();
  // Clear(false) while still whole.
  void BeforeDestruction() override;
  ~TVantrelAssetsGroup() override;
  static void RegisterProperties(rtl::TPropertyList& AList);

  // Sets the asset class and makes the dictionary when missing.
  void Initialize(const TVantrelAssetClass* AAssetClass);

  std::string GetDisplayName() const override { return FDescr; }
  void SetDisplayName(const std::string& AValue) override;
  // The collection's package; raises the collection's owner messages.
  virtual TVantrelAssetsPackage* Package() const;
  // This group's DisplayName among its package's top-level groups; -1 without a package.
  virtual int GroupIndex() const;
  TVantrelAsset* OwnerAsset() const { return FOwnerAsset; }
  void SetOwnerAsset(TVantrelAsset* AValue) { FOwnerAsset = AValue; }
  const TVantrelAssetClass* AssetClass() const { return FAssetClass; }
  TVantrelAssetDictionary& Assets() { return *FAssets; }
  const TVantrelAssetDictionary& Assets() const { return *FAssets; }
  int Count() const { return FAssets ? FAssets->Count() : 0; }
  // The short class name; without a class, the standard class of GroupIndex 0..9 (then kept),
  // else "TVantrelAsset".
  virtual std::string GetAssetClassName() const;
  // The registered class of that (plain or qualified) name when it is an asset class; an
  // unregistered name sets TVantrelAsset; other classes are ignored.
  virtual void SetAssetClassName(const std::string& AValue);

  TVantrelAsset* GetAssetFromId(const rtl::TGUID& AId) const;
  TVantrelAsset* FindAssetByFilename(const std::string& AFilename, bool AStrictFilename) const;
  TVantrelAsset* GetAssetFromFile(const std::string& AFilename, bool AStrictFilename);
  TVantrelAsset* GetAssetFromStream(const std::string& AFilename, rtl::TStream* AStream, bool AStrictFilename);
  // False for nullptr and for an id present (logged); raises for an asset not exactly of the
  // group's class.
  virtual bool AddAsset(TVantrelAsset* AAsset);
  TVantrelAsset* AddEmptyAsset(const std::string& AFileName, bool AStrictFileName);
  TVantrelAsset* AddEmptyAsset(const rtl::TGUID& AId);
  // Frees every asset; with ADeleteInArchive also removes their entries (recursively) and the
  // group's descriptor from the package's archive.
  void Clear(bool ADeleteInArchive);
  void Delete() { Clear(true); }
  void Assign(const rtl::TPersistent* ASource) override;

  virtual std::string GetGroupPath() const;
  static std::string GetDescriptorPath(const std::string& APath) { return APath + "/group.json"; }
  virtual std::unique_ptr<rtl::TJSONObject> ToJSON() const;
  virtual void FromJSON(const rtl::TJSONObject& AValue);
  virtual void SaveToArchive(TVantrelArchiveReference* AArchive);
  // The group described by APath + "/group.json" made in ACollection; nullptr without that
  // entry or without a known "AssetClass".
  static TVantrelAssetsGroup* LoadFromArchive(rtl::TCollection* ACollection, TVantrelArchiveReference* AArchive,
                                              const std::string& APath);
  virtual int64_t GetSize() const;
  std::string Log(const std::string& AIndent) const;

  // Fires the package's event before (ABefore) or after a change; nothing without a package.
  void Fire(TVantrelPackageEvent AEvent, bool ABefore, rtl::TObject* AItem) const;

protected:
  // Fires AssetRemove around freeing an asset that leaves the dictionary.
  virtual void AssetNotify(TVantrelAsset* AAsset, rtl::TCollectionNotification AAction);

private:
  std::string FDescr;
  TVantrelAsset* FOwnerAsset = nullptr;
  mutable const TVantrelAssetClass* FAssetClass = nullptr;
  rtl::TOwned<TVantrelAssetDictionary> FAssets;

  // The package, or nullptr where Package() would raise.
  TVantrelAssetsPackage* TryPackage() const;
  void CreateDictionary();
  void DeleteInArchive(TVantrelArchiveReference& AArchive);
};

// The groups of a package (its owner) or of an asset (its sub-groups).
class TVantrelAssetsGroupCollection : public rtl::TOwnedCollection {
  RTL_CLASS(TVantrelAssetsGroupCollection, rtl::TOwnedCollection)
public:
  explicit TVantrelAssetsGroupCollection(rtl::TPersistent* AOwner);
  TVantrelAssetsGroup* Items(int AIndex) const;
  // The owning package, or the owning asset's group's package; raises Exception for any other
  // owner, no owner, or an owning asset without group.
  TVantrelAssetsPackage* Package() const;
  // As Package, nullptr where it would raise.
  TVantrelAssetsPackage* TryPackage() const;
  int IndexOf(const std::string& ADescr) const;
  TVantrelAssetsGroup* Find(const std::string& ADescr) const;
};

// ---- Packages and the manager ------------------------------------------------------------------

// One package: a zip archive of groups, on disk or in memory.
class TVantrelAssetsPackage : public rtl::TCollectionItem,
                              public IVantrelAssetsPackage,
                              public IVantrelArchiveContent {
  RTL_CLASS(TVantrelAssetsPackage, rtl::TCollectionItem)
public:
  TVantrelAssetsPackage();
  // Initialize, now that the package is in its collection.
  void AfterConstruction() override;
  // Close, then the groups are freed.
  void BeforeDestruction() override;
  ~TVantrelAssetsPackage() override;
  static void RegisterProperties(rtl::TPropertyList& AList);

  TVantrelAssetsManager* Manager() const;
  const rtl::TGUID& GUID() const { return FGUID; }
  std::string GetDisplayName() const override { return FDescr; }
  void SetDisplayName(const std::string& AValue) override;
  TVantrelAssetsGroupCollection* GetGroups() const { return FGroups.get(); }
  void SetGroups(const TVantrelAssetsGroupCollection* AValue);
  const std::string& GetFilename() const { return FFilename; }
  // Expands placeholders, resolves a relative folder against the executable's, probes the folder
  // for write access and loads (or creates) the package file.
  void SetFilename(const std::string& AValue);
  const TOnPackageEvent& OnModifyBefore() const { return FOnModifyBefore; }
  void SetOnModifyBefore(TOnPackageEvent AValue) { FOnModifyBefore = std::move(AValue); }
  const TOnPackageEvent& OnModifyAfter() const { return FOnModifyAfter; }
  void SetOnModifyAfter(TOnPackageEvent AValue) { FOnModifyAfter = std::move(AValue); }

  // Fires OnModifyBefore or OnModifyAfter, when set.
  void Fire(TVantrelPackageEvent AEvent, bool ABefore, rtl::TObject* AItem);

  // Told before the package frees model definitions: all of them with its groups and assets
  // (ADefinition nullptr; AWhole when the package itself goes: removed, cleared with the others,
  // freed with its manager), or the one definition a model asset frees (removed, re-imported or
  // reloaded). Packages are collection items and send no component notification, so a control
  // that shows a definition held here watches the package through this.
  using TOnContentFreeing =
      std::function<void(TVantrelAssetsPackage* APackage, bool AWhole, const TModelDef* ADefinition)>;
  // One handler per key; a second call with the same key replaces it.
  void AddWatcher(const void* AKey, TOnContentFreeing AHandler);
  void RemoveWatcher(const void* AKey);
  // Tells the watchers that a model asset is about to free ADefinition.
  void DefinitionFreeing(const TModelDef* ADefinition) { NotifyWatchers(false, ADefinition); }

  void Initialize();
  // Releases the archive reference.
  void Close();
  virtual void Clear(bool ADeleteInArchive);
  virtual void Delete() { Clear(true); }

  TVantrelAssetsGroup* AddGroup(const TVantrelAssetClass& AClass);
  void RemoveGroup(int AIdx);
  void RemoveGroup(const std::string& ADescr);
  void ClearGroup(int AIdx, bool ADeleteInArchive);
  // The group at AIdx; for 0..9 it must carry that index's standard or legacy name, else the
  // correlation line is logged and the group of that name is taken.
  TVantrelAssetsGroup* GetGroup(int AIdx) const;
  TVantrelAssetsGroup* GetGroup(const std::string& ADescr) const;
  int GetGroupIndex(const std::string& ADescr) const;
  int GetGroupIndex(const TVantrelAssetsGroup* AGroup) const;
  TVantrelAssetsGroup* GetGroupByExtension(const std::string& AExt) const;

  TVantrelAsset* FindAsset(const std::string& AFilename, bool AStrictFilename) const;
  bool AssetExists(const std::string& AFilename) const { return FindAsset(AFilename, false) != nullptr; }
  // The asset whose descriptor or folder APath names, nested to any depth; nullptr for none.
  TVantrelAsset* FindAssetByArchivePath(const std::string& APath) const;
  TVantrelAsset* AddAssetFromFile(const std::string& AFilename);
  TVantrelAsset* GetAssetFromId(int AGroup, const rtl::TGUID& AId);
  TVantrelAsset* GetAssetFromFile(int AGroup, const std::string& AFilename);
  TVantrelAsset* GetAssetFromFile(const std::string& AGroupName, const std::string& AFilename);
  TVantrelAsset* GetAssetFromStream(int AGroup, const std::string& AFilename, rtl::TStream* AStream);
  TVantrelAsset* GetOwnerAssetFromId(TVantrelAsset* AOwner, int AGroup, const rtl::TGUID& AId);
  TVantrelAsset* GetOwnerAssetFromFile(TVantrelAsset* AOwner, int AGroup, const std::string& AFilename);
  TVantrelAsset* GetOwnerAssetFromStream(TVantrelAsset* AOwner, int AGroup, const std::string& AFilename,
                                         rtl::TStream* AStream);

  bool HasArchive() const { return FArchive != nullptr; }
  // The archive reference, made on first use: in memory under DisplayName without Filename,
  // else for the file.
  TVantrelArchiveReference* GetArchive();

  virtual void LoadFromFile(const std::string& AFilename);
  virtual void LoadFromStream(rtl::TStream* AStream);
  // Nothing without an archive.
  virtual void SaveToFile(const std::string& AFilename, bool AAutoReopen = false);
  virtual void SaveToStream(rtl::TStream* AStream);

  void SetUserLoadOptions(const TVantrelLoadOptions& AOpts);
  void UnsetUserLoadOptions();
  bool UserLoadOptionsActive() const { return FUserOptionsSet; }
  const TVantrelLoadOptions& UserLoadOptions() const { return FUserOptions; }

  // Reloads the file when Filename is set.
  void Refresh();
  void Assign(const rtl::TPersistent* ASource) override;
  virtual int64_t GetSize() const;
  std::string Log() const;

  // IVantrelAssetsPackage: group 1 of the owner asset's sub-groups, or of the package.
  TVantrelTextureAsset* GetOwnerTextureAssetFromId(rtl::TObject* AOwnerAsset, const rtl::TGUID& AId) override;
  TVantrelTextureAsset* AddEmptyTextureAsset(rtl::TObject* AOwnerAsset, const rtl::TGUID& AId) override;
  // IVantrelArchiveContent: every top-level group saves itself.
  void SaveToArchive(TVantrelArchiveReference& AArchive) override;

  // The placeholder expansion of a package file name ("{HOME}" and the others, case ignored;
  // every "\" becomes "/").
  static std::string ExpandPlaceholders(const std::string& AText);

private:
  TVantrelArchiveReference* FArchive = nullptr;
  std::string FFilename;
  rtl::TGUID FGUID;
  std::string FDescr;
  rtl::TOwned<TVantrelAssetsGroupCollection> FGroups;
  bool FUserOptionsSet = false;
  TVantrelLoadOptions FUserOptions;
  TOnPackageEvent FOnModifyBefore;
  TOnPackageEvent FOnModifyAfter;
  std::vector<std::pair<const void*, TOnContentFreeing>> FWatchers;

  // Calls every watcher, each at most once, while any may remove itself or another.
  void NotifyWatchers(bool AWhole, const TModelDef* ADefinition = nullptr);
  TVantrelArchiveReferences& RequireReferences(const char* ANoManager, const char* ANoReferences) const;
  // Reads every asset folder of the archive into the groups, in one read scope.
  void ScanArchive();
  TVantrelAssetsGroup* GroupOf(TVantrelAsset* AOwner, int AGroup, const std::string& AWhat);
  TVantrelAssetsGroup* TextureGroupOf(rtl::TObject* AOwnerAsset) const;
};

class TVantrelAssetsPackageCollection : public rtl::TOwnedCollection {
  RTL_CLASS(TVantrelAssetsPackageCollection, rtl::TOwnedCollection)
public:
  explicit TVantrelAssetsPackageCollection(TVantrelAssetsManager* AOwner);
  TVantrelAssetsPackage* Items(int AIndex) const;
  TVantrelAssetsManager* Manager() const;
};

// The component placed on forms: packages and the archive references they share.
class TVantrelAssetsManager : public rtl::TComponent {
  RTL_CLASS(TVantrelAssetsManager, rtl::TComponent)
public:
  explicit TVantrelAssetsManager(rtl::TComponent* AOwner);
  // Frees the packages, then the archive references.
  ~TVantrelAssetsManager() override;
  static void RegisterProperties(rtl::TPropertyList& AList);

  TVantrelArchiveReferences* ArchiveReferences() const { return FArchiveReferences.get(); }
  TVantrelLevelOfDetail GetLOD() const { return FLOD; }
  void SetLOD(TVantrelLevelOfDetail AValue) { FLOD = AValue; }
  TVantrelAssetsPackageCollection* GetPackages() const { return FPackages.get(); }
  void SetPackages(const TVantrelAssetsPackageCollection* AValue);

  void Refresh();
  int64_t GetSize() const;
  TVantrelAssetsPackage* AddEmptyPackage(const std::string& ADescr);
  int GetPackageIndex(const rtl::TGUID& AGUID) const;
  int GetPackageIndex(const std::string& ADescr) const;
  TVantrelAssetsPackage* GetPackage(const rtl::TGUID& AGUID) const;
  TVantrelAssetsPackage* GetPackage(const std::string& ADescr) const;
  void RemovePackage(const rtl::TGUID& AGUID);
  void RemovePackage(const std::string& ADescr);
  void ClearPackages();
  TVantrelAssetsPackage* LoadPackageFromFile(const std::string& AFilename);

private:
  rtl::TOwned<TVantrelArchiveReferences> FArchiveReferences;
  TVantrelLevelOfDetail FLOD = TVantrelLevelOfDetail::LowQuality;
  rtl::TOwned<TVantrelAssetsPackageCollection> FPackages;
};

// ---- Asset kinds ------------------------------------------------------------------------------------

class TVantrelTextureAssetClass : public TVantrelAssetClass {
public:
  using TVantrelAssetClass::TVantrelAssetClass;
  // Records the name only; the picture is read on first use of Bitmap.
  TVantrelAsset* ImportFromFile(TVantrelAssetsGroup* AGroup, const std::string& AFilename,
                                TAssetImportFlags AFlags) const override;
  TVantrelAsset* ImportFromStream(TVantrelAssetsGroup* AGroup, const std::string& AFilename, rtl::TStream* AStream,
                                  TAssetImportFlags AFlags) const override;
};

using TVantrelTextureAssetMeta = TVantrelAssetClassOf<TVantrelTextureAsset, TVantrelTextureAssetClass>;

// A texture: its original file name and, once loaded, its bitmap (owned).
class TVantrelTextureAsset : public TVantrelAsset {
  RTL_CLASS_META(TVantrelTextureAsset, TVantrelAsset, TVantrelTextureAssetMeta)
public:
  static constexpr int ClassGroupId = 1;
  static constexpr const char* ClassGroupDescr = "TEXTURE";
  static const std::vector<std::string>& ClassExtensions();

  explicit TVantrelTextureAsset(TVantrelAssetsGroup* AGroup = nullptr) : TVantrelAsset(AGroup) {}
  // A new asset of AGroup (nullptr: groupless, owned by the caller).
  static TVantrelTextureAsset* Create(TVantrelAssetsGroup* AGroup) { return rtl::New<TVantrelTextureAsset>(AGroup); }
  ~TVantrelTextureAsset() override;

  // The file name as imported, with its folders.
  const std::string& OriginalFilename() const { return FOriginalFilename; }
  void SetOriginalFilename(std::string AValue) { FOriginalFilename = std::move(AValue); }
  // The image, loaded on first use from the cache, the package archive or the original file;
  // nullptr when no source is found.
  virtual ui::TBitmap* Bitmap();
  // The held bitmap without loading, or nullptr.
  ui::TBitmap* CachedBitmap() const { return FCachedBitmap.get(); }
  // The payload entry decoded into a new texture bitmap (the caller frees it); nullptr without
  // the entry.
  virtual ui::TBitmap* ReadBitmapFromArchive(TVantrelArchiveReference* AArchive);
  // The flips the bitmap carries from texture definitions that share it.
  TTextureFlippings AppliedFlips() const { return FAppliedFlips; }
  void SetAppliedFlips(TTextureFlippings AValue) { FAppliedFlips = AValue; }

  // Opens AFilename read-only and shared and imports it through ImportFromStream.
  void ImportFromFile(const std::string& AFilename, TAssetImportFlags AFlags) override;
  // Records AFilename as OriginalFilename and its bare name as Filename; with Cached decodes
  // AStream (when given) into the cached bitmap; with a group saves itself when its descriptor
  // is missing; without one takes AFilename's extension when it has none.
  void ImportFromStream(const std::string& AFilename, rtl::TStream* AStream, TAssetImportFlags AFlags) override;
  // Takes ownership of ABitmap as the cached bitmap under AFilename, flagged cached and
  // standalone (the same error for an empty name; ABitmap is then freed).
  virtual void ImportFromCachedBitmap(const std::string& AFilename, rtl::TOwned<ui::TBitmap> ABitmap);

  // Stores the bitmap as PNG under Filename, unless the payload exists (a stored texture is not
  // encoded again).
  void SaveToArchive(TVantrelArchiveReference* AArchive, const std::string& AGroupPath) override;

  // The base members, then "OriginalFilename" (URL-encoded Filename).
  std::unique_ptr<rtl::TJSONObject> ToJSON() const override;
  // The base members, then "OriginalFilename" (URL-decoded) when present.
  void FromJSON(const rtl::TJSONObject& AValue) override;

protected:
  int64_t InstanceSize() const override { return sizeof(*this); }

private:
  std::string FOriginalFilename;
  rtl::TOwned<ui::TBitmap> FCachedBitmap;
  TTextureFlippings FAppliedFlips;

  void CheckExtension();
  rtl::TOwned<ui::TBitmap> DecodeFile(const std::string& AFileName);
};

class TVantrelModelAssetClass : public TVantrelAssetClass {
public:
  using TVantrelAssetClass::TVantrelAssetClass;
  TVantrelAsset* ImportFromStream(TVantrelAssetsGroup* AGroup, const std::string& AFilename, rtl::TStream* AStream,
                                  TAssetImportFlags AFlags) const override;
};

class TVantrelModelAsset;
using TVantrelModelAssetMeta = TVantrelAssetClassOf<TVantrelModelAsset, TVantrelModelAssetClass>;

// A model: one owned definition and the ten standard sub-groups for the media it uses.
class TVantrelModelAsset : public TVantrelAsset {
  RTL_CLASS_META(TVantrelModelAsset, TVantrelAsset, TVantrelModelAssetMeta)
public:
  static constexpr int ClassGroupId = 0;
  static constexpr const char* ClassGroupDescr = "MODEL";
  static const std::vector<std::string>& ClassExtensions();

  explicit TVantrelModelAsset(TVantrelAssetsGroup* AGroup = nullptr);
  // Frees the definition before the sub-groups: its texture registry refers to their assets.
  void BeforeDestruction() override;
  ~TVantrelModelAsset() override;

  TModelDef* Model() const { return FModel.get(); }
  // Takes ownership (the definition it holds already is kept); points the definition back at this
  // asset and, unless reading from an archive, updates the asset in the archive.
  virtual void SetModel(rtl::TOwned<TModelDef> AValue);

  // Reads AStream through the loader chosen by AFilename's extension (lower-cased); with a
  // package the asset then saves itself. An empty name raises
  // "AssetsManager.ModelAsset - filename empty", an extension shorter than two characters or
  // without its dot "AssetsManager.ModelAsset exception - invalid file extension `<ext>`".
  void ImportFromStream(const std::string& AFilename, rtl::TStream* AStream, TAssetImportFlags AFlags) override;
  // Reads the payload through the loader of Extension, with the package's user load options when
  // set; the definition belongs to the package.
  void LoadPayload(TVantrelArchiveReference* AArchive, const std::string& APath) override;
  // The definition as compact .v3d JSON under Filename; Extension becomes ".v3d". Without a
  // definition only the descriptors are written.
  void SaveToArchive(TVantrelArchiveReference* AArchive, const std::string& AGroupPath) override;
  int64_t GetSize() const override;

protected:
  int64_t InstanceSize() const override { return sizeof(*this); }

private:
  rtl::TOwned<TModelDef> FModel;

  // Makes a definition a loader read for this asset its Model, unless another asset holds it.
  void TakeRead(TModelDef* ADef);
  // Tells the definition's package's watchers, then frees the definition.
  void FreeModel();
};

class TVantrelStreamAssetClass : public TVantrelAssetClass {
public:
  using TVantrelAssetClass::TVantrelAssetClass;
  // Nothing without AGroup or AStream; else a new asset of the kind, imported, in the group.
  TVantrelAsset* ImportFromStream(TVantrelAssetsGroup* AGroup, const std::string& AFilename, rtl::TStream* AStream,
                                  TAssetImportFlags AFlags) const override;
};

// Raw bytes kept in memory and written unchanged into the archive.
class TVantrelStreamAsset : public TVantrelAsset {
  RTL_CLASS_META(TVantrelStreamAsset, TVantrelAsset, TVantrelStreamAssetClass)
public:
  explicit TVantrelStreamAsset(TVantrelAssetsGroup* AGroup = nullptr);
  ~TVantrelStreamAsset() override;

  rtl::TMemoryStream* Stream() const { return FStream.get(); }

  // Replaces the bytes with AStream's from its position to its end (the kind must list the
  // lower-cased extension); with a package the asset saves itself.
  void ImportFromStream(const std::string& AFilename, rtl::TStream* AStream, TAssetImportFlags AFlags) override;
  void SaveToArchive(TVantrelArchiveReference* AArchive, const std::string& AGroupPath) override;
  // Replaces the bytes with the payload entry's.
  void LoadPayload(TVantrelArchiveReference* AArchive, const std::string& APath) override;
  int64_t GetSize() const override;

protected:
  int64_t InstanceSize() const override { return sizeof(*this); }
  // The bytes rewound, for the game-data kinds; nullptr when empty.
  rtl::TMemoryStream* RewoundBytes() const;

private:
  rtl::TOwned<rtl::TMemoryStream> FStream;
};

// The metaclass of a stream kind.
template <class T> using TVantrelStreamKindMeta = TVantrelAssetClassOf<T, TVantrelStreamAssetClass>;

#define VANTREL_STREAM_ASSET_KIND(TName, AId, ADescr)                                                         \
  class TName : public TVantrelStreamAsset {                                                                 \
    RTL_CLASS_META(TName, TVantrelStreamAsset, TVantrelStreamKindMeta<TName>)                               \
  public:                                                                                                    \
    static constexpr int ClassGroupId = AId;                                                                 \
    static constexpr const char* ClassGroupDescr = ADescr;                                                   \
    static const std::vector<std::string>& ClassExtensions();                                                \
    explicit TName(TVantrelAssetsGroup* AGroup = nullptr) : TVantrelStreamAsset(AGroup) {}                  \
                                                                                                             \
  protected:                                                                                                 \
    int64_t InstanceSize() const override { return sizeof(*this); }                                        \
  };

VANTREL_STREAM_ASSET_KIND(TVantrelAudioAsset, 2, "AUDIO")
VANTREL_STREAM_ASSET_KIND(TVantrelVideoAsset, 3, "VIDEO")
VANTREL_STREAM_ASSET_KIND(TVantrelMiscAsset, 4, "MISC")
VANTREL_STREAM_ASSET_KIND(TVantrelScriptAsset, 7, "SCRIPT")
VANTREL_STREAM_ASSET_KIND(TVantrelPrefabAsset, 8, "PREFAB")

class TVantrelDialogueSystem;
class TVantrelInventory;
class TVantrelSkillSystem;

// The three kinds that build a game-data component from their bytes on first use. The asset
// owns the component and frees it with itself; an empty stream gives none.
class TVantrelDialogueAsset : public TVantrelStreamAsset {
  RTL_CLASS_META(TVantrelDialogueAsset, TVantrelStreamAsset, TVantrelStreamKindMeta<TVantrelDialogueAsset>)
public:
  static constexpr int ClassGroupId = 5;
  static constexpr const char* ClassGroupDescr = "DIALOGUE";
  static const std::vector<std::string>& ClassExtensions();
  explicit TVantrelDialogueAsset(TVantrelAssetsGroup* AGroup = nullptr) : TVantrelStreamAsset(AGroup) {}
  ~TVantrelDialogueAsset() override;
  TVantrelDialogueSystem* DialogueSystem();

protected:
  int64_t InstanceSize() const override { return sizeof(*this); }

private:
  TVantrelDialogueSystem* FDialogueSystem = nullptr;
};

class TVantrelInventoryAsset : public TVantrelStreamAsset {
  RTL_CLASS_META(TVantrelInventoryAsset, TVantrelStreamAsset, TVantrelStreamKindMeta<TVantrelInventoryAsset>)
public:
  static constexpr int ClassGroupId = 6;
  static constexpr const char* ClassGroupDescr = "INVENTORY";
  static const std::vector<std::string>& ClassExtensions();
  explicit TVantrelInventoryAsset(TVantrelAssetsGroup* AGroup = nullptr) : TVantrelStreamAsset(AGroup) {}
  ~TVantrelInventoryAsset() override;
  TVantrelInventory* Inventory();

protected:
  int64_t InstanceSize() const override { return sizeof(*this); }

private:
  TVantrelInventory* FInventory = nullptr;
};

class TVantrelSkillsAsset : public TVantrelStreamAsset {
  RTL_CLASS_META(TVantrelSkillsAsset, TVantrelStreamAsset, TVantrelStreamKindMeta<TVantrelSkillsAsset>)
public:
  static constexpr int ClassGroupId = 9;
  static constexpr const char* ClassGroupDescr = "SKILLS";
  static const std::vector<std::string>& ClassExtensions();
  explicit TVantrelSkillsAsset(TVantrelAssetsGroup* AGroup = nullptr) : TVantrelStreamAsset(AGroup) {}
  ~TVantrelSkillsAsset() override;
  TVantrelSkillSystem* SkillSystem();

protected:
  int64_t InstanceSize() const override { return sizeof(*this); }

private:
  TVantrelSkillSystem* FSkillSystem = nullptr;
};

// Registers the unit's twelve asset classes and the manager for form streaming. Counted.
void InitializeAssetsManager();
void FinalizeAssetsManager();

} // namespace vantrel
