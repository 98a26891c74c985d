#pragma once
// One small model definition made in code, shared by the file-format and asset tests: a cube mesh
// (24 vertices, 36 indices) with a child mesh, one material both meshes use, one point light, one
// camera, a metadata string tag with non-ASCII text, and one animation whose stage moves the cube
// with a position track of three keys. It has no GoogleTest in it, so benchmarks can link it.

#include <string>

#include "definitions/Vantrel.DefTypes.h"

namespace vtest {

// Non-ASCII text ("Wuerfel" with u-umlaut, and a die), so a file round trip shows that UTF-8
// survives: the Id of the child mesh and the value of the metadata tag "Name".
inline constexpr const char* FixtureChildId = "W\xC3\xBC"
                                              "rfel \xF0\x9F\x8E\xB2";
inline constexpr const char* FixtureTagText = FixtureChildId;

// A new model with the parts above; its Id is "Fixture". The definition units must be started.
rtl::TOwned<vantrel::TModelDef> MakeFixtureModel();

// The text two definitions are compared by: equal definitions give equal texts.
std::string DefinitionText(const vantrel::TCustomDef& ADef);

} // namespace vtest
