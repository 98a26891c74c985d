#include "ui/effects.h"

#include "rtl/log.h"
#include "ui/controls.h"
#include "ui/filters.h"

namespace ui {

RTL_DEFINE_CLASS(TEffect, "ui.Effects")
RTL_DEFINE_CLASS(TFilterEffect, "ui.Effects")

void TEffect::SetEnabled(bool AValue) {
  if (AValue == FEnabled)
    return;
  FEnabled = AValue;
  EffectChanged();
}

void TEffect::EffectChanged() {
  if (auto* control = dynamic_cast<TControl*>(Parent()))
    control->UpdateEffects();
}

TFilterEffect::TFilterEffect(rtl::TComponent* AOwner) : TEffect(AOwner) {}

TFilterEffect::~TFilterEffect() = default;

void TFilterEffect::SetFilterName(const std::string& AValue) {
  if (AValue == FFilterName)
    return;
  FFilterName = AValue;
  FFilter.reset();
  FFilterMade = false;
  EffectChanged();
}

void TFilterEffect::SetValue(const std::string& AName, const rtl::TValue& AValue) {
  auto found = std::find_if(FValues.begin(), FValues.end(), [&](const auto& AEntry) { return AEntry.first == AName; });
  if (found == FValues.end())
    FValues.emplace_back(AName, AValue);
  else
    found->second = AValue;
  if (FFilter)
    FFilter->SetValue(AName, AValue);
  EffectChanged();
}

TFilter* TFilterEffect::Filter() {
  if (FFilterMade)
    return FFilter.get();
  FFilterMade = true;
  FFilter = TFilterManager::FilterByName(FFilterName);
  if (!FFilter) {
    rtl::Log::d(messages::FilterNotFound, FFilterName);
    return nullptr;
  }
  for (const auto& [name, value] : FValues)
    FFilter->SetValue(name, value);
  return FFilter.get();
}

TBitmap* TFilterEffect::ProcessEffect(TBitmap* ABitmap) {
  TFilter* filter = Filter();
  if (!filter)
    return nullptr;
  filter->SetInput(ABitmap);
  return filter->Output();
}

} // namespace ui
