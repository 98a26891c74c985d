#include <gtest/gtest.h>

#include "rtl/classes.h"
#include "rtl/math3d.h"
#include "rtl/properties.h"
#include "rtl/types2d.h"

namespace records {

class TFrame : public rtl::TPersistent {
  RTL_CLASS(TFrame, rtl::TPersistent)
public:
  rtl::TPoint3D GetOrigin() const { return FOrigin; }
  void SetOrigin(const rtl::TPoint3D& AValue) {
    FOrigin = AValue;
    ++FWrites;
  }
  rtl::TQuaternion3D GetTurn() const { return FTurn; }
  void SetTurn(const rtl::TQuaternion3D& AValue) { FTurn = AValue; }
  rtl::TPoint GetCell() const { return FCell; }
  void SetCell(const rtl::TPoint& AValue) { FCell = AValue; }
  int Writes() const { return FWrites; }
  static void RegisterProperties(rtl::TPropertyList& AList) {
    AList.Add("Origin", &TFrame::GetOrigin, &TFrame::SetOrigin).Stored(false);
    AList.Add("Turn", &TFrame::GetTurn, &TFrame::SetTurn);
    AList.Add("Cell", &TFrame::GetCell, &TFrame::SetCell);
  }

private:
  rtl::TPoint3D FOrigin;
  rtl::TQuaternion3D FTurn = rtl::TQuaternion3D::Identity();
  rtl::TPoint FCell;
  int FWrites = 0;
};
RTL_DEFINE_CLASS(TFrame, "Test.Records", &TFrame::RegisterProperties)

class THolder : public rtl::TPersistent {
  RTL_CLASS(THolder, rtl::TPersistent)
public:
  THolder() : FFrame(rtl::New<TFrame>()) {}
  TFrame* GetFrame() const { return FFrame.get(); }
  static void RegisterProperties(rtl::TPropertyList& AList) { AList.Add("Frame", &THolder::GetFrame); }

private:
  rtl::TOwned<TFrame> FFrame;
};
RTL_DEFINE_CLASS(THolder, "Test.Records", &THolder::RegisterProperties)

} // namespace records

namespace {

using namespace rtl;
using records::TFrame;
using records::THolder;

TEST(RecordProperties, ReadAndWrittenByNameAndPath) {
  auto holder = MakeOwned<THolder>();
  SetPropValue(holder.get(), "Frame.Origin", TValue::From(TPoint3D{1, 2, 3}));
  EXPECT_EQ(holder->GetFrame()->GetOrigin(), (TPoint3D{1, 2, 3}));
  EXPECT_EQ(GetPropValue(holder.get(), "Frame.Origin").AsType<TPoint3D>(), (TPoint3D{1, 2, 3}));

  const TQuaternion3D turn({0, 0.6f, 0}, 0.8f);
  SetPropValue(holder->GetFrame(), "Turn", TValue::From(turn));
  EXPECT_EQ(GetPropValue(holder.get(), "Frame.Turn").AsType<TQuaternion3D>(), turn);
  SetPropValue(holder->GetFrame(), "Cell", TValue::From(TPoint{4, -5}));
  EXPECT_EQ(holder->GetFrame()->GetCell(), (TPoint{4, -5}));
  EXPECT_EQ(GetPropValue(holder->GetFrame(), "Cell").TypeName(), "TPoint");
}

TEST(RecordProperties, AMismatchedRecordRaisesBeforeTheSetterRuns) {
  auto frame = MakeOwned<TFrame>();
  SetPropValue(frame.get(), "Origin", TValue::From(TPoint3D{1, 1, 1}));
  const int writes = frame->Writes();
  EXPECT_THROW(SetPropValue(frame.get(), "Origin", TValue::From(TVector3D{9, 9, 9, 1})), EInvalidCast);
  EXPECT_THROW(SetPropValue(frame.get(), "Turn", TValue::From(TVector3D{0, 0, 0, 1})), EInvalidCast);
  EXPECT_EQ(frame->Writes(), writes);
  EXPECT_EQ(frame->GetOrigin(), (TPoint3D{1, 1, 1}));
  EXPECT_EQ(frame->GetTurn(), TQuaternion3D::Identity());
}

TEST(RecordProperties, StoredFalseIsNeverWritten) {
  auto frame = MakeOwned<TFrame>();
  frame->SetOrigin({1, 2, 3});
  frame->SetCell({1, 1});
  EXPECT_FALSE(GetPropInfo(TFrame::StaticClass(), "Origin")->IsStored(frame.get()));
  EXPECT_TRUE(GetPropInfo(TFrame::StaticClass(), "Cell")->IsStored(frame.get()));
}

TEST(RecordProperties, ValueRecordTypesAreRegistered) {
  EXPECT_EQ(TValue::From(TPoint{1, 2}).TypeName(), "TPoint");
  EXPECT_EQ(TValue::From(TMatrix{}).TypeName(), "TMatrix");
  EXPECT_EQ(TValue::From(TQuaternion3D::Identity()).TypeName(), "TQuaternion3D");
  EXPECT_EQ(TValue::From(TBoundingBox{}).TypeName(), "TBoundingBox");
}

} // namespace
