#pragma once
// One small model definition made in code, shared by the file-format and asset tests: a cube mesh
// (24 vertices, 36 indices) with a child mesh, one material both meshes use, one point light and
// one camera. It has no GoogleTest in it, so benchmarks and seed writers can link it.

#include <string>

#include "definitions/Vantrel.DefTypes.h"

namespace vtest {

// The Id of the child mesh: non-ASCII text, so a file round trip shows that UTF-8 survives.
inline constexpr const char* FixtureChildId = "W\xC3\xBC"
                                              "rfel \xF0\x9F\x8E\xB2";

// A new model with the parts above; its Id is "Fixture". The definition units must be started.
rtl::TOwned<vantrel::TModelDef> MakeFixtureModel();

// The text two definitions are compared by: equal definitions give equal texts.
std::string DefinitionText(const vantrel::TCustomDef& ADef);

} // namespace vtest
