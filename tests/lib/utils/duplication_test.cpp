#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/fields.h"
#include "scene/Vantrel.Control.h"
#include "support/log_capture.h"
#include "ui/material.h"
#include "utils/Vantrel.Utils.Duplication.h"

namespace duptest {

class TLinkedNode : public vantrel::TVantrelControl {
  RTL_CLASS(TLinkedNode, vantrel::TVantrelControl)
public:
  using TVantrelControl::TVantrelControl;
  vantrel::TVantrelControl* FSibling = nullptr;
  rtl::TComponent* FOutside = nullptr;
  std::vector<rtl::TPoint3D> FPoints;
  int FRendered = 0;
  void Rendered(rtl::TObject*, ui::TContext3D*) { ++FRendered; }
  static void RegisterFields() {
    rtl::RegisterFields(
        StaticClass(), {rtl::ObjectField<&TLinkedNode::FSibling>("FSibling", &TVantrelControl::StaticClass()),
                        rtl::ObjectField<&TLinkedNode::FOutside>("FOutside", &rtl::TComponent::StaticClass()),
                        rtl::SkippedField("FPoints", rtl::TFieldKind::DynArray)});
  }
};
RTL_DEFINE_CLASS(TLinkedNode, "Test.Duplication")

class TTestMaterialSource : public ui::TMaterialSource {
  RTL_CLASS(TTestMaterialSource, ui::TMaterialSource)
public:
  using TMaterialSource::TMaterialSource;

protected:
  rtl::TOwned<ui::TMaterial> CreateMaterial() override { return nullptr; }
};
RTL_DEFINE_CLASS(TTestMaterialSource, "Test.Duplication")

// Raises from its constructor while Armed.
class TThrowingNode : public vantrel::TVantrelControl {
  RTL_CLASS(TThrowingNode, vantrel::TVantrelControl)
public:
  explicit TThrowingNode(rtl::TComponent* AOwner) : TVantrelControl(AOwner) {
    if (Armed)
      throw rtl::Exception("constructor failed");
  }
  static inline bool Armed = false;
};
RTL_DEFINE_CLASS(TThrowingNode, "Test.Duplication")

} // namespace duptest

namespace {

using namespace vantrel;
using duptest::TLinkedNode;
using duptest::TTestMaterialSource;
using duptest::TThrowingNode;

bool HasLine(const vtest::TLogCapture& ALog, const std::string& APrefix) {
  const auto lines = ALog.Lines();
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& L) { return L.rfind(APrefix, 0) == 0; });
}

class Duplication : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeControl();
    TLinkedNode::RegisterFields();
    FHolder = MakeOwned<TComponent>(nullptr);
    FOutsideParent = New<TDummy>(FHolder.get());
    FOutsider = New<TLinkedNode>(FHolder.get());
    FOutsider->SetName("outsider");
    FRoot = New<TLinkedNode>(FHolder.get());
    FRoot->SetName("root");
    FRoot->SetParent(FOutsideParent);
    FA = MakeChild("a");
    FB = MakeChild("b");
    FMaterial = New<TTestMaterialSource>(FRoot);
    FA->FSibling = FB;
    FA->FOutside = FOutsider;
    FA->FPoints = {{1, 2, 3}};
    FRoot->OnRender = TRenderEvent(FRoot, &TLinkedNode::Rendered);
    FB->OnRender = TRenderEvent(FOutsider, &TLinkedNode::Rendered);
    FRoot->AddControl("outside", FOutsider);
  }
  void TearDown() override {
    FHolder.reset();
    UnRegisterFields(TLinkedNode::StaticClass());
    FinalizeControl();
  }

  TLinkedNode* MakeChild(const std::string& AName) {
    auto* child = New<TLinkedNode>(FRoot);
    child->SetName(AName);
    child->SetParent(FRoot);
    child->SetQualifiedName(AName);
    return child;
  }
  template <class T> static T* CopyOf(const TVantrelDuplicator& ADuplicator, TObject* ASource) {
    return dynamic_cast<T*>(ADuplicator.ObjectMap().Items(ASource));
  }

  TOwned<TComponent> FHolder;
  TDummy* FOutsideParent = nullptr;
  TLinkedNode* FOutsider = nullptr;
  TLinkedNode* FRoot = nullptr;
  TLinkedNode* FA = nullptr;
  TLinkedNode* FB = nullptr;
  TTestMaterialSource* FMaterial = nullptr;
};

TEST_F(Duplication, CopiesRelinkAmongThemselves) {
  vtest::TLogCapture log;
  auto duplicator = MakeOwned<TVantrelDuplicator>();
  auto* copy = dynamic_cast<TLinkedNode*>(
      duplicator->Duplicate(FRoot, FHolder.get(), {TDuplicationFlag::dfIgnoreMaterials}));
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy, FRoot);
  auto* copyA = CopyOf<TLinkedNode>(*duplicator, FA);
  auto* copyB = CopyOf<TLinkedNode>(*duplicator, FB);
  ASSERT_TRUE(copyA && copyB);
  EXPECT_EQ(copyA->Parent(), copy);
  EXPECT_EQ(copyB->Owner(), copy);
  EXPECT_EQ(copy->Controls().Keys().ToArray(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(copy->Controls().Items("a"), copyA);
  EXPECT_EQ(copyA->FSibling, copyB);
  EXPECT_EQ(copyA->FOutside, nullptr) << "outside the tree: the constructor's value";
  EXPECT_TRUE(copyA->FPoints.empty());
  EXPECT_EQ(copyA->QualifiedName(), "a");
  EXPECT_EQ(copyA->Name(), "a") << "free in the copy's owner";
  EXPECT_NE(copy->Name(), "root") << "taken in the holder";
  EXPECT_EQ(copy->Parent(), nullptr);

  EXPECT_EQ(copy->OnRender, TRenderEvent(copy, &TLinkedNode::Rendered));
  EXPECT_EQ(copyB->OnRender, TRenderEvent(FOutsider, &TLinkedNode::Rendered));

  EXPECT_EQ(duplicator->ObjectMap().Items(FMaterial), FMaterial);
  EXPECT_EQ(copy->ComponentCount(), 2);
  EXPECT_TRUE(HasLine(log, "<WARNING> [RawDuplicate] Class ignored for duplication TTestMaterialSource"));
  EXPECT_TRUE(HasLine(log, "<NOTICE> DynArray field ignored TLinkedNode.FPoints"));
  EXPECT_TRUE(HasLine(log, "<WARNING> failed to resolve parent object - duplicated object not found for "
                           "TLinkedNode." +
                               copy->Name()));
  EXPECT_TRUE(HasLine(log, "<WARNING> TVantrelControl.DoDuplicate - cannot find duplicated control outside"));

  log.Clear();
  EXPECT_EQ(duplicator->Duplicate(FRoot, FHolder.get(), {}), copy);
  EXPECT_TRUE(HasLine(log, "<WARNING> [RawDuplicate] Component already duplicated TLinkedNode.root"));
}

TEST_F(Duplication, TransformStateIsCopiedAndTheSourceUntouched) {
  FA->Position()->SetPoint({1, 2, 3});
  FA->Scale()->SetPoint({2, 1, 1});
  FA->RotationCenter()->SetPoint({0.5f, 0, 0});
  FA->RotationAngle()->SetX(30);
  FA->RotationAngle()->SetY(45);
  FA->RotationAngle()->SetZ(60);
  // A matrix set as a whole, which the angles would not rebuild.
  const TMatrix3D whole = FA->LocalMatrix() * TMatrix3D::CreateTranslation({0, 0, 1});
  FA->SetLocalMatrixValue(whole);
  const TQuaternion3D quaternion = FA->Quaternion();
  const TPoint3D saved = FA->SavedRotationAngle();

  auto duplicator = MakeOwned<TVantrelDuplicator>();
  duplicator->Duplicate(FRoot, FHolder.get(), {TDuplicationFlag::dfIgnoreMaterials});
  auto* copyA = CopyOf<TLinkedNode>(*duplicator, FA);
  EXPECT_EQ(FA->LocalMatrix(), whole) << "the source stays bit-identical";
  EXPECT_NE(copyA->Position(), FA->Position());
  EXPECT_EQ(copyA->Position()->Point(), FA->Position()->Point());
  EXPECT_EQ(copyA->Scale()->Point(), FA->Scale()->Point());
  EXPECT_EQ(copyA->RotationCenter()->Point(), FA->RotationCenter()->Point());
  EXPECT_EQ(copyA->RotationAngle()->Point(), FA->RotationAngle()->Point());
  EXPECT_EQ(copyA->Quaternion(), quaternion);
  EXPECT_EQ(copyA->SavedRotationAngle(), saved);
  // The copy's matrix is rebuilt from its state.
  auto rebuilt = MakeOwned<TLinkedNode>(nullptr);
  rebuilt->Position()->SetPoint({1, 2, 3});
  rebuilt->Scale()->SetPoint({2, 1, 1});
  rebuilt->RotationCenter()->SetPoint({0.5f, 0, 0});
  rebuilt->RotationAngle()->SetX(30);
  rebuilt->RotationAngle()->SetY(45);
  rebuilt->RotationAngle()->SetZ(60);
  EXPECT_EQ(copyA->LocalMatrix(), rebuilt->LocalMatrix());
}

TEST_F(Duplication, AFailedCopyLeavesNothingInTheOwner) {
  New<TThrowingNode>(FB);
  const int before = FHolder->ComponentCount();
  TThrowingNode::Armed = true;
  EXPECT_THROW(FRoot->Duplicate(FHolder.get(), false), Exception);
  TThrowingNode::Armed = false;
  EXPECT_EQ(FHolder->ComponentCount(), before);
  TComponent* copy = FRoot->Duplicate(FHolder.get(), false);
  EXPECT_EQ(FHolder->ComponentCount(), before + 1);
  EXPECT_EQ(copy->ComponentCount(), 2) << "a and b; the shared material stays with the source";
}

TEST_F(Duplication, LateResolveWaitsForTheSource) {
  auto duplicator = MakeOwned<TVantrelDuplicator>();
  auto target = MakeOwned<TLinkedNode>(nullptr);
  const TCopyField* sibling = nullptr;
  for (const TCopyField* field : GetCopyFields(TLinkedNode::StaticClass()))
    if (field->Name == "FSibling")
      sibling = field;
  ASSERT_NE(sibling, nullptr);
  duplicator->AddLateResolve(FB, sibling, target.get());
  duplicator->RunLateResolve();
  EXPECT_EQ(target->FSibling, nullptr);
  ASSERT_EQ(duplicator->LateResolve().size(), 1u);
  duplicator->AddObjectMap(FB, FA);
  EXPECT_EQ(target->FSibling, FA);
  EXPECT_TRUE(duplicator->LateResolve().empty());
  EXPECT_THROW(duplicator->AddObjectMap(FB, FA), EListError);
  EXPECT_TRUE(duplicator->ClassIgnored(TTestMaterialSource::StaticClass()) == false);
  duplicator->IgnoreClasses().push_back(&TMaterialSource::StaticClass());
  EXPECT_TRUE(duplicator->ClassIgnored(TTestMaterialSource::StaticClass()));
}

} // namespace

namespace duptest {

// Makes and frees a definition of its own, so a copy must keep its own too.
class TOwningNode : public vantrel::TVantrelControl {
  RTL_CLASS(TOwningNode, vantrel::TVantrelControl)
public:
  explicit TOwningNode(rtl::TComponent* AOwner)
      : TVantrelControl(AOwner), FOwnDef(rtl::MakeOwned<vantrel::TTransformDef>()) {
    SetDef(FOwnDef.get());
  }
  bool OwnsDefinition() const override { return true; }
  vantrel::TTransformDef* OwnDef() const { return FOwnDef.get(); }

private:
  rtl::TOwned<vantrel::TTransformDef> FOwnDef;
};
RTL_DEFINE_CLASS(TOwningNode, "Test.Duplication")

} // namespace duptest

namespace {

using duptest::TOwningNode;

TEST(DuplicationDefinitions, AnOwnedDefinitionStaysWithItsControl) {
  InitializeControl();
  for (const bool sourceFirst : {true, false}) {
    SCOPED_TRACE(sourceFirst ? "source freed first" : "copy freed first");
    auto* source = New<TOwningNode>(nullptr);
    auto* copy = dynamic_cast<TOwningNode*>(source->Duplicate(nullptr, false));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Def(), copy->OwnDef());
    EXPECT_NE(copy->Def(), source->Def());
    if (sourceFirst) {
      source->Free();
      copy->Free();
    } else {
      copy->Free();
      source->Free();
    }
  }
  auto modelDef = MakeOwned<TTransformDef>();
  auto shared = MakeOwned<TLinkedNode>(nullptr);
  shared->SetDef(modelDef.get());
  TOwned<TComponent> copy(shared->Duplicate(nullptr, false));
  EXPECT_EQ(static_cast<TVantrelControl*>(copy.get())->Def(), modelDef.get());
  copy.reset();
  shared.reset();
  FinalizeControl();
}

} // namespace
