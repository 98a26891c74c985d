#pragma once
// Puts a definition into a model definition's list of its kind and hands it back, so that test
// fixtures can build a real model in member initialisers. The model owns what it lists.

#include "definitions/Vantrel.DefTypes.h"

namespace vtest {

inline vantrel::TArmatureDef* ListArmature(vantrel::TModelDef& AModel, vantrel::TArmatureDef* AArmature) {
  AModel.AddArmature(AArmature);
  return AArmature;
}

inline vantrel::TControllerDef* ListController(vantrel::TModelDef& AModel, vantrel::TControllerDef* AController) {
  AModel.AddController(AController);
  return AController;
}

} // namespace vtest
