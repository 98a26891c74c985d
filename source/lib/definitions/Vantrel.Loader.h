#pragma once
// The base of model readers, their registry by lower-case extension, the thread-local record of
// the load that runs, the definition and animation entry points that pick a reader by extension,
// the mesh helpers that format readers fill definitions with, and the texture size limits that
// readers apply to the pictures they bring along.
//
// Ownership: the caller owns a model definition a loader returns, unless its Asset is set; then
// the asset owns it.
//
// Package parameters are opaque objects (the assets manager's packages); no package step runs
// here yet, so a load behaves as one without a package.

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

  // The loader chosen by the options' GetExtension() reads the model, on a copy of the options
  // whose FileInfo.Ext is that extension. No loader raises EVantrelLoaderException
  // "model format not supported: <path>" for the file forms, and for the stream forms
  // "model format not supported: <path> - check if unit is included "Vantrel<ext>.Loader".
  // The file form chooses the loader before it opens anything, then opens as
  // LoadModelDefFromFile does (the unsupported open format names
  // "TVantrelLoader.LoadUndefinedModelDefFromFile").
  static TModelDef* LoadUndefinedModelDefFromFile(rtl::TObject* APackage, const std::string& AFilename);
  static TModelDef* LoadUndefinedModelDefFromFile(const TVantrelLoadOptions& AOptions);
  static TModelDef* LoadUndefinedModelDefFromStream(TStream* AStream, rtl::TObject* APackage, const std::string& APath,
                                                    const std::string& AExt);
  static TModelDef* LoadUndefinedModelDefFromStream(TStream* AStream, const TVantrelLoadOptions& AOptions);

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
