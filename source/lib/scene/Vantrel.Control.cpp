#include "scene/Vantrel.Control.h"

#include <array>
#include <cmath>
#include <limits>

#include "context/Vantrel.Context.h"
#include "rtl/fields.h"
#include "rtl/guid.h"
#include "rtl/log.h"
#include "rtl/properties.h"
#include "rtl/sysutils.h"
#include "scene/Vantrel.Mesh.h"
#include "ui/fmx_object.h"
#include "utils/Vantrel.Utils.Duplication.h"
#include "utils/Vantrel.Utils.Geometry.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelControl, "Vantrel.Control", &TVantrelControl::RegisterProperties)

namespace {

constexpr int kNameTries = 11;

// The class name without a leading "T" (checked case-sensitively).
std::string GeneratedNameBase(const std::string& AClassName) {
  return !AClassName.empty() && AClassName[0] == 'T' ? AClassName.substr(1) : AClassName;
}

bool GloballyTaken(const std::string& AName) {
  if (const TIsUniqueGlobalComponentName& proc = IsUniqueGlobalComponentNameProc())
    return !proc(AName);
  return FindGlobalComponent(AName) != nullptr;
}

} // namespace

TVantrelControl::TVantrelControl(TComponent* AOwner) : TControl3D(AOwner) {
  SetOpaque(true);
}

void TVantrelControl::RegisterProperties(TPropertyList& AList) {
  AList.Add("QualifiedName", &TVantrelControl::QualifiedName, &TVantrelControl::SetQualifiedName)
      .WithDefault(std::string());
}

void TVantrelControl::RegisterFields() {
  // The definition is shared with the copy unless the source frees it itself; then the copy
  // keeps the one its constructor made.
  TCopyField def;
  def.Name = "FDef";
  def.CopyValue = [](TObject* ADest, const TObject* ASource) {
    const auto* source = static_cast<const TVantrelControl*>(ASource);
    if (!source->OwnsDefinition())
      static_cast<TVantrelControl*>(ADest)->FDef = source->FDef;
  };
  rtl::RegisterFields(StaticClass(),
                      {
                          ValueField<&TVantrelControl::FQualifiedName>("FQualifiedName"),
                          SkippedField("FControls", TFieldKind::NoTypeInfo),
                          def,
                          ValueField<&TVantrelControl::FFrustumCullingCheck>("FFrustumCullingCheck"),
                      });
}

bool TVantrelControl::NameTaken(const std::string& AName) const {
  if (AName.empty())
    return false;
  return GloballyTaken(AName) || (Owner() && Owner()->FindComponent(AName));
}

void TVantrelControl::SetName(const std::string& AName) {
  if (!NameTaken(AName)) {
    inherited::SetName(AName);
    return;
  }
  const std::string base = GeneratedNameBase(ClassName()) + "_";
  for (int i = 0; i < kNameTries; ++i) {
    const std::string candidate = base + GuidToHex32(TGUID::NewGuid());
    if (!NameTaken(candidate)) {
      inherited::SetName(candidate);
      return;
    }
  }
}

void TVantrelControl::SetParent(TFmxObject* AParent) {
  inherited::SetParent(AParent);
  DoBoundsChanged(AParent);
}

void TVantrelControl::SetQualifiedName(const std::string& AValue) {
  if (AValue == FQualifiedName)
    return;
  auto* parent = dynamic_cast<TVantrelControl*>(Parent());
  if (!parent) {
    FQualifiedName = AValue;
    return;
  }
  if (parent->FControls.ContainsKey(AValue))
    throw Exception(Format(SControlAlreadyExists, AValue, parent->FQualifiedName));
  if (TVantrelControl* const* current = parent->FControls.Find(FQualifiedName); current && *current == this)
    parent->RemoveControl(FQualifiedName);
  FQualifiedName = AValue;
  parent->AddControl(AValue, this);
}

void TVantrelControl::RegisterControl(const std::string& AName, TVantrelControl* AControl) {
  FControls.Add(AName, AControl);
  if (AControl != this)
    AControl->FreeNotification(this);
}

void TVantrelControl::Notification(TComponent* AComponent, TOperation AOperation) {
  inherited::Notification(AComponent, AOperation);
  if (AOperation == TOperation::opRemove && !FControls.IsEmpty())
    if (auto* control = dynamic_cast<TVantrelControl*>(AComponent))
      RemoveControl(control);
}

TComponent* TVantrelControl::Duplicate(TComponent* AOwner, bool AAsProxy) {
  if (AAsProxy) {
    auto* proxy = New<TProxyObject>(AOwner);
    proxy->SetSourceObject(this);
    return proxy;
  }
  auto duplicator = MakeOwned<TVantrelDuplicator>();
  try {
    return duplicator->Duplicate(this, AOwner, {TDuplicationFlag::dfIgnoreMaterials});
  } catch (...) {
    // The top copy owns every other copy made so far.
    if (TObject* const* copy = duplicator->ObjectMap().Find(static_cast<TObject*>(this));
        copy && *copy != this)
      (*copy)->Free();
    throw;
  }
}

void TVantrelControl::DoDuplicate(TObject* ASource, TVantrelDuplicator* ADuplicator) {
  const auto* source = dynamic_cast<const TVantrelControl*>(ASource);
  if (!source)
    return;
  for (const auto& [name, control] : source->FControls) {
    TObject* const* copy = ADuplicator->ObjectMap().Find(static_cast<TObject*>(control));
    auto* copyControl = copy ? dynamic_cast<TVantrelControl*>(*copy) : nullptr;
    if (!copyControl) {
      Log::d(SCannotFindDuplicatedControl, name);
      continue;
    }
    RegisterControl(name, copyControl);
  }
}

void TVantrelControl::LoadFromDefinition(TCustomDef*) {
  throw EAbstractError(rtl::messages::AbstractError);
}

void TVantrelControl::StoreToDefinition(TCustomDef*) {
  throw EAbstractError(rtl::messages::AbstractError);
}

std::string TVantrelControl::GetControlName(const TVantrelControl* AControl) const {
  for (const auto& [name, control] : FControls)
    if (control == AControl)
      return name;
  return {};
}

void TVantrelControl::AddControl(const std::string& AName, TVantrelControl* AControl) {
  if (FControls.ContainsKey(AName))
    throw Exception(Format(SControlAlreadyExists, AName, FQualifiedName));
  RegisterControl(AName, AControl);
}

void TVantrelControl::RemoveControl(const std::string& AName) {
  FControls.Remove(AName);
}

void TVantrelControl::RemoveControl(const TVantrelControl* AControl) {
  std::vector<std::string> names;
  for (const auto& [name, control] : FControls)
    if (control == AControl)
      names.push_back(name);
  for (const std::string& name : names)
    RemoveControl(name);
}

void TVantrelControl::MoveControlTo(TVantrelControl* AControl, TVantrelControl* ANewOwner) {
  const std::string name = GetControlName(AControl);
  if (!name.empty()) {
    ANewOwner->AddControl(name, AControl);
    RemoveControl(name);
  }
  ANewOwner->InsertComponent(AControl);
  AControl->SetParent(ANewOwner);
}

TComponent* TVantrelControl::FindControlByDeepSearch(const std::string& AName) const {
  if (AName.empty())
    return nullptr;
  if (TVantrelControl* const* found = FControls.Find(AName))
    return *found;
  for (const auto& [name, control] : FControls)
    if (TComponent* found = control->FindControlByDeepSearch(AName))
      return found;
  return nullptr;
}

TComponent* TVantrelControl::FindControlByDefDeepSearch(const TCustomDef* ADef) {
  if (!ADef)
    return nullptr;
  if (FDef == ADef)
    return this;
  for (const auto& [name, control] : FControls)
    if (TComponent* found = control->FindControlByDefDeepSearch(ADef))
      return found;
  return nullptr;
}

void TVantrelControl::FindControlsByDeepSearch(const std::string& AName, TSearchResult* AResult) const {
  if (AName.empty())
    return;
  if (!AResult)
    throw Exception(SResultListNotAssigned);
  for (const auto& [name, control] : FControls) {
    if (name == AName)
      AResult->Add(control, false);
    else if (const auto* mesh = dynamic_cast<const TVantrelMesh*>(control); mesh && mesh->ReferencedName() == AName)
      AResult->Add(control, true);
    control->FindControlsByDeepSearch(AName, AResult);
  }
}

TBoundingBox TVantrelControl::GetBoundingBox() {
  return TBoundingBox::Create({-Width() / 2, -Height() / 2, -Depth() / 2},
                              {Width() / 2, Height() / 2, Depth() / 2});
}

TBoundingBox TVantrelControl::GetAbsoluteBoundingBox() {
  return TransformBoundingBox(GetBoundingBox(), AbsoluteMatrix());
}

void TVantrelControl::DestroyComponentsButIgnoreClass(std::span<const TClass* const> AClasses) {
  int index = 0;
  while (index < ComponentCount()) {
    TComponent* component = Components(index);
    const bool keep = std::any_of(AClasses.begin(), AClasses.end(),
                                  [&](const TClass* AClass) { return component->InheritsFrom(*AClass); });
    if (keep)
      ++index;
    else
      component->Free();
  }
}

void TVantrelControl::Render() {
  if (!Opaque() && ZWrite())
    if (auto* context = dynamic_cast<TVantrelContext*>(Context()))
      context->SetContextStates(
          {TContextState::csZTestOn, TContextState::csZWriteOff, TContextState::csAllFace});
  inherited::Render();
}

// The viewport search and the hierarchy log (the generic searches are in Vantrel.Utils.Components).

TFmxObject* FindViewport(const TFmxObject* AObject) {
  return FindComponentUpwards(AObject, SViewportClassName);
}

std::string LogComponentHierarchy(const TComponent* AComponent, const std::string& AIndent) {
  std::string result = AIndent + Format("%s (%s)", AComponent->Name(), AComponent->ClassName()) + "\r\n";
  for (int i = 0; i < AComponent->ComponentCount(); ++i)
    result += LogComponentHierarchy(AComponent->Components(i), AIndent + AIndent);
  return result;
}

namespace {

void SetDesigningDeep(TComponent* AComponent, bool AValue) {
  AComponent->SetDesigning(AValue, false);
  for (int i = 0; i < AComponent->ComponentCount(); ++i)
    SetDesigningDeep(AComponent->Components(i), AValue);
}

} // namespace

void EnableDesigning(TComponent* AComponent) {
  SetDesigningDeep(AComponent, true);
}

void DisableDesigning(TComponent* AComponent) {
  SetDesigningDeep(AComponent, false);
}

// Form-text codecs.

namespace {

// The text up to the first of ",", "(" and ")"; the token and that separator leave ARest.
std::string_view NextToken(std::string_view& ARest) {
  const size_t at = ARest.find_first_of(",()");
  const std::string_view token = ARest.substr(0, at);
  ARest = at == std::string_view::npos ? std::string_view() : ARest.substr(at + 1);
  return token;
}

// Converts the tokens after the first into AOut's components in order, stopping at the first
// that does not convert.
template <size_t N, class TConvert> void ReadComponents(std::string_view AText, TConvert AConvert) {
  std::string_view rest = AText;
  NextToken(rest);
  for (size_t i = 0; i < N; ++i)
    if (!AConvert(i, NextToken(rest)))
      return;
}

bool ToFloat(std::string_view AToken, float& AValue) {
  double value;
  if (!TryStrToFloat(AToken, value, FormatSettingsEnUS()))
    return false;
  AValue = f32(value);
  return true;
}

template <size_t N> void ReadFloats(std::string_view AText, const std::array<float*, N>& AOut) {
  ReadComponents<N>(AText,
                    [&](size_t AIndex, std::string_view AToken) { return ToFloat(AToken, *AOut[AIndex]); });
}

std::string WriteNumbers(std::initializer_list<double> AValues) {
  std::string result = "(";
  for (const double value : AValues) {
    if (result.size() > 1)
      result += ',';
    result += FloatToStr(value, FormatSettingsEnUS());
  }
  return result + ")";
}

} // namespace

void ReadPointField(TPoint& AValue, std::string_view AText) {
  int32_t* out[] = {&AValue.X, &AValue.Y};
  ReadComponents<2>(
      AText, [&](size_t AIndex, std::string_view AToken) { return TryStrToInt(AToken, *out[AIndex]); });
}

std::string WritePointField(const TPoint& AValue) {
  return "(" + std::to_string(AValue.X) + "," + std::to_string(AValue.Y) + ")";
}

void ReadPointFField(TPointF& AValue, std::string_view AText) {
  ReadFloats<2>(AText, {&AValue.X, &AValue.Y});
}

std::string WritePointFField(const TPointF& AValue) {
  return WriteNumbers({AValue.X, AValue.Y});
}

void ReadPoint3DField(TPoint3D& AValue, std::string_view AText) {
  ReadFloats<3>(AText, {&AValue.X, &AValue.Y, &AValue.Z});
}

std::string WritePoint3DField(const TPoint3D& AValue) {
  return WriteNumbers({AValue.X, AValue.Y, AValue.Z});
}

void ReadSize3DField(TSize3D& AValue, std::string_view AText) {
  int32_t* out[] = {&AValue.Width, &AValue.Height, &AValue.Depth};
  ReadComponents<3>(AText, [&](size_t AIndex, std::string_view AToken) {
    double value;
    if (!TryStrToFloat(AToken, value, FormatSettingsEnUS()) || !std::isfinite(value) ||
        std::fabs(value) > std::numeric_limits<int32_t>::max())
      return false;
    *out[AIndex] = static_cast<int32_t>(Round(value));
    return true;
  });
}

std::string WriteSize3DField(const TSize3D& AValue) {
  return WriteNumbers({double(AValue.Width), double(AValue.Height), double(AValue.Depth)});
}

void ReadVector3DField(TVector3D& AValue, std::string_view AText) {
  ReadFloats<4>(AText, {&AValue.X, &AValue.Y, &AValue.Z, &AValue.W});
}

std::string WriteVector3DField(const TVector3D& AValue) {
  return WriteNumbers({AValue.X, AValue.Y, AValue.Z, AValue.W});
}

void ReadQuaternionField(TQuaternion3D& AValue, std::string_view AText) {
  ReadFloats<4>(AText, {&AValue.ImagPart.X, &AValue.ImagPart.Y, &AValue.ImagPart.Z, &AValue.RealPart});
}

std::string WriteQuaternionField(const TQuaternion3D& AValue) {
  return WriteNumbers({AValue.ImagPart.X, AValue.ImagPart.Y, AValue.ImagPart.Z, AValue.RealPart});
}

void ReadAlphaColorFField(TAlphaColorF& AValue, std::string_view AText) {
  ReadFloats<4>(AText, {&AValue.R, &AValue.G, &AValue.B, &AValue.A});
}

std::string WriteAlphaColorFField(const TAlphaColorF& AValue) {
  return WriteNumbers({AValue.R, AValue.G, AValue.B, AValue.A});
}

void ReadPlaneFField(TPlaneF& AValue, std::string_view AText) {
  ReadFloats<4>(AText, {&AValue.NX, &AValue.NY, &AValue.NZ, &AValue.D});
}

std::string WritePlaneFField(const TPlaneF& AValue) {
  return WriteNumbers({AValue.NX, AValue.NY, AValue.NZ, AValue.D});
}

// Local-matrix and picking helpers.

namespace {

bool Destroying(const TControl3D* AControl) {
  return AControl->ComponentState().Contains(TComponentStateItem::csDestroying);
}

} // namespace

void RecalcLocalMatrix(TControl3D* AControl) {
  if (!Destroying(AControl))
    AControl->RebuildLocalMatrixFromQuaternion();
}

void SetLocalMatrix(TControl3D* AControl, const TMatrix3D& AMatrix, bool ASetPosition, bool ASetScale,
                    bool ASetRotation, bool ARepaint) {
  if (Destroying(AControl))
    return;
  AControl->SetLocalMatrixValue(AMatrix);
  if (ASetPosition)
    AControl->Position()->SetPointNoChange(MatrixGetTranslation(AMatrix));
  if (ASetScale)
    AControl->Scale()->SetPointNoChange(MatrixGetScale(AMatrix));
  const TQuaternion3D rotation = ASetRotation ? MatrixGetRotation(AMatrix) : TQuaternion3D::Identity();
  AControl->SetQuaternionValue(rotation);
  AControl->RotationAngle()->SetPointNoChange(ASetRotation ? QuaternionToEuler(rotation, 0) : TPoint3D{});
  AControl->SetSavedRotationAngle({});
  if (ARepaint)
    AControl->Repaint();
}

void RecalcLocalMatrixFromAngles(TControl3D* AControl) {
  AControl->MatrixChanged();
}

void ClearRenderingList(TControl3D* AControl) {
  AControl->ClearRenderingList();
}

IControl* PickChildAt(TControl3D* AControl, const TPointF& APoint, TVector3D& ARayPos, TVector3D& ARayDir,
                      TPoint3D& AIntersection) {
  return AControl->ObjectAtPoint(APoint, ARayPos, ARayDir, AIntersection);
}

// Start-up.

namespace {

int ControlInitCount = 0;

} // namespace

void InitializeControl() {
  if (ControlInitCount++ > 0)
    return;
  RegisterFmxClasses();
  RegisterClass(TVantrelControl::StaticClass());
  TVantrelControl::RegisterFields();
}

void FinalizeControl() {
  if (ControlInitCount == 0 || --ControlInitCount > 0)
    return;
  UnRegisterFields(TVantrelControl::StaticClass());
  UnRegisterClass(TVantrelControl::StaticClass());
  UnregisterFmxClasses();
}

} // namespace vantrel
