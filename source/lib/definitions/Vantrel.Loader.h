#pragma once
// The base of model readers, their registry by lower-case extension, the thread-local record of
// the load that runs, the definition and animation entry points that pick a reader by extension,
// the mesh helpers that format readers fill definitions with, and the texture size limits that
// readers apply to the pictures they bring along.
//
// Ownership: the caller owns a model definition a loader returns, unless its Asset is set; then
// the asset owns it. A model control a loader makes belongs to the owner it was given (the caller
// frees one made without owner).
//
// Package parameters are opaque objects; the entry points take them as the assets manager's
// packages (TVantrelAssetsPackage) and look up model assets there before any reader runs.
//
// The model control stands a floor above, in scene/: this unit names it only by its declaration,
// and the members that make, fill and free model controls (LoadModelFromStream,
// LoadExistingModelFromStream, LoadModelFromDef, LoadExistingModelFromDef, ModelDefOf) are built
// beside the model, in scene/Vantrel.Model.Loading.cpp.

#include <string>
#include <vector>

#include "Vantrel.Prelude.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "rtl/generics.h"
#include "rtl/streams.h"
#include "rtl/types2d.h"
#include "ui/bitmap.h"

namespace vantrel {

// Raised when no loader is registered for an extension.
RTL_DECLARE_EXCEPTION(EVantrelLoaderException, Exception);

class TVantrelLoader;
class TVantrelModel;
class TVantrelModelAsset;
using TVantrelLoaderRegistry = rtl::TDictionary<std::string, TVantrelLoader*>;

// The load that runs on a thread: the loader (null between loads) and the options it was given.
struct TVantrelLoaderThreadInfo {
  TVantrelLoader* Loader = nullptr;
  TVantrelLoadOptions Options;
};

class TVantrelLoader : public rtl::TObject {
  RTL_CLASS(TVantrelLoader, rtl::TObject)
public:
  TVantrelLoader() = default;

  // Reads one model from AStream's position. The base raises EAbstractError; readers override it.
  virtual TModelDef* LoadModelDefFromStream(TStream* AStream, const TVantrelLoadOptions& AOptions);
  // Opens the source the options name (fofLocal: the file PathOrUID, read-only and shared;
  // fofDownload: an empty memory stream, nothing is fetched) and reads it with
  // LoadModelDefFromStream. Another open format raises
  // "TVantrelLoader.LoadModelDefFromFile : open format not supported".
  virtual TModelDef* LoadModelDefFromFile(const TVantrelLoadOptions& AOptions);
  // The short forms: options for the path and the package, no asset.
  TModelDef* LoadModelDefFromStream(TStream* AStream, rtl::TObject* APackage, const std::string& APath);
  TModelDef* LoadModelDefFromFile(rtl::TObject* APackage, const std::string& AFilename);

  // The model-control forms. LoadModelFromStream reads the definition with LoadModelDefFromStream,
  // makes a TVantrelModel owned by AOwner, loads it from the definition and, for non-empty Caching
  // flags, caches the definition's animations for it; the Existing form does the same on AModel.
  virtual TVantrelModel* LoadModelFromStream(rtl::TComponent* AOwner, TStream* AStream,
                                             const TVantrelLoadOptions& AOptions);
  virtual void LoadExistingModelFromStream(TVantrelModel* AModel, TStream* AStream,
                                           const TVantrelLoadOptions& AOptions);
  // Opens the source as LoadModelDefFromFile does and continues with LoadModelFromStream; a reader
  // that cannot read streams (FLoadFromStreamAllowed false) is given no stream and the file is not
  // opened. Another open format raises "TVantrelLoader.LoadModelFromFile : open format not
  // supported".
  virtual TVantrelModel* LoadModelFromFile(rtl::TComponent* AOwner, const TVantrelLoadOptions& AOptions);
  // Opens the file read-only and exclusively (fofDownload: an empty memory stream) and continues
  // with LoadExistingModelFromStream. Another open format raises
  // "TVantrelLoader.LoadExistingModelFromFile : open format not supported".
  virtual void LoadExistingModelFromFile(TVantrelModel* AModel, const TVantrelLoadOptions& AOptions);
  // The short forms: options for the path, the caching flags and the package, no asset.
  virtual void LoadExistingModelFromFile(TVantrelModel* AModel, rtl::TObject* APackage, const std::string& AFilename,
                                         TAnimationCachingFlags ACaching);
  TVantrelModel* LoadModelFromFile(rtl::TComponent* AOwner, rtl::TObject* APackage, const std::string& AFilename,
                                   TAnimationCachingFlags ACaching);
  TVantrelModel* LoadModelFromStream(rtl::TComponent* AOwner, rtl::TObject* APackage, TStream* AStream,
                                     const std::string& APath, TAnimationCachingFlags ACaching);
  void LoadExistingModelFromStream(TVantrelModel* AModel, rtl::TObject* APackage, TStream* AStream,
                                   const std::string& APath, TAnimationCachingFlags ACaching);

  // Opens AFilename read-only (others may read and write it meanwhile) and reads it with
  // LoadAnimationDefFromStream.
  virtual TAnimationDef* LoadAnimationDefFromFile(TModelDef* AModel, const std::string& AFilename);
  // The base reads no animations and returns null.
  virtual TAnimationDef* LoadAnimationDefFromStream(TModelDef* AModel, TStream* AStream, const std::string& AFileName);

  // The registry, made on first use; it does not own the loaders. Format units Add their one
  // instance, so a second loader for an extension raises "Duplicates not allowed".
  static TVantrelLoaderRegistry& GetLoaderRegistry();
  // The loader of the ASCII lower-case form of AExt (nothing trimmed), else null.
  static TVantrelLoader* GetLoaderByExtension(const std::string& AExt);

  // The calling thread's record: SetCurrentThreadLoader stores the loader and a copy of the
  // options; UnsetCurrentThreadLoader clears the loader and keeps the options; the getter returns
  // a copy. Loaders set it through TVantrelLoaderScope, which also handles nested loads.
  static void SetCurrentThreadLoader(TVantrelLoader* ALoader, const TVantrelLoadOptions& AOptions);
  static void UnsetCurrentThreadLoader();
  static TVantrelLoaderThreadInfo GetCurrentLoaderThreadInfo();

  // The model asset a load is for: the options' Asset when it is a model asset; else, with a
  // package in the options, the package's model asset for FileInfo.PathOrUID (StrictFilename as
  // given), after a package without archive reference reloaded its file; else null.
  static TVantrelModelAsset* FindExistingAssetInPackage(const TVantrelLoadOptions& AOptions);

  // The "undefined" entry points. First the package: when FindExistingAssetInPackage gives an
  // asset that holds a definition, no reader runs: the definition forms return it, the model
  // forms build from it (LoadModelFromDef / LoadExistingModelFromDef). Otherwise the loader chosen
  // by the options' GetExtension() reads the model, on a copy of the options whose FileInfo.Ext is
  // that extension, and an asset found without a definition is handed the result (the definition,
  // or the model's Def). No loader raises EVantrelLoaderException
  // "model format not supported: <path>", and for the definition-from-stream form
  // "model format not supported: <path> - check if unit is included "Vantrel<ext>.Loader".
  // The definition-from-file form opens its source (as LoadModelDefFromFile does; the unsupported
  // open format names "TVantrelLoader.LoadUndefinedModelDefFromFile") before the package lookup;
  // without a package or asset in the options there is nothing to look up, so an unknown format
  // fails before the file is opened.
  static TModelDef* LoadUndefinedModelDefFromFile(rtl::TObject* APackage, const std::string& AFilename);
  static TModelDef* LoadUndefinedModelDefFromFile(const TVantrelLoadOptions& AOptions);
  static TModelDef* LoadUndefinedModelDefFromStream(TStream* AStream, rtl::TObject* APackage, const std::string& APath,
                                                    const std::string& AExt);
  static TModelDef* LoadUndefinedModelDefFromStream(TStream* AStream, const TVantrelLoadOptions& AOptions);

  // The model-control forms; the short forms build options for the path, the caching flags and
  // the package, no asset. LoadUndefinedExistingModelFromFile empties an Ext of ".v3d" in its copy
  // of the options, so that the path's extension decides.
  static TVantrelModel* LoadUndefinedModelFromFile(rtl::TComponent* AOwner, rtl::TObject* APackage,
                                                   const std::string& AFilename, TAnimationCachingFlags ACaching);
  static TVantrelModel* LoadUndefinedModelFromFile(rtl::TComponent* AOwner, const TVantrelLoadOptions& AOptions);
  static void LoadUndefinedExistingModelFromFile(TVantrelModel* AModel, rtl::TObject* APackage,
                                                 const std::string& AFilename, TAnimationCachingFlags ACaching);
  static void LoadUndefinedExistingModelFromFile(TVantrelModel* AModel, const TVantrelLoadOptions& AOptions);
  static TVantrelModel* LoadUndefinedModelFromStream(rtl::TComponent* AOwner, rtl::TObject* APackage,
                                                     TStream* AStream, const std::string& APath,
                                                     TAnimationCachingFlags ACaching);
  static TVantrelModel* LoadUndefinedModelFromStream(rtl::TComponent* AOwner, TStream* AStream,
                                                     const TVantrelLoadOptions& AOptions);
  static void LoadUndefinedExistingModelFromStream(TVantrelModel* AModel, rtl::TObject* APackage, TStream* AStream,
                                                   const std::string& APath, TAnimationCachingFlags ACaching);
  static void LoadUndefinedExistingModelFromStream(TVantrelModel* AModel, TStream* AStream,
                                                   const TVantrelLoadOptions& AOptions);
  // A model made from ADef (owned by AOwner) or AModel loaded from it, with the caching of the
  // options; a null ADef gives null and makes no model (does nothing).
  static TVantrelModel* LoadModelFromDef(rtl::TComponent* AOwner, TModelDef* ADef, TAnimationCachingFlags ACaching);
  static TVantrelModel* LoadModelFromDef(rtl::TComponent* AOwner, TModelDef* ADef,
                                         const TVantrelLoadOptions& AOptions);
  static void LoadExistingModelFromDef(TVantrelModel* AModel, TModelDef* ADef, TAnimationCachingFlags ACaching);
  static void LoadExistingModelFromDef(TVantrelModel* AModel, TModelDef* ADef, const TVantrelLoadOptions& AOptions);

  // The loader chosen by AFilename's extension reads the animation; no loader raises
  // EVantrelLoaderException "model format not supported: <AFilename>".
  static TAnimationDef* LoadUndefinedAnimationDefFromFile(TModelDef* AModel, const std::string& AFilename);
  // The loader is chosen by the extension of the model's Filename, not of AFileName, and reads
  // the animation from AStream. No loader (a null model included) raises EVantrelLoaderException
  // "model format not supported: <AFileName>".
  static TAnimationDef* LoadUndefinedAnimationDefFromStream(TModelDef* AModel, TStream* AStream,
                                                            const std::string& AFileName);

  // Fill ADef from welded vertex data: all vertices, then all indices, then the cache's default
  // material and its reference for ADef, then AutoCalculateVertexData. Nothing when ADef or ACache
  // is null or AVertices is empty. The mesh is never split. The cache's UseBuffersAsArray is read
  // and ignored: the lists always go to the definition with exactly their length.
  static void LoadDefFromData(TMeshDef* ADef, TVertexCache* ACache, const std::vector<TVertexData>& AVertices,
                              const std::vector<TTriangleIndex>& AIndices);
  static void LoadDefFromData(TMeshDef* ADef, TVertexCache* ACache, const std::vector<TVertexData>& AVertices,
                              const std::vector<uint32_t>& AIndices);
  // The cache's own lists: Vertices with PointIndices for ikPointIndex, else with Indices.
  static void LoadDefFromData(TMeshDef* ADef, TVertexCache* ACache);
  // What the cache did not bring, in this order: smooth normals (fastest, weld 0.001, sub-meshes
  // included), tangents and binormals (sub-meshes not included), texture coordinates over all
  // vertices. Nothing without both arguments or without vertices.
  static void AutoCalculateVertexData(TMeshDef* ADef, TVertexCache* ACache);

  // Shrinks ABitmap to the limits: when the width exceeds ALimits.X, to ALimits.X by the height
  // scaled alike; otherwise when the height exceeds ALimits.Y, likewise to ALimits.Y. Only one side
  // is limited per call. A limit <= 0 does not limit its side. True when the bitmap was resized;
  // false for no bitmap.
  static bool LimitTextureSize(TBitmap* ABitmap, TPoint ALimits);
  // Loads the picture file, limits it and, when resized, saves it back over the same file in the
  // format its extension names. The file is replaced only once the new one is complete.
  static bool LimitTextureSize(const std::string& AFileName, TPoint ALimits);
  // Limits every "*.jpg", "*.jpeg" and "*.png" file (any case) in ADir and all its subfolders.
  static void LimitTextureSizes(const std::string& ADir, TPoint ALimits);

protected:
  // A reader that cannot read from a stream clears it.
  bool FLoadFromStreamAllowed = true;

private:
  // The model's definition when it is a model definition; null for no model.
  static TModelDef* ModelDefOf(TVantrelModel* AModel);
};

// Makes ALoader the current thread's loader with AOptions for its lifetime. On exit it puts back
// the record that was current when an outer load on the same thread was running; otherwise it
// only clears the loader and keeps this load's options, so that they can be inspected afterwards.
class TVantrelLoaderScope {
public:
  TVantrelLoaderScope(TVantrelLoader* ALoader, const TVantrelLoadOptions& AOptions);
  ~TVantrelLoaderScope();
  TVantrelLoaderScope(const TVantrelLoaderScope&) = delete;
  TVantrelLoaderScope& operator=(const TVantrelLoaderScope&) = delete;

private:
  TVantrelLoaderThreadInfo FPrevious;
};

void InitializeLoader();
// Frees the registry (not the loaders, which their units free).
void FinalizeLoader();

} // namespace vantrel
