#pragma once
// The .v3d reader: the container layer (the header and the body, inflated when zipped, decoded
// from BSON or JSON text into the model's JSON object) and the loader that turns that object into
// a model definition. The loader registers under ".v3d" at unit start-up.

#include <cstdint>
#include <memory>

#include "Vantrel.Prelude.h"
#include "definitions/Vantrel.Loader.h"
#include "formats/v3d/Vantrel.V3D.Types.h"
#include "rtl/json.h"
#include "rtl/streams.h"

namespace vantrel {

// The largest body an inflated .v3d may have, process-wide: 2 GiB - 1 byte, the format's own
// limit, unless lowered for an embedding application or a fuzz target. Values outside
// 0..2 GiB - 1 are clamped into it.
int64_t GetV3DMaxBodySize();
void SetV3DMaxBodySize(int64_t AValue);

// Reads a .v3d from AStream's position: the header (a short stream raises EReadError), the body
// up to the end of the stream, then its JSON object. A zipped body is inflated from zlib or gzip
// data up to the limit above, beyond which EZDecompressionError "V3D body exceeds %d bytes".
// A BSON body that gives no complete object raises "failed to read bson data"; a JSON body that
// does not parse "failed to read json data"; a JSON value that is no object EInvalidCast; another
// format "invalid V3D format set". A truncated body never gives a partial object. AHeader, when
// given, receives the header.
std::unique_ptr<TJSONObject> ReadV3DModelJSON(TStream& AStream, TVantrelV3DHeader* AHeader = nullptr);

class TVantrelLoaderV3D : public TVantrelLoader {
  RTL_CLASS(TVantrelLoaderV3D, TVantrelLoader)
public:
  TVantrelLoaderV3D() = default;

  using TVantrelLoader::LoadModelDefFromStream;
  // Reads one .v3d from AStream's position with ReadV3DModelJSON (its failures propagate) into a
  // new model definition: the options' bitmap cache applied, Filename the options' PathOrUID and
  // Id "V3DModel<n>" (n counts the models this process read since the unit started) until the
  // JSON object's "Id" and "Filename" win. While it runs this loader is the thread's current
  // loader; the record is restored on every exit. The model-control forms are the base's.
  //
  // With a package in the options (an object of another class raises EInvalidCast) the load is
  // for a model asset: the options' Asset when it is one, else the asset of the package's model
  // group for the file (EInvalidCast when it is of another class). When that asset holds a
  // definition already, it is returned and the stream is not read. Otherwise the definition
  // belongs to the package from the start (so its textures resolve there), an asset is added for
  // the file when none was found, and the asset is handed the definition. A failed read removes
  // the asset it added again and frees the definition.
  //
  // Without a package the caller owns the result.
  TModelDef* LoadModelDefFromStream(TStream* AStream, const TVantrelLoadOptions& AOptions) override;

  // The process-wide limit of an inflated body (GetV3DMaxBodySize / SetV3DMaxBodySize).
  static int64_t GetMaxBodySize() { return GetV3DMaxBodySize(); }
  static void SetMaxBodySize(int64_t AValue) { SetV3DMaxBodySize(AValue); }
};

// Set the model counter to 0 and register one reader under ".v3d"; the finalisation removes
// ".v3d" from the registry, then frees the reader. Counted.
void InitializeV3DLoader();
void FinalizeV3DLoader();

} // namespace vantrel
