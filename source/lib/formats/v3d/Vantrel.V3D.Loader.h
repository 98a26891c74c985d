#pragma once
// The .v3d reader's container layer: the header and the body, inflated when zipped, decoded from
// BSON or JSON text into the model's JSON object. The loader class that turns the object into a
// model definition comes with the model definition and the load options; it reads through this.

#include <cstdint>
#include <memory>

#include "Vantrel.Prelude.h"
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

} // namespace vantrel
