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
#include <string>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/classes.h"
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
// The asset classes a definition refers to. Groups and packages are the assets manager's; a
// groupless asset (Group nullptr) belongs to whoever made it.

RTL_DECLARE_EXCEPTION(EVantrelAssetsException, EAbort);

class TVantrelAssetsGroup;

enum class TAssetImportFlag : uint8_t { StrictFileName, Cached };
RTL_ENUM_TYPEINFO(TAssetImportFlag, "StrictFileName", "Cached")
using TAssetImportFlags = rtl::TSet<TAssetImportFlag>;

// The base of every asset: its group, id, file name and extension.
class TVantrelAsset : public rtl::TPersistent {
  RTL_CLASS(TVantrelAsset, rtl::TPersistent)
public:
  // A new GUID as Id.
  explicit TVantrelAsset(TVantrelAssetsGroup* AGroup = nullptr);

  TVantrelAssetsGroup* Group() const { return FGroup; }
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

  // "Type" (the unit-qualified class name), "Id", "Version" "1.3", "Filename" (URL-encoded),
  // "Extension".
  virtual std::unique_ptr<rtl::TJSONObject> ToJSON() const;
  // "Id" is required (EVantrelAssetsException "failed to load asset - id not set") and read as a
  // GUID (a malformed one reads empty); "Filename" (URL-decoded) and "Extension" when present.
  virtual void FromJSON(const rtl::TJSONObject& AValue);

private:
  TVantrelAssetsGroup* FGroup;
  rtl::TGUID FId;
  std::string FFilename;
  std::string FExtension;
  bool FCached = false;
  bool FIsStandalone = false;
};

// A texture: its original file name and, once loaded, its bitmap (owned).
class TVantrelTextureAsset : public TVantrelAsset {
  RTL_CLASS(TVantrelTextureAsset, TVantrelAsset)
public:
  explicit TVantrelTextureAsset(TVantrelAssetsGroup* AGroup = nullptr) : TVantrelAsset(AGroup) {}
  // A new asset of AGroup (nullptr: groupless, owned by the caller).
  static TVantrelTextureAsset* Create(TVantrelAssetsGroup* AGroup) { return rtl::New<TVantrelTextureAsset>(AGroup); }
  ~TVantrelTextureAsset() override;

  // The file name as imported, with its folders.
  const std::string& OriginalFilename() const { return FOriginalFilename; }
  void SetOriginalFilename(std::string AValue) { FOriginalFilename = std::move(AValue); }
  // The held bitmap, or nullptr.
  virtual ui::TBitmap* Bitmap() const { return FCachedBitmap.get(); }
  // The flips the bitmap carries from texture definitions that share it.
  TTextureFlippings AppliedFlips() const { return FAppliedFlips; }
  void SetAppliedFlips(TTextureFlippings AValue) { FAppliedFlips = AValue; }

  // Opens AFilename read-only and imports it through ImportFromStream.
  void ImportFromFile(const std::string& AFilename, TAssetImportFlags AFlags);
  // An empty AFilename raises EVantrelAssetsException "AssetsManager.TextureAsset - filename
  // empty". Records AFilename as OriginalFilename and its bare name as Filename; a groupless
  // asset takes AFilename's extension when it has none.
  void ImportFromStream(const std::string& AFilename, rtl::TStream* AStream, TAssetImportFlags AFlags);
  // Takes ownership of ABitmap as the cached bitmap under AFilename, flagged cached and
  // standalone (the same error for an empty name; ABitmap is then freed).
  virtual void ImportFromCachedBitmap(const std::string& AFilename, rtl::TOwned<ui::TBitmap> ABitmap);

  // The base members, then "OriginalFilename" (URL-encoded Filename).
  std::unique_ptr<rtl::TJSONObject> ToJSON() const override;
  // The base members, then "OriginalFilename" (URL-decoded) when present.
  void FromJSON(const rtl::TJSONObject& AValue) override;

private:
  std::string FOriginalFilename;
  rtl::TOwned<ui::TBitmap> FCachedBitmap;
  TTextureFlippings FAppliedFlips;
};

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

// Registers the unit's asset classes. Counted.
void InitializeAssetsManager();
void FinalizeAssetsManager();

} // namespace vantrel
