#pragma once
// What a model loader is told: the load options record with its file information and named
// streams, and the bitmap cache of already decoded textures.
//
// This is a part header of Vantrel.DefTypes.h, which includes it at its end; include that header.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "definitions/Vantrel.DefTypes.Cache.h"
#include "rtl/classes.h"
#include "rtl/streams.h"
#include "rtl/types2d.h"
#include "ui/bitmap.h"

namespace vantrel {

enum class TVantrelFileOpenFormat : uint8_t { fofLocal, fofDownload };
RTL_ENUM_TYPEINFO(TVantrelFileOpenFormat, "fofLocal", "fofDownload")
enum class TVantrelOAuthMode : uint8_t { Default, AuthCode };
RTL_ENUM_TYPEINFO(TVantrelOAuthMode, "Default", "AuthCode")

// The file to load: a path, or the name under which a package holds the model. The download
// fields are carried for loaders that define their use.
struct TVantrelFileInfo {
  std::string PathOrUID;
  // The package lookup compares whole paths instead of file names.
  bool StrictFilename = false;
  // Overrides the extension of PathOrUID when not empty.
  std::string Ext;
  TVantrelFileOpenFormat OpenFormat = TVantrelFileOpenFormat::fofLocal;
  TVantrelOAuthMode OAuthMode = TVantrelOAuthMode::Default;
  std::string URL, Username, Password, ClientId, ClientSecret, AuthorizationEndpoint, AccessTokenEndpoint,
      RedirectionEndpoint;
};

// A named stream handed to a loader (not owned).
struct TVantrelLoadStorage {
  std::string Name;
  rtl::TStream* Stream = nullptr;
};

// The status callback of a load; ALoader is the loader object.
using TVantrelLoadingStatus = std::function<void(rtl::TObject* ALoader)>;

// One decoded texture, keyed by its file name. It owns its bitmap, or (IsOnlyRef) refers to one
// somebody else owns; the two states are explicit so that the destructor frees only an owned one.
class TVantrelBitmapCacheEntry : public rtl::TCollectionItem {
  RTL_CLASS(TVantrelBitmapCacheEntry, rtl::TCollectionItem)
public:
  // Not a reference, with a new empty owned bitmap.
  TVantrelBitmapCacheEntry();
  ~TVantrelBitmapCacheEntry() override;
  // Publishes Filename and Bitmap.
  static void RegisterProperties(rtl::TPropertyList& AList);

  const std::string& GetFilename() const { return FFilename; }
  void SetFilename(const std::string& AValue) { FFilename = AValue; }
  // The owned bitmap, or the referred one.
  ui::TBitmap* GetBitmap() const { return FIsOnlyRef ? FReference : FOwned.get(); }
  // Ignored while a reference is held; otherwise copies AValue's content into the owned bitmap.
  void SetBitmap(ui::TBitmap* AValue);
  bool IsOnlyRef() const { return FIsOnlyRef; }
  // Frees the owned bitmap, then refers to AReference under AFilename.
  void SetBitmapReference(const std::string& AFilename, ui::TBitmap* AReference);
  // Hands the owned bitmap over and refers to it from then on (nullptr for a reference).
  rtl::TOwned<ui::TBitmap> TakeBitmap();

protected:
  // Another entry's bitmap takes a copy of this entry's content (not the name); any other target
  // is refused as by the base.
  void AssignTo(rtl::TPersistent* ADest) const override;

private:
  std::string FFilename;
  rtl::TOwned<ui::TBitmap> FOwned;
  ui::TBitmap* FReference = nullptr;
  bool FIsOnlyRef = false;
};

// Decoded texture bitmaps by file name.
class TVantrelBitmapCache : public rtl::TOwnedCollection {
  RTL_CLASS(TVantrelBitmapCache, rtl::TOwnedCollection)
public:
  explicit TVantrelBitmapCache(rtl::TPersistent* AOwner = nullptr);

  TVantrelBitmapCacheEntry* Add() { return static_cast<TVantrelBitmapCacheEntry*>(TCollection::Add()); }
  TVantrelBitmapCacheEntry* Entry(int AIndex) const { return static_cast<TVantrelBitmapCacheEntry*>(Items(AIndex)); }
  // The first entry named exactly AFilename, else the first whose bare file name equals
  // AFilename's (names written on any OS; letter case counts); nullptr.
  TVantrelBitmapCacheEntry* FindBitmap(const std::string& AFilename) const;
};

// What to load and how.
struct TVantrelLoadOptions {
  TVantrelFileInfo FileInfo;
  // The asset package that holds or receives the model, and the asset it belongs to (opaque).
  rtl::TObject* Package = nullptr;
  rtl::TObject* Asset = nullptr;
  bool ImportLights = false;
  bool ImportCameras = false;
  bool ImportAnimations = false;
  std::vector<std::string> AdditionalAnimations;
  TAnimationCachingFlags Caching;
  TVantrelLoadingStatus OnStatus;
  std::string ExtractDirectory;
  // Not owned.
  TVantrelBitmapCache* BitmapCache = nullptr;
  // Largest texture width and height; (0, 0) does not limit.
  rtl::TPoint TextureLimits;
  std::vector<TVantrelLoadStorage> Storage;

  // Each starts from a cleared record, sets what it is given and the three import switches.
  static TVantrelLoadOptions Create(const std::string& APathOrUID, rtl::TObject* APackage = nullptr,
                                    rtl::TObject* AAsset = nullptr);
  static TVantrelLoadOptions Create(const std::string& APathOrUID, const std::string& AExt,
                                    rtl::TObject* APackage = nullptr, rtl::TObject* AAsset = nullptr);
  static TVantrelLoadOptions Create(const std::string& APathOrUID, TAnimationCachingFlags ACaching,
                                    rtl::TObject* APackage = nullptr, rtl::TObject* AAsset = nullptr);
  static TVantrelLoadOptions Create(const std::string& APathOrUID, TAnimationCachingFlags ACaching,
                                    TVantrelLoadingStatus AOnStatus, rtl::TObject* APackage = nullptr,
                                    rtl::TObject* AAsset = nullptr);

  // FileInfo.Ext when set, else the extension of PathOrUID with its dot (empty without one).
  std::string GetExtension() const;
  // -1, changing nothing, when no such file exists; else switches ImportAnimations on, appends
  // the name and returns its index.
  int AddAnimation(const std::string& AFilename);
  // -1 for no stream; else appends the pair (names may repeat) and returns its index.
  int AddStorage(const std::string& AName, rtl::TStream* AStream);
  // The stream of the first pair named exactly AName, or nullptr.
  rtl::TStream* GetStorage(const std::string& AName) const;
};

} // namespace vantrel
