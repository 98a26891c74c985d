#pragma once
// A test that starts the definition units and their node definitions for each test and stops them
// afterwards, for tests of the definitions on their own.

#include <gtest/gtest.h>

#include "definitions/Vantrel.DefTypes.Model.h"
#include "definitions/Vantrel.DefTypes.h"

namespace vtest {

class TDefTypesTest : public ::testing::Test {
protected:
  void SetUp() override {
    vantrel::InitializeDefTypes();
    vantrel::InitializeDefTypesNodes();
  }
  void TearDown() override {
    vantrel::FinalizeDefTypesNodes();
    vantrel::FinalizeDefTypes();
  }
};

} // namespace vtest
