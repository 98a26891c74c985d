#include "node_harness.h"

#include <stdexcept>

#include "context/Vantrel.Context.GLES.Windows.h"

namespace vtest {

using namespace vantrel;

namespace {

// Fixed text put into a tree by the harness.
class TRawTextNode : public TVantrelNodeEntity {
public:
  TRawTextNode(TVantrelNodeBuilder* ABuilder, std::string AText)
      : TVantrelNodeEntity(ABuilder), FText(std::move(AText)) {}
  void WriteText(std::string& AOut) const override { AOut += FText; }

private:
  std::string FText;
};

std::string WithCrLf(std::string_view AText) {
  std::string result;
  AppendGLSL(result, AText);
  return result;
}

void SetNearest(GLenum ATarget) {
  glTexParameteri(ATarget, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(ATarget, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(ATarget, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(ATarget, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexParameteri(ATarget, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
}

std::map<std::string, std::unique_ptr<TEffectProgram>>& Programs() {
  static std::map<std::string, std::unique_ptr<TEffectProgram>> programs;
  return programs;
}

} // namespace

void TEffectProgram::Use() const {
  Linked.Program->Use();
  Linked.Program->PushUniformBuffers();
}

void TEffectProgram::BindTexture(const char* ASampler, GLenum ATarget, GLuint ATexture, GLint AUnit) const {
  Linked.Program->Use();
  glActiveTexture(GL_TEXTURE0 + AUnit);
  glBindTexture(ATarget, ATexture);
  glUniform1i(glGetUniformLocation(Prog(), ASampler), AUnit);
  glActiveTexture(GL_TEXTURE0);
}

void TEffectProgram::SetInputs(const std::vector<TFloat4>& AInputs) const {
  Linked.Program->Use();
  glUniform4fv(glGetUniformLocation(Prog(), "_In"), static_cast<GLsizei>(AInputs.size()), AInputs[0].data());
}

std::unique_ptr<TEffectProgram> MakeEffectProgram(const TShaderVariantRow& ARow,
                                                  std::string_view AHarnessMain) {
  auto program = std::make_unique<TEffectProgram>();
  program->Builders = MakeVariantBuilders(ARow);
  if (!AHarnessMain.empty()) {
    TVantrelGLSLFragmentShader& fragment = *program->Builders.Fragment;
    fragment.Globals()->Uniforms()->Add(
        std::make_unique<TRawTextNode>(&fragment, "uniform vec4 _In[32];\r\n"));
    fragment.EntryPoint()->Clear();
    fragment.EntryPoint()->Add(std::make_unique<TRawTextNode>(
        &fragment, WithCrLf("  int l_Case = int(gl_FragCoord.x);\n" + std::string(AHarnessMain))));
  }
  program->Linked =
      CompileAndLink(ARow, program->Builders.Vertex->ToString(), program->Builders.Fragment->ToString());
  program->Data = std::make_unique<TVantrelShaderData>(TVantrelShaderData::Create());
  TVantrelShaderData& data = *program->Data;
  data.ModelViewProjectionMatrix = data.ViewMatrix = data.ProjectionMatrix = TMatrix3D::Identity();
  data.FogMode = 0;
  data.Options = 0;
  program->Linked.Program->RegisterUniformBuffer("ShaderData", program->Data.get(),
                                                 sizeof(TVantrelShaderData));
  return program;
}

TRawTexture::TRawTexture(int AWidth, int AHeight, GLenum AInternalFormat, const std::vector<float>& ATexels) {
  glGenTextures(1, &FTexture);
  glBindTexture(GL_TEXTURE_2D, FTexture);
  SetNearest(GL_TEXTURE_2D);
  GLenum format = GL_RGBA;
  if (AInternalFormat == GL_R32F)
    format = GL_RED;
  else if (AInternalFormat == GL_RG32F)
    format = GL_RG;
  glTexImage2D(GL_TEXTURE_2D, 0, AInternalFormat, AWidth, AHeight, 0, format, GL_FLOAT, ATexels.data());
  glBindTexture(GL_TEXTURE_2D, 0);
}

TRawTexture::TRawTexture(const std::array<TFloat4, 6>& AFaces) {
  glGenTextures(1, &FTexture);
  glBindTexture(GL_TEXTURE_CUBE_MAP, FTexture);
  SetNearest(GL_TEXTURE_CUBE_MAP);
  for (int face = 0; face < 6; ++face)
    glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_FLOAT,
                 AFaces[face].data());
  glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
}

TRawTexture::~TRawTexture() {
  glDeleteTextures(1, &FTexture);
}

TFloatTargets::TFloatTargets(int AWidth, int AHeight, const std::vector<GLenum>& AFormats)
    : FWidth(AWidth), FHeight(AHeight), FTextures(AFormats.size()) {
  glGenFramebuffers(1, &FFramebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, FFramebuffer);
  glGenTextures(static_cast<GLsizei>(FTextures.size()), FTextures.data());
  std::vector<GLenum> buffers;
  for (size_t i = 0; i < AFormats.size(); ++i) {
    glBindTexture(GL_TEXTURE_2D, FTextures[i]);
    glTexStorage2D(GL_TEXTURE_2D, 1, AFormats[i], AWidth, AHeight);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, GL_TEXTURE_2D, FTextures[i], 0);
    buffers.push_back(GL_COLOR_ATTACHMENT0 + i);
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  glDrawBuffers(static_cast<GLsizei>(buffers.size()), buffers.data());
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
    throw std::runtime_error("float targets incomplete");
  glViewport(0, 0, AWidth, AHeight);
}

TFloatTargets::~TFloatTargets() {
  glDeleteFramebuffers(1, &FFramebuffer);
  glDeleteTextures(static_cast<GLsizei>(FTextures.size()), FTextures.data());
}

void TFloatTargets::Clear(const TFloat4& AClear) const {
  glBindFramebuffer(GL_FRAMEBUFFER, FFramebuffer);
  for (size_t i = 0; i < FTextures.size(); ++i)
    glClearBufferfv(GL_COLOR, static_cast<GLint>(i), AClear.data());
}

std::vector<TFloat4> TFloatTargets::Read(int AAttachment) const {
  std::vector<TFloat4> pixels(static_cast<size_t>(FWidth) * FHeight);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, FFramebuffer);
  glReadBuffer(GL_COLOR_ATTACHMENT0 + AAttachment);
  glReadPixels(0, 0, FWidth, FHeight, GL_RGBA, GL_FLOAT, pixels.data());
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  return pixels;
}

void EffectGLTest::TearDownTestSuite() {
  // Stage shaders are released through the default context class. The class found here is put
  // back afterwards: a later fixture's objects (textures freed after its TearDown) finalise their
  // GL names through it, and with no class they would keep them.
  ui::TContext3DClass* previous = ui::TContextManager::DefaultContextClass();
  ui::TContextManager::RegisterContext(TContextOpenGLWindows::StaticClass(), true);
  Programs().clear();
  if (previous)
    ui::TContextManager::RegisterContext(*previous, true);
  else
    ui::TContextManager::UnregisterContexts();
}

void EffectGLTest::SetUp() {
  ContextGLTest::SetUp();
  KeepProgramsForTheSuite();
  UseFrameBuffer(64, 64);
  glGenVertexArrays(1, &FVertexArray);
  glBindVertexArray(FVertexArray);
  glGenBuffers(1, &FBuffer);
  glBindBuffer(GL_ARRAY_BUFFER, FBuffer);
  SetUpVariantQuad();
}

void EffectGLTest::TearDown() {
  glUseProgram(0);
  glBindVertexArray(0);
  glDeleteBuffers(1, &FBuffer);
  glDeleteVertexArrays(1, &FVertexArray);
  ContextGLTest::TearDown();
}

TEffectProgram& EffectGLTest::Program(const std::string& AName, const TShaderVariantRow& ARow,
                                      std::string_view AHarnessMain) {
  auto found = Programs().find(AName);
  if (found == Programs().end())
    found = Programs().emplace(AName, MakeEffectProgram(ARow, AHarnessMain)).first;
  return *found->second;
}

std::vector<TFloat4> EffectGLTest::RunHarness(TEffectProgram& AProgram, const std::vector<TFloat4>& AInputs,
                                              int ACases) {
  std::vector<TFloat4> result;
  {
    TFloatTargets target(ACases, 1, {GL_RGBA32F});
    target.Clear({-1, -1, -1, -1});
    if (!AInputs.empty())
      AProgram.SetInputs(AInputs);
    DrawQuad(AProgram);
    result = target.Read(0);
  }
  FrameBuffer()->Bind();
  return result;
}

void EffectGLTest::DrawQuad(const TEffectProgram& AProgram) const {
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  AProgram.Use();
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

} // namespace vtest
