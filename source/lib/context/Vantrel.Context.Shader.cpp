#include "context/Vantrel.Context.Shader.h"

#include <cstdint>
#include <memory>
#include <utility>

#include "rtl/exceptions.h"
#include "rtl/sync.h"

namespace vantrel {

RTL_DEFINE_CLASS_META(TShaderProgram, "Vantrel.Context.Shader", TShaderProgramClass)

namespace {

TShaderProgramClass* InstalledProgramClass = nullptr;

// Runs the creation body on an instance that has not seen AfterConstruction yet; a raise frees it.
template <class TBody> TShaderProgram* CreateProgramOf(const TShaderProgramClass& AClass, TBody&& ABody) {
  TOwned<TShaderProgram> program(CheckedCast<TShaderProgram>(AClass.NewInstance()));
  ABody(*program);
  return Construct(program.release());
}

} // namespace

const IShaderPlatformQueries& ShaderPlatformQueries() {
  TContext3DClass* contextClass = TContextManager::DefaultContextClass();
  if (!contextClass)
    throw EContext3DException(ui::messages::NoDefaultContextClass);
  const auto* queries = dynamic_cast<const IShaderPlatformQueries*>(contextClass);
  if (!queries)
    throw EAbstractError(rtl::messages::AbstractError);
  return *queries;
}

// ---- TShaderProgramClass ------------------------------------------------------------------------

TShaderProgram* TShaderProgramClass::Create(TContext3DClass* AContextClass, TContextShader* AVS,
                                            TContextShader* APS) const {
  return CreateProgramOf(*this, [&](TShaderProgram& AProgram) {
    AProgram.FContextClass = AContextClass;
    AProgram.CreateProgram(AVS, APS);
  });
}

TShaderProgram* TShaderProgramClass::Create(TContext3DClass* AContextClass, TContextShader* AVS,
                                            TContextShader* AGS, TContextShader* ATSE, TContextShader* ATSC,
                                            TContextShader* APS) const {
  return CreateProgramOf(*this, [&](TShaderProgram& AProgram) {
    AProgram.FContextClass = AContextClass;
    AProgram.CreateProgram(AVS, AGS, ATSE, ATSC, APS);
  });
}

uint32_t TShaderProgramClass::BuildShader(uint32_t, std::span<const uint8_t>, bool) const {
  throw EAbstractError(rtl::messages::AbstractError);
}

void TShaderProgramClass::ActivateDefault() const {
  throw EAbstractError(rtl::messages::AbstractError);
}

// ---- TShaderProgram -----------------------------------------------------------------------------

TShaderProgram::TShaderProgram() : FVariables(std::make_unique<TVariables>()) {}

void TShaderProgram::CreateProgram(TContextShader* AVS, TContextShader* APS) {
  CreateProgram(AVS, nullptr, nullptr, nullptr, APS);
}

PUniformBufferStruct TShaderProgram::RegisterUniformBuffer(std::string_view AName, const void* AData,
                                                           int64_t ASize) {
  TMonitorLock lock(this);
  if (PUniformBufferStruct existing = GetUniformBufferByName(AName))
    return existing;
  const IShaderPlatformQueries& platform = ShaderPlatformQueries();
  const int32_t maxVertexBlocks = platform.PlatformMaxVertexShaderUniformBlocks();
  const int32_t maxFragmentBlocks = platform.PlatformMaxFragmentShaderUniformBlocks();
  if (maxVertexBlocks <= 1 || maxFragmentBlocks <= 1)
    return nullptr;
  const auto count = static_cast<int64_t>(FUniformBuffers.size());
  if (count >= maxVertexBlocks)
    throw Exception(std::string(SUniformBufferVertexBlocksExceeded));
  if (count >= maxFragmentBlocks)
    throw Exception(std::string(SUniformBufferFragmentBlocksExceeded));
  if (ASize > platform.PlatformMaxUniformBlockSize())
    throw Exception(std::string(SUniformBufferSizeExceeded));

  auto entry = std::make_unique<TUniformBufferStruct>();
  entry->Name = AName;
  entry->Data = AData;
  entry->Size = ASize;
  entry->Binding = static_cast<int32_t>(count);
  entry->Buffer.reset(TBufferObject::BufferObjectClass().Create(TBufferUsage::DynamicDraw,
                                                                TBufferBindingTarget::Uniform, nullptr));
  {
    TBufferObjectBinding binding(*entry->Buffer);
    entry->Buffer->Push(AData, static_cast<intptr_t>(ASize));
  }
  // Appended only once its buffer is filled, so a raise leaves the list as it was.
  FUniformBuffers.push_back(std::move(entry));
  FUniformBuffersModified = true;
  return FUniformBuffers.back().get();
}

void TShaderProgram::RemoveUniformBuffer(size_t AIndex) {
  std::unique_ptr<TUniformBufferStruct> entry = std::move(FUniformBuffers[AIndex]);
  FUniformBuffers.erase(FUniformBuffers.begin() + static_cast<std::ptrdiff_t>(AIndex));
  ReleaseUniformBuffer(*entry);
  FUniformBuffersModified = true;
}

void TShaderProgram::UnregisterUniformBufferByName(std::string_view AName) {
  TMonitorLock lock(this);
  const int32_t index = IndexOfUniformBuffer(AName);
  if (index >= 0)
    RemoveUniformBuffer(static_cast<size_t>(index));
}

void TShaderProgram::UnregisterUniformBufferByIdx(int32_t AIdx) {
  TMonitorLock lock(this);
  if (AIdx >= 0 && static_cast<size_t>(AIdx) < FUniformBuffers.size())
    RemoveUniformBuffer(static_cast<size_t>(AIdx));
}

void TShaderProgram::ClearUniformBuffers() {
  TMonitorLock lock(this);
  for (const std::unique_ptr<TUniformBufferStruct>& entry : FUniformBuffers)
    ReleaseUniformBuffer(*entry);
  FUniformBuffers.clear();
  FUniformBuffersModified = true;
}

int32_t TShaderProgram::IndexOfUniformBuffer(std::string_view AName) const {
  for (size_t i = 0; i < FUniformBuffers.size(); ++i)
    if (FUniformBuffers[i]->Name == AName)
      return static_cast<int32_t>(i);
  return -1;
}

PUniformBufferStruct TShaderProgram::GetUniformBufferByName(std::string_view AName) const {
  const int32_t index = IndexOfUniformBuffer(AName);
  return index < 0 ? nullptr : FUniformBuffers[static_cast<size_t>(index)].get();
}

void TShaderProgram::PushUniformBuffers() {
  TMonitorLock lock(this);
  for (size_t i = 0; i < FUniformBuffers.size(); ++i) {
    TUniformBufferStruct& entry = *FUniformBuffers[i];
    if (!entry.Buffer)
      continue;
    TBufferObject& buffer = *entry.Buffer;
    // Positions shift when the list changes, so every block is looked up again.
    if (FUniformBuffersModified)
      buffer.Unlink();
    const auto bindingPoint = static_cast<uint32_t>(i);
    buffer.LinkWithBindingPoint(bindingPoint, false);
    buffer.LinkWithShaderProgram(FProg.Get(), entry.Name, nullptr, 0, false);
    TBufferObjectBinding binding(buffer);
    buffer.Push(entry.Data, static_cast<intptr_t>(entry.Size));
  }
  FUniformBuffersModified = false;
}

// ---- Class reference and helpers ----------------------------------------------------------------

TShaderProgramClass& ShaderProgramClass() {
  return InstalledProgramClass ? *InstalledProgramClass : TShaderProgram::StaticClass();
}

void SetShaderProgramClass(TShaderProgramClass* AClass) {
  InstalledProgramClass = AClass;
}

void AddVariables(TContextShaderSource& ASource, std::span<const TContextShaderVariable> AVariables) {
  ASource.Variables.insert(ASource.Variables.end(), AVariables.begin(), AVariables.end());
}

} // namespace vantrel
