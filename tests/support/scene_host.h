#pragma once
// A scene host for tests: an off-screen TCustomScene of the given client size and scale, owned by
// the test.

#include "rtl/object.h"
#include "ui/scene.h"

namespace vtest {

inline rtl::TOwned<ui::TCustomScene> MakeScene(float AWidth, float AHeight, float AScale = 1) {
  auto scene = rtl::MakeOwned<ui::TCustomScene>(nullptr);
  scene->SetSceneScale(AScale);
  scene->SetSize(AWidth, AHeight);
  return scene;
}

} // namespace vtest
