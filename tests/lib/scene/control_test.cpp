#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

#include "rtl/classes.h"
#include "rtl/properties.h"
#include "scene/Vantrel.Control.h"
#include "support/log_capture.h"

namespace scenetest {

class TTestControl : public vantrel::TVantrelControl {
  RTL_CLASS(TTestControl, vantrel::TVantrelControl)
public:
  using TVantrelControl::TVantrelControl;
};
RTL_DEFINE_CLASS(TTestControl, "Test.Scene")

// A class name without the leading capital T keeps its whole name.
class tWidget : public vantrel::TVantrelControl {
  RTL_CLASS(tWidget, vantrel::TVantrelControl)
public:
  using TVantrelControl::TVantrelControl;
};
RTL_DEFINE_CLASS(tWidget, "Test.Scene")

} // namespace scenetest

namespace {

using namespace vantrel;
using scenetest::TTestControl;
using scenetest::tWidget;

class SceneControl : public ::testing::Test {
protected:
  void SetUp() override { InitializeControl(); }
  void TearDown() override { FinalizeControl(); }

  // A control owned by AOwner, parented to AParent, with a component name.
  template <class T = TTestControl>
  T* Make(TComponent* AOwner, TFmxObject* AParent, const std::string& AName = "") {
    T* control = New<T>(AOwner);
    if (!AName.empty())
      control->SetName(AName);
    if (AParent)
      control->SetParent(AParent);
    return control;
  }
};

const std::regex kGenerated("^TestControl_[0-9a-f]{32}$");

TEST_F(SceneControl, UniqueNaming) {
  auto owner = MakeOwned<TComponent>(nullptr);
  auto* a = Make(owner.get(), nullptr, "Box");
  EXPECT_EQ(a->Name(), "Box");
  auto* b = Make(owner.get(), nullptr, "Box");
  EXPECT_TRUE(std::regex_match(b->Name(), kGenerated)) << b->Name();
  auto* w = Make<tWidget>(owner.get(), nullptr, "Box");
  EXPECT_TRUE(std::regex_match(w->Name(), std::regex("^tWidget_[0-9a-f]{32}$"))) << w->Name();
  a->SetName("Box");
  EXPECT_TRUE(std::regex_match(a->Name(), kGenerated)) << "its own current name counts as taken";
  EXPECT_THROW(a->SetName("1abc"), EComponentError);

  auto global = MakeOwned<TComponent>(nullptr);
  global->SetName("MainForm");
  AddGlobalComponent(global.get());
  auto loose = MakeOwned<TTestControl>(nullptr);
  loose->SetName("MainForm");
  EXPECT_TRUE(std::regex_match(loose->Name(), kGenerated)) << loose->Name();
  loose->SetName("Free");
  EXPECT_EQ(loose->Name(), "Free");
  RemoveGlobalComponent(global.get());

  int asked = 0;
  auto previous = SetIsUniqueGlobalComponentNameProc([&](const std::string&) {
    ++asked;
    return false;
  });
  loose->SetName("Other");
  SetIsUniqueGlobalComponentNameProc(previous);
  EXPECT_EQ(loose->Name(), "Free");
  EXPECT_EQ(asked, 12);
}

TEST_F(SceneControl, ControlsRegistry) {
  auto parent = MakeOwned<TTestControl>(nullptr);
  parent->SetQualifiedName("P");
  auto* a = Make(parent.get(), parent.get());
  auto* b = Make(parent.get(), parent.get());
  parent->AddControl("a", a);
  try {
    parent->AddControl("a", b);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "control \"a\" already exists in P");
  }
  EXPECT_EQ(parent->Controls().Count(), 1);
  EXPECT_EQ(parent->Controls().Items("a"), a);

  parent->AddControl("second", a);
  EXPECT_EQ(parent->GetControlName(a), "a");
  EXPECT_EQ(parent->GetControlName(b), "");
  parent->RemoveControl("missing");
  EXPECT_EQ(parent->Controls().Count(), 2);
  parent->RemoveControl(a);
  EXPECT_EQ(parent->Controls().Count(), 0);

  b->SetQualifiedName("b");
  EXPECT_EQ(parent->Controls().Items("b"), b);
  a->SetQualifiedName("a");
  EXPECT_THROW(a->SetQualifiedName("b"), Exception);
  EXPECT_EQ(a->QualifiedName(), "a");
  EXPECT_EQ(parent->Controls().Keys().ToArray(), (std::vector<std::string>{"b", "a"}));
  a->SetQualifiedName("renamed");
  EXPECT_EQ(parent->Controls().Keys().ToArray(), (std::vector<std::string>{"b", "renamed"}));
  a->SetQualifiedName("renamed");
  EXPECT_EQ(parent->Controls().Count(), 2);

  auto other = MakeOwned<TTestControl>(nullptr);
  parent->MoveControlTo(a, other.get());
  EXPECT_EQ(parent->Controls().Keys().ToArray(), (std::vector<std::string>{"b"}));
  EXPECT_EQ(other->Controls().Items("renamed"), a);
  EXPECT_EQ(a->Owner(), other.get());
  EXPECT_EQ(a->Parent(), other.get());
}

// Under AddressSanitizer: no registry keeps a freed control.
TEST_F(SceneControl, AFreedControlLeavesEveryRegistry) {
  auto parent = MakeOwned<TTestControl>(nullptr);
  auto unrelated = MakeOwned<TTestControl>(nullptr);
  auto* child = Make(parent.get(), parent.get());
  parent->AddControl("one", child);
  parent->AddControl("two", child);
  unrelated->AddControl("elsewhere", child);
  child->Free();
  EXPECT_EQ(parent->Controls().Count(), 0);
  EXPECT_EQ(unrelated->Controls().Count(), 0);
  for (TTestControl* registry : {parent.get(), unrelated.get()}) {
    EXPECT_EQ(registry->FindControlByDeepSearch("one"), nullptr);
    TVantrelControl::TSearchResult result;
    registry->FindControlsByDeepSearch("elsewhere", &result);
    EXPECT_EQ(result.Count(), 0);
  }
}

TEST_F(SceneControl, DeepSearches) {
  auto root = MakeOwned<TTestControl>(nullptr);
  auto* first = Make(root.get(), root.get());
  auto* second = Make(root.get(), root.get());
  auto* deepInFirst = Make(root.get(), first);
  auto* deepInSecond = Make(root.get(), second);
  root->AddControl("first", first);
  root->AddControl("second", second);
  first->AddControl("x", deepInFirst);
  second->AddControl("x", deepInSecond);
  root->AddControl("", second);
  EXPECT_EQ(root->FindControlByDeepSearch("x"), deepInFirst);
  EXPECT_EQ(root->FindControlByDeepSearch("second"), second);
  EXPECT_EQ(root->FindControlByDeepSearch(""), nullptr);
  EXPECT_EQ(root->FindControlByDeepSearch("none"), nullptr);

  auto* def = reinterpret_cast<TCustomDef*>(&root);
  deepInSecond->SetDef(def);
  EXPECT_EQ(root->FindControlByDefDeepSearch(def), deepInSecond);
  EXPECT_EQ(root->FindControlByDefDeepSearch(nullptr), nullptr);

  try {
    root->FindControlsByDeepSearch("x", nullptr);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "result list not assigned");
  }
  root->FindControlsByDeepSearch("", nullptr);
  root->RemoveControl("");
  TVantrelControl::TSearchResult result;
  root->FindControlsByDeepSearch("x", &result);
  EXPECT_EQ(result.Keys().ToArray(), (std::vector<TComponent*>{deepInFirst, deepInSecond}));
  EXPECT_FALSE(result.Items(deepInFirst));
  EXPECT_THROW(root->FindControlsByDeepSearch("x", &result), EListError);
}

TEST_F(SceneControl, UpwardAndComponentSearches) {
  auto owner = MakeOwned<TDummy>(nullptr);
  auto* middle = Make<TDummy>(owner.get(), owner.get(), "middle");
  auto* leaf = Make(owner.get(), middle, "leaf");
  auto* loose = Make(middle, nullptr, "loose");
  EXPECT_EQ(FindComponentUpwards(leaf, TDummy::StaticClass()), middle);
  EXPECT_EQ(FindComponentUpwards(loose, TDummy::StaticClass()), middle) << "through the owner";
  EXPECT_EQ(FindComponentUpwards(leaf, "ui.Objects3D.TDummy"), middle);
  EXPECT_EQ(FindComponentUpwards(leaf, "No.Such.TClass"), nullptr);
  EXPECT_EQ(FindViewport(leaf), nullptr);
  auto plainOwner = MakeOwned<TComponent>(nullptr);
  auto* orphan = Make(plainOwner.get(), nullptr, "orphan");
  EXPECT_EQ(FindComponentUpwards(orphan, TComponent::StaticClass()), nullptr);
  EXPECT_EQ(FindTopOwner(leaf), owner.get());
  EXPECT_EQ(FindTopOwner(owner.get()), nullptr);

  EXPECT_EQ(FindComponentDeepSearch(owner.get(), "loose"), loose);
  EXPECT_EQ(FindComponentDeepSearch(owner.get(), "LOOSE"), nullptr);
  EXPECT_EQ(FindComponentDeepSearchByClass(owner.get(), TTestControl::StaticClass()), loose) << "pre-order";
  EXPECT_EQ(FindComponentDeepSearchByFilter(owner.get(), nullptr), nullptr);
  EXPECT_EQ(FindComponentDeepSearchByFilter(owner.get(), [](TComponent* C) { return C->Name() == "leaf"; }),
            leaf);
  std::vector<TComponent*> found{owner.get()};
  FindAllComponentsByClass(owner.get(), TTestControl::StaticClass(), found);
  EXPECT_EQ(found, (std::vector<TComponent*>{owner.get(), loose, leaf}));

  owner->SetName("root");
  EXPECT_EQ(LogComponentHierarchy(owner.get(), "  "), "  root (TDummy)\r\n"
                                                      "    middle (TDummy)\r\n"
                                                      "        loose (TTestControl)\r\n"
                                                      "    leaf (TTestControl)\r\n");
  EXPECT_EQ(LogComponentHierarchy(owner.get(), ""),
            "root (TDummy)\r\nmiddle (TDummy)\r\nloose (TTestControl)\r\n"
            "leaf (TTestControl)\r\n");
  EnableDesigning(owner.get());
  EXPECT_TRUE(loose->ComponentState().Contains(TComponentStateItem::csDesigning));
  DisableDesigning(owner.get());
  EXPECT_FALSE(loose->ComponentState().Contains(TComponentStateItem::csDesigning));
  EXPECT_FALSE(owner->ComponentState().Contains(TComponentStateItem::csDesigning));
}

TEST_F(SceneControl, DestroyComponentsButIgnoreClassKeepsDescendants) {
  auto root = MakeOwned<TTestControl>(nullptr);
  Make<TDummy>(root.get(), nullptr, "a");
  auto* widget = Make<tWidget>(root.get(), nullptr, "b");
  Make<TDummy>(root.get(), nullptr, "c");
  auto* kept = Make<TTestControl>(root.get(), nullptr, "d");
  const TClass* ignored[] = {&TTestControl::StaticClass(), &tWidget::StaticClass()};
  root->DestroyComponentsButIgnoreClass(ignored);
  ASSERT_EQ(root->ComponentCount(), 2);
  EXPECT_EQ(root->Components(0), widget);
  EXPECT_EQ(root->Components(1), kept);
}

TEST_F(SceneControl, DefaultsBoxesAndAbstractDefinitions) {
  auto control = MakeOwned<TTestControl>(nullptr);
  EXPECT_TRUE(control->Opaque());
  EXPECT_TRUE(control->FrustumCullingCheck());
  // The scene control re-publishes the 3D control's events for forms.
  EXPECT_EQ(GetEventList(TVantrelControl::StaticClass()).size(), 16u);
  EXPECT_NE(GetEventInfo(TVantrelControl::StaticClass(), "OnRender"), nullptr);
  EXPECT_THROW(control->LoadFromDefinition(nullptr), EAbstractError);
  EXPECT_THROW(control->StoreToDefinition(nullptr), EAbstractError);
  control->SetWidth(2);
  control->SetHeight(4);
  control->SetDepth(6);
  control->Position()->SetPoint({10, 0, 0});
  control->RotationAngle()->SetY(90);
  EXPECT_EQ(control->GetBoundingBox(), TBoundingBox::Create({-1, -2, -3}, {1, 2, 3}));
  const TBoundingBox box = control->GetAbsoluteBoundingBox();
  const float expected[] = {7, -2, -1, 13, 2, 1};
  const float actual[] = {box.Left, box.Top, box.Near, box.Right, box.Bottom, box.Far};
  for (int i = 0; i < 6; ++i)
    EXPECT_NEAR(actual[i], expected[i], 1e-5) << i;

  auto owner = MakeOwned<TComponent>(nullptr);
  TComponent* proxy = control->Duplicate(owner.get(), true);
  ASSERT_TRUE(proxy->Is<TProxyObject>());
  EXPECT_EQ(static_cast<TProxyObject*>(proxy)->SourceObject(), control.get());
  EXPECT_EQ(proxy->Owner(), owner.get());
}

TEST_F(SceneControl, LocalMatrixHelpers) {
  auto control = MakeOwned<TTestControl>(nullptr);
  const TMatrix3D m = TMatrix3D::CreateScaling({2, 2, 2}) *
                      TQuaternion3D::Create({0, 1, 0}, 0.5f).ToMatrix() *
                      TMatrix3D::CreateTranslation({1, 2, 3});
  SetLocalMatrix(control.get(), m, true, true, true, false);
  EXPECT_EQ(control->LocalMatrix(), m);
  EXPECT_NEAR(control->Position()->X(), 1, 1e-6);
  EXPECT_NEAR(control->Scale()->X(), 2, 1e-5);
  EXPECT_EQ(control->RotationAngle()->Point(), QuaternionToEuler(MatrixGetRotation(m), 0));
  RecalcLocalMatrix(control.get());
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      EXPECT_NEAR(control->LocalMatrix()(r, c), m(r, c), 1e-5);
  SetLocalMatrix(control.get(), m, false, false, false, false);
  EXPECT_EQ(control->Quaternion(), TQuaternion3D::Identity());
  EXPECT_EQ(control->RotationAngle()->Point(), (TPoint3D{}));
  // The platform's quaternion write takes the same Euler angles as the framework's helper.
  const TQuaternion3D q = TQuaternion3D::Create(TPoint3D{1, 2, 3}.Normalize(), 1.1f);
  control->SetQuaternion(q);
  EXPECT_EQ(control->RotationAngle()->Point(), QuaternionToEuler(q, 0));
}

TEST(FormText, Codecs) {
  EXPECT_EQ(WritePoint3DField({1, 2.5f, -3}), "(1,2.5,-3)");
  TPoint3D p{9, 9, 9};
  ReadPoint3DField(p, "(1,2.5,-3)");
  EXPECT_EQ(p, (TPoint3D{1, 2.5f, -3}));
  p = {9, 9, 9};
  ReadPoint3DField(p, "(1,x,3)");
  EXPECT_EQ(p, (TPoint3D{1, 9, 9}));
  ReadPoint3DField(p, "(1E-7,0,0)");
  EXPECT_EQ(p.X, 1e-7f);
  ReadPoint3DField(p, "garbage");
  ReadPoint3DField(p, "");
  EXPECT_EQ(p.X, 1e-7f);
  EXPECT_EQ(WritePoint3DField({1e-7f, 0, 0}).substr(0, 5), "(1.00");
  EXPECT_NE(WritePoint3DField({1e-7f, 0, 0}).find("E-7"), std::string::npos);

  TSize3D size = TSize3D::Create(0);
  ReadSize3DField(size, "(1.5,2.5,3.7)");
  EXPECT_EQ((std::array{size.Width, size.Height, size.Depth}), (std::array{2, 2, 4}));
  ReadSize3DField(size, "(1e300,5,5)");
  EXPECT_EQ(size.Width, 2) << "out of range ends reading";
  EXPECT_EQ(WriteSize3DField(TSize3D::Create(1, -2, 3)), "(1,-2,3)");

  TQuaternion3D q;
  ReadQuaternionField(q, "(1,2,3,4)");
  EXPECT_EQ(q, TQuaternion3D({1, 2, 3}, 4));
  EXPECT_EQ(WriteQuaternionField(q), "(1,2,3,4)");
  TPoint point;
  ReadPointField(point, "(3,-4)");
  EXPECT_EQ(point, (TPoint{3, -4}));
  ReadPointField(point, "(3.5,7)");
  EXPECT_EQ(point, (TPoint{3, -4}));
  EXPECT_EQ(WritePointField({3, -4}), "(3,-4)");
  TPlaneF plane;
  ReadPlaneFField(plane, "(0,1,0,-2)");
  EXPECT_EQ(plane.D, -2);
  EXPECT_EQ(WriteAlphaColorFField({0.5f, 1, 0, 1}), "(0.5,1,0,1)");
}

TEST(FormText, RandomFloatsRoundTripExactly) {
  std::mt19937 engine(12);
  std::uniform_real_distribution<float> mantissa(-1, 1);
  std::uniform_int_distribution<int> exponent(-30, 30);
  const auto random = [&] { return std::ldexp(mantissa(engine), exponent(engine)); };
  for (int i = 0; i < 1000; ++i) {
    const TPoint3D p{random(), random(), random()};
    TPoint3D p2;
    ReadPoint3DField(p2, WritePoint3DField(p));
    ASSERT_EQ(p2, p) << WritePoint3DField(p);
    const TPointF f{random(), random()};
    TPointF f2;
    ReadPointFField(f2, WritePointFField(f));
    ASSERT_EQ(f2, f);
    const TVector3D v{random(), random(), random(), random()};
    TVector3D v2;
    ReadVector3DField(v2, WriteVector3DField(v));
    ASSERT_EQ(v2, v);
    const TQuaternion3D q({random(), random(), random()}, random());
    TQuaternion3D q2;
    ReadQuaternionField(q2, WriteQuaternionField(q));
    ASSERT_EQ(q2, q);
    const TAlphaColorF c{random(), random(), random(), random()};
    TAlphaColorF c2;
    ReadAlphaColorFField(c2, WriteAlphaColorFField(c));
    ASSERT_EQ(c2, c);
    const TPlaneF pl{random(), random(), random(), random()};
    TPlaneF pl2;
    ReadPlaneFField(pl2, WritePlaneFField(pl));
    ASSERT_EQ(pl2, pl);
    const TPoint ip{int32_t(engine()), int32_t(engine())};
    TPoint ip2;
    ReadPointField(ip2, WritePointField(ip));
    ASSERT_EQ(ip2, ip);
    const TSize3D s = TSize3D::Create(int32_t(engine()), int32_t(engine()), int32_t(engine()));
    TSize3D s2 = TSize3D::Create(0);
    ReadSize3DField(s2, WriteSize3DField(s));
    ASSERT_EQ((std::array{s2.X, s2.Y, s2.Z}), (std::array{s.X, s.Y, s.Z}));
  }
}

} // namespace
