#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "rtl/exceptions.h"
#include "rtl/form_text.h"
#include "rtl/methods.h"
#include "rtl/properties.h"
#include "support/test_viewport.h"
#include "ui/context3d.h"
#include "ui/controls3d.h"

namespace c3dtest {

// Counts the change events of a TPosition3D.
class TChangeLog : public rtl::TObject {
  RTL_CLASS(TChangeLog, rtl::TObject)
public:
  TChangeLog() = default;
  std::string FLog;
  void Changed(rtl::TObject*) { FLog += "change;"; }
  void ChangedX(rtl::TObject*) { FLog += "x;"; }
};
RTL_DEFINE_CLASS(TChangeLog, "Test.Controls3D")

// A form root whose methods its form text binds to events by name.
class TClickForm : public ui::TControl3D {
  RTL_CLASS(TClickForm, ui::TControl3D)
public:
  using TControl3D::TControl3D;
  int FClicks = 0;
  rtl::TObject* FSender = nullptr;
  void FormClick(rtl::TObject* ASender) {
    ++FClicks;
    FSender = ASender;
  }
  void Resize(int) {}
  int FDowns = 0, FRenders = 0;
  void FormMouseDown(rtl::TObject*, ui::TMouseButton, ui::TShiftState, float, float, const rtl::TVector3D&,
                     const rtl::TVector3D&) {
    ++FDowns;
  }
  void FormRender(rtl::TObject*, ui::TContext3D*) { ++FRenders; }
  static void RegisterMethods(rtl::TMethodList& AList) {
    AList.Add("FormClick", &TClickForm::FormClick);
    AList.Add("Resize", &TClickForm::Resize);
    AList.Add("FormMouseDown", &TClickForm::FormMouseDown);
    AList.Add("FormRender", &TClickForm::FormRender);
  }
};
RTL_DEFINE_CLASS(TClickForm, "Test.Controls3D", nullptr, &TClickForm::RegisterMethods)

} // namespace c3dtest

namespace {

using namespace rtl;
using namespace ui;
using c3dtest::TChangeLog;
using c3dtest::TClickForm;

constexpr float kDeg = float(std::numbers::pi / 180);

void ExpectNear(const TPoint3D& AActual, const TPoint3D& AExpected, double ATolerance = 1e-5) {
  EXPECT_NEAR(AActual.X, AExpected.X, ATolerance);
  EXPECT_NEAR(AActual.Y, AExpected.Y, ATolerance);
  EXPECT_NEAR(AActual.Z, AExpected.Z, ATolerance);
}

void ExpectNear(const TMatrix3D& AActual, const TMatrix3D& AExpected, double ATolerance = 1e-5) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      EXPECT_NEAR(AActual(r, c), AExpected(r, c), ATolerance) << "m" << r + 1 << c + 1;
}

TEST(Position3D, NotifiesOnlyOnChange) {
  struct TCase {
    const char* Name;
    bool WithX;
    void (*Act)(TPosition3D&);
    const char* Expected;
  };
  const TCase cases[] = {
      {"X without OnChangeX", false, [](TPosition3D& P) { P.SetX(1); }, "change;"},
      {"X with OnChangeX", true, [](TPosition3D& P) { P.SetX(1); }, "x;"},
      {"Y with only OnChangeX", true, [](TPosition3D& P) { P.SetY(1); }, "change;"},
      {"Point", true,
       [](TPosition3D& P) {
         P.SetPoint({1, 2, 3});
       },
       "change;"},
      {"Vector", true,
       [](TPosition3D& P) {
         P.SetVector({1, 2, 3, 9});
       },
       "change;"},
      {"an equal value", true,
       [](TPosition3D& P) {
         P.SetX(0);
         P.SetPoint({0, 0, 0});
       },
       ""},
      {"SetPointNoChange", true,
       [](TPosition3D& P) {
         P.SetPointNoChange({4, 5, 6});
       },
       ""},
      {"Assign", true,
       [](TPosition3D& P) {
         TPosition3D source({7, 8, 9});
         P.Assign(&source);
       },
       "change;"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto log = MakeOwned<TChangeLog>();
    auto position = MakeOwned<TPosition3D>();
    position->OnChange = TNotifyEvent(log.get(), &TChangeLog::Changed);
    if (c.WithX)
      position->OnChangeX = TNotifyEvent(log.get(), &TChangeLog::ChangedX);
    c.Act(*position);
    EXPECT_EQ(log->FLog, c.Expected);
  }
  TPosition3D source({7, 8, 9}), dest;
  dest.Assign(&source);
  EXPECT_EQ(dest.Point(), (TPoint3D{7, 8, 9}));
  EXPECT_EQ(dest.Vector(), (TVector3D{7, 8, 9, 1}));
}

TEST(Control3D, DefaultsAndTheYawTurnIsIncremental) {
  auto control = MakeOwned<TControl3D>(nullptr);
  EXPECT_EQ(control->Scale()->Point(), (TPoint3D{1, 1, 1}));
  EXPECT_EQ(control->Width(), 1);
  EXPECT_TRUE(control->HitTest());
  EXPECT_TRUE(control->ZWrite());
  EXPECT_TRUE(control->VisibleContextMenu());
  EXPECT_FALSE(control->Opaque());
  EXPECT_FALSE(control->IsFocused());
  EXPECT_EQ(control->Projection(), TProjection::Camera);

  control->RotationAngle()->SetY(370);
  const TQuaternion3D ten = TQuaternion3D::Create({0, 1, 0}, 10 * kDeg);
  EXPECT_NEAR(control->Quaternion().ImagPart.Y, ten.ImagPart.Y, 1e-6);
  EXPECT_NEAR(control->Quaternion().RealPart, ten.RealPart, 1e-6);
  EXPECT_EQ(control->SavedRotationAngle().Y, 370);
  EXPECT_FLOAT_EQ(control->RotationAngle()->Y(), 10);
  ExpectNear(control->LocalMatrix(), ten.ToMatrix());
  // A further 20 degrees turns by the difference only.
  control->RotationAngle()->SetY(30);
  ExpectNear(control->LocalMatrix(), TQuaternion3D::Create({0, 1, 0}, 30 * kDeg).ToMatrix());
}

TEST(Control3D, TransformTable) {
  {
    SCOPED_TRACE("a rotation centre moves the origin");
    auto control = MakeOwned<TControl3D>(nullptr);
    control->RotationCenter()->SetPoint({1, 0, 0});
    control->RotationAngle()->SetZ(180);
    ExpectNear(TPoint3D{} * control->LocalMatrix(), {2, 0, 0});
  }
  {
    SCOPED_TRACE("a scale within 0.0001 of 1 counts as 1");
    auto control = MakeOwned<TControl3D>(nullptr);
    control->Scale()->SetPoint({1.00005f, 1, 1});
    EXPECT_EQ(control->LocalMatrix(), TMatrix3D::Identity());
    control->Scale()->SetPoint({2, 1, 1});
    EXPECT_EQ(control->LocalMatrix(), TMatrix3D::CreateScaling({2, 1, 1}));
  }
  {
    SCOPED_TRACE("the child's local matrix comes first");
    auto parent = MakeOwned<TDummy>(nullptr);
    parent->Position()->SetPoint({0, 0, 5});
    parent->RotationAngle()->SetY(90);
    auto* child = New<TDummy>(parent.get());
    child->SetParent(parent.get());
    child->Position()->SetPoint({1, 0, 0});
    ExpectNear(child->AbsolutePosition(), TPoint3D{1, 0, 0} * parent->AbsoluteMatrix());
    ExpectNear(child->AbsolutePosition(), {0, 0, 4});
    ExpectNear(child->AbsoluteMatrix(), child->LocalMatrix() * parent->AbsoluteMatrix());
    child->SetAbsolutePosition({0, 0, 7});
    ExpectNear(child->AbsolutePosition(), {0, 0, 7});
    ExpectNear(child->AbsoluteToLocal3D({0, 0, 7}), {0, 0, 0});
  }
  {
    SCOPED_TRACE("an unrotated control faces +Z with up -Y");
    auto control = MakeOwned<TControl3D>(nullptr);
    ExpectNear(control->AbsoluteDirection(), {0, 0, 1});
    ExpectNear(control->AbsoluteUp(), {0, -1, 0});
    ExpectNear(control->AbsoluteLeft(), {-1, 0, 0});
  }
  {
    SCOPED_TRACE("ResetRotationAngle");
    auto control = MakeOwned<TControl3D>(nullptr);
    control->Position()->SetX(3);
    control->RotationAngle()->SetPoint({10, 20, 30});
    control->ResetRotationAngle();
    EXPECT_EQ(control->RotationAngle()->Point(), (TPoint3D{}));
    EXPECT_EQ(control->SavedRotationAngle(), (TPoint3D{}));
    EXPECT_EQ(control->LocalMatrix(), TMatrix3D::CreateTranslation({3, 0, 0}));
  }
}

TEST(Control3D, ByName) {
  auto control = MakeOwned<TControl3D>(nullptr);
  const TQuaternion3D q = TQuaternion3D::Create({0, 0, 1}, 90 * kDeg);
  SetPropValue(control.get(), "Quaternion", TValue::From(q));
  EXPECT_EQ(GetPropValue(control.get(), "Quaternion").AsType<TQuaternion3D>(), q);
  ExpectNear(control->LocalMatrix(), q.ToMatrix());
  EXPECT_EQ(control->SavedRotationAngle(), (TPoint3D{}));
  EXPECT_NEAR(std::fabs(control->RotationAngle()->Z()), 90, 1e-3);

  const TMatrix3D before = control->LocalMatrix();
  EXPECT_THROW(SetPropValue(control.get(), "Quaternion", TValue::From(TVector3D{0, 0, 0, 1})), EInvalidCast);
  EXPECT_EQ(control->LocalMatrix(), before);
  EXPECT_EQ(control->Quaternion(), q);

  control->Position()->SetPoint({1, 2, 3});
  control->RotationAngle()->SetPointNoChange({4, 5, 6});
  EXPECT_EQ(GetPropValue(control.get(), "Position.Point").AsType<TPoint3D>(), (TPoint3D{1, 2, 3}));
  EXPECT_EQ(GetPropValue(control.get(), "RotationAngle.Vector").AsType<TVector3D>(), (TVector3D{4, 5, 6, 1}));
  SetPropValue(control.get(), "Position.X", TValue::From(5.0f));
  EXPECT_EQ(control->LocalMatrix().m41, 5);
}

TEST(Camera, LooksAlongItsDirection) {
  auto root = MakeOwned<TDummy>(nullptr);
  root->Position()->SetPoint({1, 2, 3});
  auto* camera = New<TCamera>(root.get());
  camera->SetParent(root.get());
  EXPECT_EQ(camera->AngleOfView(), 45);
  EXPECT_EQ(camera->Position()->Point(), (TPoint3D{}));
  camera->RotationAngle()->SetPoint({20, 30, 0});
  const TMatrix3D view = camera->CameraMatrix();
  ExpectNear(view.EyePosition(), camera->AbsolutePosition());
  const TPoint3D ahead = camera->AbsolutePosition() + camera->AbsoluteDirection() * 5;
  ExpectNear(ahead * view, {0, 0, -5}, 1e-4);

  auto* target = New<TDummy>(root.get());
  target->SetParent(root.get());
  target->Position()->SetPoint({4, -1, 7});
  camera->SetTarget(target);
  const TPoint3D onAxis = target->AbsolutePosition() * camera->CameraMatrix();
  EXPECT_NEAR(onAxis.X, 0, 1e-4);
  EXPECT_NEAR(onAxis.Y, 0, 1e-4);
  EXPECT_LT(onAxis.Z, 0);
  target->Free();
  EXPECT_EQ(camera->Target(), nullptr);
}

TEST(Light, JoinsAndLeavesTheViewport) {
  auto viewport = MakeOwned<vtest::TTestViewport3D>();
  auto root = MakeOwned<TDummy>(nullptr);
  root->SetNewViewport(viewport.get());
  root->Position()->SetPoint({0, 0, 5});
  auto* light = New<TLight>(root.get());
  EXPECT_EQ(light->LightType(), TLightType::Directional);
  EXPECT_EQ(light->Color(), 0xFFFFFFFFu);
  EXPECT_EQ(light->SpotCutOff(), 180);
  EXPECT_EQ(light->SpotExponent(), 0);
  EXPECT_TRUE(light->Enabled());

  light->SetParent(root.get());
  light->SetParent(root.get());
  EXPECT_EQ(viewport->AddLightCalls, 1);
  EXPECT_EQ(viewport->Lights, (std::vector<TLight*>{light}));
  light->Position()->SetPoint({1, 0, 0});
  light->RotationAngle()->SetY(90);
  const TLightDescription description = light->LightDescription();
  ExpectNear(description.Position, {1, 0, 5});
  ExpectNear(description.Direction, light->AbsoluteDirection());
  ExpectNear(description.Direction, {1, 0, 0});

  light->SetParent(nullptr);
  EXPECT_EQ(viewport->RemoveLightCalls, 1);
  EXPECT_TRUE(viewport->Lights.empty());
  light->SetParent(root.get());
  light->Free();
  EXPECT_EQ(viewport->AddLightCalls, 2);
  EXPECT_TRUE(viewport->Lights.empty());
}

TEST(ProxyObject, ForgetsAFreedSource) {
  auto source = MakeOwned<TDummy>(nullptr);
  auto proxy = MakeOwned<TProxyObject>(nullptr);
  auto* other = New<TDummy>(nullptr);
  proxy->SetSourceObject(other);
  other->Free();
  EXPECT_EQ(proxy->SourceObject(), nullptr);
  proxy->SetSourceObject(source.get());
  EXPECT_EQ(proxy->SourceObject(), source.get());
}

} // namespace

namespace {

TEST(Controls3DEvents, AFormBindsOnClickToTheRootsMethodAndWritesItsNameBack) {
  auto form = MakeOwned<TClickForm>(nullptr);
  ReadComponentFromText("object F: TClickForm\n  OnClick = FormClick\nend\n", form.get());
  ASSERT_TRUE(form->OnClick.Assigned());
  form->OnClick(form.get());
  EXPECT_EQ(form->FClicks, 1);
  EXPECT_EQ(form->FSender, form.get());
  EXPECT_NE(WriteComponentToText(form.get()).find("  OnClick = FormClick\n"), std::string::npos);

  // A handler that is no named method of the root is code's business and stays out of the form.
  auto log = MakeOwned<TChangeLog>();
  form->OnClick = TNotifyEvent(log.get(), &TChangeLog::Changed);
  EXPECT_EQ(WriteComponentToText(form.get()).find("OnClick"), std::string::npos);
}

// Every event a 3D control publishes, in the order forms list them; each binds by its own type.
TEST(Controls3DEvents, PublishesEveryPointerKeyRenderAndDragEvent) {
  std::vector<std::string> names;
  for (const TEventInfo* event : GetEventList(TControl3D::StaticClass()))
    names.push_back(event->Name);
  EXPECT_EQ(names, (std::vector<std::string>{"OnDragEnter", "OnDragLeave", "OnDragOver", "OnDragDrop",
                                             "OnDragEnd", "OnClick", "OnDblClick", "OnMouseDown",
                                             "OnMouseMove", "OnMouseUp", "OnMouseWheel", "OnMouseEnter",
                                             "OnMouseLeave", "OnKeyDown", "OnKeyUp", "OnRender"}));

  auto form = MakeOwned<TClickForm>(nullptr);
  ReadComponentFromText("object F: TClickForm\n  OnDblClick = FormClick\n  OnMouseDown = FormMouseDown\n"
                        "  OnRender = FormRender\nend\n",
                        form.get());
  form->OnDblClick(form.get());
  form->OnMouseDown(form.get(), TMouseButton::mbLeft, {}, 1, 2, TVector3D{}, TVector3D{});
  form->OnRender(form.get(), nullptr);
  EXPECT_EQ(form->FClicks, 1);
  EXPECT_EQ(form->FDowns, 1);
  EXPECT_EQ(form->FRenders, 1);
  const std::string text = WriteComponentToText(form.get());
  for (const char* line : {"  OnDblClick = FormClick\n", "  OnMouseDown = FormMouseDown\n", "  OnRender = FormRender\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  // A handler of another type is refused by name.
  auto other = MakeOwned<TClickForm>(nullptr);
  EXPECT_THROW(ReadComponentFromText("object F: TClickForm\n  OnMouseUp = FormRender\nend\n", other.get()),
               EReadError);
}

TEST(Controls3DEvents, AnEventNamingNoFittingMethodRaisesAReadError) {
  const struct {
    const char* Method;
    const char* Part;
  } cases[] = {{"NoSuchClick", "does not exist"}, {"Resize", "does not match"}};
  for (const auto& test : cases) {
    SCOPED_TRACE(test.Method);
    auto form = MakeOwned<TClickForm>(nullptr);
    try {
      ReadComponentFromText(std::string("object F: TClickForm\n  OnClick = ") + test.Method + "\nend\n",
                            form.get());
      ADD_FAILURE() << "no error";
    } catch (const EReadError& E) {
      EXPECT_NE(E.Message().find(test.Part), std::string::npos) << E.Message();
      EXPECT_NE(E.Message().find("F.OnClick"), std::string::npos) << E.Message();
    }
    EXPECT_FALSE(form->OnClick.Assigned());
  }
}

} // namespace
