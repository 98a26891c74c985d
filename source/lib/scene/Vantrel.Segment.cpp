#include "scene/Vantrel.Segment.h"

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/sysutils.h"

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
    auto* segmentDef = dynamic_cast<TSegmentDef*>(child);
    if (!segmentDef)
      throw Exception(Format(SHierarchyTypeNotSupported, child->ClassName()));
    auto* segment = New<TVantrelSegment>(this);
    segment->SetStored(false);
    segment->SetParent(this);
    segment->LoadFromDefinition(segmentDef);
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
