#pragma once
// The box primitive: a mesh that generates a unit box centred on the origin, each face split into
// a grid of quads with its own normal, texture coordinates, tangent frame and vertex colour, and
// draws it from its definition's static GPU buffer.

#include "Vantrel.Prelude.h"
#include "scene/Vantrel.Mesh.h"

namespace vantrel {

class TVantrelCube : public TVantrelMesh {
  RTL_CLASS(TVantrelCube, TVantrelMesh)
public:
  explicit TVantrelCube(TComponent* AOwner);
  // The mesh's set-up, then a definition of its own and RebuildMesh(true) through the virtual
  // slot, so a subclass's override already runs.
  void AfterConstruction() override;

  static void RegisterProperties(TPropertyList& AList);

  int32_t SubdivisionsWidth() const { return FSubdivisionsWidth; }
  int32_t SubdivisionsHeight() const { return FSubdivisionsHeight; }
  int32_t SubdivisionsDepth() const { return FSubdivisionsDepth; }
  // The same value does nothing; the comparison comes before the clamp to at least 1.
  void SetSubdivisionsWidth(int32_t AValue);
  void SetSubdivisionsHeight(int32_t AValue);
  void SetSubdivisionsDepth(int32_t AValue);

  // Regenerates the geometry in the mesh data; with AIsStatic it then moves into the definition's
  // GPU buffer and the mesh data is emptied.
  virtual void RebuildMesh(bool AIsStatic);

protected:
  void Resize3D() override;

private:
  int32_t FSubdivisionsWidth = 1;
  int32_t FSubdivisionsHeight = 1;
  int32_t FSubdivisionsDepth = 1;

  void SetCount(int32_t& ACount, int32_t AValue);
  void MoveGeometryIntoDefinition(TMeshData& AData);
};

void InitializeCube();
void FinalizeCube();

} // namespace vantrel
