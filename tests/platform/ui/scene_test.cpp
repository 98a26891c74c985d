#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/exceptions.h"
#include "rtl/messaging.h"
#include "support/scene_host.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/messages.h"
#include "ui/scene.h"

namespace {

using ui::Application;
using ui::TControl;

// A control that fills itself with one colour and counts its paints and resizes.
class TSwatch : public TControl {
  RTL_CLASS(TSwatch, TControl)
public:
  using TControl::TControl;
  rtl::TAlphaColor Color = 0xFFFF0000;
  int Paints = 0;
  int Resizes = 0;
  bool HitTestAnswer = true;
  bool FailPaint = false;

protected:
  void Paint() override {
    ++Paints;
    if (FailPaint)
      throw rtl::EInvalidOperation("paint failed");
    Canvas()->Fill().Color = Color;
    Canvas()->FillRect(LocalRect(), AbsoluteOpacity());
  }
  void Resize() override {
    ++Resizes;
    inherited::Resize();
  }
  bool CheckHitTest(bool AHitTest) override { return AHitTest && HitTestAnswer; }
};
RTL_DEFINE_CLASS(TSwatch, "Test.Scene")

rtl::TAlphaColor Pixel(ui::TBitmap& ABitmap, int AX, int AY) {
  ui::TBitmapData data;
  EXPECT_TRUE(ABitmap.Map(ui::TMapAccess::Read, data));
  const rtl::TAlphaColor result = data.GetPixel(AX, AY);
  ABitmap.Unmap(data);
  return result;
}

TSwatch* AddSwatch(rtl::TComponent* AOwner, ui::TFmxObject* AParent) {
  auto* swatch = rtl::New<TSwatch>(AOwner);
  swatch->SetParent(AParent);
  return swatch;
}

TEST(Scene, ClientAlignedControlsFollowTheSizeWithOneResizePerChange) {
  auto scene = vtest::MakeScene(64, 48);
  TSwatch* client = AddSwatch(scene.get(), scene.get());
  client->Margins()->SetRect({2, 3, 4, 5});
  client->SetAlign(ui::TAlignLayout::Client);
  EXPECT_EQ(client->Position()->Point(), (rtl::TPointF{2, 3}));
  EXPECT_EQ(client->Size(), (rtl::TSizeF{58, 40}));
  EXPECT_EQ(client->Resizes, 1);
  scene->SetSize(64, 48);
  EXPECT_EQ(client->Resizes, 1);
  scene->SetSize(100, 48);
  EXPECT_EQ(client->Size(), (rtl::TSizeF{94, 40}));
  EXPECT_EQ(client->Resizes, 2);

  // Nested: the parent's padding and the child's margins both count.
  TSwatch* inner = AddSwatch(scene.get(), client);
  client->Padding()->SetRect({1, 1, 1, 1});
  inner->SetAlign(ui::TAlignLayout::Client);
  EXPECT_EQ(inner->Size(), (rtl::TSizeF{92, 38}));
  scene->SetSize(50, 30);
  EXPECT_EQ(inner->Size(), (rtl::TSizeF{42, 20}));
  inner->SetAlign(ui::TAlignLayout::None);
  scene->SetSize(60, 30);
  EXPECT_EQ(inner->Size(), (rtl::TSizeF{42, 20}));
}

TEST(Scene, RepaintPaintsAtTheNextPassOfTheLoopWithScaleAndOffset) {
  auto scene = vtest::MakeScene(16, 8, 2);
  ASSERT_EQ(scene->Bitmap()->Width(), 32);
  ASSERT_EQ(scene->Bitmap()->Height(), 16);
  TSwatch* outer = AddSwatch(scene.get(), scene.get());
  outer->Position()->SetPoint({4, 0});
  outer->SetSize(8, 8);
  outer->Color = 0xFF00FF00;
  TSwatch* inner = AddSwatch(scene.get(), outer);
  inner->Position()->SetPoint({2, 2});
  inner->SetSize(2, 2);
  Application().ProcessMessages();
  EXPECT_EQ(outer->Paints, 1);
  EXPECT_EQ(inner->Paints, 1);
  ui::TBitmap& image = *scene->Bitmap();
  EXPECT_EQ(Pixel(image, 7, 4), 0xFF000000u); // the scene's fill
  EXPECT_EQ(Pixel(image, 8, 4), 0xFF00FF00u); // outer at 4 x 2
  EXPECT_EQ(Pixel(image, 12, 3), 0xFF00FF00u);
  EXPECT_EQ(Pixel(image, 12, 4), 0xFFFF0000u); // inner starts at ((4 + 2) x 2, 2 x 2)
  EXPECT_EQ(Pixel(image, 15, 7), 0xFFFF0000u);
  EXPECT_EQ(Pixel(image, 16, 8), 0xFF00FF00u);

  inner->Color = 0xFF0000FF;
  inner->Repaint();
  EXPECT_EQ(Pixel(image, 12, 5), 0xFFFF0000u);
  Application().ProcessMessages();
  EXPECT_EQ(Pixel(image, 12, 5), 0xFF0000FFu);
  Application().ProcessMessages();
  EXPECT_EQ(inner->Paints, 2);

  // Hidden controls do not paint; their area shows the fill.
  outer->SetVisible(false);
  Application().ProcessMessages();
  EXPECT_EQ(Pixel(image, 12, 5), 0xFF000000u);
  EXPECT_FALSE(outer->ParentedVisible());
  EXPECT_FALSE(inner->ParentedVisible());
  EXPECT_TRUE(inner->Visible());
}

TEST(Scene, APaintThatRaisesReachesHandleExceptionAndLaterPaintsGoOn) {
  auto scene = vtest::MakeScene(4, 4);
  TSwatch* control = AddSwatch(scene.get(), scene.get());
  control->SetSize(4, 4);
  control->FailPaint = true;
  std::vector<std::string> reports;
  Application().SetOnException(
      [&](rtl::TObject*, const std::string& AClassName, const std::string& AMessage) {
        reports.push_back(AClassName + ": " + AMessage);
      });
  Application().ProcessMessages();
  Application().SetOnException(nullptr);
  EXPECT_EQ(reports, std::vector<std::string>{"EInvalidOperation: paint failed"});
  EXPECT_EQ(scene->GetCanvas()->BeginSceneCount(), 0);
  control->FailPaint = false;
  control->Repaint();
  Application().ProcessMessages();
  EXPECT_EQ(Pixel(*scene->Bitmap(), 1, 1), 0xFFFF0000u);
}

TEST(Scene, ScaleSendsTheMessageAndControlsMapPointsAndHitTests) {
  auto scene = vtest::MakeScene(10, 10);
  std::vector<float> scales;
  auto& manager = rtl::TMessageManager::DefaultManager();
  const int id = manager.SubscribeToMessage<ui::TScaleChangedMessage>(
      [&](rtl::TObject* ASender, rtl::TMessageBase* AMessage) {
        EXPECT_EQ(ASender, scene.get());
        scales.push_back(static_cast<ui::TScaleChangedMessage*>(AMessage)->Value());
      });
  scene->SetSceneScale(1.5f);
  scene->SetSceneScale(1.5f);
  manager.Unsubscribe<ui::TScaleChangedMessage>(id);
  EXPECT_EQ(scales, std::vector<float>{1.5f});
  EXPECT_EQ(scene->Bitmap()->Width(), 15);
  EXPECT_EQ(scene->Bitmap()->BitmapScale(), 1.5f);
  EXPECT_EQ(scene->WindowHandle(), 0u);
  EXPECT_THROW(scene->SetSceneScale(0), rtl::EArgumentOutOfRangeException);

  TSwatch* control = AddSwatch(scene.get(), scene.get());
  control->Position()->SetPoint({3, 4});
  control->SetSize(5, 5);
  EXPECT_EQ(control->Scene(), static_cast<ui::IScene*>(scene.get()));
  EXPECT_EQ(control->Canvas(), scene->GetCanvas());
  EXPECT_EQ(control->LocalToScreen({1, 1}), (rtl::TPointF{4, 5}));
  EXPECT_EQ(control->ScreenToLocal({4, 5}), (rtl::TPointF{1, 1}));
  EXPECT_EQ(control->ObjectAtPoint({4, 5}), static_cast<ui::IControl*>(control));
  control->HitTestAnswer = false;
  EXPECT_EQ(control->ObjectAtPoint({4, 5}), nullptr);

  auto orphan = rtl::MakeOwned<TSwatch>(nullptr);
  EXPECT_EQ(orphan->Scene(), nullptr);
  EXPECT_EQ(orphan->Canvas(), nullptr);
  orphan->Repaint(); // nothing to add to

  // PaintTo draws into any canvas at the given place.
  rtl::TOwned<ui::TBitmap> target(rtl::New<ui::TBitmap>(8, 8));
  orphan->SetSize(2, 2);
  orphan->PaintTo(target->Canvas(), {5, 5, 7, 7});
  EXPECT_EQ(Pixel(*target, 5, 5), 0xFFFF0000u);
  EXPECT_EQ(Pixel(*target, 4, 5), 0u);
  EXPECT_EQ(target->Canvas()->BeginSceneCount(), 0);
}

TEST(Scene, MouseEventsReachTheirHandlers) {
  auto control = rtl::MakeOwned<TSwatch>(nullptr);
  struct TListener : rtl::TObject {
    std::vector<std::string> Calls;
    void Down(rtl::TObject*, ui::TMouseButton AButton, ui::TShiftState AShift, float AX, float AY) {
      Calls.push_back("down " + std::to_string(int(AButton)) +
                      (AShift.Contains(ui::TShiftStateItem::ssShift) ? " shift " : " ") +
                      std::to_string(int(AX)) + "," + std::to_string(int(AY)));
    }
    void Wheel(rtl::TObject*, ui::TShiftState, int ADelta, bool& AHandled) {
      Calls.push_back("wheel " + std::to_string(ADelta));
      AHandled = true;
    }
  } listener;
  control->OnMouseDown = ui::TMouseEvent(&listener, &TListener::Down);
  control->OnMouseWheel = ui::TMouseWheelEvent(&listener, &TListener::Wheel);
  control->MouseDown(ui::TMouseButton::mbRight, {ui::TShiftStateItem::ssShift}, 3, 4);
  bool handled = false;
  control->MouseWheel({}, 120, handled);
  control->MouseUp(ui::TMouseButton::mbLeft, {}, 0, 0); // no handler: nothing happens
  EXPECT_TRUE(handled);
  EXPECT_EQ(listener.Calls, (std::vector<std::string>{"down 1 shift 3,4", "wheel 120"}));
  EXPECT_TRUE(control->OnMouseDown == ui::TMouseEvent(&listener, &TListener::Down));
}

} // namespace
