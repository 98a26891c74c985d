#pragma once
// Internal file of unit Vantrel.Material.Default.GLSL: the long fixed function texts of the
// fragment tree (shadow lookups, the physically based library, the tone-map operators, parallax
// occlusion and fog). Every text ends its lines with CR LF, as generated text does. Literals are
// GLSL float literals; nothing here depends on a locale.

#include <array>
#include <string_view>

namespace vantrel {

class TVantrelNodeBuilder;

// float ShadowCalculation(sampler2D, mat4, mat4, vec4): the depth comparison.
extern const std::string_view GLSLShadowMappingFuncText;
// float ShadowCalculation(sampler2D, mat4, mat4): the variance form (Chebyshev's upper bound).
extern const std::string_view GLSLVarianceShadowMappingFuncText;
// The constants and functions of the physically based shading model, in their fixed order.
extern const std::string_view GLSLPBRFuncsText;
// vec2 ParallaxOcclusionMapping(in float, in int, sampler2D, vec2, vec3, float).
extern const std::string_view GLSLPOMFuncText;
// The four fog-mode defines and float computeFog(in int, in float, in float, in float, vec3, vec3).
extern const std::string_view GLSLFogFuncText;

// One tone-map operator: its define, its helper functions and the statements of
// `vec3 toneMap(vec3 color, in float exposure)`. An operator with GammaWithPBR leaves its result
// in `color`; the node returns it through linearTosRGB in the physically based stage and as it is
// elsewhere. The other operators return by themselves.
struct TVantrelToneMapText {
  std::string_view Define;
  std::string_view Helpers;
  std::string_view Body;
  bool GammaWithPBR;
};

// The ten operators in the order their defines are tested; the first one defined wins.
extern const std::array<TVantrelToneMapText, 10> GLSLToneMapTexts;

// The first operator whose define the builder has, or nullptr (also without a builder).
const TVantrelToneMapText* FindToneMapText(const TVantrelNodeBuilder* ABuilder);

} // namespace vantrel
