#pragma once
// The plane a pass works against (the reflection's mirror, the refraction's surface): a point on it
// and its normal, each an owned position that the pass publishes, with the two older point
// properties that forms may still hold.

#include <string>

#include "Vantrel.Prelude.h"
#include "context/Vantrel.Context.Types.h"
#include "rtl/classes.h"
#include "ui/controls3d.h"

namespace vantrel {

// AValue divided by its length; a zero vector stays zero.
TPoint3D SafeNormalize(const TPoint3D& AValue);

class TVantrelPassPlane {
public:
  TVantrelPassPlane(const TPoint3D& APosition, const TPoint3D& ANormal);

  TPosition3D* Position() const { return FPosition.get(); }
  // Copies the point.
  void SetPosition(const TPosition3D* AValue);
  TPosition3D* Normal() const { return FNormal.get(); }
  // Copies the vector normalised; a zero vector stays zero.
  void SetNormal(const TPosition3D* AValue);
  // The plane through the position with the normal, moved AOffset along the normal: the clip
  // plane keeps the side the normal points to.
  TPlaneF ClipPlane(float AOffset = 0) const;
  // The older point properties APositionName and ANormalName are read into the owned positions as
  // they stand, unnormalised, and never written.
  void DefineOlderProperties(TFiler* AFiler, const std::string& APositionName, const std::string& ANormalName);

private:
  TOwned<TPosition3D> FPosition;
  TOwned<TPosition3D> FNormal;
};

} // namespace vantrel
