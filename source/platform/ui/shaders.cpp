#include "ui/shaders.h"

#include <map>

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

// ---- TShaderManager ---------------------------------------------------------------------------------

namespace {

void AppendBytes(std::string& AKey, const void* AData, size_t ASize) {
  const auto size = static_cast<uint64_t>(ASize);
  AKey.append(reinterpret_cast<const char*>(&size), sizeof(size));
  AKey.append(static_cast<const char*>(AData), ASize);
}

void AppendInt(std::string& AKey, int64_t AValue) {
  AKey.append(reinterpret_cast<const char*>(&AValue), sizeof(AValue));
}

// Every part is length-prefixed or of fixed width, so distinct inputs never share a key.
std::string ShaderKey(const std::string& AName, TContextShaderKind AKind,
                      const std::vector<TContextShaderSource>& ASources) {
  std::string key;
  AppendBytes(key, AName.data(), AName.size());
  AppendInt(key, int64_t(AKind));
  AppendInt(key, int64_t(ASources.size()));
  for (const TContextShaderSource& source : ASources) {
    AppendInt(key, int64_t(source.Arch));
    AppendBytes(key, source.Code.data(), source.Code.size());
    AppendInt(key, int64_t(source.Variables.size()));
    for (const TContextShaderVariable& variable : source.Variables) {
      AppendBytes(key, variable.Name.data(), variable.Name.size());
      AppendInt(key, int64_t(variable.Kind));
      AppendInt(key, variable.Index);
      AppendInt(key, variable.Size);
    }
  }
  return key;
}

// A held shader and the number of registrations that have not let go of it yet.
struct THeldShader {
  rtl::TOwned<TContextShader> Shader;
  int Holders = 0;
};

// Never destroyed: the context's shutdown at exit clears it, which may run after static objects
// are gone.
std::map<std::string, THeldShader>& Shaders() {
  static auto* shaders = new std::map<std::string, THeldShader>;
  return *shaders;
}

} // namespace

TContextShader* TShaderManager::RegisterShaderFromData(const std::string& AName, TContextShaderKind AKind,
                                                       const std::string&,
                                                       const std::vector<TContextShaderSource>& ASources) {
  THeldShader& slot = Shaders()[ShaderKey(AName, AKind, ASources)];
  if (!slot.Shader)
    slot.Shader = rtl::MakeOwned<TContextShader>(AName, AKind, ASources);
  ++slot.Holders;
  return slot.Shader.get();
}

void TShaderManager::UnregisterShader(TContextShader* AShader) {
  auto& shaders = Shaders();
  for (auto it = shaders.begin(); it != shaders.end(); ++it)
    if (it->second.Shader.get() == AShader) {
      // Shared shaders stay while another registration still holds them.
      if (--it->second.Holders > 0)
        return;
      // Out of the map first: freeing may log, and the map must not hold a dying shader.
      rtl::TOwned<TContextShader> shader = std::move(it->second.Shader);
      shaders.erase(it);
      return;
    }
}

int TShaderManager::Holders(const TContextShader* AShader) {
  for (const auto& [key, held] : Shaders())
    if (held.Shader.get() == AShader)
      return held.Holders;
  return 0;
}

int TShaderManager::Count() { return static_cast<int>(Shaders().size()); }

void TShaderManager::Clear() {
  std::map<std::string, THeldShader> shaders;
  shaders.swap(Shaders());
}

} // namespace ui
