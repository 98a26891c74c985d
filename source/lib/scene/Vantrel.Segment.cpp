#include "scene/Vantrel.Segment.h"

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/sysutils.h"
#include "scene/Vantrel.Mesh.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelSegment, "Vantrel.Segment")

void TVantrelSegment::LoadFromDefinition(TCustomDef* ADef) {
  inherited::LoadFromDefinition(ADef);
  auto* def = CheckedCast<TSegmentDef>(ADef);
  SetDef(def);
  if (QualifiedName().empty())
    SetQualifiedName(def->GetId());
  SetName(def->GetQualifiedComponentName());
  BuildHierarchy(def);
}

void TVantrelSegment::BuildHierarchy(TTransformDef* ADef) {
  const TObjectList<TTransformDef>* children = ADef->GetChildren();
  if (!children)
    return;
  for (TTransformDef* child : *children) {
    TVantrelTransform* control = nullptr;
    if (dynamic_cast<TVertexGroupDef*>(child))
      control = New<TVantrelVertexGroup>(this);
    else if (dynamic_cast<TMeshDef*>(child))
      control = New<TVantrelMesh>(this);
    else if (dynamic_cast<TSegmentDef*>(child))
      control = New<TVantrelSegment>(this);
    else
      throw Exception(Format(SHierarchyTypeNotSupported, child->ClassName()));
    control->SetStored(false);
    control->SetParent(this);
    control->LoadFromDefinition(child);
  }
}

namespace {

int SegmentInitCount = 0;

} // namespace

void InitializeSegment() {
  if (SegmentInitCount++ > 0)
    return;
  RegisterClass(TVantrelSegment::StaticClass());
}

void FinalizeSegment() {
  if (SegmentInitCount == 0 || --SegmentInitCount > 0)
    return;
  UnRegisterClass(TVantrelSegment::StaticClass());
}

} // namespace vantrel
