#pragma once
// The base scene control: a 3D control with a qualified name, a registry of named child controls
// (Controls, insertion-ordered, case-sensitive keys), the definition it was built from (Def),
// unique component names, deep searches and bounding boxes; with it (through the duplicator's
// header) the duplication interface IDuplicatable, (through Vantrel.Utils.Components) the searches
// over UI objects and components, the viewport search, the form-text codecs of vector-like values
// and the local-matrix and picking helpers for any 3D control.
//
// Every registry holds its controls under free notification: a freed control leaves every key of
// every registry that maps to it, wherever it was registered.

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Vantrel.Prelude.h"
#include "context/Vantrel.Context.Types.h"
#include "rtl/colors.h"
#include "rtl/generics.h"
#include "rtl/math3d.h"
#include "rtl/types2d.h"
#include "ui/controls3d.h"
#include "utils/Vantrel.Utils.Components.h"
#include "utils/Vantrel.Utils.Duplication.h"
#include "utils/Vantrel.Utils.Math.h"

namespace vantrel {

class TCustomDef;

inline constexpr const char* SControlAlreadyExists = "control \"%s\" already exists in %s";
inline constexpr const char* SResultListNotAssigned = "result list not assigned";
inline constexpr const char* SCannotFindDuplicatedControl =
    "<WARNING> TVantrelControl.DoDuplicate - cannot find duplicated control %s";
inline constexpr const char* SViewportClassName = "Vantrel.Viewport.TVantrelViewport";

class TVantrelControl : public TControl3D, public IDuplicatable {
  RTL_CLASS(TVantrelControl, TControl3D)
public:
  using TControls = TDictionary<std::string, TVantrelControl*>;
  using TSearchResult = TDictionary<TComponent*, bool>;

  explicit TVantrelControl(TComponent* AOwner);
  static void RegisterProperties(TPropertyList& AList);
  static void RegisterFields();

  // Unique naming: a name taken globally or among the owner's components (the control's own
  // current name included) is replaced by the class name without its leading "T", "_" and a new
  // GUID's 32 digits, tried up to 11 times; when all are taken the name stays.
  void SetName(const std::string& AName) override;
  // Inherited, then DoBoundsChanged with the new parent.
  void SetParent(TFmxObject* AParent) override;

  const std::string& QualifiedName() const { return FQualifiedName; }
  // Re-registers the control in its parent's Controls under the new name: a collision raises
  // with nothing changed; the old key goes when it maps to this control.
  void SetQualifiedName(const std::string& AValue);
  const TControls& Controls() const { return FControls; }
  TCustomDef* Def() const { return FDef; }
  void SetDef(TCustomDef* AValue) { FDef = AValue; }
  // Whether this control frees its definition (then a copy keeps its own).
  virtual bool OwnsDefinition() const { return false; }
  bool FrustumCullingCheck() const { return FFrustumCullingCheck; }
  virtual void SetFrustumCullingCheck(bool AValue) { FFrustumCullingCheck = AValue; }

  // A proxy of this control owned by AOwner, or a deep copy (material sources shared). A failed
  // copy leaves nothing behind.
  TComponent* Duplicate(TComponent* AOwner, bool AAsProxy);
  void DoDuplicate(TObject* ASource, TVantrelDuplicator* ADuplicator) override;

  // Raise EAbstractError unless a subclass loads and stores itself.
  virtual void LoadFromDefinition(TCustomDef* ADef);
  virtual void StoreToDefinition(TCustomDef* ADef);

  // The first key that maps to AControl, or "".
  virtual std::string GetControlName(const TVantrelControl* AControl) const;
  virtual void AddControl(const std::string& AName, TVantrelControl* AControl);
  virtual void RemoveControl(const std::string& AName);
  // Removes every key that maps to AControl.
  virtual void RemoveControl(const TVantrelControl* AControl);
  // Moves AControl's key, owner and parent to ANewOwner.
  virtual void MoveControlTo(TVantrelControl* AControl, TVantrelControl* ANewOwner);
  virtual TComponent* FindControlByDeepSearch(const std::string& AName) const;
  virtual TComponent* FindControlByDefDeepSearch(const TCustomDef* ADef);
  virtual void FindControlsByDeepSearch(const std::string& AName, TSearchResult* AResult) const;
  TBoundingBox GetBoundingBox() override;
  TBoundingBox GetAbsoluteBoundingBox() override;
  // Frees every owned component whose class is not one of AClasses or a descendant.
  void DestroyComponentsButIgnoreClass(std::span<const TClass* const> AClasses);

protected:
  // Scene controls are created opaque.
  bool DefaultOpaque() const override { return true; }
  // After the parent or the size changed; subclasses rebuild what depends on them.
  virtual void DoBoundsChanged(TFmxObject*) {}
  void Resize3D() override { DoBoundsChanged(Parent()); }
  // A translucent control that writes depth draws with depth test on, depth write off and both
  // faces; the states are not restored.
  void Render() override;
  // The framework's renderers walk their own lists: children are not drawn from here.
  void RenderChildren() override {}
  void Notification(TComponent* AComponent, TOperation AOperation) override;

private:
  std::string FQualifiedName;
  TControls FControls;
  TCustomDef* FDef = nullptr;
  bool FFrustumCullingCheck = true;

  // The one way into Controls: adds the pair and watches the control's destruction.
  void RegisterControl(const std::string& AName, TVantrelControl* AControl);
  bool NameTaken(const std::string& AName) const;
};

// The viewport above AObject; nullptr until the viewport class is registered.
TFmxObject* FindViewport(const TFmxObject* AObject);

// "indent + Name (ClassName)" and CRLF per component; the indent doubles per level.
std::string LogComponentHierarchy(const TComponent* AComponent, const std::string& AIndent);
void EnableDesigning(TComponent* AComponent);
void DisableDesigning(TComponent* AComponent);

// Form text of vector-like values: "(a,b,c)". Readers never raise: a component that does not
// convert ends reading, the components before it keep their new values.
void ReadPointField(TPoint& AValue, std::string_view AText);
std::string WritePointField(const TPoint& AValue);
void ReadPointFField(TPointF& AValue, std::string_view AText);
std::string WritePointFField(const TPointF& AValue);
void ReadPoint3DField(TPoint3D& AValue, std::string_view AText);
std::string WritePoint3DField(const TPoint3D& AValue);
void ReadSize3DField(TSize3D& AValue, std::string_view AText);
std::string WriteSize3DField(const TSize3D& AValue);
void ReadVector3DField(TVector3D& AValue, std::string_view AText);
std::string WriteVector3DField(const TVector3D& AValue);
void ReadQuaternionField(TQuaternion3D& AValue, std::string_view AText);
std::string WriteQuaternionField(const TQuaternion3D& AValue);
void ReadAlphaColorFField(TAlphaColorF& AValue, std::string_view AText);
std::string WriteAlphaColorFField(const TAlphaColorF& AValue);
void ReadPlaneFField(TPlaneF& AValue, std::string_view AText);
std::string WritePlaneFField(const TPlaneF& AValue);

// Local-matrix and picking helpers for any 3D control.
// The local matrix from Scale, the rotation quaternion and Position; nothing while destroying.
void RecalcLocalMatrix(TControl3D* AControl);
// The local matrix becomes AMatrix; position, scale and rotation follow it on request.
void SetLocalMatrix(TControl3D* AControl, const TMatrix3D& AMatrix, bool ASetPosition, bool ASetScale,
                    bool ASetRotation, bool ARepaint);
// The platform's matrix-change handler: scale, RotationAngle (around the centre) and position.
void RecalcLocalMatrixFromAngles(TControl3D* AControl);
void ClearRenderingList(TControl3D* AControl);
// The control under the screen point, with the absolute picking ray and hit point.
IControl* PickChildAt(TControl3D* AControl, const TPointF& APoint, TVector3D& ARayPos, TVector3D& ARayDir,
                      TPoint3D& AIntersection);

// Registers TVantrelControl with the class registry (and the UI classes it stands on); counted.
void InitializeControl();
void FinalizeControl();

} // namespace vantrel
