#pragma once
// The set-up of the tests on the skinned model: the units it needs run for each test, and the
// model is made on first use and freed before the units stop. TBase is ::testing::Test or a GL
// fixture; a subclass that frees more (a viewport, a material source) does so before calling
// TearDown here.

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "support/skinned_model.h"

namespace vtest {

template <class TBase = ::testing::Test> class TSkinnedModelTest : public TBase {
protected:
  void SetUp() override {
    TBase::SetUp();
    FUnits.emplace();
  }
  void TearDown() override {
    FFixture.reset();
    FUnits.reset();
    TBase::TearDown();
  }

  TSkinnedModel& Fixture() {
    if (!FFixture)
      FFixture = std::make_unique<TSkinnedModel>();
    return *FFixture;
  }
  // The model, built and loaded.
  TSkinnedModel& Loaded() {
    Fixture().BuildDefinitions();
    Fixture().Load();
    return Fixture();
  }

  std::unique_ptr<TSkinnedModel> FFixture;

private:
  std::optional<TSkinnedModelUnits> FUnits;
};

} // namespace vtest
