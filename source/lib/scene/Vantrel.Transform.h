#pragma once
// The scene node of one transform definition: a control whose local matrix can be set as a
// whole, whose rotation is also a quaternion, and which loads itself from and stores itself into a
// TTransformDef, carrying its platform settings in the definition's Properties.

#include <string>

#include "Vantrel.Prelude.h"
#include "scene/Vantrel.Control.h"

namespace vantrel {

class TTransformDef;

inline constexpr const char* SNoTransformDef = "unexpected definition - no transformdef submitted";

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

  // Creates the child controls of ADef's children; raises EAbstractError here.
  virtual void BuildHierarchy(TTransformDef* ADef);
  // Applies the keys of ADef's Properties that are present, in the table's order; a value of the
  // wrong kind raises EInvalidCast at its key, the keys before it stay applied.
  virtual void ApplyDefinitionProperties(TTransformDef* ADef);
  // The local matrix becomes AMatrix; position, scale and rotation are decomposed from it
  // without notification.
  virtual void SetLocalTransformMatrix(const TMatrix3D& AMatrix);

  // Def, then the definition's matrix, then its Properties. A definition that is no
  // TTransformDef raises with nothing changed.
  void LoadFromDefinition(TCustomDef* ADef) override;
  // The local matrix and every key of the table (ExtendedClassName first), added or replaced;
  // nothing for a definition that is no TTransformDef.
  void StoreToDefinition(TCustomDef* ADef) override;

protected:
  // Transforms are created without hit testing.
  bool DefaultHitTest() const override { return false; }
};

void InitializeTransform();
void FinalizeTransform();

} // namespace vantrel
