#pragma once
// The OpenGL shader program: stage compilation, linking with fixed vertex-attribute locations,
// collection of the uniform variables the stage sources declare, and the GL side of the uniform
// blocks: the generic uniform-buffer binding survives every registry operation. GL headers stay
// in the source, so GL enumerations appear here as their underlying 32-bit unsigned type.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "context/Vantrel.Context.Shader.h"

namespace vantrel {

class TOpenGLShaderProgramClass : public TShaderProgramClass {
public:
  using TShaderProgramClass::TShaderProgramClass;

  // A failure that raises deletes the shader first: nobody else could.
  uint32_t BuildShader(uint32_t AType, std::span<const uint8_t> ACode, bool AIsInDesignTime) const override;
  // Raises "failed to switch to default shader program (%s) - not activated (error #%d)" when a
  // GL error is pending afterwards.
  void ActivateDefault() const override;
};

class TOpenGLShaderProgram final : public TShaderProgram {
  RTL_CLASS_META(TOpenGLShaderProgram, TShaderProgram, TOpenGLShaderProgramClass)

public:
  // Public for the metaclass factory; programs are made through TShaderProgramClass::Create.
  TOpenGLShaderProgram() = default;
  // Clears the registry and deletes the program; the stage shaders belong to their owners.
  ~TOpenGLShaderProgram() override;

  // The program and its vertex and pixel stages exist and GL knows the program.
  bool Available() override;
  // Raises "cannot use shader program" when GL reports an error.
  void Use() override;
  // The size of the first active uniform whose name equals AName ignoring case, 0 when none.
  // Names are read into a 100-byte buffer, so longer names never match.
  int32_t FindActiveUniformSize(std::string_view AName) const;

  PUniformBufferStruct RegisterUniformBuffer(std::string_view AName, const void* AData,
                                             int64_t ASize) override;
  void PushUniformBuffers() override;

protected:
  void CreateProgram(TContextShader* AVS, TContextShader* AGS, TContextShader* ATSE, TContextShader* ATSC,
                     TContextShader* APS) override;
  void ReleaseUniformBuffer(TUniformBufferStruct& AEntry) override;

private:
  void LinkProgram();
  void CollectVariables(std::span<TContextShader* const> AStages);
};

// Vertex attributes bound to locations 0 .. 12 before every link.
inline constexpr std::array<const char*, 13> ShaderAttributeNames = {
    "a_Position",  "a_Normal",    "a_Color",     "a_Color1",   "a_Color2",  "a_Color3",      "a_TexCoord0",
    "a_TexCoord1", "a_TexCoord2", "a_TexCoord3", "a_Binormal", "a_Tangent", "a_ModelMatrix",
};

// The compile step's verdict: a status of 0 is reported with the stage's message, the class name
// and the info log, whether or not the log holds anything. Raises only with AIsInDesignTime.
void CheckShaderCompileStatus(int32_t AStatus, uint32_t AType, std::string_view AClassName,
                              std::string_view AInfoLog, std::string_view ASource, bool AIsInDesignTime);

// The uniform name a variable is looked up by: "_" + name, with "_" after every "."
// ("Light.Color" gives "_Light._Color").
std::string ShaderUniformName(std::string_view AVariableName);

// Installation counter: the first Initialize installs TOpenGLShaderProgram as the program class,
// the matching last Finalize restores TShaderProgram. Called on the UI thread.
void InitializeShaderOpenGL();
void FinalizeShaderOpenGL();

inline constexpr std::string_view SFailedToActivateDefaultProgram =
    "failed to switch to default shader program (%s) - not activated (error #%d)";

} // namespace vantrel
