#pragma once
// A transform loaded from a TSegmentDef that builds its definition's child segments (and, with
// the mesh unit, meshes and vertex groups) as owned, parented, unstored children. The model
// control later resolves segments into the controls they reference.

#include "Vantrel.Prelude.h"
#include "scene/Vantrel.Transform.h"

namespace vantrel {

inline constexpr const char* SHierarchyTypeNotSupported = "todo: %s type not supported yet in hierarchy";

class TVantrelSegment : public TVantrelTransform {
  RTL_CLASS(TVantrelSegment, TVantrelTransform)
public:
  using TVantrelTransform::TVantrelTransform;

  // The transform's load, then ADef must be a TSegmentDef (else EInvalidCast); an empty
  // QualifiedName becomes its Id, the component name its qualified component name; then the
  // children are built.
  void LoadFromDefinition(TCustomDef* ADef) override;
  // A child of another kind raises; the children built before it stay.
  void BuildHierarchy(TTransformDef* ADef) override;
};

void InitializeSegment();
void FinalizeSegment();

} // namespace vantrel
