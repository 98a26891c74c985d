#pragma once
// The language-neutral shader node graph. A builder owns one stage's tree of nodes and the
// defines that switch them on and off; the stage's text is the gated concatenation of the tree at
// the moment it is asked for. Every node appends its text to one buffer passed down the tree, so
// producing a stage is linear in its length.
//
// Ownership: composites own their children (std::unique_ptr in, observer pointers out). Links to
// nodes that something else owns (references, the builder's and the globals' shortcuts, a locals
// node's structure) are weak links registered with the builder: freeing the target clears them.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_set>
#include <unordered_map>
#include <vector>

#include "Vantrel.Prelude.h"
#include "rtl/generics.h"
#include "rtl/stringlist.h"
#include "rtl/value.h"

namespace ui {
class TCustomMaterial;
}

namespace vantrel {

enum class TVantrelDefOp : uint8_t { doEqual, doUnequal, doGreater, doGreaterEqual, doLess, doLessEqual };
RTL_ENUM_TYPEINFO(TVantrelDefOp, "doEqual", "doUnequal", "doGreater", "doGreaterEqual", "doLess",
                  "doLessEqual");

enum class TVantrelShaderNodeOperator : uint8_t {
  snopUndefined,
  snopGrouping,
  snopArraySubscript,
  snopFuncCall,
  snopFieldSel,
  snopPostInc,
  snopPostDec,
  snopPreInc,
  snopPreDec,
  snopADD,
  snopSUB,
  snopMUL,
  snopDIV,
  snopSignPos,
  snopSignNeg,
  snopNOT,
  snopEQ,
  snopUNEQ,
  snopGT,
  snopGEQ,
  snopLT,
  snopLEQ,
  snopLogAND,
  snopLogOR,
  snopLogXOR,
  snopSelection,
  snopAssign,
  snopAddAssign,
  snopSubAssign,
  snopMulAssign,
  snopDivAssign,
};
RTL_ENUM_TYPEINFO(TVantrelShaderNodeOperator, "snopUndefined", "snopGrouping", "snopArraySubscript",
                  "snopFuncCall", "snopFieldSel", "snopPostInc", "snopPostDec", "snopPreInc", "snopPreDec",
                  "snopADD", "snopSUB", "snopMUL", "snopDIV", "snopSignPos", "snopSignNeg", "snopNOT",
                  "snopEQ", "snopUNEQ", "snopGT", "snopGEQ", "snopLT", "snopLEQ", "snopLogAND", "snopLogOR",
                  "snopLogXOR", "snopSelection", "snopAssign", "snopAddAssign", "snopSubAssign",
                  "snopMulAssign", "snopDivAssign");

enum class TVantrelShaderNodeVariableType : uint8_t {
  stCustom,
  stInt,
  stFloat,
  stBool,
  stBVec2,
  stBVec3,
  stBVec4,
  stIVec2,
  stIVec3,
  stIVec4,
  stUVec2,
  stUVec3,
  stUVec4,
  stVec2,
  stVec3,
  stVec4,
  stMat33,
  stMat44,
  stSampler2D,
  stSamplerCube,
  stSampler3D,
  stStruct,
};
RTL_ENUM_TYPEINFO(TVantrelShaderNodeVariableType, "stCustom", "stInt", "stFloat", "stBool", "stBVec2",
                  "stBVec3", "stBVec4", "stIVec2", "stIVec3", "stIVec4", "stUVec2", "stUVec3", "stUVec4",
                  "stVec2", "stVec3", "stVec4", "stMat33", "stMat44", "stSampler2D", "stSamplerCube",
                  "stSampler3D", "stStruct");

// One declaration. `Type` stands for the declaration's type field (a leading underscore before a
// capital is reserved in C++); `TypeName` names the type of stCustom and stStruct.
struct TVantrelShaderNodeVariable {
  std::string Name;
  TVantrelShaderNodeVariableType Type = TVantrelShaderNodeVariableType::stCustom;
  std::string TypeName;
  TValue Value;
  bool IsArray = false;
  int32_t ArrayCount = 0;
};

// Defines keep insertion order and compare case-sensitively; lookups take a string_view.
using TVantrelDefines = TDictionary<std::string, TValue>;

class TVantrelNodeBuilder;
class TVantrelNodeEntity;
class TVantrelCompositeNode;
class TVantrelGlobalsNode;
class TVantrelEntryPointNode;
class TVantrelSurfaceShaderNode;
class TVantrelVariableNode;

// A non-owning link to a node of a builder's tree. The builder clears it when the node is freed,
// so a link never dangles; it reads nullptr afterwards.
class TVantrelNodeLinkBase {
public:
  TVantrelNodeLinkBase() = default;
  TVantrelNodeLinkBase(const TVantrelNodeLinkBase&) = delete;
  TVantrelNodeLinkBase& operator=(const TVantrelNodeLinkBase&) = delete;
  ~TVantrelNodeLinkBase() { Reset(); }

protected:
  void Assign(TVantrelNodeEntity* ATarget);
  void Reset();
  TVantrelNodeEntity* Target() const { return FTarget; }

private:
  friend class TVantrelNodeBuilder;
  TVantrelNodeEntity* FTarget = nullptr;
};

template <class T> class TVantrelNodeLink : public TVantrelNodeLinkBase {
public:
  T* Get() const { return static_cast<T*>(Target()); }
  void Set(T* ATarget) { Assign(ATarget); }
  T* operator->() const { return Get(); }
  explicit operator bool() const { return Target() != nullptr; }
};

class TVantrelNodeEntity : public TObject {
public:
  explicit TVantrelNodeEntity(TVantrelNodeBuilder* ABuilder) : FBuilder(ABuilder) {}
  // Clears every weak link to this node.
  ~TVantrelNodeEntity() override;

  TVantrelNodeBuilder* Builder() const { return FBuilder; }
  const std::string& Id() const { return FId; }
  void SetId(std::string_view AValue) { FId = AValue; }
  const std::vector<std::string>& Defines() const { return FDefines; }
  const std::vector<std::string>& NotDefines() const { return FNotDefines; }
  uintptr_t ReferenceID() const { return FReferenceID; }
  void SetReferenceID(uintptr_t AValue) { FReferenceID = AValue; }
  void SetReferenceIDByObject(const void* AObject) { FReferenceID = reinterpret_cast<uintptr_t>(AObject); }

  void AddDefine(std::string_view ADefine) { FDefines.emplace_back(ADefine); }
  void AddNotDefine(std::string_view ADefine) { FNotDefines.emplace_back(ADefine); }
  // Every define is defined in the builder (stops at the first that is not).
  bool Defined() const;
  // None of the not-defines is defined in the builder.
  bool NotDefined() const;
  // The gating rule a composite applies to each child.
  bool Passes() const { return Defined() && NotDefined(); }

  // Appends this node's text. Nodes carry their own line breaks.
  virtual void WriteText(std::string& AOut) const;
  std::string ToString() const;

  // This node as a variable, else nullptr: the one class test the declaration lists make for
  // every child they search or write, cheaper than a dynamic_cast.
  virtual const TVantrelVariableNode* AsVariable() const { return nullptr; }

protected:
  // A test of the builder's defines, for nodes whose text depends on them.
  bool Has(std::string_view ADefine) const;

private:
  friend class TVantrelNodeBuilder;
  TVantrelNodeBuilder* FBuilder;
  // How many links target this node: a node nobody links to is freed without a lookup in the
  // builder's link table (most nodes of a tree are never linked).
  uint32_t FLinkCount = 0;
  std::string FId;
  std::vector<std::string> FDefines;
  std::vector<std::string> FNotDefines;
  uintptr_t FReferenceID = 0;
};

using TVantrelNodePtr = std::unique_ptr<TVantrelNodeEntity>;

// ANode as a T, else nullptr. Variables, by far the most searched class, are told by AsVariable.
template <class T> T* CastNode(TVantrelNodeEntity* ANode) {
  if constexpr (std::is_same_v<std::remove_const_t<T>, TVantrelVariableNode>)
    return ANode ? const_cast<TVantrelVariableNode*>(ANode->AsVariable()) : nullptr;
  else
    return dynamic_cast<T*>(ANode);
}

class TVantrelCompositeNode : public TVantrelNodeEntity {
public:
  using TVantrelNodeEntity::TVantrelNodeEntity;
  ~TVantrelCompositeNode() override;

  // Appends and returns the new index.
  int Add(TVantrelNodePtr ANode);
  // Makes a node of class T with this node's builder, appends it and returns it.
  template <class T, class... TArgs> T* AddNew(TArgs&&... AArgs) {
    auto node = std::make_unique<T>(Builder(), std::forward<TArgs>(AArgs)...);
    T* result = node.get();
    Add(std::move(node));
    return result;
  }
  // Removes and frees ANode; nothing when it is no child.
  void Remove(const TVantrelNodeEntity* ANode);
  // Removes and frees the child at AIndex. Raises EListError outside 0 .. Count - 1.
  void Delete(int AIndex);
  // Raises EListError outside 0 .. Count.
  void Insert(int AIndex, TVantrelNodePtr ANode);
  int Count() const { return static_cast<int>(FNodes.size()); }
  TVantrelNodeEntity* Nodes(int AIndex) const;
  void Clear();

  // Depth-first in child order: a child of class T (or a descendant) whose Id equals AId (any Id
  // when AId is empty) is returned; a composite child that does not match is searched when
  // ARecursive.
  template <class T> T* FindNode(std::string_view AId, bool ARecursive) const {
    for (const TVantrelNodePtr& child : FNodes) {
      if (auto* match = CastNode<T>(child.get()); match && (AId.empty() || match->Id() == AId))
        return match;
      if (ARecursive)
        if (auto* composite = dynamic_cast<const TVantrelCompositeNode*>(child.get()))
          if (T* found = composite->FindNode<T>(AId, true))
            return found;
    }
    return nullptr;
  }
  template <class T> int IndexOf(std::string_view AId) const {
    for (int i = 0; i < Count(); ++i)
      if (auto* match = dynamic_cast<const T*>(FNodes[i].get()); match && (AId.empty() || match->Id() == AId))
        return i;
    return -1;
  }
  // Reference 0 matches any node of the class.
  template <class T> int IndexOfReference(uintptr_t AReferenceID) const {
    for (int i = 0; i < Count(); ++i)
      if (auto* match = dynamic_cast<const T*>(FNodes[i].get());
          match && (AReferenceID == 0 || match->ReferenceID() == AReferenceID))
        return i;
    return -1;
  }

  void WriteText(std::string& AOut) const override;

protected:
  const std::vector<TVantrelNodePtr>& Children() const { return FNodes; }
  // The gated concatenation of the children.
  void WriteChildren(std::string& AOut) const;

private:
  std::vector<TVantrelNodePtr> FNodes;
};

class TVantrelDeclarationNode : public TVantrelCompositeNode {
public:
  using TVantrelCompositeNode::TVantrelCompositeNode;

  TVantrelVariableNode* AddDeclaration(std::string_view AName, TVantrelShaderNodeVariableType AType);
  TVantrelVariableNode* AddDeclaration(std::string_view AName, TVantrelShaderNodeVariableType AType,
                                       std::string_view ACustomTypeName);
  // Raises "attribute %s already exists" when the name is declared already.
  TVantrelVariableNode* AddDeclaration(std::string_view AName, TVantrelShaderNodeVariableType AType,
                                       std::string_view ACustomTypeName, bool AIsArray, int32_t AArrayCount,
                                       const TValue& AValue);
  void RemoveDeclaration(std::string_view AName);
  // Children must be variable nodes; another child raises EInvalidCast.
  int IndexOfDeclaration(std::string_view AName) const;

  const TVantrelDefines& ConditionalValues() const;
  void SetConditionalValue(std::string_view ADefine, const TValue& AValue);
  // The value of the first entry, in insertion order, whose define is defined; nullptr for none.
  const TValue* FindConditionalValue() const;
  TValue GetConditionalValue() const;

private:
  // Made by the first conditional value: few declarations have one, and a material makes
  // hundreds of declarations.
  std::unique_ptr<TVantrelDefines> FConditionalValues;
};

class TVantrelTypeNode : public TVantrelDeclarationNode {
public:
  using TVantrelDeclarationNode::TVantrelDeclarationNode;
};

class TVantrelStructTypeNode : public TVantrelTypeNode {
public:
  using TVantrelTypeNode::TVantrelTypeNode;
};

class TVantrelSurfaceInputNode : public TVantrelStructTypeNode {
public:
  using TVantrelStructTypeNode::TVantrelStructTypeNode;
};

class TVantrelSurfaceOutputNode : public TVantrelStructTypeNode {
public:
  using TVantrelStructTypeNode::TVantrelStructTypeNode;
};

class TVantrelVariableNode : public TVantrelDeclarationNode {
public:
  using TVantrelDeclarationNode::TVantrelDeclarationNode;

  const TVantrelVariableNode* AsVariable() const override { return this; }

  const TVantrelShaderNodeVariable& Definition() const { return FDefinition; }
  TVantrelShaderNodeVariable& Definition() { return FDefinition; }
  void SetDefinition(TVantrelShaderNodeVariable AValue) { FDefinition = std::move(AValue); }

  // Raises "TVantrelVariableNode.Build needs to be overwritten"; the GLSL variable implements it.
  static std::unique_ptr<TVantrelVariableNode> Build(TVantrelNodeBuilder* ABuilder, std::string_view AName,
                                                     TVantrelShaderNodeVariableType AType);

private:
  TVantrelShaderNodeVariable FDefinition;
};

// Its children are its operands, rendered without gating.
class TVantrelOperationNode : public TVantrelCompositeNode {
public:
  using TVantrelCompositeNode::TVantrelCompositeNode;

  TVantrelShaderNodeOperator Operator() const { return FOperator; }
  void SetOperator(TVantrelShaderNodeOperator AValue) { FOperator = AValue; }

  // Operands ALeft then ARight, each only when given.
  static std::unique_ptr<TVantrelOperationNode> Build(TVantrelNodeBuilder* ABuilder,
                                                      TVantrelShaderNodeOperator AOp, TVantrelNodePtr ALeft,
                                                      TVantrelNodePtr ARight);

  // Raises "failed to build source code for operator - invalid nodes list size" with too few
  // operands and "... - invalid operator found" for an operator outside the enumeration.
  void WriteText(std::string& AOut) const override;

private:
  void WriteOperand(std::string& AOut, int AIndex) const;
  // Operands AFirst .. Count - 1 separated by ", ".
  void WriteList(std::string& AOut, int AFirst) const;

  TVantrelShaderNodeOperator FOperator = TVantrelShaderNodeOperator::snopADD;
};

class TVantrelConstantNode : public TVantrelNodeEntity {
public:
  using TVantrelNodeEntity::TVantrelNodeEntity;

  const TValue& Value() const { return FValue; }
  void SetValue(const TValue& AValue) { FValue = AValue; }

  // Raises "TVantrelConstantNode.Build needs to be overwritten"; the GLSL constant implements it.
  static std::unique_ptr<TVantrelConstantNode> Build(TVantrelNodeBuilder* ABuilder, std::string_view AName,
                                                     const TValue& AValue);

private:
  TValue FValue;
};

// Its children without gating, then ";" CR LF.
class TVantrelStatementNode : public TVantrelCompositeNode {
public:
  using TVantrelCompositeNode::TVantrelCompositeNode;
  void WriteText(std::string& AOut) const override;
};

// Owns its three operations; they are not children.
class TVantrelForLoopNode : public TVantrelStatementNode {
public:
  using TVantrelStatementNode::TVantrelStatementNode;

  TVantrelOperationNode* LoopVariable() const { return FLoopVariable.get(); }
  TVantrelOperationNode* Condition() const { return FCondition.get(); }
  TVantrelOperationNode* LoopOp() const { return FLoopOp.get(); }
  void SetLoopVariable(std::unique_ptr<TVantrelOperationNode> AValue) { FLoopVariable = std::move(AValue); }
  void SetCondition(std::unique_ptr<TVantrelOperationNode> AValue) { FCondition = std::move(AValue); }
  void SetLoopOp(std::unique_ptr<TVantrelOperationNode> AValue) { FLoopOp = std::move(AValue); }

private:
  std::unique_ptr<TVantrelOperationNode> FLoopVariable;
  std::unique_ptr<TVantrelOperationNode> FCondition;
  std::unique_ptr<TVantrelOperationNode> FLoopOp;
};

// Writes its owner's Id, or "<undefined>" once the owner is gone.
class TVantrelReferenceNode : public TVantrelNodeEntity {
public:
  using TVantrelNodeEntity::TVantrelNodeEntity;

  TVantrelNodeEntity* Owner() const { return FOwner.Get(); }
  // Raises "failed to create reference to different node - owner node not assigned" for nullptr.
  void SetOwner(TVantrelNodeEntity* AValue);

  static std::unique_ptr<TVantrelReferenceNode> Build(TVantrelNodeBuilder* ABuilder,
                                                      TVantrelNodeEntity* AOwner);

  void WriteText(std::string& AOut) const override;

private:
  TVantrelNodeLink<TVantrelNodeEntity> FOwner;
};

// Texture uniforms come first among the stage's uniforms.
class TVantrelUniformsNode : public TVantrelCompositeNode {
public:
  explicit TVantrelUniformsNode(TVantrelNodeBuilder* ABuilder);

  TVantrelCompositeNode* Textures() const { return FTextures.Get(); }
  void ClearTextures();

private:
  TVantrelNodeLink<TVantrelCompositeNode> FTextures;
};

// Seven composites, in text order: constants, types, attributes, uniforms, varyings, functions,
// variables.
class TVantrelGlobalsNode : public TVantrelCompositeNode {
public:
  explicit TVantrelGlobalsNode(TVantrelNodeBuilder* ABuilder);

  TVantrelCompositeNode* Constants() const { return FConstants.Get(); }
  TVantrelCompositeNode* Types() const { return FTypes.Get(); }
  TVantrelCompositeNode* Attributes() const { return FAttributes.Get(); }
  TVantrelUniformsNode* Uniforms() const { return FUniforms.Get(); }
  TVantrelCompositeNode* Varying() const { return FVarying.Get(); }
  TVantrelCompositeNode* Functions() const { return FFunctions.Get(); }
  TVantrelCompositeNode* Variables() const { return FVariables.Get(); }

  void ClearConstants() { ClearOf(FConstants.Get()); }
  void ClearTypes() { ClearOf(FTypes.Get()); }
  void ClearAttributes() { ClearOf(FAttributes.Get()); }
  void ClearUniforms() { ClearOf(FUniforms.Get()); }
  void ClearVarying() { ClearOf(FVarying.Get()); }
  void ClearFunctions() { ClearOf(FFunctions.Get()); }
  void ClearVariables() { ClearOf(FVariables.Get()); }

private:
  static void ClearOf(TVantrelCompositeNode* ANode) {
    if (ANode)
      ANode->Clear();
  }

  TVantrelNodeLink<TVantrelCompositeNode> FConstants, FTypes, FAttributes;
  TVantrelNodeLink<TVantrelUniformsNode> FUniforms;
  TVantrelNodeLink<TVantrelCompositeNode> FVarying, FFunctions, FVariables;
};

class TVantrelEntryPointNode : public TVantrelCompositeNode {
public:
  explicit TVantrelEntryPointNode(TVantrelNodeBuilder* ABuilder) : TVantrelCompositeNode(ABuilder) {
    SetId("main");
  }
};

// Input and Output exist for the structure of the graph; nothing assigns them.
class TVantrelSurfaceShaderNode : public TVantrelCompositeNode {
public:
  using TVantrelCompositeNode::TVantrelCompositeNode;
  TVantrelSurfaceInputNode* Input() const { return FInput.Get(); }
  TVantrelSurfaceOutputNode* Output() const { return FOutput.Get(); }

private:
  TVantrelNodeLink<TVantrelSurfaceInputNode> FInput;
  TVantrelNodeLink<TVantrelSurfaceOutputNode> FOutput;
};

// The user's function of a stage: its lines, each written with CR LF.
class TVantrelUserFunctionNode : public TVantrelNodeEntity {
public:
  TVantrelUserFunctionNode(TVantrelNodeBuilder* ABuilder, std::string_view AHeader);
  TStringList& SourceCode() { return FSourceCode; }
  const TStringList& SourceCode() const { return FSourceCode; }
  void WriteText(std::string& AOut) const override;

private:
  TStringList FSourceCode;
};

class TVantrelVertexShaderFuncNode : public TVantrelUserFunctionNode {
public:
  explicit TVantrelVertexShaderFuncNode(TVantrelNodeBuilder* ABuilder)
      : TVantrelUserFunctionNode(ABuilder, "void VertexShader(inout TLocals DATA){") {}
};

class TVantrelSurfaceShaderFuncNode : public TVantrelUserFunctionNode {
public:
  explicit TVantrelSurfaceShaderFuncNode(TVantrelNodeBuilder* ABuilder)
      : TVantrelUserFunctionNode(ABuilder, "void SurfaceShader(inout TLocals DATA){") {}
};

class TVantrelGLSLVertexShaderExec : public TVantrelNodeEntity {
public:
  using TVantrelNodeEntity::TVantrelNodeEntity;
  void WriteText(std::string& AOut) const override;
};

class TVantrelGLSLSurfaceShaderExec : public TVantrelNodeEntity {
public:
  using TVantrelNodeEntity::TVantrelNodeEntity;
  void WriteText(std::string& AOut) const override;
};

// The owner of one stage's tree and defines. Made through rtl::New/MakeOwned, whose
// AfterConstruction runs AddDefaultDefines and then BuildNodeTree of the final class.
class TVantrelNodeBuilder : public TObject {
public:
  explicit TVantrelNodeBuilder(ui::TCustomMaterial* AMaterial);
  ~TVantrelNodeBuilder() override;

  void AfterConstruction() override;

  ui::TCustomMaterial* Material() const { return FMaterial; }
  // Every define in insertion order: the shared table's (less those removed, with values set
  // here), then this builder's own; a define removed and added again is last. Made on each call.
  TVantrelDefines Defines() const;

  // The node tree is made on first use, not with the builder: a material whose texts are already
  // known for its defines (see StandardTree) never needs one. Handing out a node of the tree
  // makes the tree this builder's own, since the caller may change it.
  TVantrelCompositeNode* SourceCode() const { return HandOutTree().FSourceCode.get(); }
  TVantrelGlobalsNode* Globals() const { return HandOutTree().FGlobals.Get(); }
  TVantrelEntryPointNode* EntryPoint() const { return HandOutTree().FEntryPoint.Get(); }
  TVantrelSurfaceShaderNode* SurfaceShader() const { return HandOutTree().FSurfaceShader.Get(); }
  // The composite of the stage's texture uniforms, which the material refills before each text;
  // reaching it keeps the tree standard. nullptr when the tree has none.
  TVantrelCompositeNode* TextureUniforms() const;
  // True while nobody outside the builder was handed a node: the tree, made or not, is the one
  // BuildNodeTree makes, so the stage's text follows from the builder's class, its defines and
  // its texture uniforms alone.
  bool StandardTree() const { return FStandardTree; }
  bool TreeBuilt() const { return FTreeBuilt; }
  // Called after the tree is made because a node of it was handed out (or its text asked for)
  // outside a text build, so that the owner can fill in what it adds at each build.
  void SetOnTreeBuilt(std::function<void()> AHandler) { FOnTreeBuilt = std::move(AHandler); }
  // Appends what the stage's defines are made of: the shared table's identity, this builder's
  // own defines with their values in order, and the shared names it removed. False, with AOut
  // unspecified, when a value has no exact text form.
  bool AppendDefinesSignature(std::string& AOut) const;

  // The lowest binding point no live block holds; a new builder hands out 0, 1, 2, ...
  int NumberOfUBOs() const;
  // Returns NumberOfUBOs and holds it until ReleaseUBO gives it back (a block's destructor does).
  int IncNumberOfUBOs();
  void ReleaseUBO(int ABinding);

  void AddDefine(std::string_view AName);
  // Adds the define or replaces its value.
  void AddDefine(std::string_view AName, const TValue& AValue);
  void RemoveDefine(std::string_view AName);
  // Present, whatever its value (False counts).
  bool Defined(std::string_view AName) const { return FindDefine(AName) != nullptr; }
  // Compares AValue (left) with the stored value (right) by AOp; False when the define is absent.
  // Raises "failed to check define %s: %s" for mismatched or unsupported kinds and bad operators.
  bool Defined(std::string_view AName, const TValue& AValue, TVantrelDefOp AOp) const;

  // Takes ownership. The current surface shader (when there is one and an entry point) is
  // removed and freed; then ASurfaceShader is appended to the entry point. Without an entry point
  // nothing changes and the node is freed.
  void SetSurfaceShader(std::unique_ptr<TVantrelSurfaceShaderNode> ASurfaceShader);

  // The stage's whole text. A failure leaves nothing half-written.
  std::string ToString() const;
  // Makes the tree when it is not made yet, without handing it out.
  void EnsureTree() const;

protected:
  virtual void AddDefaultDefines() = 0;
  virtual void BuildNodeTree() = 0;
  // Adds every define of ATable in its order, as AddDefine would. A builder without defines yet
  // shares the table instead of copying it (some 350 driver names each builder would otherwise
  // allocate and free): lookups fall through to it, and changes to its names are kept here.
  void AddDefines(std::shared_ptr<const TVantrelDefines> ATable);

  void SetGlobals(TVantrelGlobalsNode* AValue) { FGlobals.Set(AValue); }
  void SetEntryPoint(TVantrelEntryPointNode* AValue) { FEntryPoint.Set(AValue); }
  void SetSurfaceShaderLink(TVantrelSurfaceShaderNode* AValue) { FSurfaceShader.Set(AValue); }

private:
  friend class TVantrelNodeLinkBase;
  friend class TVantrelNodeEntity;
  const TValue* FindDefine(std::string_view AName) const;
  // A shared name this builder has not removed.
  bool SharedVisible(std::string_view AName) const;
  void Link(TVantrelNodeLinkBase* ALink);
  void Unlink(TVantrelNodeLinkBase* ALink);
  void NodeFreed(TVantrelNodeEntity* ANode);
  const TVantrelNodeBuilder& HandOutTree() const;

  // Declared first so it outlives the tree, whose nodes report to it while they are freed.
  std::unordered_multimap<const TVantrelNodeEntity*, TVantrelNodeLinkBase*> FLinks;
  ui::TCustomMaterial* FMaterial;
  // The shared table, never changed; FDefines holds this builder's own defines and the values it
  // set for shared names, FHiddenShared the shared names it removed.
  std::shared_ptr<const TVantrelDefines> FShared;
  std::unordered_set<std::string, TStringHash, TStringEqual> FHiddenShared;
  TVantrelDefines FDefines;
  std::vector<bool> FHeldBindings;
  mutable size_t FLastTextSize = 0;
  TVantrelNodeLink<TVantrelGlobalsNode> FGlobals;
  TVantrelNodeLink<TVantrelEntryPointNode> FEntryPoint;
  TVantrelNodeLink<TVantrelSurfaceShaderNode> FSurfaceShader;
  std::unique_ptr<TVantrelCompositeNode> FSourceCode;
  mutable bool FTreeBuilt = false;
  mutable bool FBuildingTree = false;
  mutable bool FStandardTree = true;
  std::function<void()> FOnTreeBuilt;
};

inline constexpr std::string_view SAttributeAlreadyExists = "attribute %s already exists";
inline constexpr std::string_view SFailedToCheckDefine = "failed to check define %s: %s";
inline constexpr std::string_view SDefineKindsDiffer =
    "unsupported definition value: definition value type and supplied value type not equal";
inline constexpr std::string_view SDefineKindUnsupported =
    "unsupported definition value: only Integer, Int64, Boolean and Float supported";
inline constexpr std::string_view SInvalidIntegerOperator = "invalid integer operator";
inline constexpr std::string_view SInvalidBooleanOperator = "invalid boolean operator";
inline constexpr std::string_view SInvalidFloatOperator = "invalid float operator";
inline constexpr std::string_view SInvalidInt64Operator = "invalid int64 operator";
inline constexpr std::string_view SInvalidNodesListSize =
    "failed to build source code for operator - invalid nodes list size";
inline constexpr std::string_view SInvalidOperatorFound =
    "failed to build source code for operator - invalid operator found";
inline constexpr std::string_view SReferenceOwnerMissing =
    "failed to create reference to different node - owner node not assigned";
inline constexpr std::string_view SConstantBuildNotOverridden =
    "TVantrelConstantNode.Build needs to be overwritten";
inline constexpr std::string_view SVariableBuildNotOverridden =
    "TVantrelVariableNode.Build needs to be overwritten";

} // namespace vantrel
