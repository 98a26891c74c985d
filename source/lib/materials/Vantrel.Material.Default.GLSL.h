#pragma once
// The GLSL 4.30 form of the shader node graph: the driver-aware builder base, the vertex and
// fragment stage builders of the default material with their trees, the declaration nodes both
// trees share, and the two conversions every declaration goes through. Generated text ends its
// lines with CR LF and writes every number in the en-US form, whatever the process locale.
//
// Only the VARYING_STRUCTS form of main and of the functions is written: both stage builders
// always define it. The declaration nodes keep both forms.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "context/Vantrel.Context.ShaderDefines.h"
#include "context/Vantrel.Context.Texturing.h"
#include "materials/Vantrel.Material.Default.Nodes.h"

namespace vantrel {

class TVantrelGLSLLocalsStructNode;

// Appends AText with every LF written as CR LF, so fixed code can be kept readable in the source.
void AppendGLSL(std::string& AOut, std::string_view AText);

// The builder base of both stages: the driver defines every GLSL stage starts with.
class TVantrelGLSLNodeBuilder : public TVantrelNodeBuilder {
public:
  using TVantrelNodeBuilder::TVantrelNodeBuilder;

  // The context identity the defines were made from; nullptr until they are added.
  const TContextShaderDefines* Context() const { return FContext.get(); }

  // The declaration with or without its type and value. AValue, when not empty, replaces the
  // declaration's own value. Raises "failed to serialize variable type - invalid variable type".
  static std::string DeclarationToGLSL(const TVantrelShaderNodeVariable& ADeclaration, const TValue& AValue,
                                       bool AWithType, bool AWithValue);
  static void WriteDeclaration(std::string& AOut, const TVantrelShaderNodeVariable& ADeclaration,
                               const TValue* AValue, bool AWithType, bool AWithValue);
  // A GLSL literal. Failures raise "failed to serialize constant value: %s".
  static std::string ConstantToGLSL(const TValue& AValue);
  static void WriteConstant(std::string& AOut, const TValue& AValue);

protected:
  // "MSWINDOWS", then the upper-cased vendor, renderer, first version word (when the version is
  // not empty) and every extension item, the empty one of a trailing blank included: the table
  // the context prepared once, shared.
  void AddDefaultDefines() override;
  // The context's identity and define table, shared by every builder of that context; a test
  // subclass returns one made from fixed strings instead.
  virtual TContextShaderDefinesPtr ReadContextInfo();

private:
  TContextShaderDefinesPtr FContext;
};

class TVantrelGLSLVertexShader : public TVantrelGLSLNodeBuilder {
public:
  using TVantrelGLSLNodeBuilder::TVantrelGLSLNodeBuilder;

protected:
  void AddDefaultDefines() override;
  void BuildNodeTree() override;
};

class TVantrelGLSLFragmentShader : public TVantrelGLSLNodeBuilder {
public:
  using TVantrelGLSLNodeBuilder::TVantrelGLSLNodeBuilder;

protected:
  void AddDefaultDefines() override;
  void BuildNodeTree() override;
};

// ---- Declaration nodes --------------------------------------------------------------------------

// "#version 430" and three line breaks.
class TVantrelGLSLPragma : public TVantrelNodeEntity {
public:
  using TVantrelNodeEntity::TVantrelNodeEntity;
  void WriteText(std::string& AOut) const override;
};

// A declared variable with its type and value ("int i").
class TVantrelGLSLVariable : public TVantrelVariableNode {
public:
  explicit TVantrelGLSLVariable(TVantrelNodeBuilder* ABuilder);
  static std::unique_ptr<TVantrelVariableNode> Build(TVantrelNodeBuilder* ABuilder, std::string_view AName,
                                                     TVantrelShaderNodeVariableType AType);
  void WriteText(std::string& AOut) const override;
};

class TVantrelGLSLConstantValue : public TVantrelConstantNode {
public:
  using TVantrelConstantNode::TVantrelConstantNode;
  static std::unique_ptr<TVantrelConstantNode> Build(TVantrelNodeBuilder* ABuilder, std::string_view AName,
                                                     const TValue& AValue);
  void WriteText(std::string& AOut) const override;
};

enum class TVantrelGLSLLayoutKind : uint8_t { LayoutInput, LayoutOutput };

// "layout (location = N) out <variable>;". Owns its variable.
class TVantrelGLSLLayoutLocation : public TVantrelNodeEntity {
public:
  using TVantrelNodeEntity::TVantrelNodeEntity;

  TVantrelGLSLLayoutKind Kind() const { return FKind; }
  void SetKind(TVantrelGLSLLayoutKind AValue) { FKind = AValue; }
  bool IsLayout() const { return FIsLayout; }
  void SetIsLayout(bool AValue) { FIsLayout = AValue; }
  int32_t Index() const { return FIndex; }
  void SetIndex(int32_t AValue) { FIndex = AValue; }
  TVantrelGLSLVariable* Variable() const { return FVariable.get(); }
  void SetVariable(std::unique_ptr<TVantrelGLSLVariable> AValue) { FVariable = std::move(AValue); }

  // Raises "layout location, missing variable declaration" and "invalid kind of layout location".
  void WriteText(std::string& AOut) const override;

private:
  TVantrelGLSLLayoutKind FKind = TVantrelGLSLLayoutKind::LayoutOutput;
  bool FIsLayout = true;
  int32_t FIndex = 0;
  std::unique_ptr<TVantrelGLSLVariable> FVariable;
};

// "struct <Id>{", the gated members with their types, "};".
class TVantrelGLSLStructType : public TVantrelStructTypeNode {
public:
  using TVantrelStructTypeNode::TVantrelStructTypeNode;
  void WriteText(std::string& AOut) const override;
};

class TVantrelGLSLLightType : public TVantrelGLSLStructType {
public:
  explicit TVantrelGLSLLightType(TVantrelNodeBuilder* ABuilder);
};

class TVantrelGLSLTextureType : public TVantrelGLSLStructType {
public:
  explicit TVantrelGLSLTextureType(TVantrelNodeBuilder* ABuilder);
};

class TVantrelGLSLMaterialType : public TVantrelGLSLStructType {
public:
  explicit TVantrelGLSLMaterialType(TVantrelNodeBuilder* ABuilder);
};

class TVantrelGLSLPassDataType : public TVantrelGLSLStructType {
public:
  explicit TVantrelGLSLPassDataType(TVantrelNodeBuilder* ABuilder);
};

class TVantrelGLSLLocalsStructNode : public TVantrelGLSLStructType {
public:
  explicit TVantrelGLSLLocalsStructNode(TVantrelNodeBuilder* ABuilder) : TVantrelGLSLStructType(ABuilder) {
    SetId("TLocals");
  }
};

// A std140 uniform block. Its binding comes from the builder when it is made and goes back when
// it is freed, so bindings of removed blocks are reused.
class TVantrelGLSLUBO : public TVantrelDeclarationNode {
public:
  explicit TVantrelGLSLUBO(TVantrelNodeBuilder* ABuilder);
  TVantrelGLSLUBO(TVantrelNodeBuilder* ABuilder, uintptr_t AReferenceID);
  ~TVantrelGLSLUBO() override;

  int32_t Binding() const { return FBinding; }
  void WriteText(std::string& AOut) const override;

private:
  int32_t FBinding;
};

class TVantrelGLSLUBOShaderData : public TVantrelGLSLUBO {
public:
  explicit TVantrelGLSLUBOShaderData(TVantrelNodeBuilder* ABuilder);
};

// The initialisers of a TLocals structure's members ("  LOCALS.Alpha = 1.0;"). Without a
// structure (or once it is freed) it writes its own declarations.
class TVantrelGLSLLocalsNode : public TVantrelDeclarationNode {
public:
  using TVantrelDeclarationNode::TVantrelDeclarationNode;

  TVantrelGLSLLocalsStructNode* Struct() const { return FStruct.Get(); }
  void SetStruct(TVantrelGLSLLocalsStructNode* AValue) { FStruct.Set(AValue); }
  void WriteText(std::string& AOut) const override;

private:
  TVantrelNodeLink<TVantrelGLSLLocalsStructNode> FStruct;
};

class TVantrelGLSLVertexShaderLocalsNode : public TVantrelGLSLLocalsNode {
public:
  using TVantrelGLSLLocalsNode::TVantrelGLSLLocalsNode;
};

class TVantrelGLSLLightingLocalsNode : public TVantrelGLSLLocalsNode {
public:
  using TVantrelGLSLLocalsNode::TVantrelGLSLLocalsNode;
};

// The 13 vertex attributes, "in " with INOUTVARS, else "attribute ".
class TVantrelGLSLAttributesNode : public TVantrelDeclarationNode {
public:
  explicit TVantrelGLSLAttributesNode(TVantrelNodeBuilder* ABuilder);
  void WriteText(std::string& AOut) const override;
};

enum class TVantrelGLSLInOutMode : uint8_t { VaryingIn, VaryingOut };

// The varyings: one TVaryingStruct "vars" with VARYING_STRUCTS, else one variable each.
class TVantrelGLSLInOutNode : public TVantrelGLSLStructType {
public:
  TVantrelGLSLInOutNode(TVantrelNodeBuilder* ABuilder, TVantrelGLSLInOutMode AMode);

  TVantrelGLSLInOutMode Mode() const { return FMode; }
  void SetMode(TVantrelGLSLInOutMode AValue) { FMode = AValue; }
  // Raises "invalid output/input indicator" for a mode outside the two.
  void WriteText(std::string& AOut) const override;

private:
  TVantrelGLSLInOutMode FMode;
};

class TVantrelGLSLMainNode : public TVantrelEntryPointNode {
public:
  using TVantrelEntryPointNode::TVantrelEntryPointNode;
  void WriteText(std::string& AOut) const override;
};

class TVantrelGLSLTextureUniformNode : public TVantrelNodeEntity {
public:
  explicit TVantrelGLSLTextureUniformNode(TVantrelNodeBuilder* ABuilder) : TVantrelNodeEntity(ABuilder) {
    SetId("Texture0");
  }

  TVantrelTextureKind TextureKind() const { return FTextureKind; }
  void SetTextureKind(TVantrelTextureKind AValue) { FTextureKind = AValue; }
  // Only a 3D sampler has an unsigned form.
  bool IsUnsigned() const { return FIsUnsigned; }
  void SetIsUnsigned(bool AValue) { FIsUnsigned = AValue; }
  void WriteText(std::string& AOut) const override;

private:
  TVantrelTextureKind FTextureKind = TVantrelTextureKind::Texture2D;
  bool FIsUnsigned = false;
};

// "  for(<init>; <condition>; <step>){", the gated children, "  }".
class TVantrelGLSLForLoopNode : public TVantrelForLoopNode {
public:
  using TVantrelForLoopNode::TVantrelForLoopNode;
  void WriteText(std::string& AOut) const override;
};

// for(int i = 0; i < _LightsCount; i++), written only with LIGHTING and without DEFERRED. Needs
// the ShaderData block in the builder's globals when it is made.
class TVantrelGLSLLightsLoopNode : public TVantrelGLSLForLoopNode {
public:
  explicit TVantrelGLSLLightsLoopNode(TVantrelNodeBuilder* ABuilder);
  void WriteText(std::string& AOut) const override;
};

// A node whose text is fixed code chosen by the builder's defines. Function nodes sit in a
// Functions composite and are declaration nodes; steps of main are plain entities.
class TVantrelGLSLFunctionNode : public TVantrelDeclarationNode {
public:
  using TVantrelDeclarationNode::TVantrelDeclarationNode;
};

#define VANTREL_GLSL_TEXT_NODE(Name, Base)                                                                   \
  class Name : public Base {                                                                                 \
  public:                                                                                                    \
    using Base::Base;                                                                                        \
    void WriteText(std::string& AOut) const override;                                                        \
  }

// Functions both stages share.
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLGetTextureFuncsNode, TVantrelGLSLFunctionNode);

// The vertex tree.
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLTransformFuncsNode, TVantrelGLSLFunctionNode);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLMatricesOutNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLGetVertexPositionNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLDisplacementMappingGetNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLDisplacementMappingApplyNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLClippingPlaneGetNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLVertexShaderOutputNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLAdjustPointSizeNode, TVantrelDeclarationNode);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLVertexPositionOutputNode, TVantrelNodeEntity);

class TVantrelGLSLVertexShaderLocalsStructNode : public TVantrelGLSLLocalsStructNode {
public:
  explicit TVantrelGLSLVertexShaderLocalsStructNode(TVantrelNodeBuilder* ABuilder);
};

// The fragment tree: functions.
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLPackingFuncsNode, TVantrelGLSLFunctionNode);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLGetDirLightDirectionFuncNode, TVantrelGLSLFunctionNode);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLGetPointLightDirectionFuncNode, TVantrelGLSLFunctionNode);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLGetSpotLightDirectionFuncNode, TVantrelGLSLFunctionNode);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLGetLightDirectionFuncNode, TVantrelGLSLFunctionNode);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLGetSpotFalloffFuncNode, TVantrelGLSLFunctionNode);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLGetLightAttenuationFuncNode, TVantrelGLSLFunctionNode);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLGetShadingFuncsNode, TVantrelGLSLFunctionNode);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLGetTextureAtlasFuncNode, TVantrelGLSLFunctionNode);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLBumpFuncsNode, TVantrelGLSLFunctionNode);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLBasicShadowFuncsNode, TVantrelGLSLFunctionNode);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLPOMFuncsNode, TVantrelGLSLFunctionNode);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLPBRFuncsNode, TVantrelGLSLFunctionNode);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLToneMappingFuncsNode, TVantrelGLSLFunctionNode);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLFogFuncNode, TVantrelGLSLFunctionNode);

// The fragment tree: steps of main.
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLClippingPlaneNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLSpecularColorNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLEmissiveColorNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLGetTransfVertPosNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLGetNormalNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLGetFragViewDirNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLTextureCoordsNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLGetBumpNormalNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLGetLightShadingNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLLightingSumNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLGetBaseColorNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLAlphaCutoffNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLSpecularMapNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLBrightnessColorNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLFragColorOutputNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLColorClipNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLPOMApplyNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLPBRPrepareNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLAddShadowNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLAddEnvironmentNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLAddReflectionNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLAddRefractionNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLTonemappingNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLFogApplyNode, TVantrelNodeEntity);
VANTREL_GLSL_TEXT_NODE(TVantrelGLSLWeightedBlendedOITNode, TVantrelNodeEntity);

#undef VANTREL_GLSL_TEXT_NODE

// The colour merge, classic or physically based, ending with the shadow factor.
class TVantrelGLSLMergedColorOutputNode : public TVantrelNodeEntity {
public:
  using TVantrelNodeEntity::TVantrelNodeEntity;
  void WriteText(std::string& AOut) const override;

private:
  void WritePBRMerge(std::string& AOut) const;
};

class TVantrelGLSLFragmentShaderLocalsStructNode : public TVantrelGLSLLocalsStructNode {
public:
  explicit TVantrelGLSLFragmentShaderLocalsStructNode(TVantrelNodeBuilder* ABuilder);
};

inline constexpr std::string_view SInvalidVariableType =
    "failed to serialize variable type - invalid variable type";
inline constexpr std::string_view SFailedToSerializeConstant = "failed to serialize constant value: %s";
inline constexpr std::string_view SInvalidConstantValueType = "invalid constant value type";
inline constexpr std::string_view SInvalidConstantValueTypeOf = "invalid constant value type \"%s\" [%d]";
inline constexpr std::string_view SNonFiniteFloatValue = "non-finite float value";
inline constexpr std::string_view SInvalidInOutIndicator = "invalid output/input indicator";
inline constexpr std::string_view SInvalidLayoutKind = "invalid kind of layout location";
inline constexpr std::string_view SMissingLayoutVariable = "layout location, missing variable declaration";

} // namespace vantrel
