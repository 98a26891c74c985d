#pragma once
// The variant table of the default material's generated shaders, shared by the tests and the
// shader-generation benchmark (so it uses no GoogleTest): each row names the defines of both
// stages, the fragment-only defines and an optional step that adds nodes. The builders get the
// texture uniforms the row's features sample, which is what the material will declare.

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "context/Vantrel.Context.Shader.h"
#include "materials/Vantrel.Material.Default.GLSL.h"
#include "rtl/object.h"
#include "ui/shaders.h"

namespace vtest {

struct TShaderVariantBuilders {
  rtl::TOwned<vantrel::TVantrelGLSLVertexShader> Vertex;
  rtl::TOwned<vantrel::TVantrelGLSLFragmentShader> Fragment;
};

struct TShaderVariantRow {
  std::string Name;
  std::vector<std::string> Both;
  std::vector<std::string> FragmentOnly;
  std::function<void(TShaderVariantBuilders&)> Extra;
};

// The ten tone-map defines in the order the tree tests them.
extern const std::array<std::string_view, 10> ToneMapDefines;

// Every row that must compile and link: the product of the shading, texturing, vertex-colour,
// normal-mapping and discard axes, then the named rows. Every row has CLIPPINGPLANE.
const std::vector<TShaderVariantRow>& ShaderVariantRows();
const TShaderVariantRow& ShaderVariantRow(std::string_view AName);

// Identity strings fixed instead of read from the context.
class TFixedVertexShader : public vantrel::TVantrelGLSLVertexShader {
public:
  using TVantrelGLSLVertexShader::TVantrelGLSLVertexShader;

protected:
  vantrel::TContextShaderDefinesPtr ReadContextInfo() override;
};

class TFixedFragmentShader : public vantrel::TVantrelGLSLFragmentShader {
public:
  using TVantrelGLSLFragmentShader::TVantrelGLSLFragmentShader;

protected:
  vantrel::TContextShaderDefinesPtr ReadContextInfo() override;
};

// Both stage builders (with fixed identity strings when AFixedIdentity) with the row applied.
TShaderVariantBuilders MakeVariantBuilders(const TShaderVariantRow& ARow, bool AFixedIdentity = false);
// Adds the row's defines and texture uniforms, as the material switches them.
void ApplyVariant(TShaderVariantBuilders& ABuilders, const TShaderVariantRow& ARow);
// Removes what ApplyVariant added (the row's extra nodes stay).
void RevertVariant(TShaderVariantBuilders& ABuilders, const TShaderVariantRow& ARow);
// The row's defines as one line, for messages.
std::string VariantDefinesText(const TShaderVariantRow& ARow);

// A program linked from the two texts through the framework's own path: BuildShader with
// compile errors raised, then the shader program with the fixed attribute locations.
struct TLinkedVariant {
  rtl::TOwned<ui::TContextShader> VertexShader;
  rtl::TOwned<ui::TContextShader> PixelShader;
  rtl::TOwned<vantrel::TShaderProgram> Program;
};
// Raises rtl::Exception naming the row, its defines, the driver's log and the numbered source
// lines around every line the log names.
TLinkedVariant CompileAndLink(const TShaderVariantRow& ARow, const std::string& AVertexText,
                              const std::string& AFragmentText);

// Fills the bound array buffer with a full-screen strip of four corners (position, normal, UV,
// tangent) and points the bound vertex array's attribute locations at it; the colour (white) and
// the instance matrix (identity) are constant attributes. The array buffer is unbound afterwards.
void SetUpVariantQuad();

} // namespace vtest
