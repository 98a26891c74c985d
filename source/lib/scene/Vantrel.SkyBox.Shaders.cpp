// The sky box shader texts: fixed pieces, every line ending in CR LF, assembled per shader in a
// fixed order. One literal per line.

#include "scene/Vantrel.SkyBox.Shaders.h"

#include <initializer_list>

namespace vantrel::skybox_shaders {

// The version line and three line breaks.
const std::string_view SkyBoxVersionLine =
    "#version 430\r\n"
    "\r\n"
    "\r\n";

// The record as uniform block, then the parameter structures of clouds and stars.
const std::string_view SkyBoxUniformBlock =
    "layout (binding=0, std140) uniform SkyBoxShaderData\r\n"
    "{\r\n"
    "  mat4 _ModelViewProjMatrix;\r\n"
    "  mat4 _ModelMatrix;\r\n"
    "  mat4 _ViewMatrix;\r\n"
    "  mat4 _ProjMatrix;\r\n"
    "  vec4 _TimeInfo;\r\n"
    "  vec4 _EyePos;\r\n"
    "  vec4 _Diffuse;\r\n"
    "  vec4 _Emissive;\r\n"
    "  vec4 _Resolution;\r\n"
    "  vec2 _CrescentOfs;\r\n"
    "  float _CrescentMoon;\r\n"
    "  float _MoonSurface;\r\n"
    "  float _DepolarizationFactor;\r\n"
    "  float _Luminance;\r\n"
    "  float _MieCoefficient;\r\n"
    "  float _MieDirectionalG;\r\n"
    "  float _MieV;\r\n"
    "  float _MieZenithLength;\r\n"
    "  vec4 _MieKCoefficient;\r\n"
    "  vec3 _Primaries;\r\n"
    "  float _NumMolecules;\r\n"
    "  float _Rayleigh;\r\n"
    "  float _RayleighZenithLength;\r\n"
    "  float _RefractiveIndex;\r\n"
    "  float _SunAngularDiameterDegrees;\r\n"
    "  float _SunIntensityFactor;\r\n"
    "  float _SunIntensityFalloffSteepness;\r\n"
    "  float _TonemapWeighting;\r\n"
    "  float _Turbidity;\r\n"
    "  float _Inclination;\r\n"
    "  float _Azimuth;\r\n"
    "  float _StarDensity;\r\n"
    "  float _StarProbe;\r\n"
    "  float _StarSize;\r\n"
    "  float _StarSpark;\r\n"
    "  float _StarBrightness;\r\n"
    "  vec4 _StarColor;\r\n"
    "  vec4 _CloudColor;\r\n"
    "  int _CloudIterations;\r\n"
    "  float _CloudFrequency;\r\n"
    "  float _CloudAmplitude;\r\n"
    "  int _FogMode;\r\n"
    "  float _FogDensity;\r\n"
    "  float _FogStart;\r\n"
    "  float _FogEnd;\r\n"
    "  vec4 _FogColor;\r\n"
    "  vec4 _Settings;\r\n"
    "};\r\n"
    "\r\n"
    "struct TCloudParams\r\n"
    "{\r\n"
    "  vec3 EyeVertPos;\r\n"
    "  vec3 Fade;\r\n"
    "  vec4 CloudColor;\r\n"
    "  int CloudIterations;\r\n"
    "  float CloudFrequency;\r\n"
    "  float CloudAmplitude;\r\n"
    "};\r\n"
    "\r\n"
    "struct TStarsParams\r\n"
    "{\r\n"
    "  vec3 EyeVertPos;\r\n"
    "  vec2 TexCoord;\r\n"
    "  float TimeInfo;\r\n"
    "  float StarDensity;\r\n"
    "  float StarProbe;\r\n"
    "  float StarSize;\r\n"
    "  float StarSpark;\r\n"
    "  float StarBrightness;\r\n"
    "  vec4 StarColor;\r\n"
    "};\r\n"
    "\r\n";

// The fog mode bits.
const std::string_view SkyBoxFogDefines =
    "#define GLI_FOG_ENABLED 1\r\n"
    "#define GLI_FOG_MODE_LINEAR 2\r\n"
    "#define GLI_FOG_MODE_EXP 4\r\n"
    "#define GLI_FOG_MODE_EXP2 8\r\n"
    "\r\n";

// Texture lookups under short names.
const std::string_view SkyBoxTextureHelpers =
    "vec4 tex2D(sampler2D p_Sampler, vec2 p_Coord)\r\n"
    "{\r\n"
    "  return texture(p_Sampler, p_Coord);\r\n"
    "}\r\n"
    "\r\n"
    "vec4 tex3D(sampler3D p_Sampler, vec3 p_Coord)\r\n"
    "{\r\n"
    "  return texture(p_Sampler, p_Coord);\r\n"
    "}\r\n"
    "\r\n"
    "vec4 texCube(samplerCube p_Sampler, vec3 p_Coord)\r\n"
    "{\r\n"
    "  return texture(p_Sampler, p_Coord);\r\n"
    "}\r\n"
    "\r\n"
    "vec4 tex2DProj(sampler2D p_Sampler, vec4 p_Coord)\r\n"
    "{\r\n"
    "  return textureProj(p_Sampler, p_Coord);\r\n"
    "}\r\n"
    "\r\n";

// The fog factor: 1 without fog, else linear, exponential or squared exponential, clamped.
const std::string_view SkyBoxFogFunction =
    "float computeFog(int p_FogMode, float p_FogStart, float p_FogEnd, float p_FogDensity, vec3 p_VertPos, vec3 p_EyePos)\r\n"
    "{\r\n"
    "  if ((p_FogMode & GLI_FOG_ENABLED) == 0)\r\n"
    "    return 1.0;\r\n"
    "  float l_Dist = length(p_VertPos - p_EyePos);\r\n"
    "  float l_Fog;\r\n"
    "  if ((p_FogMode & GLI_FOG_MODE_LINEAR) != 0)\r\n"
    "    l_Fog = (p_FogEnd - l_Dist) / (p_FogEnd - p_FogStart);\r\n"
    "  else if ((p_FogMode & GLI_FOG_MODE_EXP) != 0)\r\n"
    "    l_Fog = exp(-(l_Dist * p_FogDensity));\r\n"
    "  else\r\n"
    "  {\r\n"
    "    float l_Exp = l_Dist * p_FogDensity;\r\n"
    "    l_Fog = exp(-(l_Exp * l_Exp));\r\n"
    "  }\r\n"
    "  return clamp(l_Fog, 0.0, 1.0);\r\n"
    "}\r\n"
    "\r\n";

// Cube-map vertex inputs and outputs.
const std::string_view SkyBoxCubeMapVertexInputs =
    "in vec3 a_Position;\r\n"
    "in vec3 a_Normal;\r\n"
    "\r\n"
    "out vec3 v_TexCoord0;\r\n"
    "out vec4 v_Position;\r\n"
    "out vec4 v_EyeVertPos;\r\n"
    "out vec3 v_Normal;\r\n"
    "\r\n";

// The box corner is the cube-map direction.
const std::string_view SkyBoxCubeMapVertexMain =
    "void main()\r\n"
    "{\r\n"
    "  v_TexCoord0 = a_Position;\r\n"
    "  v_Position = _ModelViewProjMatrix * vec4(a_Position, 1.0);\r\n"
    "  v_EyeVertPos = _ModelMatrix * vec4(a_Position, 1.0);\r\n"
    "  v_Normal = (_ModelMatrix * vec4(a_Normal, 0.0)).xyz;\r\n"
    "  gl_Position = v_Position;\r\n"
    "}\r\n";

// Procedural vertex inputs and outputs.
const std::string_view SkyBoxProcVertexInputs =
    "in vec3 a_Position;\r\n"
    "in vec2 a_TexCoord0;\r\n"
    "in vec3 a_Normal;\r\n"
    "\r\n"
    "out vec3 v_TexCoord0;\r\n"
    "out vec4 v_Position;\r\n"
    "out vec4 v_EyeVertPos;\r\n"
    "out vec3 v_Normal;\r\n"
    "\r\n";

// The procedural vertex main.
const std::string_view SkyBoxProcVertexMain =
    "void main()\r\n"
    "{\r\n"
    "  v_Normal = normalize((_ModelMatrix * vec4(a_Normal, 0.0)).xyz);\r\n"
    "  v_TexCoord0 = vec3(a_TexCoord0.xy, 1.0);\r\n"
    "  v_Position = _ModelViewProjMatrix * vec4(a_Position, 1.0);\r\n"
    "  v_EyeVertPos = _ModelMatrix * vec4(a_Position, 1.0);\r\n"
    "  gl_Position = v_Position;\r\n"
    "}\r\n";

// The cube-map sampler.
const std::string_view SkyBoxCubeMapSampler =
    "uniform samplerCube _CubeMap;\r\n"
    "\r\n";

// The cube-map fragment shader's inputs, outputs and main.
const std::string_view SkyBoxCubeMapFragmentBody =
    "in vec3 v_TexCoord0;\r\n"
    "in vec4 v_Position;\r\n"
    "in vec4 v_EyeVertPos;\r\n"
    "in vec3 v_Normal;\r\n"
    "\r\n"
    "layout (location = 0) out vec4 o_Albedo;\r\n"
    "layout (location = 1) out float o_Alpha;\r\n"
    "layout (location = 2) out vec4 o_Position;\r\n"
    "layout (location = 3) out vec3 o_Normals;\r\n"
    "layout (location = 4) out vec3 o_Emissive;\r\n"
    "\r\n"
    "void main()\r\n"
    "{\r\n"
    "  vec4 l_Albedo = texCube(_CubeMap, v_TexCoord0) * _Diffuse;\r\n"
    "  o_Albedo = mix(l_Albedo, _FogColor, 1.0 - computeFog(_FogMode, _FogStart, _FogEnd, _FogDensity, v_EyeVertPos.xyz, _EyePos.xyz));\r\n"
    "  o_Alpha = 0.0;\r\n"
    "  o_Position = vec4(v_EyeVertPos.xyz, v_Position.z);\r\n"
    "  o_Normals = v_Normal;\r\n"
    "  o_Emissive = l_Albedo.rgb * _Emissive.rgb * _Emissive.a;\r\n"
    "}\r\n";

// The blank fragment shader's inputs, outputs and main: a flat colour.
const std::string_view SkyBoxBlankFragmentBody =
    "in vec3 v_TexCoord0;\r\n"
    "in vec4 v_Position;\r\n"
    "in vec4 v_EyeVertPos;\r\n"
    "in vec3 v_Normal;\r\n"
    "\r\n"
    "layout (location = 0) out vec4 o_Albedo;\r\n"
    "layout (location = 1) out float o_Alpha;\r\n"
    "layout (location = 2) out vec4 o_Position;\r\n"
    "layout (location = 3) out vec3 o_Normals;\r\n"
    "layout (location = 4) out vec3 o_Emissive;\r\n"
    "\r\n"
    "void main()\r\n"
    "{\r\n"
    "  o_Albedo = mix(_Diffuse, _FogColor, 1.0 - computeFog(_FogMode, _FogStart, _FogEnd, _FogDensity, v_EyeVertPos.xyz, _EyePos.xyz));\r\n"
    "  o_Alpha = 0.0;\r\n"
    "  o_Position = vec4(v_EyeVertPos.xyz, v_Position.z);\r\n"
    "  o_Normals = v_Normal;\r\n"
    "  o_Emissive = vec3(0.0);\r\n"
    "}\r\n";

// Constants, inputs and outputs of the procedural fragment shader.
const std::string_view SkyBoxProcDeclarations =
    "const float SB_PI = 3.141592653589793238462643383279502884197169;\r\n"
    "const vec3 UP = vec3(0.0, -1.0, 0.0);\r\n"
    "\r\n"
    "in vec3 v_TexCoord0;\r\n"
    "in vec4 v_Position;\r\n"
    "in vec4 v_EyeVertPos;\r\n"
    "in vec3 v_Normal;\r\n"
    "\r\n"
    "layout (location = 0) out vec4 o_Albedo;\r\n"
    "layout (location = 1) out float o_Alpha;\r\n"
    "layout (location = 2) out vec4 o_Position;\r\n"
    "layout (location = 3) out vec3 o_Normals;\r\n"
    "layout (location = 4) out vec3 o_Emissive;\r\n"
    "\r\n";

// Hashes; rand is kept though nothing calls it.
const std::string_view SkyBoxHashFunctions =
    "float rand(vec2 st)\r\n"
    "{\r\n"
    "  return fract(sin(dot(st.xy, vec2(12.9898, 78.233))) * 43758.5453123);\r\n"
    "}\r\n"
    "\r\n"
    "float hash(vec3 p)\r\n"
    "{\r\n"
    "  return fract(sin(p.x * 15.32758341 + p.y * 39.786792357 + p.z * 59.4583127 + 7.5312) * 43758.236237153) - 0.5;\r\n"
    "}\r\n"
    "\r\n";

// Voronoi cells of the stars; rhash is kept though nothing calls it.
const std::string_view SkyBoxVoronoi =
    "const mat2 myt = mat2(.12121212, .13131313, -.13131313, .12121212);\r\n"
    "const vec2 mys = vec2(1e4, 1e6);\r\n"
    "\r\n"
    "vec2 rhash(vec2 uv)\r\n"
    "{\r\n"
    "  uv *= myt;\r\n"
    "  uv *= mys;\r\n"
    "  return fract(fract(uv / mys) * uv);\r\n"
    "}\r\n"
    "\r\n"
    "vec3 hash3(vec3 p)\r\n"
    "{\r\n"
    "  return fract(sin(vec3(dot(p, vec3(1.0, 57.0, 113.0)), dot(p, vec3(57.0, 113.0, 1.0)), dot(p, vec3(113.0, 1.0, 57.0)))) * 43758.5453);\r\n"
    "}\r\n"
    "\r\n"
    "vec3 voronoi3(const in vec3 x, const in float density, const in float probe, const in float size)\r\n"
    "{\r\n"
    "  vec3 p = floor(x);\r\n"
    "  vec3 f = fract(x);\r\n"
    "  float id = 0.0;\r\n"
    "  vec2 res = vec2(100.0);\r\n"
    "  for (int k = -1; k <= 1; k++)\r\n"
    "  {\r\n"
    "    for (int j = -1; j <= 1; j++)\r\n"
    "    {\r\n"
    "      for (int i = -1; i <= 1; i++)\r\n"
    "      {\r\n"
    "        vec3 b = vec3(float(i), float(j), float(k));\r\n"
    "        vec3 r = b - f + hash3(p + b);\r\n"
    "        float d = dot(r, r) * density;\r\n"
    "        float cond = max(sign(res.x - d), 0.0);\r\n"
    "        float nCond = 1.0 - cond;\r\n"
    "        float cond2 = nCond * max(sign(res.y - d), 0.0);\r\n"
    "        float nCond2 = 1.0 - cond2;\r\n"
    "        id = (dot(p + b, vec3(1.0, 57.0, 113.0)) * cond) + (id * nCond);\r\n"
    "        res = vec2(d, res.x) * cond + res * nCond;\r\n"
    "        res.y = cond2 * d + nCond2 * res.y;\r\n"
    "      }\r\n"
    "    }\r\n"
    "  }\r\n"
    "  return vec3(pow(1.0 / sqrt(res.x), size * probe), sqrt(res.y), abs(id));\r\n"
    "}\r\n"
    "\r\n";

// Perlin noise, its octave sum and the clouds.
const std::string_view SkyBoxNoiseAndClouds =
    "float fade(float t)\r\n"
    "{\r\n"
    "  return t * t * t * (t * (t * 6.0 - 15.0) + 10.0);\r\n"
    "}\r\n"
    "\r\n"
    "float grad3D(float hash, vec3 pos)\r\n"
    "{\r\n"
    "  int h = int(1e4 * hash) & 15;\r\n"
    "  float u = h < 8 ? pos.x : pos.y;\r\n"
    "  float v = h < 4 ? pos.y : (h == 12 || h == 14 ? pos.x : pos.z);\r\n"
    "  return ((h & 1) == 0 ? u : -u) + ((h & 2) == 0 ? v : -v);\r\n"
    "}\r\n"
    "\r\n"
    "float perlinNoise3D(vec3 pos)\r\n"
    "{\r\n"
    "  vec3 pi = floor(pos);\r\n"
    "  vec3 pf = pos - pi;\r\n"
    "  float u = fade(pf.x);\r\n"
    "  float v = fade(pf.y);\r\n"
    "  float w = fade(pf.z);\r\n"
    "  return mix(\r\n"
    "    mix(\r\n"
    "      mix(grad3D(hash(pi + vec3(0.0, 0.0, 0.0)), pf - vec3(0.0, 0.0, 0.0)), grad3D(hash(pi + vec3(1.0, 0.0, 0.0)), pf - vec3(1.0, 0.0, 0.0)), u),\r\n"
    "      mix(grad3D(hash(pi + vec3(0.0, 1.0, 0.0)), pf - vec3(0.0, 1.0, 0.0)), grad3D(hash(pi + vec3(1.0, 1.0, 0.0)), pf - vec3(1.0, 1.0, 0.0)), u), v),\r\n"
    "    mix(\r\n"
    "      mix(grad3D(hash(pi + vec3(0.0, 0.0, 1.0)), pf - vec3(0.0, 0.0, 1.0)), grad3D(hash(pi + vec3(1.0, 0.0, 1.0)), pf - vec3(1.0, 0.0, 1.0)), u),\r\n"
    "      mix(grad3D(hash(pi + vec3(0.0, 1.0, 1.0)), pf - vec3(0.0, 1.0, 1.0)), grad3D(hash(pi + vec3(1.0, 1.0, 1.0)), pf - vec3(1.0, 1.0, 1.0)), u), v), w);\r\n"
    "}\r\n"
    "\r\n"
    "float fbm(TCloudParams params)\r\n"
    "{\r\n"
    "  float l_Sum = 0.0;\r\n"
    "  float l_Frequency = params.CloudFrequency;\r\n"
    "  float l_Amplitude = params.CloudAmplitude;\r\n"
    "  for (int i = 0; i < params.CloudIterations; i++)\r\n"
    "  {\r\n"
    "    l_Sum += perlinNoise3D(params.EyeVertPos * l_Frequency) * l_Amplitude;\r\n"
    "    l_Amplitude *= 0.5;\r\n"
    "    l_Frequency *= 2.0;\r\n"
    "  }\r\n"
    "  return l_Sum;\r\n"
    "}\r\n"
    "\r\n"
    "vec3 clouds(TCloudParams params)\r\n"
    "{\r\n"
    "  if (params.CloudIterations <= 0 || params.CloudColor.a <= 0.0001)\r\n"
    "    return vec3(0.0);\r\n"
    "  return params.CloudColor.rgb * fbm(params) * params.Fade * params.CloudColor.a;\r\n"
    "}\r\n"
    "\r\n";

// Rayleigh and Mie scattering, the sun's intensity and the filmic tone curve.
const std::string_view SkyBoxScattering =
    "vec3 totalRayleigh(vec3 lambda, float n, float pn, float N)\r\n"
    "{\r\n"
    "  float l_N2 = n * n - 1.0;\r\n"
    "  return (8.0 * pow(SB_PI, 3.0) * (l_N2 * l_N2) * (6.0 + 3.0 * pn)) / (3.0 * N * pow(lambda, vec3(4.0)) * (6.0 - 7.0 * pn));\r\n"
    "}\r\n"
    "\r\n"
    "vec3 totalMie(vec3 lambda, vec3 K, float T, float v)\r\n"
    "{\r\n"
    "  float c = 0.2 * T * 10e-18;\r\n"
    "  return 0.434 * c * SB_PI * pow((2.0 * SB_PI) / lambda, vec3(v - 2.0)) * K;\r\n"
    "}\r\n"
    "\r\n"
    "float rayleighPhase(float cosTheta)\r\n"
    "{\r\n"
    "  return (3.0 / (16.0 * SB_PI)) * (1.0 + cosTheta * cosTheta);\r\n"
    "}\r\n"
    "\r\n"
    "float henyeyGreensteinPhase(float cosTheta, float g)\r\n"
    "{\r\n"
    "  return (1.0 / (4.0 * SB_PI)) * ((1.0 - g * g) / pow(1.0 - 2.0 * g * cosTheta + g * g, 1.5));\r\n"
    "}\r\n"
    "\r\n"
    "float sunIntensity(float zenithAngleCos, float factor, float steepness)\r\n"
    "{\r\n"
    "  float cutoffAngle = SB_PI / 1.95;\r\n"
    "  return factor * max(0.0, 1.0 - exp(-((cutoffAngle - acos(zenithAngleCos)) / steepness)));\r\n"
    "}\r\n"
    "\r\n"
    "const float A = 0.15;\r\n"
    "const float B = 0.50;\r\n"
    "const float C = 0.10;\r\n"
    "const float D = 0.20;\r\n"
    "const float E = 0.02;\r\n"
    "const float F = 0.30;\r\n"
    "const float SunCoeff = 450000.0;\r\n"
    "\r\n"
    "vec3 Uncharted2Tonemap(vec3 W)\r\n"
    "{\r\n"
    "  return ((W * (A * W + C * B) + D * E) / (W * (A * W + B) + D * F)) - E / F;\r\n"
    "}\r\n"
    "\r\n";

// Sparkling Voronoi stars.
const std::string_view SkyBoxStars =
    "vec3 stars(TStarsParams params)\r\n"
    "{\r\n"
    "  if (params.StarDensity < 1.0 || params.StarSize < 0.0001)\r\n"
    "    return vec3(0.0);\r\n"
    "  float density = 1000.0 - params.StarDensity;\r\n"
    "  float size = 1.0 / (params.StarSize * 0.1);\r\n"
    "  float sparkle = max(sin((params.TimeInfo * params.StarSpark + hash(params.EyeVertPos)) * 4.0), 0.1);\r\n"
    "  vec3 intensity = voronoi3(params.EyeVertPos * size, density, params.StarProbe, sparkle);\r\n"
    "  return params.StarColor.rgb * intensity.x * params.StarBrightness;\r\n"
    "}\r\n"
    "\r\n";

// The sky colour: sun position, scattering and in-scattered light.
const std::string_view SkyBoxProcSkyFirstHalf =
    "vec3 ProceduralSky(inout vec3 emissive)\r\n"
    "{\r\n"
    "  vec3 viewDir = normalize(v_EyeVertPos.xyz - _EyePos.xyz);\r\n"
    "  float theta = SB_PI * (_Inclination - _EyePos.y * (1.0 / _Resolution.y) - 0.5);\r\n"
    "  float phi = 2.0 * SB_PI * (_Azimuth - _EyePos.x * (1.0 / _Resolution.x) - 0.5);\r\n"
    "  float sunDistance = 400000.0;\r\n"
    "  vec3 sunPosition = vec3(sunDistance * cos(phi), -(sunDistance * sin(phi) * sin(theta)), -(sunDistance * sin(phi) * cos(theta)));\r\n"
    "  float sunfade = 1.0 - clamp(1.0 - exp(sunPosition.y / SunCoeff), 0.0, 1.0);\r\n"
    "  float rayleighCoefficient = _Rayleigh - (1.0 * (1.0 - sunfade));\r\n"
    "  vec3 betaR = totalRayleigh(_Primaries, _RefractiveIndex, _DepolarizationFactor, _NumMolecules) * rayleighCoefficient;\r\n"
    "  vec3 betaM = totalMie(_Primaries, _MieKCoefficient.xyz, _Turbidity, _MieV) * _MieCoefficient;\r\n"
    "  float zenithAngle = acos(max(0.0, dot(UP, viewDir)));\r\n"
    "  float denom = cos(zenithAngle) + 0.15 * pow(93.885 - ((zenithAngle * 180.0) / SB_PI), -1.253);\r\n"
    "  float sR = _RayleighZenithLength / denom;\r\n"
    "  float sM = _MieZenithLength / denom;\r\n"
    "  vec3 Fex = exp(-(betaR * sR + betaM * sM));\r\n"
    "  vec3 sunDirection = normalize(sunPosition);\r\n"
    "  float cosTheta = dot(viewDir, sunDirection);\r\n"
    "  vec3 betaRTheta = betaR * rayleighPhase(cosTheta * 0.5 + 0.5);\r\n"
    "  vec3 betaMTheta = betaM * henyeyGreensteinPhase(cosTheta, _MieDirectionalG);\r\n"
    "  float sunE = sunIntensity(dot(sunDirection, UP), _SunIntensityFactor, _SunIntensityFalloffSteepness);\r\n"
    "  vec3 ratio = (betaRTheta + betaMTheta) / (betaR + betaM);\r\n"
    "  vec3 Lin = pow(sunE * ratio * (1.0 - Fex), vec3(1.5));\r\n"
    "  Lin *= mix(vec3(1.0), pow(sunE * ratio * Fex, vec3(0.5)), clamp(pow(1.0 - dot(UP, sunDirection), 5.0), 0.0, 1.0));\r\n";

// The sun disk or crescent, stars, clouds and the tone curve.
const std::string_view SkyBoxProcSkySecondHalf =
    "  float sunAngularDiameterCos = cos(_SunAngularDiameterDegrees);\r\n"
    "  float sundisk = smoothstep(sunAngularDiameterCos, sunAngularDiameterCos + 0.00002, cosTheta);\r\n"
    "  if (abs(_CrescentMoon) > 0.0001)\r\n"
    "  {\r\n"
    "    if (_MoonSurface > 0.0)\r\n"
    "    {\r\n"
    "      float s = perlinNoise3D(v_EyeVertPos.xyz);\r\n"
    "      s = 1.0 - clamp(smoothstep(s, s + 1.0, _MoonSurface), 0.0, 1.0);\r\n"
    "      sundisk = sundisk * s;\r\n"
    "    }\r\n"
    "    float sunAngularDiameterCos2 = cos(_SunAngularDiameterDegrees * 0.98);\r\n"
    "    sunDirection = normalize(sunPosition + vec3((sunDistance / 10.0) * _CrescentOfs.x, (sunDistance / 10.0) * _CrescentOfs.y, 0.0));\r\n"
    "    cosTheta = dot(viewDir, sunDirection);\r\n"
    "    float shadow = sundisk * _CrescentMoon * 0.005;\r\n"
    "    float offsetDisk = smoothstep(sunAngularDiameterCos2, sunAngularDiameterCos2 + 0.00002, cosTheta);\r\n"
    "    if (_CrescentMoon > 0.0)\r\n"
    "      sundisk = mix(sundisk, 0.0, offsetDisk) + shadow;\r\n"
    "    else\r\n"
    "      sundisk = mix(0.0, sundisk, offsetDisk) + shadow;\r\n"
    "  }\r\n"
    "  vec3 L0 = vec3(0.1) * Fex;\r\n"
    "  L0 += sunE * 19000.0 * Fex * sundisk;\r\n"
    "  vec3 texColor = (Lin + L0) * 0.04 + vec3(0.0, 0.001, 0.0025) * 0.3;\r\n"
    "  if (_Settings.x > 0.1)\r\n"
    "  {\r\n"
    "    TStarsParams l_Stars = TStarsParams(v_EyeVertPos.xyz, v_TexCoord0.xy, _TimeInfo.x, _StarDensity, _StarProbe, _StarSize, _StarSpark, _StarBrightness, _StarColor);\r\n"
    "    emissive = stars(l_Stars);\r\n"
    "    texColor += emissive;\r\n"
    "  }\r\n"
    "  if (_Settings.y > 0.1)\r\n"
    "  {\r\n"
    "    TCloudParams l_Clouds = TCloudParams(v_EyeVertPos.xyz, vec3(1.0 - sunfade), _CloudColor, _CloudIterations, _CloudFrequency, _CloudAmplitude);\r\n"
    "    texColor += clouds(l_Clouds);\r\n"
    "  }\r\n"
    "  vec3 whiteScale = 1.0 / Uncharted2Tonemap(vec3(_TonemapWeighting));\r\n"
    "  vec3 curr = Uncharted2Tonemap(log2(2.0 / pow(_Luminance, 4.0)) * texColor);\r\n"
    "  vec3 color = curr * whiteScale;\r\n"
    "  return pow(color, vec3(1.0 / (1.2 + (1.2 * sunfade))));\r\n"
    "}\r\n"
    "\r\n";

// The procedural fragment main.
const std::string_view SkyBoxProcMain =
    "void main()\r\n"
    "{\r\n"
    "  vec3 l_Emissive = vec3(0.0);\r\n"
    "  vec4 l_Color = vec4(ProceduralSky(l_Emissive), 1.0) * _Diffuse;\r\n"
    "  o_Albedo = mix(l_Color, _FogColor, 1.0 - computeFog(_FogMode, _FogStart, _FogEnd, _FogDensity, v_EyeVertPos.xyz, _EyePos.xyz));\r\n"
    "  o_Alpha = 0.0;\r\n"
    "  o_Position = vec4(v_EyeVertPos.xyz, v_Position.z);\r\n"
    "  o_Normals = v_Normal;\r\n"
    "  o_Emissive = l_Emissive * _Emissive.rgb * _Emissive.a;\r\n"
    "}\r\n";

} // namespace vantrel::skybox_shaders

namespace vantrel::skybox_shaders {

namespace {

std::string Join(std::initializer_list<std::string_view> APieces) {
  std::string result;
  for (std::string_view piece : APieces)
    result += piece;
  return result;
}

} // namespace

std::string CubeMapVertexShader() {
  return Join({SkyBoxVersionLine, SkyBoxCubeMapVertexInputs, SkyBoxUniformBlock, SkyBoxCubeMapVertexMain});
}

std::string ProceduralVertexShader() {
  return Join({SkyBoxVersionLine, SkyBoxProcVertexInputs, SkyBoxUniformBlock, SkyBoxProcVertexMain});
}

std::string CubeMapFragmentShader() {
  return Join({SkyBoxVersionLine, SkyBoxFogDefines, SkyBoxTextureHelpers, SkyBoxUniformBlock, SkyBoxCubeMapSampler,
               SkyBoxFogFunction, SkyBoxCubeMapFragmentBody});
}

std::string ProceduralFragmentShader() {
  return Join({SkyBoxVersionLine, SkyBoxFogDefines, SkyBoxTextureHelpers, SkyBoxUniformBlock, SkyBoxFogFunction,
               SkyBoxProcDeclarations, SkyBoxHashFunctions, SkyBoxVoronoi, SkyBoxNoiseAndClouds, SkyBoxScattering,
               SkyBoxStars, SkyBoxProcSkyFirstHalf, SkyBoxProcSkySecondHalf, SkyBoxProcMain});
}

std::string BlankFragmentShader() {
  return Join({SkyBoxVersionLine, SkyBoxFogDefines, SkyBoxTextureHelpers, SkyBoxUniformBlock, SkyBoxFogFunction,
               SkyBoxBlankFragmentBody});
}

} // namespace vantrel::skybox_shaders
