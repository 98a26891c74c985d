#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "materials/Vantrel.Material.Behaviour.h"
#include "rtl/exceptions.h"

namespace behaviourtest {

using namespace vantrel;

// Reports a block twice as initialised as the base: the first call sets the flag, later ones
// leave it set.
class TCountingBehaviour : public TVantrelMaterialBehaviour {
  RTL_CLASS(TCountingBehaviour, TVantrelMaterialBehaviour)
public:
  using TVantrelMaterialBehaviour::TVantrelMaterialBehaviour;
  int Initializations = 0;
  void DoOnInitializeUniformBuffer(TMaterial* AMaterial, bool& AInitialized) override {
    ++Initializations;
    inherited::DoOnInitializeUniformBuffer(AMaterial, AInitialized);
  }
};
RTL_DEFINE_CLASS(TCountingBehaviour, "Test.MaterialBehaviour")

// "{8-4-4-4-12}" with upper-case hexadecimal digits.
bool IsBracedUpperGuid(const std::string& AText) {
  const std::string shape = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
  if (AText.size() != shape.size())
    return false;
  for (size_t i = 0; i < shape.size(); ++i) {
    const char c = AText[i];
    const bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
    if (shape[i] == 'x' ? !hex : c != shape[i])
      return false;
  }
  return true;
}

} // namespace behaviourtest

using namespace behaviourtest;

TEST(MaterialBehaviour, IdentitiesAreDistinctGuidsAndSerials) {
  TOwned<TVantrelMaterialBehaviour> a(
      TVantrelMaterialBehaviour::StaticClass().CreateAs<TVantrelMaterialBehaviour>());
  TOwned<TVantrelMaterialBehaviour> b(
      TVantrelMaterialBehaviour::StaticClass().CreateAs<TVantrelMaterialBehaviour>());
  EXPECT_TRUE(IsBracedUpperGuid(a->GetUniqueID())) << a->GetUniqueID();
  EXPECT_TRUE(IsBracedUpperGuid(b->GetUniqueID())) << b->GetUniqueID();
  EXPECT_NE(a->GetUniqueID(), b->GetUniqueID());

  // A behaviour made at the address of a freed one still gets a new reference ID.
  const uintptr_t freedID = b->GetReferenceID();
  EXPECT_NE(a->GetReferenceID(), freedID);
  b.reset();
  TOwned<TVantrelMaterialBehaviour> c(
      TVantrelMaterialBehaviour::StaticClass().CreateAs<TVantrelMaterialBehaviour>());
  EXPECT_NE(c->GetReferenceID(), freedID);
  EXPECT_NE(c->GetReferenceID(), a->GetReferenceID());
}

TEST(MaterialBehaviour, BaseHooksRaiseExceptInitialisation) {
  TOwned<TCountingBehaviour> behaviour(TCountingBehaviour::StaticClass().CreateAs<TCountingBehaviour>());
  std::string name;
  void* block = nullptr;
  int32_t size = 0;
  EXPECT_THROW(behaviour->DoOnRegisterUniformBuffer(name, block, size), EAbstractError);
  EXPECT_THROW(behaviour->DoOnCreateShader(nullptr, TContextShaderKind::VertexShader), EAbstractError);
  EXPECT_THROW(behaviour->DoOnUpdateShader(nullptr, TContextShaderKind::PixelShader), EAbstractError);
  EXPECT_THROW(behaviour->DoOnRemoveShader(nullptr, TContextShaderKind::PixelShader), EAbstractError);
  EXPECT_THROW(behaviour->Apply(nullptr, nullptr, nullptr), EAbstractError);

  EXPECT_FALSE(behaviour->GetInitialized());
  behaviour->InitializeUniformBuffer(nullptr);
  EXPECT_TRUE(behaviour->GetInitialized());
  EXPECT_EQ(behaviour->Initializations, 1);
}

TEST(MaterialBehaviour, BlocksAreZeroFilledAndFreedThroughThePair) {
  auto* block = static_cast<uint8_t*>(AllocateBehaviourUBO(16));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(block[i], 0) << i;
  FreeBehaviourUBO(block);
  EXPECT_EQ(AllocateBehaviourUBO(0), nullptr);
  FreeBehaviourUBO(nullptr);
}
