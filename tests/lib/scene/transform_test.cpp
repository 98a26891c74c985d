#include <gtest/gtest.h>

#include "rtl/date_time.h"
#include "rtl/properties.h"
#include "rtl/sysutils.h"
#include "scene/Vantrel.Group.h"
#include "scene/Vantrel.Transform.h"

namespace {

using namespace vantrel;

class SceneTransform : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeControl();
    InitializeTransform();
    InitializeGroup();
  }
  void TearDown() override {
    FinalizeGroup();
    FinalizeTransform();
    FinalizeControl();
  }
};

TEST_F(SceneTransform, RotationAnglesAndMatrixByName) {
  auto control = MakeOwned<TVantrelTransform>(nullptr);
  EXPECT_FALSE(control->HitTest());
  control->Position()->SetPoint({1, 0, 0});
  control->Scale()->SetPoint({2, 2, 2});
  control->RotationAngle()->SetPoint({10, 20, 30});
  SetPropValue(control.get(), "Rotation", TValue::From(TVector3D{0, 0, 0, 1}));
  EXPECT_EQ(control->RotationAngle()->Point(), (TPoint3D{}));
  EXPECT_EQ(control->LocalMatrix(),
            TMatrix3D::CreateScaling({2, 2, 2}) * TMatrix3D::CreateTranslation({1, 0, 0}));
  EXPECT_EQ(GetPropValue(control.get(), "Rotation").AsType<TVector3D>(), (TVector3D{0, 0, 0, 1}));
  SetPropValue(control.get(), "Angles", TValue::From(TPoint3D{0, 90, 0}));
  EXPECT_EQ(control->RotationAngle()->Y(), 90);
  const TMatrix3D m = TMatrix3D::CreateScaling({2, 3, 4}) * TMatrix3D::CreateTranslation({4, 5, 6});
  SetPropValue(control.get(), "TransformMatrix", TValue::From(m));
  EXPECT_EQ(GetPropValue(control.get(), "TransformMatrix").AsType<TMatrix3D>(), m);
  EXPECT_EQ(control->Position()->Point(), (TPoint3D{4, 5, 6}));
  EXPECT_EQ(control->Scale()->Point(), (TPoint3D{2, 3, 4}));
  EXPECT_EQ(control->RotationAngle()->Point(), (TPoint3D{}));
  EXPECT_EQ(control->SavedRotationAngle(), (TPoint3D{}));
  EXPECT_FALSE(IsPublishedProp(control.get(), "Nothing"));
  EXPECT_FALSE(GetPropInfo(TVantrelTransform::StaticClass(), "Rotation")->IsStored(control.get()));
}

TEST_F(SceneTransform, GroupTimestampsReadBackUnderAnySettings) {
  auto group = MakeOwned<TVantrelGroup>(nullptr);
  const TDateTime stamp = EncodeDateTime({2023, 5, 4, 10, 20, 30, 0});
  group->SetTimestampValue(stamp);
  EXPECT_EQ(GetPropValue(group.get(), "Timestamp").AsString(), "2023-05-04 10:20:30");
  SetPropValue(group.get(), "Timestamp", TValue::From(std::string("not a date")));
  EXPECT_EQ(GetPropValue(group.get(), "Timestamp").AsString(), "1899-12-30 00:00:00");

  const TFormatSettings saved = FormatSettings;
  FormatSettings.ShortDateFormat = "dd.MM.yyyy";
  FormatSettings.DateSeparator = '.';
  group->SetTimestamp("2023-05-04 10:20:30");
  EXPECT_EQ(group->GetTimestampValue(), stamp);
  group->SetTimestamp("");
  group->SetTimestamp("04.05.2023 10:20:30");
  EXPECT_EQ(group->GetTimestamp(), "2023-05-04 10:20:30");
  FormatSettings = saved;
}

} // namespace
