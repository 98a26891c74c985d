#include "ui/shaders.h"

#include "rtl/log.h"
#include "rtl/sysutils.h"
#include "ui/context3d.h"

namespace ui {

RTL_DEFINE_CLASS(TContextShader, "ui.Shaders")

namespace {
constexpr const char* FinalizeFailed = "TContextShader.Finalize failed: %s";
} // namespace

TContextShader::TContextShader(std::string AName, TContextShaderKind AKind,
                               std::vector<TContextShaderSource> ASources)
    : FName(std::move(AName)), FKind(AKind), FSources(std::move(ASources)) {}

const TContextShaderSource* TContextShader::GetSourceByArch(TContextShaderArch AArch) const {
  for (const TContextShaderSource& source : FSources)
    if (source.Arch == AArch)
      return &source;
  return nullptr;
}

void TContextShader::BeforeDestruction() {
  try {
    if (FHandle != 0 && TContextManager::DefaultContextClass())
      TContextManager::FinalizeShader(this);
  } catch (const rtl::Exception& E) {
    rtl::Log::d(rtl::Format(FinalizeFailed, E.Message()));
  }
  inherited::BeforeDestruction();
}

} // namespace ui
