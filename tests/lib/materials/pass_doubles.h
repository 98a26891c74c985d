#pragma once
// Pass doubles for the default material's apply branches: a render-pass controller with a settable
// output texture, texture matrices per bias flag and an input pass, and one subclass per pass class
// the branches test. A test installs a subclass with SetPassClass and restores the table to nil.

#include "materials/Vantrel.Material.Default.h"
#include "rendering/Vantrel.Controller.h"

namespace vtest {

class TPassDouble : public vantrel::TVantrelRenderPassController {
  RTL_CLASS(TPassDouble, vantrel::TVantrelRenderPassController)
public:
  explicit TPassDouble(rtl::TComponent* AOwner) : vantrel::TVantrelRenderPassController(AOwner) {}
  ui::TTexture* GetOutputTexture() override { return Output; }
  rtl::TMatrix3D GetTextureMatrix(ui::TContext3D*, bool AUseBias) override { return AUseBias ? Biased : Unbiased; }
  vantrel::TVantrelRenderPassController* GetInputPass() const override { return Input; }
  ui::TTexture* Output = nullptr;
  rtl::TMatrix3D Biased;
  rtl::TMatrix3D Unbiased;
  vantrel::TVantrelRenderPassController* Input = nullptr;

protected:
  rtl::TOwned<vantrel::TVantrelRenderPassMaterialSource> CreateShader() override { return nullptr; }
};

// Stand-ins for the pass classes the branches test.
#define VANTREL_PASS_DOUBLE(Name)                                                                            \
  class Name : public TPassDouble {                                                                          \
    RTL_CLASS(Name, TPassDouble)                                                                             \
  public:                                                                                                    \
    using TPassDouble::TPassDouble;                                                                          \
  };
VANTREL_PASS_DOUBLE(TDepthPassDouble)
VANTREL_PASS_DOUBLE(TEnvironmentPassDouble)
VANTREL_PASS_DOUBLE(TSMStoreDouble)
VANTREL_PASS_DOUBLE(TVSMStoreDouble)
VANTREL_PASS_DOUBLE(TVSMBlurDouble)
VANTREL_PASS_DOUBLE(TReflectionDouble)
VANTREL_PASS_DOUBLE(TRefractionDouble)
#undef VANTREL_PASS_DOUBLE

// Sets every pass-class reference back to nil.
void ClearPassClasses();

} // namespace vtest
