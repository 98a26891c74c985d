#include "rendering/Vantrel.Controller.Passes.Plane.h"

#include "rtl/filer.h"
#include "scene/Vantrel.Control.h"

namespace vantrel {

TPoint3D SafeNormalize(const TPoint3D& AValue) {
  const float length = AValue.Length();
  return length > 0 ? AValue / length : AValue;
}

TVantrelPassPlane::TVantrelPassPlane(const TPoint3D& APosition, const TPoint3D& ANormal)
    : FPosition(MakeOwned<TPosition3D>(APosition)), FNormal(MakeOwned<TPosition3D>(ANormal)) {}

void TVantrelPassPlane::SetPosition(const TPosition3D* AValue) {
  if (AValue)
    FPosition->SetPoint(AValue->Point());
}

void TVantrelPassPlane::SetNormal(const TPosition3D* AValue) {
  if (AValue)
    FNormal->SetPoint(SafeNormalize(AValue->Point()));
}

TPlaneF TVantrelPassPlane::ClipPlane(float AOffset) const {
  const TPoint3D normal = FNormal->Point();
  return TPlaneF::Create(normal, -FPosition->Point().DotProduct(normal) + AOffset);
}

void TVantrelPassPlane::DefineOlderProperties(TFiler* AFiler, const std::string& APositionName,
                                              const std::string& ANormalName) {
  auto reader = [](TPosition3D* ATarget) {
    return [ATarget](TReader& AReader) {
      TPoint3D point = ATarget->Point();
      ReadPoint3DField(point, AReader.ReadString());
      ATarget->SetPoint(point);
    };
  };
  AFiler->DefineProperty(APositionName, reader(FPosition.get()), nullptr, false);
  AFiler->DefineProperty(ANormalName, reader(FNormal.get()), nullptr, false);
}

} // namespace vantrel
