#pragma once
// The material factory: turns a material definition into the material source class that fits
// its kind, copies the definition's settings and textures into it, and reuses a source already
// made for the same definition (found by its TagObject).
//
// The owner is any 3D control (a scene control in practice). The factory stands below the scene:
// it tells meshes and models apart by their class names, not by their headers.

#include "Vantrel.Prelude.h"
#include "definitions/Vantrel.DefTypes.h"
#include "ui/controls3d.h"
#include "ui/material.h"

namespace vantrel {

class TVantrelMaterial {
public:
  TVantrelMaterial() = delete;

  // nullptr for no model or no reference. A reference that carries its definition first looks
  // for a source made for it under the search root (the owner's model when the owner is a mesh
  // of a model, else the owner), depth first; otherwise, or with only an Id (looked up in
  // AModel, nullptr when absent), a new source is made.
  static TMaterialSource* CreateMaterial(TControl3D* AOwner, TModelDef* AModel, const TMaterialRefDef* ADef);
  // A new source of the class for ADef's kind (nullptr for no definition), owned by AOwner, its
  // parent, not stored, tagged with ADef. The settings of each kind are written inside one rebuild
  // bracket.
  static TMaterialSource* CreateMaterial(TControl3D* AOwner, const TMaterialDef* ADef);

  // SpecPow as shininess, in single precision: below 1 the ceiling of SpecPow x 100, else the
  // ceiling of SpecPow.
  static float ShininessOf(float ASpecPow);
};

} // namespace vantrel
