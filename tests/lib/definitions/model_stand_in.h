#pragma once
// A stand-in for the model definition in tests of the definitions that look joints, nodes and
// controllers up through their model: it holds armatures, controllers and a node tree, and
// installs the model seams that answer from it while it lives.

#include <string>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/sysutils.h"

namespace vtest {

class TModelStandIn {
public:
  TModelStandIn() : FRoot(rtl::New<vantrel::TTransformDef>()) {
    FRoot->SetId("Model1");
    FPrevious = vantrel::SetModelDefSeams({&FindDef, &FindChild, &FindJoint, &FindController});
  }
  ~TModelStandIn() {
    vantrel::SetModelDefSeams(FPrevious);
    for (vantrel::TControllerDef* controller : FControllers)
      controller->Free();
    for (vantrel::TArmatureDef* armature : FArmatures)
      armature->Free();
    FRoot->Free();
  }
  TModelStandIn(const TModelStandIn&) = delete;
  TModelStandIn& operator=(const TModelStandIn&) = delete;

  // The pointer that definitions receive as their model.
  vantrel::TModelDef* Model() { return reinterpret_cast<vantrel::TModelDef*>(this); }
  vantrel::TTransformDef* Root() { return FRoot; }
  // Takes the armature over.
  vantrel::TArmatureDef* AddArmature(vantrel::TArmatureDef* AArmature) {
    FArmatures.Add(AArmature);
    return AArmature;
  }
  vantrel::TControllerDef* AddController(vantrel::TControllerDef* AController) {
    FControllers.Add(AController);
    return AController;
  }

private:
  vantrel::TTransformDef* FRoot;
  rtl::TList<vantrel::TArmatureDef*> FArmatures;
  rtl::TList<vantrel::TControllerDef*> FControllers;
  vantrel::TModelDefSeams FPrevious;

  static TModelStandIn& Of(vantrel::TModelDef* AModel) { return *reinterpret_cast<TModelStandIn*>(AModel); }
  static vantrel::TTransformDef* FindChild(vantrel::TModelDef* AModel, const std::string& AId) {
    return Of(AModel).FRoot->FindChildById(AId, false);
  }
  static vantrel::TJointDef* FindJoint(vantrel::TModelDef* AModel, const std::string& AId) {
    for (vantrel::TArmatureDef* armature : Of(AModel).FArmatures)
      if (vantrel::TJointDef* joint = armature->FindJointById(AId))
        return joint;
    return nullptr;
  }
  static vantrel::TCustomDef* FindDef(vantrel::TModelDef* AModel, const std::string& AId) {
    if (vantrel::TJointDef* joint = FindJoint(AModel, AId))
      return joint;
    return FindChild(AModel, AId);
  }
  static vantrel::TControllerDef* FindController(vantrel::TModelDef* AModel, const std::string& AId) {
    for (vantrel::TControllerDef* controller : Of(AModel).FControllers)
      if (rtl::SameText(controller->GetId(), AId) || rtl::SameText("#" + controller->GetId(), AId))
        return controller;
    return nullptr;
  }
};

} // namespace vtest
