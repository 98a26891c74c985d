#pragma once
// Shader objects of the 3D context protocol: one shader stage with its source code for each
// shading architecture, and the variables the code declares. A context compiles a shader through
// the context manager and keeps the GPU object's name in Handle.

#include <cstdint>
#include <string>
#include <vector>

#include "rtl/object.h"
#include "rtl/typeinfo.h"
#include "ui/types3d.h"

namespace ui {

enum class TContextShaderArch : uint8_t { Undefined, GLSL, Mac };
RTL_ENUM_TYPEINFO(TContextShaderArch, "Undefined", "GLSL", "Mac")

enum class TContextShaderKind : uint8_t { VertexShader, PixelShader };
RTL_ENUM_TYPEINFO(TContextShaderKind, "VertexShader", "PixelShader")

// The ordinals are fixed: program variable tables store them. Ordinal 8 is not used.
enum class TContextShaderVariableKind : uint8_t {
  Float = 0,
  Float2 = 1,
  Float3 = 2,
  Vector = 3,
  Matrix = 4,
  Texture = 5,
  Int = 6,
  IntArray = 7,
  Texture3D = 9,
};
RTL_ENUM_TYPEINFO(TContextShaderVariableKind, "Float", "Float2", "Float3", "Vector", "Matrix", "Texture",
                  "Int", "IntArray", "", "Texture3D")

struct TContextShaderVariable {
  std::string Name;
  TContextShaderVariableKind Kind = TContextShaderVariableKind::Float;
  // The variable's location in the linked program.
  int32_t Index = 0;
  // The number of elements (array length; 1 for a single value).
  int32_t Size = 1;
  int32_t TextureUnit = 0;
  TContextShaderKind ShaderKind = TContextShaderKind::VertexShader;

  bool operator==(const TContextShaderVariable&) const = default;
};

// A shader's code for one architecture. The code is bytes, not text: some architectures carry
// binaries.
struct TContextShaderSource {
  TContextShaderArch Arch = TContextShaderArch::Undefined;
  std::vector<uint8_t> Code;
  std::vector<TContextShaderVariable> Variables;

  bool IsDefined() const { return Arch != TContextShaderArch::Undefined; }
};

class TContextShader : public rtl::TObject {
  RTL_CLASS(TContextShader, rtl::TObject)
public:
  TContextShader(std::string AName, TContextShaderKind AKind, std::vector<TContextShaderSource> ASources);

  const std::string& Name() const { return FName; }
  TContextShaderKind Kind() const { return FKind; }
  const std::vector<TContextShaderSource>& Sources() const { return FSources; }
  // The source for AArch, or nullptr when the shader has none.
  const TContextShaderSource* GetSourceByArch(TContextShaderArch AArch) const;

  // The compiled stage's GPU name, 0 while there is none. Set by the context's shader hooks.
  THandle Handle() const { return FHandle; }
  void SetHandle(THandle AHandle) { FHandle = AHandle; }

  // Releases the compiled stage through the context manager while the shader is whole. A failure
  // there is logged, because raising out of destruction would leak the object.
  void BeforeDestruction() override;

private:
  std::string FName;
  TContextShaderKind FKind;
  std::vector<TContextShaderSource> FSources;
  THandle FHandle = 0;
};

// The process-wide shader registry. Materials register their shaders here and share one object
// per distinct shader: the key is the name, the kind and, for each source, its architecture, its
// full code bytes and its variables (name, kind, index, size), so two texts that differ in any
// byte are two shaders. The manager owns what it hands out.
class TShaderManager {
public:
  TShaderManager() = delete;

  // The held shader for an equal key, else a new one; either way the registration counts one more
  // holder. AIgnored is accepted and not used.
  static TContextShader* RegisterShaderFromData(const std::string& AName, TContextShaderKind AKind,
                                                const std::string& AIgnored,
                                                const std::vector<TContextShaderSource>& ASources);
  // The same, taking the sources over when a new shader is made (texts run to tens of kilobytes).
  static TContextShader* RegisterShaderFromData(const std::string& AName, TContextShaderKind AKind,
                                                const std::string& AIgnored,
                                                std::vector<TContextShaderSource>&& ASources);
  // Lets go of one registration of AShader; the last holder's call frees it (which finalises its
  // GPU stage). Nothing for a shader the manager does not hold.
  static void UnregisterShader(TContextShader* AShader);
  // The number of distinct shaders held.
  static int Count();
  // The registrations holding AShader; 0 for a shader the manager does not hold (it is not read).
  static int Holders(const TContextShader* AShader);
  // Frees every shader; runs at context shutdown while the context class can still finalise them.
  static void Clear();
};

} // namespace ui
