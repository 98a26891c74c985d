#include <gtest/gtest.h>

#include <string>

#include "rtl/fields.h"
#include "rtl/method.h"
#include "rtl/object.h"

namespace events {

class TListener : public rtl::TObject {
  RTL_CLASS(TListener, rtl::TObject)
public:
  TListener() = default;
  void Hit(rtl::TObject*, int AValue) { FLog += "hit" + std::to_string(AValue) + ";"; }
  void Other(rtl::TObject*, int) { FLog += "other;"; }
  std::string FLog;
};
RTL_DEFINE_CLASS(TListener, "Test.Events")

class TStranger : public rtl::TObject {
  RTL_CLASS(TStranger, rtl::TObject)
public:
  TStranger() = default;
};
RTL_DEFINE_CLASS(TStranger, "Test.Events")

using TIntEvent = rtl::TMethodEvent<rtl::TObject*, int>;

class TSender : public rtl::TObject {
  RTL_CLASS(TSender, rtl::TObject)
public:
  TSender() = default;
  int FCount = 0;
  std::string FText;
  TIntEvent FOnHit;
  rtl::TObject* FLink = nullptr;
  static void RegisterFields() {
    rtl::RegisterFields(StaticClass(), {rtl::ValueField<&TSender::FCount>("FCount"),
                                        rtl::ValueField<&TSender::FText>("FText"),
                                        rtl::EventField<&TSender::FOnHit>("FOnHit"),
                                        rtl::ObjectField<&TSender::FLink>("FLink", nullptr, true)});
  }
};
RTL_DEFINE_CLASS(TSender, "Test.Events")

class TLoudSender : public TSender {
  RTL_CLASS(TLoudSender, TSender)
public:
  TLoudSender() = default;
  double FVolume = 0;
  static void RegisterFields() {
    rtl::RegisterFields(StaticClass(), {rtl::ValueField<&TLoudSender::FVolume>("FVolume")});
  }
};
RTL_DEFINE_CLASS(TLoudSender, "Test.Events")

} // namespace events

namespace {

using namespace rtl;
using namespace events;

TEST(Events, CompareByObjectAndMember) {
  auto a = MakeOwned<TListener>(), b = MakeOwned<TListener>();
  const TIntEvent hitA(a.get(), &TListener::Hit);
  EXPECT_TRUE(hitA.Assigned());
  EXPECT_FALSE(TIntEvent().Assigned());
  EXPECT_EQ(hitA, TIntEvent(a.get(), &TListener::Hit));
  EXPECT_NE(hitA, TIntEvent(b.get(), &TListener::Hit));
  EXPECT_NE(hitA, TIntEvent(a.get(), &TListener::Other));
  EXPECT_EQ(TIntEvent(), TIntEvent(nullptr));
  hitA(nullptr, 3);
  TIntEvent()(nullptr, 4);
  EXPECT_EQ(a->FLog, "hit3;");
}

TEST(Events, RebindMovesTheMemberToAnotherObjectOfItsClass) {
  auto a = MakeOwned<TListener>(), b = MakeOwned<TListener>();
  auto stranger = MakeOwned<TStranger>();
  TIntEvent event(a.get(), &TListener::Hit);
  event.Rebind(b.get());
  EXPECT_EQ(event, TIntEvent(b.get(), &TListener::Hit));
  event(nullptr, 7);
  EXPECT_EQ(b->FLog, "hit7;");
  EXPECT_TRUE(a->FLog.empty());
  EXPECT_THROW(event.Rebind(stranger.get()), EInvalidCast);
  EXPECT_EQ(event.Object(), b.get());
  event.Rebind(nullptr);
  EXPECT_FALSE(event.Assigned());
}

TEST(FieldTables, AncestorsFirstWithKindsAndCopies) {
  TSender::RegisterFields();
  TLoudSender::RegisterFields();
  const auto fields = GetCopyFields(TLoudSender::StaticClass());
  ASSERT_EQ(fields.size(), 5u);
  const char* names[] = {"FCount", "FText", "FOnHit", "FLink", "FVolume"};
  const TFieldKind kinds[] = {TFieldKind::Value, TFieldKind::Value, TFieldKind::Event, TFieldKind::Object,
                              TFieldKind::Value};
  for (size_t i = 0; i < fields.size(); ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(fields[i]->Name, names[i]);
    EXPECT_EQ(fields[i]->Kind, kinds[i]);
  }
  EXPECT_TRUE(fields[3]->IsGeneric());
  EXPECT_TRUE(fields[3]->DeclaredAsReference);
  EXPECT_FALSE(fields[3]->HasAssign());

  auto source = MakeOwned<TLoudSender>(), dest = MakeOwned<TLoudSender>();
  auto listener = MakeOwned<TListener>();
  source->FCount = 4;
  source->FText = "four";
  source->FVolume = 0.5;
  source->FOnHit = TIntEvent(listener.get(), &TListener::Hit);
  for (const TCopyField* field : fields)
    if (field->CopyValue)
      field->CopyValue(dest.get(), source.get());
  *fields[2]->Method(dest.get()) = *fields[2]->Method(source.get());
  fields[3]->SetObject(dest.get(), listener.get());
  EXPECT_EQ(dest->FCount, 4);
  EXPECT_EQ(dest->FText, "four");
  EXPECT_EQ(dest->FVolume, 0.5);
  EXPECT_EQ(dest->FOnHit, source->FOnHit);
  EXPECT_EQ(fields[3]->GetObject(dest.get()), listener.get());
  UnRegisterFields(TLoudSender::StaticClass());
  EXPECT_EQ(GetCopyFields(TLoudSender::StaticClass()).size(), 4u);
  UnRegisterFields(TSender::StaticClass());
}

} // namespace
