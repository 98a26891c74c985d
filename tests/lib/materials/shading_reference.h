#pragma once
// A CPU model of the effect formulas of the default material's fragment stage, in double
// precision: the physically based functions and one lit fragment, the tone-map operators, fog,
// both shadow lookups, the parallax loop and the translucency weight. It is written from the
// formulas, independently of the generated text, so the GPU results can be checked against it.

#include <functional>
#include <vector>

namespace vref {

struct TVec3 {
  double X = 0, Y = 0, Z = 0;
  TVec3 operator+(const TVec3& A) const { return {X + A.X, Y + A.Y, Z + A.Z}; }
  TVec3 operator-(const TVec3& A) const { return {X - A.X, Y - A.Y, Z - A.Z}; }
  TVec3 operator*(const TVec3& A) const { return {X * A.X, Y * A.Y, Z * A.Z}; }
  TVec3 operator*(double A) const { return {X * A, Y * A, Z * A}; }
  TVec3 operator/(double A) const { return {X / A, Y / A, Z / A}; }
  double Dot(const TVec3& A) const { return X * A.X + Y * A.Y + Z * A.Z; }
  double Length() const;
  TVec3 Normalized() const { return *this / Length(); }
};

struct TVec2 {
  double X = 0, Y = 0;
};

// Physically based functions.
double FSchlick(double AF0, double AF90, double AVdotH);
double SchlickToF0(double AF, double AF90, double AVdotH);
double VGGX(double ANdotL, double ANdotV, double AAlphaRoughness);
double DGGX(double ANdotH, double AAlphaRoughness);
double ApplyIorToRoughness(double ARoughness, double AIor);
TVec3 IBLRadianceGGX(const TVec3& ASpecularLight, double ANdotV, double ARoughness, const TVec3& AF0,
                     double ASpecularWeight);
TVec3 IBLRadianceLambertian(const TVec3& AIrradiance, double ANdotV, double ARoughness, const TVec3& ADiffuse,
                            const TVec3& AF0, double ASpecularWeight);
double LambdaSheenNumericHelper(double AX, double AAlphaG);
double LambdaSheen(double ACosTheta, double AAlphaG);
double VSheen(double ANdotL, double ANdotV, double ASheenRoughness);
double DCharlie(double ASheenRoughness, double ANdotH);
TVec3 BRDFLambertian(const TVec3& AF0, const TVec3& AF90, const TVec3& ADiffuse, double ASpecularWeight,
                     double AVdotH);
TVec3 BRDFSpecularGGX(const TVec3& AF0, const TVec3& AF90, double AAlphaRoughness, double ASpecularWeight,
                      double AVdotH, double ANdotL, double ANdotV, double ANdotH);

// The ten operators in the tree's order (0 exposure .. 9 Uncharted2); APBR selects the gamma of the
// first four.
TVec3 ToneMap(int AOperator, const TVec3& AColor, double AExposure, bool APBR);

// Visibility 0 .. 1 (1 = no fog) for a fragment at distance ADistance from the eye.
double ComputeFog(int AMode, double AStart, double AEnd, double ADensity, double ADistance);

// The depth comparison for a shadow-space depth AZ against the stored depth, and the variance form.
double ShadowDepthComparison(double AZ, double AClosest, double ANdotL);
double ShadowVariance(double AZ, double AMean, double AMeanOfSquares);

// The parallax loop over a depth map given as a function of the coordinate.
TVec2 ParallaxOcclusion(double ANormalIntensity, int ALevels, const std::function<double(TVec2)>& ADepth,
                        TVec2 AUv, const TVec3& AView, double APivot);
// The layer count of the parallax loop for a view direction.
double ParallaxLayers(int ALevels, const TVec3& AView);

// The weight of a translucent fragment of colour AColor and alpha AAlpha.
double TranslucencyWeight(const TVec3& AColor, double AAlpha, double AFragVertDist);

// One lit fragment of the physically based tree, without textures.
struct TPBRLight {
  TVec3 ToLight; // normalised direction to the light
  TVec3 Diffuse;
  double Intensity = 1;
  double Attenuation = 1;
};
struct TPBRFragment {
  TVec3 Normal{0, 0, 1};
  TVec3 View{0, 0, 1};
  TVec3 Albedo{1, 1, 1};
  double Metallic = 0, Roughness = 0, AO = 1; // after the preparation's grey value and limits
  TVec3 MaterialDiffuse, MaterialSpecular, MaterialAmbient;
  double Shininess = 0; // as in the block, before the division by 100
  TVec3 Emissive;       // before PBR_EmissiveFac
  double ShadingIntensity = 1;
  std::vector<TPBRLight> Lights;
  bool ConstantRadiance = true; // false with an environment map
  int ToneMap = -1;             // an operator, or -1 for linearTosRGB
  double Exposure = 1;
};
// The preparation's metallic and roughness from the grey value of the albedo and a factor.
double PBRGreyValue(const TVec3& AAlbedo, double AFactor);
TVec3 ShadePBR(const TPBRFragment& AFragment);

} // namespace vref
