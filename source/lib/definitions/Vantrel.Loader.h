#pragma once
// The base of model readers, their registry by lower-case extension, the animation entry point
// that picks a reader by extension, and the texture size limits that readers apply to the
// pictures they bring along.
//
// Ownership: the caller owns a definition a loader returns.
//
// The model-definition entry points, the thread record and the mesh helpers take the load options
// and the model definition, which are not built yet; they come with those classes.

#include <string>

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

class TVantrelLoader : public rtl::TObject {
  RTL_CLASS(TVantrelLoader, rtl::TObject)
public:
  TVantrelLoader() = default;

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

  // The loader chosen by AFilename's extension reads the animation; no loader raises
  // EVantrelLoaderException "model format not supported: <AFilename>".
  static TAnimationDef* LoadUndefinedAnimationDefFromFile(TModelDef* AModel, const std::string& AFilename);

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

void InitializeLoader();
// Frees the registry (not the loaders, which their units free).
void FinalizeLoader();

} // namespace vantrel
