#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "materials/Vantrel.Material.Default.Nodes.h"
#include "rtl/exceptions.h"

namespace {

using namespace vantrel;
using enum TVantrelShaderNodeOperator;
using enum TVantrelDefOp;

// A builder with no default defines and an empty tree.
class TBareBuilder : public TVantrelNodeBuilder {
public:
  using TVantrelNodeBuilder::TVantrelNodeBuilder;

protected:
  void AddDefaultDefines() override {}
  void BuildNodeTree() override {}
};

// A node that writes its Id.
class TTextNode : public TVantrelNodeEntity {
public:
  TTextNode(TVantrelNodeBuilder* ABuilder, std::string_view AText) : TVantrelNodeEntity(ABuilder) {
    SetId(AText);
  }
  void WriteText(std::string& AOut) const override { AOut += Id(); }
};

class ShaderNodes : public ::testing::Test {
protected:
  TOwned<TBareBuilder> Builder = MakeOwned<TBareBuilder>(nullptr);
  TVantrelCompositeNode& Root = *Builder->SourceCode();

  std::unique_ptr<TTextNode> Text(std::string_view AText) {
    return std::make_unique<TTextNode>(Builder.get(), AText);
  }
};

TEST_F(ShaderNodes, GatingFollowsDefinesAndNotDefinesCaseSensitively) {
  struct TCase {
    const char* Name;
    std::vector<std::string> BuilderDefines, NodeDefines, NodeNotDefines;
    bool Emits;
  };
  const TCase cases[] = {
      {"no lists", {}, {}, {}, true},
      {"define present", {"X"}, {"X"}, {}, true},
      {"define absent", {}, {"X"}, {}, false},
      {"one of two defines absent", {"X"}, {"X", "Y"}, {}, false},
      {"define X and not-define X", {"X"}, {"X"}, {"X"}, false},
      {"define X and not-define X, X absent", {}, {"X"}, {"X"}, false},
      {"not-define absent", {}, {}, {"X"}, true},
      {"case-sensitive", {"LIGHTING"}, {"Lighting"}, {}, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto builder = MakeOwned<TBareBuilder>(nullptr);
    for (const std::string& define : c.BuilderDefines)
      builder->AddDefine(define);
    auto* node = builder->SourceCode()->AddNew<TTextNode>("text");
    for (const std::string& define : c.NodeDefines)
      node->AddDefine(define);
    for (const std::string& define : c.NodeNotDefines)
      node->AddNotDefine(define);
    EXPECT_EQ(builder->ToString(), c.Emits ? "text" : "");
  }
}

TEST_F(ShaderNodes, AFailingCompositeHidesItsPassingDescendants) {
  auto* outer = Root.AddNew<TVantrelCompositeNode>();
  outer->AddDefine("OFF");
  outer->AddNew<TTextNode>("hidden");
  Root.AddNew<TTextNode>("shown");
  EXPECT_EQ(Builder->ToString(), "shown");
  Builder->AddDefine("OFF");
  EXPECT_EQ(Builder->ToString(), "hiddenshown");
}

TEST_F(ShaderNodes, DefinesReplaceKeepFalseAndIgnoreAbsentRemovals) {
  Builder->AddDefine("X");
  Builder->AddDefine("X", TValue::From(5));
  ASSERT_EQ(Builder->Defines().Count(), 1);
  EXPECT_EQ(Builder->Defines().Items(std::string_view("X")).AsInteger(), 5);

  Builder->AddDefine("F", TValue::From(false));
  EXPECT_TRUE(Builder->Defined("F"));

  Builder->RemoveDefine("absent");
  EXPECT_EQ(Builder->Defines().Count(), 2);
  Builder->RemoveDefine("X");
  EXPECT_FALSE(Builder->Defined("X"));
}

TEST_F(ShaderNodes, DefineValueTestComparesSuppliedWithStored) {
  struct TCase {
    const char* Name;
    TValue Stored; // empty: the define is absent
    TValue Supplied;
    TVantrelDefOp Op;
    bool Expected;
  };
  const TCase cases[] = {
      {"N=2 > 3", TValue::From(2), TValue::From(3), doGreater, true},
      {"N=3 > 3", TValue::From(3), TValue::From(3), doGreater, false},
      {"absent", TValue(), TValue::From(3), doGreater, false},
      {"int =", TValue::From(3), TValue::From(3), doEqual, true},
      {"int <>", TValue::From(3), TValue::From(4), doUnequal, true},
      {"int >=", TValue::From(3), TValue::From(3), doGreaterEqual, true},
      {"int <", TValue::From(3), TValue::From(-4), doLess, true},
      {"int <=", TValue::From(3), TValue::From(4), doLessEqual, false},
      {"int64 =", TValue::From(int64_t{1} << 40), TValue::From(int64_t{1} << 40), doEqual, true},
      {"int64 <>", TValue::From(int64_t{1}), TValue::From(int64_t{1}), doUnequal, false},
      {"int64 >", TValue::From(int64_t{1}), TValue::From(int64_t{2}), doGreater, true},
      {"int64 >=", TValue::From(int64_t{3}), TValue::From(int64_t{2}), doGreaterEqual, false},
      {"int64 <", TValue::From(int64_t{3}), TValue::From(int64_t{-2}), doLess, true},
      {"int64 <=", TValue::From(int64_t{3}), TValue::From(int64_t{3}), doLessEqual, true},
      {"bool =", TValue::From(true), TValue::From(true), doEqual, true},
      {"bool <>", TValue::From(true), TValue::From(false), doUnequal, true},
      {"bool false < true", TValue::From(true), TValue::From(false), doLess, true},
      {"bool >", TValue::From(false), TValue::From(true), doGreater, true},
      {"bool >=", TValue::From(true), TValue::From(false), doGreaterEqual, false},
      {"bool <=", TValue::From(false), TValue::From(false), doLessEqual, true},
      {"float = exact", TValue::From(0.5), TValue::From(0.5), doEqual, true},
      {"float = single widened", TValue::From(0.1), TValue::From(0.1f), doEqual, false},
      {"float <>", TValue::From(0.5), TValue::From(0.25), doUnequal, true},
      {"float >", TValue::From(0.5), TValue::From(0.75), doGreater, true},
      {"float >=", TValue::From(0.5), TValue::From(0.25), doGreaterEqual, false},
      {"float <", TValue::From(0.5), TValue::From(0.25), doLess, true},
      {"float <=", TValue::From(0.5), TValue::From(0.5), doLessEqual, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto builder = MakeOwned<TBareBuilder>(nullptr);
    if (!c.Stored.IsEmpty())
      builder->AddDefine("N", c.Stored);
    EXPECT_EQ(builder->Defined("N", c.Supplied, c.Op), c.Expected);
  }
}

TEST_F(ShaderNodes, DefineValueTestErrorsAreWrappedWithTheDefineName) {
  const auto badOp = static_cast<TVantrelDefOp>(6);
  struct TCase {
    TValue Stored, Supplied;
    TVantrelDefOp Op;
    std::string Inner;
  };
  const TCase cases[] = {
      {TValue::From(2.0), TValue::From(3), doGreater,
       "unsupported definition value: definition value type and supplied value type not equal"},
      {TValue::From(2), TValue::From(int64_t{3}), doEqual,
       "unsupported definition value: definition value type and supplied value type not equal"},
      {TValue::From(std::string("a")), TValue::From(std::string("a")), doEqual,
       "unsupported definition value: only Integer, Int64, Boolean and Float supported"},
      {TValue::From(TVantrelDefOp::doLess), TValue::From(TVantrelDefOp::doLess), doEqual,
       "unsupported definition value: only Integer, Int64, Boolean and Float supported"},
      {TValue::From(2), TValue::From(3), badOp, "invalid integer operator"},
      {TValue::From(int64_t{2}), TValue::From(int64_t{3}), badOp, "invalid int64 operator"},
      {TValue::From(true), TValue::From(true), badOp, "invalid boolean operator"},
      {TValue::From(2.0), TValue::From(3.0), badOp, "invalid float operator"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Inner);
    auto builder = MakeOwned<TBareBuilder>(nullptr);
    builder->AddDefine("N", c.Stored);
    try {
      builder->Defined("N", c.Supplied, c.Op);
      ADD_FAILURE() << "no exception";
    } catch (const Exception& E) {
      EXPECT_EQ(E.Message(), "failed to check define N: " + c.Inner);
    }
  }
}

TEST_F(ShaderNodes, OperationTextsForEveryOperator) {
  struct TCase {
    TVantrelShaderNodeOperator Op;
    std::vector<const char*> Operands;
    const char* Expected;
  };
  const TCase cases[] = {
      {snopUndefined, {"a", "b", "c"}, "abc"},
      {snopGrouping, {"a", "b"}, "(a, b)"},
      {snopArraySubscript, {"a", "i"}, "a[i]"},
      {snopArraySubscript, {"a", "i", "j"}, "a[i, j]"},
      {snopFuncCall, {"f", "x", "y"}, "f(x, y)"},
      {snopFuncCall, {"f"}, "f()"},
      {snopFieldSel, {"a", "b", "ignored"}, "a.b"},
      {snopPostInc, {"a"}, "a++"},
      {snopPostDec, {"a"}, "a--"},
      {snopPreInc, {"a"}, "++a"},
      {snopPreDec, {"a"}, "--a"},
      {snopADD, {"a", "b"}, "a + b"},
      {snopSUB, {"a", "b"}, "a - b"},
      {snopMUL, {"a", "b"}, "a * b"},
      {snopDIV, {"a", "b"}, "a / b"},
      {snopSignPos, {"a"}, "+a"},
      {snopSignNeg, {"a"}, "-a"},
      {snopNOT, {"a"}, "!a"},
      {snopEQ, {"a", "b"}, "a == b"},
      {snopUNEQ, {"a", "b"}, "a != b"},
      {snopGT, {"a", "b"}, "a > b"},
      {snopGEQ, {"a", "b"}, "a >= b"},
      {snopLT, {"a", "b"}, "a < b"},
      {snopLEQ, {"a", "b"}, "a <= b"},
      {snopLogAND, {"a", "b"}, "a && b"},
      {snopLogOR, {"a", "b"}, "a || b"},
      {snopLogXOR, {"a", "b"}, "a ^^ b"},
      {snopSelection, {"a", "b", "c"}, "a ? b : c"},
      {snopAssign, {"a", "b"}, "a = b"},
      {snopAddAssign, {"a", "b"}, "a += b"},
      {snopSubAssign, {"a", "b"}, "a -= b"},
      {snopMulAssign, {"a", "b"}, "a *= b"},
      {snopDivAssign, {"a", "b"}, "a /= b"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Expected);
    TVantrelOperationNode node(Builder.get());
    node.SetOperator(c.Op);
    for (const char* operand : c.Operands) {
      auto* text = node.AddNew<TTextNode>(operand);
      text->AddDefine("NEVER"); // operands are not gated
    }
    EXPECT_EQ(node.ToString(), c.Expected);
  }
}

TEST_F(ShaderNodes, OperationErrors) {
  struct TCase {
    TVantrelShaderNodeOperator Op;
    int Operands;
    std::string_view Message;
  };
  const TCase cases[] = {
      {snopFuncCall, 0, SInvalidNodesListSize},
      {snopADD, 1, SInvalidNodesListSize},
      {snopSelection, 2, SInvalidNodesListSize},
      {snopArraySubscript, 1, SInvalidNodesListSize},
      {snopPostInc, 0, SInvalidNodesListSize},
      {static_cast<TVantrelShaderNodeOperator>(31), 3, SInvalidOperatorFound},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Message);
    TVantrelOperationNode node(Builder.get());
    node.SetOperator(c.Op);
    for (int i = 0; i < c.Operands; ++i)
      node.AddNew<TTextNode>("x");
    try {
      node.ToString();
      ADD_FAILURE() << "no exception";
    } catch (const Exception& E) {
      EXPECT_EQ(E.Message(), c.Message);
    }
  }
}

TEST_F(ShaderNodes, ReferencesStatementsAndBuildErrors) {
  TTextNode owner(Builder.get(), "_LightsCount");
  EXPECT_EQ(TVantrelReferenceNode::Build(Builder.get(), &owner)->ToString(), "_LightsCount");
  EXPECT_EQ(TVantrelReferenceNode(Builder.get()).ToString(), "<undefined>");

  auto statement = std::make_unique<TVantrelStatementNode>(Builder.get());
  statement->Add(TVantrelOperationNode::Build(Builder.get(), snopAssign, Text("x"), Text("1")));
  EXPECT_EQ(statement->ToString(), "x = 1;\r\n");

  struct TCase {
    std::function<void()> Call;
    std::string_view Message;
  };
  const TCase cases[] = {
      {[&] { TVantrelReferenceNode::Build(Builder.get(), nullptr); }, SReferenceOwnerMissing},
      {[&] { TVantrelReferenceNode(Builder.get()).SetOwner(nullptr); }, SReferenceOwnerMissing},
      {[&] { TVantrelConstantNode::Build(Builder.get(), "c", TValue::From(1)); },
       SConstantBuildNotOverridden},
      {[&] { TVantrelVariableNode::Build(Builder.get(), "v", TVantrelShaderNodeVariableType::stInt); },
       SVariableBuildNotOverridden},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Message);
    try {
      c.Call();
      ADD_FAILURE() << "no exception";
    } catch (const Exception& E) {
      EXPECT_EQ(E.Message(), c.Message);
    }
  }
}

TEST_F(ShaderNodes, SearchByClassIdAndReference) {
  auto* group = Root.AddNew<TVantrelCompositeNode>();
  auto* nested = group->AddNew<TTextNode>("nested");
  auto* first = Root.AddNew<TTextNode>("first");
  auto* second = Root.AddNew<TTextNode>("second");
  second->SetReferenceID(42);

  EXPECT_EQ(Root.FindNode<TTextNode>("", true), nested) << "depth-first in child order";
  EXPECT_EQ(Root.FindNode<TTextNode>("", false), first) << "a non-recursive search never descends";
  EXPECT_EQ(Root.FindNode<TTextNode>("nested", false), nullptr);
  EXPECT_EQ(Root.FindNode<TTextNode>("second", true), second);
  EXPECT_EQ(Root.FindNode<TVantrelCompositeNode>("", false), group);
  EXPECT_EQ(Root.IndexOf<TTextNode>(""), 1);
  EXPECT_EQ(Root.IndexOf<TTextNode>("second"), 2);
  EXPECT_EQ(Root.IndexOf<TTextNode>("Second"), -1);
  EXPECT_EQ(Root.IndexOfReference<TTextNode>(0), 1) << "reference 0 matches the first of the class";
  EXPECT_EQ(Root.IndexOfReference<TTextNode>(42), 2);
  EXPECT_EQ(Root.IndexOfReference<TVantrelCompositeNode>(42), -1);
}

TEST_F(ShaderNodes, CompositeOwnershipOperations) {
  Root.Add(Text("a"));
  Root.Add(Text("c"));
  Root.Insert(1, Text("b"));
  EXPECT_EQ(Builder->ToString(), "abc");
  TTextNode stranger(Builder.get(), "x");
  Root.Remove(&stranger);
  EXPECT_EQ(Root.Count(), 3) << "removing a node that is no child does nothing";
  Root.Remove(Root.Nodes(0));
  Root.Delete(1);
  EXPECT_EQ(Builder->ToString(), "b");
  EXPECT_THROW(Root.Delete(1), EListError);
  EXPECT_THROW(Root.Insert(3, Text("z")), EListError);
  Root.Clear();
  EXPECT_EQ(Root.Count(), 0);
}

TEST_F(ShaderNodes, DeclarationsAndConditionalValues) {
  auto* declarations = Root.AddNew<TVantrelDeclarationNode>();
  TVantrelVariableNode* a = declarations->AddDeclaration("a", TVantrelShaderNodeVariableType::stFloat);
  EXPECT_EQ(a->Id(), "a");
  try {
    declarations->AddDeclaration("a", TVantrelShaderNodeVariableType::stInt);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "attribute a already exists");
  }
  ASSERT_EQ(declarations->Count(), 1);
  EXPECT_EQ(a->Definition().Type, TVantrelShaderNodeVariableType::stFloat)
      << "the first declaration is intact";
  declarations->AddDeclaration("b", TVantrelShaderNodeVariableType::stCustom, "Light", true, 4,
                               TValue::From(1));
  EXPECT_EQ(declarations->IndexOfDeclaration("b"), 1);
  declarations->RemoveDeclaration("a");
  declarations->RemoveDeclaration("absent");
  EXPECT_EQ(declarations->IndexOfDeclaration("b"), 0);

  // Conditional values: the first defined key in insertion order wins.
  a = declarations->AddDeclaration("c", TVantrelShaderNodeVariableType::stInt);
  a->SetConditionalValue("Z", TValue::From(1));
  a->SetConditionalValue("A", TValue::From(2));
  EXPECT_TRUE(a->GetConditionalValue().IsEmpty());
  Builder->AddDefine("A");
  EXPECT_EQ(a->GetConditionalValue().AsInteger(), 2);
  Builder->AddDefine("Z");
  EXPECT_EQ(a->GetConditionalValue().AsInteger(), 1);
}

TEST_F(ShaderNodes, UniformBlockBindingsCountUpAndComeBack) {
  EXPECT_EQ(Builder->IncNumberOfUBOs(), 0);
  EXPECT_EQ(Builder->IncNumberOfUBOs(), 1);
  EXPECT_EQ(Builder->NumberOfUBOs(), 2);
  Builder->ReleaseUBO(0);
  EXPECT_EQ(Builder->NumberOfUBOs(), 0) << "the lowest free binding is handed out next";
  EXPECT_EQ(Builder->IncNumberOfUBOs(), 0);
  EXPECT_EQ(Builder->IncNumberOfUBOs(), 2);
}

TEST_F(ShaderNodes, WeakLinksClearWhenTheirTargetIsFreed) {
  auto* target = Root.AddNew<TTextNode>("target");
  auto* reference = Root.AddNew<TVantrelReferenceNode>();
  reference->SetOwner(target);
  Root.Remove(target);
  EXPECT_EQ(reference->Owner(), nullptr);
  EXPECT_EQ(Builder->ToString(), "<undefined>");

  auto* other = Root.AddNew<TTextNode>("other");
  reference->SetOwner(other);
  Root.Clear(); // the reference and its target go together, in either order
  EXPECT_EQ(Builder->ToString(), "");
}

TEST_F(ShaderNodes, UserFunctionsStartWithTheirSkeleton) {
  EXPECT_EQ(TVantrelVertexShaderFuncNode(Builder.get()).ToString(),
            "void VertexShader(inout TLocals DATA){\r\n\r\n}\r\n");
  EXPECT_EQ(TVantrelSurfaceShaderFuncNode(Builder.get()).ToString(),
            "void SurfaceShader(inout TLocals DATA){\r\n\r\n}\r\n");
  EXPECT_EQ(TVantrelGLSLVertexShaderExec(Builder.get()).ToString(), "  VertexShader(LOCALS);\r\n");
  EXPECT_EQ(TVantrelGLSLSurfaceShaderExec(Builder.get()).ToString(), "  SurfaceShader(LOCALS);\r\n");
}

TEST_F(ShaderNodes, GlobalsHoldTheirSevenCompositesInTextOrder) {
  auto* globals = Root.AddNew<TVantrelGlobalsNode>();
  ASSERT_EQ(globals->Count(), 7);
  const std::vector<TVantrelCompositeNode*> parts = {
      globals->Constants(), globals->Types(),     globals->Attributes(), globals->Uniforms(),
      globals->Varying(),   globals->Functions(), globals->Variables()};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(globals->Nodes(i), parts[i]);
    parts[i]->AddNew<TTextNode>(std::to_string(i));
  }
  EXPECT_EQ(globals->Uniforms()->Nodes(0), globals->Uniforms()->Textures());
  globals->Uniforms()->Textures()->AddNew<TTextNode>("t");
  EXPECT_EQ(Builder->ToString(), "012t3456");
  globals->ClearUniforms();
  EXPECT_EQ(globals->Uniforms()->Textures(), nullptr) << "the textures composite went with the uniforms";
  globals->ClearTypes();
  EXPECT_EQ(Builder->ToString(), "02456");
}

} // namespace
