#include "materials/Vantrel.Material.Default.Nodes.h"

#include <algorithm>
#include <compare>
#include <cstring>

#include "materials/Vantrel.Material.Default.TextCache.h"
#include "rtl/exceptions.h"
#include "rtl/sysutils.h"

namespace vantrel {

namespace {

[[noreturn]] void RaiseIndex(int AIndex) {
  throw EListError(Format("List index out of bounds (%d)", {AIndex}));
}

// True when the ordering of the supplied value against the stored one satisfies AOp; AOp outside
// the six raises AMessage.
bool Compare(std::partial_ordering AOrder, TVantrelDefOp AOp, std::string_view AMessage) {
  switch (AOp) {
  case TVantrelDefOp::doEqual:
    return AOrder == 0;
  case TVantrelDefOp::doUnequal:
    return AOrder != 0;
  case TVantrelDefOp::doGreater:
    return AOrder > 0;
  case TVantrelDefOp::doGreaterEqual:
    return AOrder >= 0;
  case TVantrelDefOp::doLess:
    return AOrder < 0;
  case TVantrelDefOp::doLessEqual:
    return AOrder <= 0;
  }
  throw Exception(std::string(AMessage));
}

bool CompareValues(const TValue& ASupplied, const TValue& AStored, TVantrelDefOp AOp) {
  if (ASupplied.Kind() != AStored.Kind())
    throw Exception(std::string(SDefineKindsDiffer));
  switch (ASupplied.Kind()) {
  case TTypeKind::tkInteger:
    return Compare(ASupplied.AsInt64() <=> AStored.AsInt64(), AOp, SInvalidIntegerOperator);
  case TTypeKind::tkBoolean:
    return Compare(ASupplied.AsBoolean() <=> AStored.AsBoolean(), AOp, SInvalidBooleanOperator);
  case TTypeKind::tkFloat:
    return Compare(ASupplied.AsDouble() <=> AStored.AsDouble(), AOp, SInvalidFloatOperator);
  case TTypeKind::tkInt64:
    return Compare(ASupplied.AsInt64() <=> AStored.AsInt64(), AOp, SInvalidInt64Operator);
  default:
    throw Exception(std::string(SDefineKindUnsupported));
  }
}

} // namespace

// ---- Weak links ---------------------------------------------------------------------------------

void TVantrelNodeLinkBase::Assign(TVantrelNodeEntity* ATarget) {
  if (ATarget == FTarget)
    return;
  Reset();
  FTarget = ATarget;
  if (FTarget && FTarget->Builder())
    FTarget->Builder()->Link(this);
}

void TVantrelNodeLinkBase::Reset() {
  if (!FTarget)
    return;
  if (FTarget->Builder())
    FTarget->Builder()->Unlink(this);
  FTarget = nullptr;
}

// ---- Entity -------------------------------------------------------------------------------------

TVantrelNodeEntity::~TVantrelNodeEntity() {
  if (FBuilder && FLinkCount > 0)
    FBuilder->NodeFreed(this);
}

bool TVantrelNodeEntity::Defined() const {
  return std::all_of(FDefines.begin(), FDefines.end(), [this](const std::string& name) { return Has(name); });
}

bool TVantrelNodeEntity::NotDefined() const {
  return std::none_of(FNotDefines.begin(), FNotDefines.end(),
                      [this](const std::string& name) { return Has(name); });
}

bool TVantrelNodeEntity::Has(std::string_view ADefine) const {
  return FBuilder && FBuilder->Defined(ADefine);
}

void TVantrelNodeEntity::WriteText(std::string&) const {}

std::string TVantrelNodeEntity::ToString() const {
  std::string result;
  WriteText(result);
  return result;
}

// ---- Composite ----------------------------------------------------------------------------------

// Children go first, one by one in reverse order, each leaving the list before it is freed, so
// links cleared during their destruction never see a half-destroyed list.
TVantrelCompositeNode::~TVantrelCompositeNode() {
  while (!FNodes.empty()) {
    TVantrelNodePtr last = std::move(FNodes.back());
    FNodes.pop_back();
  }
}

int TVantrelCompositeNode::Add(TVantrelNodePtr ANode) {
  FNodes.push_back(std::move(ANode));
  return Count() - 1;
}

void TVantrelCompositeNode::Remove(const TVantrelNodeEntity* ANode) {
  const auto it = std::find_if(FNodes.begin(), FNodes.end(),
                               [ANode](const TVantrelNodePtr& child) { return child.get() == ANode; });
  if (it != FNodes.end())
    Delete(static_cast<int>(it - FNodes.begin()));
}

void TVantrelCompositeNode::Delete(int AIndex) {
  if (AIndex < 0 || AIndex >= Count())
    RaiseIndex(AIndex);
  TVantrelNodePtr node = std::move(FNodes[AIndex]);
  FNodes.erase(FNodes.begin() + AIndex);
}

void TVantrelCompositeNode::Insert(int AIndex, TVantrelNodePtr ANode) {
  if (AIndex < 0 || AIndex > Count())
    RaiseIndex(AIndex);
  FNodes.insert(FNodes.begin() + AIndex, std::move(ANode));
}

TVantrelNodeEntity* TVantrelCompositeNode::Nodes(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count())
    RaiseIndex(AIndex);
  return FNodes[AIndex].get();
}

void TVantrelCompositeNode::Clear() {
  std::vector<TVantrelNodePtr> nodes;
  nodes.swap(FNodes);
}

void TVantrelCompositeNode::WriteChildren(std::string& AOut) const {
  for (const TVantrelNodePtr& child : FNodes)
    if (child && child->Passes())
      child->WriteText(AOut);
}

void TVantrelCompositeNode::WriteText(std::string& AOut) const {
  WriteChildren(AOut);
}

// ---- Declarations -------------------------------------------------------------------------------

TVantrelVariableNode* TVantrelDeclarationNode::AddDeclaration(std::string_view AName,
                                                              TVantrelShaderNodeVariableType AType) {
  return AddDeclaration(AName, AType, {}, false, 0, TValue());
}

TVantrelVariableNode* TVantrelDeclarationNode::AddDeclaration(std::string_view AName,
                                                              TVantrelShaderNodeVariableType AType,
                                                              std::string_view ACustomTypeName) {
  return AddDeclaration(AName, AType, ACustomTypeName, false, 0, TValue());
}

TVantrelVariableNode* TVantrelDeclarationNode::AddDeclaration(std::string_view AName,
                                                              TVantrelShaderNodeVariableType AType,
                                                              std::string_view ACustomTypeName, bool AIsArray,
                                                              int32_t AArrayCount, const TValue& AValue) {
  if (IndexOfDeclaration(AName) != -1)
    throw Exception(Format(SAttributeAlreadyExists, {AName}));
  auto* node = AddNew<TVantrelVariableNode>();
  node->SetId(AName);
  node->SetDefinition(
      {std::string(AName), AType, std::string(ACustomTypeName), AValue, AIsArray, AArrayCount});
  return node;
}

void TVantrelDeclarationNode::RemoveDeclaration(std::string_view AName) {
  const int index = IndexOfDeclaration(AName);
  if (index >= 0)
    Delete(index);
}

int TVantrelDeclarationNode::IndexOfDeclaration(std::string_view AName) const {
  for (int i = 0; i < Count(); ++i) {
    const TVantrelVariableNode* variable = Children()[i] ? Children()[i]->AsVariable() : nullptr;
    if (!variable)
      throw EInvalidCast("Invalid class typecast");
    if (variable->Definition().Name == AName)
      return i;
  }
  return -1;
}

const TVantrelDefines& TVantrelDeclarationNode::ConditionalValues() const {
  static const TVantrelDefines None;
  return FConditionalValues ? *FConditionalValues : None;
}

void TVantrelDeclarationNode::SetConditionalValue(std::string_view ADefine, const TValue& AValue) {
  if (!FConditionalValues)
    FConditionalValues = std::make_unique<TVantrelDefines>();
  FConditionalValues->AddOrSetValue(std::string(ADefine), AValue);
}

const TValue* TVantrelDeclarationNode::FindConditionalValue() const {
  if (!FConditionalValues)
    return nullptr;
  for (const auto& pair : *FConditionalValues)
    if (Has(pair.Key))
      return &pair.Value;
  return nullptr;
}

TValue TVantrelDeclarationNode::GetConditionalValue() const {
  const TValue* value = FindConditionalValue();
  return value ? *value : TValue();
}

std::unique_ptr<TVantrelVariableNode> TVantrelVariableNode::Build(TVantrelNodeBuilder*, std::string_view,
                                                                  TVantrelShaderNodeVariableType) {
  throw Exception(std::string(SVariableBuildNotOverridden));
}

std::unique_ptr<TVantrelConstantNode> TVantrelConstantNode::Build(TVantrelNodeBuilder*, std::string_view,
                                                                  const TValue&) {
  throw Exception(std::string(SConstantBuildNotOverridden));
}

// ---- Operations and statements ------------------------------------------------------------------

std::unique_ptr<TVantrelOperationNode> TVantrelOperationNode::Build(TVantrelNodeBuilder* ABuilder,
                                                                    TVantrelShaderNodeOperator AOp,
                                                                    TVantrelNodePtr ALeft,
                                                                    TVantrelNodePtr ARight) {
  auto node = std::make_unique<TVantrelOperationNode>(ABuilder);
  node->SetOperator(AOp);
  if (ALeft)
    node->Add(std::move(ALeft));
  if (ARight)
    node->Add(std::move(ARight));
  return node;
}

void TVantrelOperationNode::WriteOperand(std::string& AOut, int AIndex) const {
  Children()[AIndex]->WriteText(AOut);
}

void TVantrelOperationNode::WriteList(std::string& AOut, int AFirst) const {
  for (int i = AFirst; i < Count(); ++i) {
    if (i > AFirst)
      AOut += ", ";
    WriteOperand(AOut, i);
  }
}

void TVantrelOperationNode::WriteText(std::string& AOut) const {
  using enum TVantrelShaderNodeOperator;
  struct TForm {
    int MinOperands;
    std::string_view Prefix, Infix, Suffix;
  };
  // Unary and binary operators: prefix A infix B suffix.
  auto form = [this]() -> TForm {
    switch (FOperator) {
    case snopFieldSel:
      return {2, "", ".", ""};
    case snopPostInc:
      return {1, "", "", "++"};
    case snopPostDec:
      return {1, "", "", "--"};
    case snopPreInc:
      return {1, "++", "", ""};
    case snopPreDec:
      return {1, "--", "", ""};
    case snopADD:
      return {2, "", " + ", ""};
    case snopSUB:
      return {2, "", " - ", ""};
    case snopMUL:
      return {2, "", " * ", ""};
    case snopDIV:
      return {2, "", " / ", ""};
    case snopSignPos:
      return {1, "+", "", ""};
    case snopSignNeg:
      return {1, "-", "", ""};
    case snopNOT:
      return {1, "!", "", ""};
    case snopEQ:
      return {2, "", " == ", ""};
    case snopUNEQ:
      return {2, "", " != ", ""};
    case snopGT:
      return {2, "", " > ", ""};
    case snopGEQ:
      return {2, "", " >= ", ""};
    case snopLT:
      return {2, "", " < ", ""};
    case snopLEQ:
      return {2, "", " <= ", ""};
    case snopLogAND:
      return {2, "", " && ", ""};
    case snopLogOR:
      return {2, "", " || ", ""};
    case snopLogXOR:
      return {2, "", " ^^ ", ""};
    case snopAssign:
      return {2, "", " = ", ""};
    case snopAddAssign:
      return {2, "", " += ", ""};
    case snopSubAssign:
      return {2, "", " -= ", ""};
    case snopMulAssign:
      return {2, "", " *= ", ""};
    case snopDivAssign:
      return {2, "", " /= ", ""};
    default:
      return {0, "", "", ""};
    }
  };
  auto require = [this](int AMin) {
    if (Count() < AMin)
      throw Exception(std::string(SInvalidNodesListSize));
  };

  switch (FOperator) {
  case snopUndefined:
    require(1);
    for (int i = 0; i < Count(); ++i)
      WriteOperand(AOut, i);
    return;
  case snopGrouping:
    require(1);
    AOut += '(';
    WriteList(AOut, 0);
    AOut += ')';
    return;
  case snopArraySubscript:
    require(2);
    WriteOperand(AOut, 0);
    AOut += '[';
    WriteList(AOut, 1);
    AOut += ']';
    return;
  case snopFuncCall:
    require(1);
    WriteOperand(AOut, 0);
    AOut += '(';
    WriteList(AOut, 1);
    AOut += ')';
    return;
  case snopSelection:
    require(3);
    WriteOperand(AOut, 0);
    AOut += " ? ";
    WriteOperand(AOut, 1);
    AOut += " : ";
    WriteOperand(AOut, 2);
    return;
  default:
    break;
  }
  const TForm f = form();
  if (f.MinOperands == 0)
    throw Exception(std::string(SInvalidOperatorFound));
  require(f.MinOperands);
  AOut += f.Prefix;
  WriteOperand(AOut, 0);
  if (f.MinOperands == 2) {
    AOut += f.Infix;
    WriteOperand(AOut, 1);
  }
  AOut += f.Suffix;
}

void TVantrelStatementNode::WriteText(std::string& AOut) const {
  for (const TVantrelNodePtr& child : Children())
    child->WriteText(AOut);
  AOut += ";\r\n";
}

// ---- References ---------------------------------------------------------------------------------

void TVantrelReferenceNode::SetOwner(TVantrelNodeEntity* AValue) {
  if (!AValue)
    throw Exception(std::string(SReferenceOwnerMissing));
  FOwner.Set(AValue);
}

std::unique_ptr<TVantrelReferenceNode> TVantrelReferenceNode::Build(TVantrelNodeBuilder* ABuilder,
                                                                    TVantrelNodeEntity* AOwner) {
  auto node = std::make_unique<TVantrelReferenceNode>(ABuilder);
  node->SetOwner(AOwner);
  return node;
}

void TVantrelReferenceNode::WriteText(std::string& AOut) const {
  if (const TVantrelNodeEntity* owner = FOwner.Get())
    AOut += owner->Id();
  else
    AOut += "<undefined>";
}

// ---- Globals, uniforms, user functions ----------------------------------------------------------

TVantrelUniformsNode::TVantrelUniformsNode(TVantrelNodeBuilder* ABuilder) : TVantrelCompositeNode(ABuilder) {
  FTextures.Set(AddNew<TVantrelCompositeNode>());
}

void TVantrelUniformsNode::ClearTextures() {
  if (TVantrelCompositeNode* textures = FTextures.Get())
    textures->Clear();
}

TVantrelGlobalsNode::TVantrelGlobalsNode(TVantrelNodeBuilder* ABuilder) : TVantrelCompositeNode(ABuilder) {
  FConstants.Set(AddNew<TVantrelCompositeNode>());
  FTypes.Set(AddNew<TVantrelCompositeNode>());
  FAttributes.Set(AddNew<TVantrelCompositeNode>());
  FUniforms.Set(AddNew<TVantrelUniformsNode>());
  FVarying.Set(AddNew<TVantrelCompositeNode>());
  FFunctions.Set(AddNew<TVantrelCompositeNode>());
  FVariables.Set(AddNew<TVantrelCompositeNode>());
}

TVantrelUserFunctionNode::TVantrelUserFunctionNode(TVantrelNodeBuilder* ABuilder, std::string_view AHeader)
    : TVantrelNodeEntity(ABuilder) {
  FSourceCode.Add(AHeader);
  FSourceCode.Add("");
  FSourceCode.Add("}");
}

void TVantrelUserFunctionNode::WriteText(std::string& AOut) const {
  for (int i = 0; i < FSourceCode.GetCount(); ++i) {
    AOut += FSourceCode[i];
    AOut += "\r\n";
  }
}

void TVantrelGLSLVertexShaderExec::WriteText(std::string& AOut) const {
  AOut += "  VertexShader(LOCALS);\r\n";
}

void TVantrelGLSLSurfaceShaderExec::WriteText(std::string& AOut) const {
  AOut += "  SurfaceShader(LOCALS);\r\n";
}

// ---- Builder ------------------------------------------------------------------------------------

TVantrelNodeBuilder::TVantrelNodeBuilder(ui::TCustomMaterial* AMaterial)
    : FMaterial(AMaterial), FSourceCode(std::make_unique<TVantrelCompositeNode>(this)) {}

// The tree goes first, while the link registry still exists for its nodes to report to.
TVantrelNodeBuilder::~TVantrelNodeBuilder() {
  FSourceCode.reset();
}

void TVantrelNodeBuilder::AfterConstruction() {
  TObject::AfterConstruction();
  AddDefaultDefines();
}

void TVantrelNodeBuilder::EnsureTree() const {
  if (FTreeBuilt)
    return;
  // The tree is logically part of the builder from the start; it is only made late.
  auto& self = const_cast<TVantrelNodeBuilder&>(*this);
  FTreeBuilt = true;
  FBuildingTree = true;
  try {
    self.BuildNodeTree();
  } catch (...) {
    FBuildingTree = false;
    self.FSourceCode->Clear();
    FTreeBuilt = false;
    throw;
  }
  FBuildingTree = false;
  if (FOnTreeBuilt)
    FOnTreeBuilt();
}

const TVantrelNodeBuilder& TVantrelNodeBuilder::HandOutTree() const {
  EnsureTree();
  // The tree's own making reaches its nodes through the same accessors.
  if (!FBuildingTree)
    FStandardTree = false;
  return *this;
}

TVantrelCompositeNode* TVantrelNodeBuilder::TextureUniforms() const {
  EnsureTree();
  TVantrelGlobalsNode* globals = FGlobals.Get();
  return globals && globals->Uniforms() ? globals->Uniforms()->Textures() : nullptr;
}

bool TVantrelNodeBuilder::AppendDefinesSignature(std::string& AOut) const {
  AppendKeyPart(AOut, std::to_string(reinterpret_cast<uintptr_t>(FShared.get())));
  AppendKeyPart(AOut, std::to_string(FDefines.Count()));
  for (const auto& pair : FDefines) {
    const TValue& value = pair.Value;
    if (value.Kind() == TTypeKind::tkRecord)
      return false;
    AppendKeyPart(AOut, pair.Key);
    AppendKeyPart(AOut, value.TypeName());
    if (value.Kind() == TTypeKind::tkFloat) {
      // Every bit, so that values that print alike stay apart.
      const double number = value.AsDouble();
      uint64_t bits = 0;
      std::memcpy(&bits, &number, sizeof(bits));
      AppendKeyPart(AOut, std::to_string(bits));
    } else {
      AppendKeyPart(AOut, value.ToString());
    }
  }
  std::vector<std::string_view> hidden(FHiddenShared.begin(), FHiddenShared.end());
  std::sort(hidden.begin(), hidden.end());
  AppendKeyPart(AOut, std::to_string(hidden.size()));
  for (std::string_view name : hidden)
    AppendKeyPart(AOut, name);
  return true;
}

int TVantrelNodeBuilder::NumberOfUBOs() const {
  // The tree's own blocks take the first bindings, as they did when the tree came first.
  EnsureTree();
  const auto it = std::find(FHeldBindings.begin(), FHeldBindings.end(), false);
  return static_cast<int>(it - FHeldBindings.begin());
}

int TVantrelNodeBuilder::IncNumberOfUBOs() {
  const int binding = NumberOfUBOs();
  if (binding == static_cast<int>(FHeldBindings.size()))
    FHeldBindings.push_back(true);
  else
    FHeldBindings[binding] = true;
  return binding;
}

void TVantrelNodeBuilder::ReleaseUBO(int ABinding) {
  if (ABinding >= 0 && ABinding < static_cast<int>(FHeldBindings.size()))
    FHeldBindings[ABinding] = false;
}

void TVantrelNodeBuilder::AddDefine(std::string_view AName) {
  AddDefine(AName, TValue::From(true));
}

void TVantrelNodeBuilder::AddDefine(std::string_view AName, const TValue& AValue) {
  // A shared name set here keeps its place; one removed and added again goes last.
  if (TValue* existing = FDefines.Find(AName))
    *existing = AValue;
  else
    FDefines.Add(std::string(AName), AValue);
}

void TVantrelNodeBuilder::AddDefines(std::shared_ptr<const TVantrelDefines> ATable) {
  if (!ATable)
    return;
  if (!FShared && FDefines.IsEmpty() && FHiddenShared.empty()) {
    FShared = std::move(ATable);
    return;
  }
  for (const auto& pair : *ATable)
    AddDefine(pair.Key, pair.Value);
}

void TVantrelNodeBuilder::RemoveDefine(std::string_view AName) {
  const bool shared = SharedVisible(AName);
  FDefines.Remove(AName);
  if (shared)
    FHiddenShared.emplace(AName);
}

bool TVantrelNodeBuilder::SharedVisible(std::string_view AName) const {
  return FShared && FShared->ContainsKey(AName) && !FHiddenShared.contains(AName);
}

const TValue* TVantrelNodeBuilder::FindDefine(std::string_view AName) const {
  if (const TValue* own = FDefines.Find(AName))
    return own;
  if (!FShared)
    return nullptr;
  const TValue* shared = FShared->Find(AName);
  return shared && !FHiddenShared.contains(AName) ? shared : nullptr;
}

TVantrelDefines TVantrelNodeBuilder::Defines() const {
  TVantrelDefines result;
  if (FShared)
    for (const auto& pair : *FShared) {
      if (FHiddenShared.contains(pair.Key))
        continue;
      const TValue* own = FDefines.Find(pair.Key);
      result.Add(pair.Key, own ? *own : pair.Value);
    }
  for (const auto& pair : FDefines)
    if (!SharedVisible(pair.Key))
      result.Add(pair.Key, pair.Value);
  return result;
}

bool TVantrelNodeBuilder::Defined(std::string_view AName, const TValue& AValue, TVantrelDefOp AOp) const {
  const TValue* stored = FindDefine(AName);
  if (!stored)
    return false;
  try {
    return CompareValues(AValue, *stored, AOp);
  } catch (const Exception& E) {
    throw Exception(Format(SFailedToCheckDefine, {AName, E.Message()}));
  }
}

void TVantrelNodeBuilder::SetSurfaceShader(std::unique_ptr<TVantrelSurfaceShaderNode> ASurfaceShader) {
  if (!ASurfaceShader)
    return;
  HandOutTree();
  TVantrelEntryPointNode* entry = FEntryPoint.Get();
  if (!entry)
    return;
  if (TVantrelSurfaceShaderNode* current = FSurfaceShader.Get())
    entry->Remove(current);
  TVantrelSurfaceShaderNode* node = ASurfaceShader.get();
  entry->Add(std::move(ASurfaceShader));
  FSurfaceShader.Set(node);
}

std::string TVantrelNodeBuilder::ToString() const {
  std::string text;
  text.reserve(FLastTextSize);
  EnsureTree();
  FSourceCode->WriteText(text);
  FLastTextSize = text.size();
  return text;
}

void TVantrelNodeBuilder::Link(TVantrelNodeLinkBase* ALink) {
  FLinks.emplace(ALink->FTarget, ALink);
  ++ALink->FTarget->FLinkCount;
}

void TVantrelNodeBuilder::Unlink(TVantrelNodeLinkBase* ALink) {
  auto [first, last] = FLinks.equal_range(ALink->FTarget);
  for (auto it = first; it != last; ++it)
    if (it->second == ALink) {
      FLinks.erase(it);
      --ALink->FTarget->FLinkCount;
      return;
    }
}

void TVantrelNodeBuilder::NodeFreed(TVantrelNodeEntity* ANode) {
  auto [first, last] = FLinks.equal_range(ANode);
  for (auto it = first; it != last; ++it)
    it->second->FTarget = nullptr;
  FLinks.erase(first, last);
  ANode->FLinkCount = 0;
}

} // namespace vantrel
