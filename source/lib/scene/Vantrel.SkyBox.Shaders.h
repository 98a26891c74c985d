#pragma once
// Internal file of the sky box unit: the fixed GLSL 4.30 text pieces of the sky box's five shaders
// and their assembly. Every line of every piece ends in CR LF.

#include <string>
#include <string_view>

namespace vantrel::skybox_shaders {

extern const std::string_view SkyBoxVersionLine;
extern const std::string_view SkyBoxUniformBlock;
extern const std::string_view SkyBoxFogDefines;
extern const std::string_view SkyBoxTextureHelpers;
extern const std::string_view SkyBoxFogFunction;
extern const std::string_view SkyBoxCubeMapVertexInputs;
extern const std::string_view SkyBoxCubeMapVertexMain;
extern const std::string_view SkyBoxProcVertexInputs;
extern const std::string_view SkyBoxProcVertexMain;
extern const std::string_view SkyBoxCubeMapSampler;
extern const std::string_view SkyBoxCubeMapFragmentBody;
extern const std::string_view SkyBoxBlankFragmentBody;
extern const std::string_view SkyBoxProcDeclarations;
extern const std::string_view SkyBoxHashFunctions;
extern const std::string_view SkyBoxVoronoi;
extern const std::string_view SkyBoxNoiseAndClouds;
extern const std::string_view SkyBoxScattering;
extern const std::string_view SkyBoxStars;
extern const std::string_view SkyBoxProcSkyFirstHalf;
extern const std::string_view SkyBoxProcSkySecondHalf;
extern const std::string_view SkyBoxProcMain;

// The five shader texts, assembled from the pieces in their fixed order.
std::string CubeMapVertexShader();
std::string ProceduralVertexShader();
std::string CubeMapFragmentShader();
std::string ProceduralFragmentShader();
std::string BlankFragmentShader();

} // namespace vantrel::skybox_shaders
