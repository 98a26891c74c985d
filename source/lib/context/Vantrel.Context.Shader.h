#pragma once
// Linked shader programs of up to five stages, with the uniform variables their sources declare
// and a registry of named uniform blocks that is pushed to binding points before drawing. This
// unit is API-neutral; Vantrel.Context.Shader.OpenGL installs the OpenGL implementation into the
// class reference.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Vantrel.Prelude.h"
#include "context/Vantrel.Context.Buffers.h"
#include "gl/names.h"
#include "rtl/generics.h"
#include "rtl/object.h"
#include "ui/context3d.h"
#include "ui/shaders.h"

namespace vantrel {

// One registered uniform block.
struct TUniformBufferStruct {
  // The block's name in the GLSL text.
  std::string Name;
  // The entry's position in the program's list when it was registered.
  int32_t Binding = -1;
  // The block's contents; owned by whoever registered it.
  const void* Data = nullptr;
  int64_t Size = 0;
  // The GPU buffer of the block, owned by the entry. It keeps the block's index in the program
  // from one push to the next; a change of the registry drops that link.
  rtl::TOwned<TBufferObject> Buffer;
};
using PUniformBufferStruct = TUniformBufferStruct*;

// The class-level answers a program needs from the platform. The framework's context metaclass
// provides them; programs ask the context manager's default class.
class IShaderPlatformQueries {
public:
  virtual TContextShaderArch PlatformGetShaderArch() const = 0;
  virtual int32_t PlatformMaxVertexShaderUniformBlocks() const = 0;
  virtual int32_t PlatformMaxFragmentShaderUniformBlocks() const = 0;
  virtual int32_t PlatformMaxUniformBlockSize() const = 0;

protected:
  ~IShaderPlatformQueries() = default;
};

// The default context class's queries. Raises EContext3DException when no default class is
// registered, EAbstractError when the registered one does not answer them.
const IShaderPlatformQueries& ShaderPlatformQueries();

class TShaderProgram;

// The metaclass: program creation and the class-level operations of an implementation.
class TShaderProgramClass : public rtl::TClass {
public:
  using TClass::TClass;

  // Makes a linked program of the final class. A failure (compile, link, variables) raises and
  // frees whatever was created. The caller frees the program with Free().
  TShaderProgram* Create(TContext3DClass* AContextClass, TContextShader* AVS, TContextShader* APS) const;
  TShaderProgram* Create(TContext3DClass* AContextClass, TContextShader* AVS, TContextShader* AGS,
                         TContextShader* ATSE, TContextShader* ATSC, TContextShader* APS) const;

  // Compiles one stage of type AType (a GL shader-type constant) from ACode and returns the
  // stage's name, also when compilation failed (the failure is reported, and raised only with
  // AIsInDesignTime). The base raises EAbstractError.
  virtual uint32_t BuildShader(uint32_t AType, std::span<const uint8_t> ACode, bool AIsInDesignTime) const;
  // Switches to no program. The base raises EAbstractError.
  virtual void ActivateDefault() const;
};

class TShaderProgram : public rtl::TObject {
  RTL_CLASS_META(TShaderProgram, rtl::TObject, TShaderProgramClass)
  friend class TShaderProgramClass;

public:
  // Variables by name, in the order of collection; lookups take a string_view.
  using TVariables = rtl::TDictionary<std::string, TContextShaderVariable>;

  TContext3DClass* ContextClass() const { return FContextClass; }
  uint32_t VS() const { return FVS.Get(); }
  uint32_t GS() const { return FGS.Get(); }
  uint32_t TSE() const { return FTSE.Get(); }
  uint32_t TSC() const { return FTSC.Get(); }
  uint32_t PS() const { return FPS.Get(); }
  uint32_t Prog() const { return FProg.Get(); }
  const TVariables& Variables() const { return *FVariables; }
  bool UniformBuffersModified() const { return FUniformBuffersModified; }
  int UniformBufferCount() const { return static_cast<int>(FUniformBuffers.size()); }

  virtual bool Available() = 0;
  // Makes the program current when it is available.
  virtual void Use() = 0;

  // Registers a block under AName with its contents (ASize bytes at AData, which stay the
  // caller's) and uploads them. A name already registered returns its entry unchanged; nil when
  // the platform offers one uniform block per stage or fewer. Raises when a limit is exceeded,
  // leaving the list as it was. The entry stays at its address until it is removed.
  virtual PUniformBufferStruct RegisterUniformBuffer(std::string_view AName, const void* AData,
                                                     int64_t ASize);
  // Nothing happens for an unknown name or an index outside 0 .. count - 1.
  void UnregisterUniformBufferByName(std::string_view AName);
  void UnregisterUniformBufferByIdx(int32_t AIdx);
  void ClearUniformBuffers();
  // Exact (case-sensitive) match; -1 when none.
  int32_t IndexOfUniformBuffer(std::string_view AName) const;
  PUniformBufferStruct GetUniformBufferByName(std::string_view AName) const;
  // Binds every block to the binding point of its current position in the list, connects it to
  // the program by name and uploads its contents.
  virtual void PushUniformBuffers();

protected:
  TShaderProgram();

  virtual void CreateProgram(TContextShader* AVS, TContextShader* APS);
  virtual void CreateProgram(TContextShader* AVS, TContextShader* AGS, TContextShader* ATSE,
                             TContextShader* ATSC, TContextShader* APS) = 0;
  // Frees the entry's GPU buffer and zeroes the entry.
  virtual void ReleaseUniformBuffer(TUniformBufferStruct& AEntry) = 0;

  TVariables& MutableVariables() { return *FVariables; }
  void DestroyVariables() { FVariables.reset(); }

  TContext3DClass* FContextClass = nullptr;
  // The stages belong to their shaders; the program owns only its own name.
  gl::TShaderNameView FVS;
  gl::TShaderNameView FGS;
  gl::TShaderNameView FTSE;
  gl::TShaderNameView FTSC;
  gl::TShaderNameView FPS;
  gl::TProgramName FProg;

private:
  void RemoveUniformBuffer(size_t AIndex);

  std::unique_ptr<TVariables> FVariables;
  std::vector<std::unique_ptr<TUniformBufferStruct>> FUniformBuffers;
  bool FUniformBuffersModified = false;
};

// The installed program class: TShaderProgram until an implementation is installed.
TShaderProgramClass& ShaderProgramClass();
// Installs AClass; nullptr restores TShaderProgram.
void SetShaderProgramClass(TShaderProgramClass* AClass);

// Appends copies of AVariables after the source's own variables.
void AddVariables(TContextShaderSource& ASource, std::span<const TContextShaderVariable> AVariables);

inline constexpr std::string_view SUniformBufferVertexBlocksExceeded =
    "failed to register uniform buffer - maximum number of vertex uniform blocks exceeded";
inline constexpr std::string_view SUniformBufferFragmentBlocksExceeded =
    "failed to register uniform buffer - maximum number of fragment uniform blocks exceeded";
inline constexpr std::string_view SUniformBufferSizeExceeded =
    "failed to register uniform buffer - maximum uniform block size exceeded";

} // namespace vantrel
