#include "scene/Vantrel.Transform.h"

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "rtl/properties.h"
#include "utils/Vantrel.Utils.Math.h"
#include "utils/Vantrel.Utils.Quaternions.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelTransform, "Vantrel.Transform", &TVantrelTransform::RegisterProperties)

namespace {

// A key's value as an ordinal of an enumeration with ACount elements; other numbers raise
// EInvalidCast.
int32_t OrdinalOf(const TValue& AValue, int32_t ACount) {
  const int32_t ordinal = AValue.AsInteger();
  if (ordinal < 0 || ordinal >= ACount)
    throw EInvalidCast(rtl::messages::InvalidCast);
  return ordinal;
}

// Applies the value of AKey when present.
template <class TApply> void ApplyKey(const TProperties& AProperties, const char* AKey, TApply AApply) {
  if (const TValue* value = AProperties.Find(std::string_view(AKey)))
    AApply(*value);
}

} // namespace

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

void TVantrelTransform::BuildHierarchy(TTransformDef*) {
  throw EAbstractError(rtl::messages::AbstractError);
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

void TVantrelTransform::LoadFromDefinition(TCustomDef* ADef) {
  auto* def = dynamic_cast<TTransformDef*>(ADef);
  if (!def)
    throw Exception(SNoTransformDef);
  SetDef(ADef);
  SetLocalTransformMatrix(def->GetTransform());
  ApplyDefinitionProperties(def);
}

void TVantrelTransform::ApplyDefinitionProperties(TTransformDef* ADef) {
  const TProperties& props = ADef->GetProperties();
  ApplyKey(props, "FrustumCullingCheck", [&](const TValue& V) { SetFrustumCullingCheck(V.AsBoolean()); });
  ApplyKey(props, "HitTest", [&](const TValue& V) { SetHitTest(V.AsBoolean()); });
  ApplyKey(props, "Locked", [&](const TValue& V) { SetLocked(V.AsBoolean()); });
  ApplyKey(props, "Opaque", [&](const TValue& V) { SetOpaque(V.AsBoolean()); });
  ApplyKey(props, "Opacity", [&](const TValue& V) { SetOpacity(V.AsSingle()); });
  ApplyKey(props, "VisibleContextMenu", [&](const TValue& V) { SetVisibleContextMenu(V.AsBoolean()); });
  ApplyKey(props, "TwoSide", [&](const TValue& V) { SetTwoSide(V.AsBoolean()); });
  ApplyKey(props, "Visible", [&](const TValue& V) { SetVisible(V.AsBoolean()); });
  ApplyKey(props, "ZWrite", [&](const TValue& V) { SetZWrite(V.AsBoolean()); });
  ApplyKey(props, "Projection", [&](const TValue& V) { SetProjection(TProjection(OrdinalOf(V, 2))); });
  ApplyKey(props, "Cursor", [&](const TValue& V) { SetCursor(TCursor(V.AsInteger())); });
  ApplyKey(props, "DragMode", [&](const TValue& V) { SetDragMode(TDragMode(OrdinalOf(V, 2))); });
  ApplyKey(props, "Position", [&](const TValue& V) { Position()->SetPoint(V.AsType<TPoint3D>()); });
  ApplyKey(props, "Scale", [&](const TValue& V) { Scale()->SetPoint(V.AsType<TPoint3D>()); });
  // The stored angles alone build the rotation: the one decomposed from the matrix is dropped
  // first, or it would be turned a second time by the full angles.
  ApplyKey(props, "RotationAngle", [&](const TValue& V) {
    const TPoint3D angles = V.AsType<TPoint3D>();
    ResetRotationAngle();
    RotationAngle()->SetPoint(angles);
  });
  ApplyKey(props, "Width", [&](const TValue& V) { SetWidth(V.AsSingle()); });
  ApplyKey(props, "Height", [&](const TValue& V) { SetHeight(V.AsSingle()); });
  ApplyKey(props, "Depth", [&](const TValue& V) { SetDepth(V.AsSingle()); });
}

void TVantrelTransform::StoreToDefinition(TCustomDef* ADef) {
  auto* def = dynamic_cast<TTransformDef*>(ADef);
  if (!def)
    return;
  def->SetTransform(LocalMatrix());
  TProperties& props = def->GetProperties();
  props.AddOrSetValue("ExtendedClassName", TValue::From(ClassType().QualifiedName()));
  props.AddOrSetValue("FrustumCullingCheck", TValue::From(FrustumCullingCheck()));
  props.AddOrSetValue("HitTest", TValue::From(HitTest()));
  props.AddOrSetValue("Locked", TValue::From(Locked()));
  props.AddOrSetValue("Opaque", TValue::From(Opaque()));
  props.AddOrSetValue("Opacity", TValue::From(Opacity()));
  props.AddOrSetValue("VisibleContextMenu", TValue::From(VisibleContextMenu()));
  props.AddOrSetValue("TwoSide", TValue::From(TwoSide()));
  props.AddOrSetValue("Visible", TValue::From(Visible()));
  props.AddOrSetValue("ZWrite", TValue::From(ZWrite()));
  props.AddOrSetValue("Projection", TValue::From(int32_t(Projection())));
  props.AddOrSetValue("Cursor", TValue::From(int32_t(Cursor())));
  props.AddOrSetValue("DragMode", TValue::From(int32_t(DragMode())));
  props.AddOrSetValue("Position", TValue::From(Position()->Point()));
  props.AddOrSetValue("Scale", TValue::From(Scale()->Point()));
  props.AddOrSetValue("RotationAngle", TValue::From(RotationAngle()->Point()));
  props.AddOrSetValue("Width", TValue::From(Width()));
  props.AddOrSetValue("Height", TValue::From(Height()));
  props.AddOrSetValue("Depth", TValue::From(Depth()));
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
