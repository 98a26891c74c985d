#include "support/triangle_soup.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <span>

#include "context/Vantrel.Context.h"
#include "rtl/sysutils.h"
#include "support/pass_probe.h"
#include "ui/mesh_buffers.h"

namespace vtest {

RTL_DEFINE_CLASS(TTriangleSoup, "Test.TriangleSoup")

using namespace vantrel;

TTriangleSoup::TTriangleSoup(TComponent* AOwner) : TVantrelControl(AOwner) {}

void TTriangleSoup::BeforeDestruction() {
  FOwnMaterial.reset();
  inherited::BeforeDestruction();
}

void TTriangleSoup::SetTriangles(std::vector<TPoint3D> APositions, std::vector<TPoint3D> ANormals) {
  FPositions = std::move(APositions);
  FNormals = std::move(ANormals);
  FNormals.resize(FPositions.size(), TPoint3D{0, 0, 1});
  float extent[3] = {0.01f, 0.01f, 0.01f};
  for (const TPoint3D& p : FPositions) {
    extent[0] = std::max(extent[0], 2 * std::fabs(p.X));
    extent[1] = std::max(extent[1], 2 * std::fabs(p.Y));
    extent[2] = std::max(extent[2], 2 * std::fabs(p.Z));
  }
  SetWidth(extent[0]);
  SetHeight(extent[1]);
  SetDepth(extent[2]);
}

void TTriangleSoup::Render() {
  if (FPositions.empty())
    return;
  if (!Material && !FOwnMaterial)
    FOwnMaterial = std::make_unique<TFiveTargetColorMaterial>(TAlphaColorF{0.5f, 0.5f, 0.5f, 1},
                                                              Format("soup-%d", reinterpret_cast<intptr_t>(this)));
  TVertexBuffer vertices(TVertexFormats{TVertexFormat::Vertex, TVertexFormat::Normal}, int32_t(FPositions.size()));
  TIndexBuffer indices(int32_t(FPositions.size()));
  for (size_t i = 0; i < FPositions.size(); ++i) {
    vertices.SetVertices(int32_t(i), FPositions[i]);
    vertices.SetNormals(int32_t(i), FNormals[i]);
    indices.SetIndices(int32_t(i), uint32_t(i));
  }
  if (!Instances.empty())
    if (auto* context = dynamic_cast<TVantrelContext*>(Context()))
      context->SetInstances(int32_t(Instances.size()), Instances.data());
  Context()->DrawPrimitives(Kind, vertices.Buffer(), indices.Buffer(), vertices.GetVertexDeclarations(),
                            vertices.VertexSize(), vertices.Length(), indices.IndexSize(), indices.Length(),
                            Material ? Material : FOwnMaterial.get(), 1);
}

void AddQuad(std::vector<TPoint3D>& APositions, std::vector<TPoint3D>& ANormals, const TPoint3D& ACenter,
             const TPoint3D& AU, const TPoint3D& AV, const TPoint3D& AN) {
  const TPoint3D corners[4] = {ACenter - AU - AV, ACenter + AU - AV, ACenter + AU + AV, ACenter - AU + AV};
  for (int index : {0, 1, 2, 0, 2, 3}) {
    APositions.push_back(corners[index]);
    ANormals.push_back(AN);
  }
}

// ---- Volume -----------------------------------------------------------------------------------------

TRGBA8 TVolume::At(int AX, int AY, int AZ) const {
  const size_t offset = ((size_t(AZ) * Height + AY) * Width + AX) * 4;
  return {Bytes[offset], Bytes[offset + 1], Bytes[offset + 2], Bytes[offset + 3]};
}

std::vector<TVolume::TTexel> TVolume::Written() const {
  std::vector<TTexel> result;
  for (int z = 0; z < Depth; ++z)
    for (int y = 0; y < Height; ++y)
      for (int x = 0; x < Width; ++x) {
        const TRGBA8 c = At(x, y, z);
        if (c.R || c.G || c.B || c.A)
          result.push_back({x, y, z, c});
      }
  return result;
}

TVolume ReadVolume(const ui::TTexture* ATexture) {
  TVolume volume;
  if (!ATexture)
    return volume;
  glMemoryBarrier(GL_TEXTURE_UPDATE_BARRIER_BIT | GL_SHADER_IMAGE_ACCESS_BARRIER_BIT);
  GLint previous = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_3D, &previous);
  glBindTexture(GL_TEXTURE_3D, GLuint(ATexture->Handle()));
  glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_WIDTH, &volume.Width);
  glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_HEIGHT, &volume.Height);
  glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_DEPTH, &volume.Depth);
  volume.Bytes.resize(size_t(volume.Width) * volume.Height * volume.Depth * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_3D, 0, GL_RGBA, GL_UNSIGNED_BYTE, volume.Bytes.data());
  glBindTexture(GL_TEXTURE_3D, GLuint(previous));
  return volume;
}

// ---- GLSL probe -------------------------------------------------------------------------------------

std::vector<float> EvalGLSL(const std::vector<std::string>& ATexts, const std::string& AExpression,
                            const std::vector<uint8_t>& ABlock) {
  std::string fragment;
  for (const std::string& text : ATexts)
    fragment += text;
  if (fragment.find("o_FragColor") == std::string::npos)
    fragment += "layout (location = 0) out vec4 o_FragColor;\n";
  fragment += "void main(){ o_FragColor = vec4(" + AExpression + "); }\n";
  const char* vertex = "#version 430\n"
                       "out vec4 TEX0;\n"
                       "void main(){\n"
                       "  vec2 corners[3] = vec2[3](vec2(-1.0, -1.0), vec2(3.0, -1.0), vec2(-1.0, 3.0));\n"
                       "  TEX0 = vec4(0.5, 0.5, 0.0, 1.0);\n"
                       "  gl_Position = vec4(corners[gl_VertexID], 0.0, 1.0);\n"
                       "}\n";
  const GLuint program = BuildProgram(vertex, fragment.c_str());
  GLint previousFramebuffer = 0, viewport[4] = {};
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previousFramebuffer);
  glGetIntegerv(GL_VIEWPORT, viewport);
  GLuint texture = 0, framebuffer = 0, buffer = 0, vao = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, 1, 1, 0, GL_RGBA, GL_FLOAT, nullptr);
  glGenFramebuffers(1, &framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
  const GLenum drawBuffer = GL_COLOR_ATTACHMENT0;
  glDrawBuffers(1, &drawBuffer);
  glViewport(0, 0, 1, 1);
  glGenBuffers(1, &buffer);
  glBindBuffer(GL_UNIFORM_BUFFER, buffer);
  glBufferData(GL_UNIFORM_BUFFER, GLsizeiptr(std::max<size_t>(ABlock.size(), 16)), nullptr, GL_STATIC_DRAW);
  if (!ABlock.empty())
    glBufferSubData(GL_UNIFORM_BUFFER, 0, GLsizeiptr(ABlock.size()), ABlock.data());
  glBindBufferBase(GL_UNIFORM_BUFFER, 0, buffer);
  glGenVertexArrays(1, &vao);
  glBindVertexArray(vao);
  glDisable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glUseProgram(program);
  glDrawArrays(GL_TRIANGLES, 0, 3);
  std::vector<float> result(4, 0.0f);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  glReadPixels(0, 0, 1, 1, GL_RGBA, GL_FLOAT, result.data());
  glUseProgram(0);
  glBindVertexArray(0);
  glDeleteVertexArrays(1, &vao);
  glBindBufferBase(GL_UNIFORM_BUFFER, 0, 0);
  glDeleteBuffers(1, &buffer);
  glBindFramebuffer(GL_FRAMEBUFFER, GLuint(previousFramebuffer));
  glDeleteFramebuffers(1, &framebuffer);
  glDeleteTextures(1, &texture);
  glDeleteProgram(program);
  glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
  return result;
}

} // namespace vtest
