// The class-name test the lower subsystems use to tell a higher subsystem's objects apart.

#include <gtest/gtest.h>

#include "rtl/classes.h"
#include "ui/controls3d.h"
#include "utils/Vantrel.Utils.Components.h"

namespace componentstest {

// Never registered: the test must not need the class registry.
class TUnlistedDummy : public ui::TDummy {
  RTL_CLASS(TUnlistedDummy, ui::TDummy)
public:
  using TDummy::TDummy;
};
RTL_DEFINE_CLASS(TUnlistedDummy, "Test.Components")

} // namespace componentstest

namespace {

using namespace vantrel;
using componentstest::TUnlistedDummy;

TEST(ComponentSearches, InheritsFromClassNamedReadsTheClassChain) {
  auto object = MakeOwned<TUnlistedDummy>(nullptr);
  ASSERT_EQ(GetClass("Test.Components.TUnlistedDummy"), nullptr);
  const struct {
    const char* Name;
    bool Expected;
  } cases[] = {
      {"Test.Components.TUnlistedDummy", true},
      {"ui.Objects3D.TDummy", true},
      {"TDummy", false},                        // the unit-qualified name only
      {"test.components.TUnlistedDummy", false}, // compared exactly
      {"Vantrel.Mesh.TVantrelMesh", false},
      {"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(InheritsFromClassNamed(object.get(), c.Name), c.Expected);
  }
  EXPECT_TRUE(InheritsFromClassNamed(object.get(), TComponent::StaticClass().QualifiedName()));
  EXPECT_FALSE(InheritsFromClassNamed(nullptr, "ui.Objects3D.TDummy"));
}

} // namespace
