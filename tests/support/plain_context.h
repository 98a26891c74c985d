#pragma once
// A context of the UI layer that is not the framework's context: every hook does nothing. Tests
// hand it to code that needs the framework's context, which must refuse it with the invalid-type
// error rather than use it.

#include "ui/context3d.h"

namespace vtest {

class TPlainContextClass : public ui::TContext3DClass {
public:
  using TContext3DClass::TContext3DClass;
  bool Valid() const override { return true; }
};

class TPlainContext : public ui::TContext3D {
  RTL_CLASS_META(TPlainContext, ui::TContext3D, TPlainContextClass)
public:
  TPlainContext() = default;
  // A context of this class on ATexture, made without registering the class.
  static rtl::TOwned<TPlainContext> Make(ui::TTexture* ATexture);

protected:
  void DoCreateBuffer() override {}
  void DoFreeBuffer() override {}
  void DoResize() override {}
  void DoSetContextState(ui::TContextState) override {}
  void DoClear(ui::TClearTargets, rtl::TAlphaColor, float, uint32_t) override {}
  void DoSetStencilOp(ui::TStencilOp, ui::TStencilOp, ui::TStencilOp) override {}
  void DoSetStencilFunc(ui::TStencilFunc, uint32_t, uint32_t) override {}
  void DoSetScissorRect(const rtl::TRect&) override {}
  void DoDrawPrimitivesBatch(ui::TPrimitivesKind, const void*, const void*, const ui::TVertexDeclaration&, int32_t,
                             int32_t, int32_t, int32_t) override {}
  void DoSetShaders(ui::TContextShader*, ui::TContextShader*) override {}
  void DoSetShaderVariable(const std::string&, std::span<const rtl::TVector3D>) override {}
  void DoSetShaderVariable(const std::string&, const rtl::TMatrix3D&) override {}
  void DoSetShaderVariable(const std::string&, ui::TTexture*) override {}
  void DoCopyToBits(void*, int32_t, const rtl::TRect&) override {}
};

} // namespace vtest
