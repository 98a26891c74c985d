#include "ui/shaders.h"

#include <functional>
#include <string_view>
#include <unordered_map>

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

void Combine(size_t& AHash, size_t AValue) {
  AHash ^= AValue + 0x9E3779B97F4A7C15ull + (AHash << 6) + (AHash >> 2);
}

size_t HashOf(std::string_view ABytes) { return std::hash<std::string_view>{}(ABytes); }

std::string_view BytesOf(const std::vector<uint8_t>& ACode) {
  return {reinterpret_cast<const char*>(ACode.data()), ACode.size()};
}

// A hash of everything that tells shaders apart; equal hashes are told apart by SameShader.
size_t ShaderHash(const std::string& AName, TContextShaderKind AKind,
                  const std::vector<TContextShaderSource>& ASources) {
  size_t hash = HashOf(AName);
  Combine(hash, size_t(AKind));
  Combine(hash, ASources.size());
  for (const TContextShaderSource& source : ASources) {
    Combine(hash, size_t(source.Arch));
    Combine(hash, HashOf(BytesOf(source.Code)));
    Combine(hash, source.Variables.size());
    for (const TContextShaderVariable& variable : source.Variables) {
      Combine(hash, HashOf(variable.Name));
      Combine(hash, size_t(variable.Kind));
      Combine(hash, size_t(variable.Index));
      Combine(hash, size_t(variable.Size));
    }
  }
  return hash;
}

// The name, the kind and, per source, the architecture, every code byte and the variables' names,
// kinds, indices and sizes.
bool SameShader(const TContextShader& AShader, const std::string& AName, TContextShaderKind AKind,
                const std::vector<TContextShaderSource>& ASources) {
  const std::vector<TContextShaderSource>& held = AShader.Sources();
  if (AShader.Name() != AName || AShader.Kind() != AKind || held.size() != ASources.size())
    return false;
  for (size_t i = 0; i < held.size(); ++i) {
    const TContextShaderSource& a = held[i];
    const TContextShaderSource& b = ASources[i];
    if (a.Arch != b.Arch || a.Code != b.Code || a.Variables.size() != b.Variables.size())
      return false;
    for (size_t v = 0; v < a.Variables.size(); ++v) {
      const TContextShaderVariable& x = a.Variables[v];
      const TContextShaderVariable& y = b.Variables[v];
      if (x.Name != y.Name || x.Kind != y.Kind || x.Index != y.Index || x.Size != y.Size)
        return false;
    }
  }
  return true;
}

// A held shader and the number of registrations that have not let go of it yet.
struct THeldShader {
  rtl::TOwned<TContextShader> Shader;
  int Holders = 0;
};

using TShaderTable = std::unordered_multimap<size_t, THeldShader>;

// Never destroyed: the context's shutdown at exit clears it, which may run after static objects
// are gone.
TShaderTable& Shaders() {
  static auto* shaders = new TShaderTable;
  return *shaders;
}

// The held shader equal to the arguments, or a new one made by AMake; one more holder either way.
// Hashing reads the texts once; no key copy of them is made.
template <class TMake>
TContextShader* Register(const std::string& AName, TContextShaderKind AKind,
                         const std::vector<TContextShaderSource>& ASources, TMake&& AMake) {
  TShaderTable& shaders = Shaders();
  const size_t hash = ShaderHash(AName, AKind, ASources);
  auto [first, last] = shaders.equal_range(hash);
  for (auto it = first; it != last; ++it)
    if (SameShader(*it->second.Shader, AName, AKind, ASources)) {
      ++it->second.Holders;
      return it->second.Shader.get();
    }
  auto it = shaders.emplace(hash, THeldShader{AMake(), 1});
  return it->second.Shader.get();
}

} // namespace

TContextShader* TShaderManager::RegisterShaderFromData(const std::string& AName, TContextShaderKind AKind,
                                                       const std::string&,
                                                       const std::vector<TContextShaderSource>& ASources) {
  return Register(AName, AKind, ASources,
                  [&] { return rtl::MakeOwned<TContextShader>(AName, AKind, ASources); });
}

TContextShader* TShaderManager::RegisterShaderFromData(const std::string& AName, TContextShaderKind AKind,
                                                       const std::string&,
                                                       std::vector<TContextShaderSource>&& ASources) {
  return Register(AName, AKind, ASources,
                  [&] { return rtl::MakeOwned<TContextShader>(AName, AKind, std::move(ASources)); });
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
  TShaderTable shaders;
  shaders.swap(Shaders());
}

} // namespace ui
