#pragma once
// The scene node of one transform definition: a control whose local matrix can be set as a
// whole and whose rotation is also a quaternion. Loading from and storing into a TTransformDef
// comes with the definition units.

#include <string>

#include "Vantrel.Prelude.h"
#include "scene/Vantrel.Control.h"

namespace vantrel {

class TVantrelTransform : public TVantrelControl {
  RTL_CLASS(TVantrelTransform, TVantrelControl)
public:
  explicit TVantrelTransform(TComponent* AOwner);
  static void RegisterProperties(TPropertyList& AList);

  // The rotation of RotationAngle as a quaternion (X, Y, Z the vector part, W the real part).
  // Writing takes the quaternion as the rotation: RotationAngle becomes its Euler angles without
  // notification, the saved angles (0, 0, 0), and the local matrix is rebuilt from it.
  TVector3D GetRotation() const;
  void SetRotation(const TVector3D& AValue);
  TPoint3D GetAngles() const { return RotationAngle()->Point(); }
  // With change notification: the rotation handlers turn by the change.
  void SetAngles(const TPoint3D& AValue) { RotationAngle()->SetPoint(AValue); }
  TMatrix3D GetTransformMatrix() const { return LocalMatrix(); }
  void SetTransformMatrix(const TMatrix3D& AValue) { SetLocalTransformMatrix(AValue); }

  // The local matrix becomes AMatrix; position, scale and rotation are decomposed from it
  // without notification.
  virtual void SetLocalTransformMatrix(const TMatrix3D& AMatrix);
};

void InitializeTransform();
void FinalizeTransform();

} // namespace vantrel
