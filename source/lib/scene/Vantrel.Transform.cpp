#include "scene/Vantrel.Transform.h"

#include "rtl/exceptions.h"
#include "rtl/properties.h"
#include "utils/Vantrel.Utils.Math.h"
#include "utils/Vantrel.Utils.Quaternions.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelTransform, "Vantrel.Transform", &TVantrelTransform::RegisterProperties)

TVantrelTransform::TVantrelTransform(TComponent* AOwner) : TVantrelControl(AOwner) {
  SetHitTest(false);
}

void TVantrelTransform::RegisterProperties(TPropertyList& AList) {
  AList.Add("Rotation", &TVantrelTransform::GetRotation, &TVantrelTransform::SetRotation).Stored(false);
  AList.Add("Angles", &TVantrelTransform::GetAngles, &TVantrelTransform::SetAngles).Stored(false);
  AList.Add("TransformMatrix", &TVantrelTransform::GetTransformMatrix, &TVantrelTransform::SetTransformMatrix)
      .Stored(false);
}

TVector3D TVantrelTransform::GetRotation() const {
  return QuaternionToVector(Quaternion3DToQuaternion(EulerToQuaternion(RotationAngle()->Point(), 0)));
}

void TVantrelTransform::SetRotation(const TVector3D& AValue) {
  const TQuaternion3D rotation = QuaternionToQuaternion3D(VectorToQuaternion(AValue));
  RotationAngle()->SetPointNoChange(QuaternionToEuler(rotation, 0));
  SetQuaternionValue(rotation);
  SetSavedRotationAngle({});
  RecalcLocalMatrix(this);
}

void TVantrelTransform::SetLocalTransformMatrix(const TMatrix3D& AMatrix) {
  SetLocalMatrixValue(AMatrix);
  Position()->SetPointNoChange(MatrixGetTranslation(AMatrix));
  Scale()->SetPointNoChange(MatrixGetScale(AMatrix));
  const TQuaternion3D rotation = MatrixGetRotation(AMatrix);
  SetQuaternionValue(rotation);
  RotationAngle()->SetPointNoChange(QuaternionToEuler(rotation, 0));
  SetSavedRotationAngle({});
  RebuildRenderingList();
  Repaint();
}

namespace {

int TransformInitCount = 0;

} // namespace

void InitializeTransform() {
  if (TransformInitCount++ > 0)
    return;
  RegisterClass(TVantrelTransform::StaticClass());
}

void FinalizeTransform() {
  if (TransformInitCount == 0 || --TransformInitCount > 0)
    return;
  UnRegisterClass(TVantrelTransform::StaticClass());
}

} // namespace vantrel
