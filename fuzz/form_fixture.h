#pragma once
// Component classes for the form fuzzers: a root and a widget with a published property of every
// kind the streamer reads, children through SetParentComponent, a collection and a string list.

#include <cstdlib>
#include <string>
#include <vector>

#include "rtl/classes.h"
#include "rtl/colors.h"
#include "rtl/filer.h"
#include "rtl/properties.h"
#include "rtl/set.h"
#include "rtl/stringlist.h"

namespace formfuzz {

enum class TKind : uint8_t { None, Client, Top };
RTL_ENUM_TYPEINFO(TKind, "None", "Client", "Top")
using TKinds = rtl::TSet<TKind>;

class TPoint : public rtl::TPersistent {
  RTL_CLASS(TPoint, rtl::TPersistent)
public:
  float GetX() const { return FX; }
  void SetX(float AValue) { FX = AValue; }
  static void RegisterProperties(rtl::TPropertyList& AList) { AList.Add("X", &TPoint::GetX, &TPoint::SetX); }

private:
  float FX = 0;
};

class TItem : public rtl::TCollectionItem {
  RTL_CLASS(TItem, rtl::TCollectionItem)
public:
  std::string GetCaption() const { return FCaption; }
  void SetCaption(std::string AValue) { FCaption = std::move(AValue); }
  static void RegisterProperties(rtl::TPropertyList& AList) {
    AList.Add("Caption", &TItem::GetCaption, &TItem::SetCaption);
  }

private:
  std::string FCaption;
};

class TWidget : public rtl::TComponent {
  RTL_CLASS(TWidget, rtl::TComponent)
public:
  explicit TWidget(rtl::TComponent* AOwner)
      : TComponent(AOwner), FPoint(rtl::New<TPoint>()),
        FItems(rtl::New<rtl::TOwnedCollection>(this, TItem::StaticClass())),
        FLines(rtl::New<rtl::TStringList>()) {}

  void BeforeDestruction() override {
    if (FParent)
      std::erase(FParent->FChildren, this);
    for (TWidget* child : FChildren)
      child->FParent = nullptr;
    FChildren.clear();
    TComponent::BeforeDestruction();
  }

  int8_t GetTiny() const { return FTiny; }
  void SetTiny(int8_t AValue) { FTiny = AValue; }
  int64_t GetBig() const { return FBig; }
  void SetBig(int64_t AValue) { FBig = AValue; }
  double GetRatio() const { return FRatio; }
  void SetRatio(double AValue) { FRatio = AValue; }
  std::string GetText() const { return FText; }
  void SetText(std::string AValue) { FText = std::move(AValue); }
  TKind GetKind() const { return FKind; }
  void SetKind(TKind AValue) { FKind = AValue; }
  TKinds GetKinds() const { return FKinds; }
  void SetKinds(TKinds AValue) { FKinds = AValue; }
  uint32_t GetColor() const { return FColor; }
  void SetColor(uint32_t AValue) { FColor = AValue; }
  bool GetEnabled() const { return FEnabled; }
  void SetEnabled(bool AValue) { FEnabled = AValue; }
  TWidget* GetBuddy() const { return FBuddy; }
  void SetBuddy(TWidget* AValue) {
    if (FBuddy)
      FBuddy->RemoveFreeNotification(this);
    FBuddy = AValue;
    if (FBuddy)
      FBuddy->FreeNotification(this);
  }
  TPoint* GetPoint() const { return FPoint.get(); }
  void SetPoint(TPoint* AValue) { FPoint->Assign(AValue); }
  rtl::TOwnedCollection* GetItems() const { return FItems.get(); }
  rtl::TStringList* GetLines() const { return FLines.get(); }

  static void RegisterProperties(rtl::TPropertyList& AList) {
    AList.Add("Tiny", &TWidget::GetTiny, &TWidget::SetTiny);
    AList.Add("Big", &TWidget::GetBig, &TWidget::SetBig);
    AList.Add("Ratio", &TWidget::GetRatio, &TWidget::SetRatio);
    AList.Add("Text", &TWidget::GetText, &TWidget::SetText);
    AList.Add("Kind", &TWidget::GetKind, &TWidget::SetKind);
    AList.Add("Kinds", &TWidget::GetKinds, &TWidget::SetKinds);
    AList.Add("Color", &TWidget::GetColor, &TWidget::SetColor).AsType(rtl::TypeInfoAlphaColor());
    AList.Add("Enabled", &TWidget::GetEnabled, &TWidget::SetEnabled);
    AList.Add("Buddy", &TWidget::GetBuddy, &TWidget::SetBuddy).AsReference();
    AList.Add("Point", &TWidget::GetPoint, &TWidget::SetPoint);
    AList.Add("Items", &TWidget::GetItems);
    AList.Add("Lines", &TWidget::GetLines);
  }

  void DefineProperties(rtl::TFiler* AFiler) override;

  rtl::TComponent* GetParentComponent() const override { return FParent; }
  bool HasParent() const override { return true; }
  void SetParentComponent(rtl::TComponent* AParent) override {
    if (auto* parent = dynamic_cast<TWidget*>(AParent)) {
      FParent = parent;
      parent->FChildren.push_back(this);
    }
  }
  void GetChildren(const TGetChildProc& AProc, rtl::TComponent* ARoot) override {
    TComponent::GetChildren(AProc, ARoot);
    for (TWidget* child : FChildren)
      AProc(child);
  }

protected:
  void Notification(rtl::TComponent* AComponent, rtl::TOperation AOperation) override {
    TComponent::Notification(AComponent, AOperation);
    if (AOperation == rtl::TOperation::opRemove && AComponent == FBuddy)
      FBuddy = nullptr;
  }

private:
  int8_t FTiny = 0;
  int64_t FBig = 0;
  double FRatio = 0;
  std::string FText;
  TKind FKind = TKind::None;
  TKinds FKinds;
  uint32_t FColor = 0;
  bool FEnabled = false;
  TWidget* FBuddy = nullptr;
  rtl::TOwned<TPoint> FPoint;
  rtl::TOwned<rtl::TOwnedCollection> FItems;
  rtl::TOwned<rtl::TStringList> FLines;
  TWidget* FParent = nullptr;
  std::vector<TWidget*> FChildren;
  float FNear = 0;
};

class TFuzzForm : public TWidget {
  RTL_CLASS(TFuzzForm, TWidget)
public:
  using TWidget::TWidget;
};

RTL_DEFINE_CLASS(TPoint, "Fuzz.Forms", &TPoint::RegisterProperties)
RTL_DEFINE_CLASS(TItem, "Fuzz.Forms", &TItem::RegisterProperties)
RTL_DEFINE_CLASS(TWidget, "Fuzz.Forms", &TWidget::RegisterProperties)
RTL_DEFINE_CLASS(TFuzzForm, "Fuzz.Forms")

inline void TWidget::DefineProperties(rtl::TFiler* AFiler) {
  TComponent::DefineProperties(AFiler);
  AFiler->DefineProperty(
      "Near", [this](rtl::TReader& AReader) { FNear = AReader.ReadSingle(); },
      [this](rtl::TWriter& AWriter) { AWriter.WriteSingle(FNear); }, FNear != 0);
}

// Registers the classes once.
inline void RegisterFixtureClasses() {
  static const bool registered = [] {
    rtl::RegisterClass(TWidget::StaticClass());
    rtl::RegisterClass(TFuzzForm::StaticClass());
    return true;
  }();
  (void)registered;
}

// Fails the run (abort) when ACondition is false.
inline void Check(bool ACondition) {
  if (!ACondition)
    std::abort();
}

} // namespace formfuzz
