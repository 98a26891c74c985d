#pragma once
// Effects: children of a control that change how it looks. A control with an enabled effect
// child paints itself and its children into its effect bitmap, runs the first enabled effect on
// it and draws the result (ui/controls.h). A TFilterEffect runs an image filter that the filter
// manager makes by name (ui/filters.h).

#include <string>
#include <utility>
#include <vector>

#include "rtl/value.h"
#include "ui/fmx_object.h"

namespace ui {

class TBitmap;
class TFilter;

namespace messages {
inline constexpr const char* FilterNotFound = "<WARNING> filter not found: %s";
} // namespace messages

class TEffect : public TFmxObject {
  RTL_CLASS(TEffect, TFmxObject)
public:
  explicit TEffect(rtl::TComponent* AOwner) : TFmxObject(AOwner) {}

  bool Enabled() const { return FEnabled; }
  // A change asks the parent control to update its effects.
  void SetEnabled(bool AValue);
  // The image ABitmap becomes under the effect (owned by the effect), or nullptr to paint it
  // unchanged.
  virtual TBitmap* ProcessEffect(TBitmap* /*ABitmap*/) { return nullptr; }

protected:
  // Asks the parent control, if any, to update its effects.
  void EffectChanged();
  void ParentChanged() override { EffectChanged(); }

private:
  bool FEnabled = true;
};

class TFilterEffect : public TEffect {
  RTL_CLASS(TFilterEffect, TEffect)
public:
  explicit TFilterEffect(rtl::TComponent* AOwner);
  ~TFilterEffect() override;

  const std::string& FilterName() const { return FFilterName; }
  // The filter is re-made at its next use.
  void SetFilterName(const std::string& AValue);
  // Kept, and forwarded to the filter now and whenever it is re-made.
  void SetValue(const std::string& AName, const rtl::TValue& AValue);
  // The filter, made by the filter manager at first use; nullptr for an unknown name (logged
  // once per name).
  TFilter* Filter();
  TBitmap* ProcessEffect(TBitmap* ABitmap) override;

private:
  std::string FFilterName;
  std::vector<std::pair<std::string, rtl::TValue>> FValues;
  rtl::TOwned<TFilter> FFilter;
  bool FFilterMade = false;
};

} // namespace ui
