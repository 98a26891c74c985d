#pragma once
// Records the GL work of one frame and replays it as plain GL calls: the raw peer of a frame
// benchmark. Recording wraps the draw, buffer-clear and read-back entry points for the length of
// one frame and snapshots, at each of those calls, the state the call depends on: the frame
// buffer with its colour attachments and draw buffers, the viewport, the depth, blend, cull and
// scissor switches and masks, the program with its uniform values, the textures on its sampler
// units, the contents of its uniform blocks, and the vertex and index arrays of the draw. The
// replay sets exactly that state call by call (attachments only where they change, as a frame
// buffer is re-attached only then) and repeats the calls, so the peer does the same GPU work with
// the fewest GL calls that can do it.

#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vbench {

class TGLFrameRecorder {
public:
  // Wraps the entry points; the frame runs; the originals come back. The entry points must have
  // been called once before (after a warm-up frame), so that they hold the resolved functions.
  template <class F> void Record(F AFrame) {
    FActive = this;
    FDrawElements = epoxy_glDrawElements;
    FDrawArrays = epoxy_glDrawArrays;
    FClearBufferfv = epoxy_glClearBufferfv;
    FReadPixels = epoxy_glReadPixels;
    epoxy_glDrawElements = &HookDrawElements;
    epoxy_glDrawArrays = &HookDrawArrays;
    epoxy_glClearBufferfv = &HookClearBufferfv;
    epoxy_glReadPixels = &HookReadPixels;
    AFrame();
    epoxy_glDrawElements = FDrawElements;
    epoxy_glDrawArrays = FDrawArrays;
    epoxy_glClearBufferfv = FClearBufferfv;
    epoxy_glReadPixels = FReadPixels;
    FActive = nullptr;
  }

  // Makes the replay's own objects (uniform buffers, the read-back frame buffer).
  void Prepare() {
    for (TOp& op : FOps)
      for (TBlock& block : op.Blocks) {
        glGenBuffers(1, &block.Buffer);
        glBindBuffer(GL_UNIFORM_BUFFER, block.Buffer);
        glBufferData(GL_UNIFORM_BUFFER, GLsizeiptr(block.Data.size()), nullptr, GL_DYNAMIC_DRAW);
      }
    glBindBuffer(GL_UNIFORM_BUFFER, 0);
    glGenFramebuffers(1, &FReadBuffer);
  }

  void Release() {
    for (TOp& op : FOps)
      for (TBlock& block : op.Blocks)
        glDeleteBuffers(1, &block.Buffer);
    glDeleteFramebuffers(1, &FReadBuffer);
    FReadBuffer = 0;
  }

  // One replay of the recorded frame, read-back included; ends with glFinish unless AFinish is
  // false (a caller that adds work of its own finishes after it).
  void Replay(bool AFinish = true) {
    for (TOp& op : FOps)
      switch (op.Kind) {
      case TOpKind::Clear:
        SetTarget(op);
        glClearBufferfv(op.Buffer, op.DrawBuffer, op.Value.data());
        break;
      case TOpKind::Draw:
        SetTarget(op);
        Draw(op);
        break;
      case TOpKind::ReadPixels:
        glBindFramebuffer(GL_READ_FRAMEBUFFER, FReadBuffer);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, op.ReadTexture, 0);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(op.Viewport[0], op.Viewport[1], op.Viewport[2], op.Viewport[3], op.Format, op.Type,
                     FPixels.data());
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        break;
      }
    if (AFinish)
      glFinish();
  }

  // What the last replayed read-back read.
  const std::vector<uint8_t>& Pixels() const { return FPixels; }
  size_t Draws() const { return Count(TOpKind::Draw); }
  size_t Clears() const { return Count(TOpKind::Clear); }
  size_t ReadBacks() const { return Count(TOpKind::ReadPixels); }
  size_t Programs() const {
    std::vector<GLuint> programs;
    for (const TOp& op : FOps)
      if (op.Kind == TOpKind::Draw && std::find(programs.begin(), programs.end(), op.Program) == programs.end())
        programs.push_back(op.Program);
    return programs.size();
  }

private:
  enum class TOpKind : uint8_t { Clear, Draw, ReadPixels };
  struct TUniform {
    GLint Location;
    GLenum Type;
    // Elements of a vec4 array of up to four (a matrix handed over as its four rows); else 1.
    GLsizei Count = 1;
    std::array<GLfloat, 16> Floats{};
    std::array<GLint, 4> Ints{};
  };
  struct TBlock {
    GLuint Binding;
    std::vector<uint8_t> Data;
    GLuint Buffer = 0;
  };
  struct TAttribute {
    GLuint Index;
    GLint Size;
    GLenum Type;
    GLboolean Normalized;
    GLsizei Stride;
    std::vector<uint8_t> Data;
  };
  struct TOp {
    TOpKind Kind;
    GLuint Framebuffer = 0;
    std::array<GLuint, 8> Attachments{};
    // The 2D target each attachment was made with: GL_TEXTURE_2D, or a cube map's face.
    std::array<GLenum, 8> AttachTargets{};
    std::array<GLenum, 8> DrawBuffers{};
    GLint DrawBufferCount = 0;
    std::array<GLint, 4> Viewport{};
    std::array<GLboolean, 4> ColorMask{};
    GLboolean DepthMask = GL_TRUE;
    bool DepthTest = false, Blend = false, Cull = false, Scissor = false;
    // Clears.
    GLenum Buffer = 0;
    GLint DrawBuffer = 0;
    std::array<GLfloat, 4> Value{};
    // Draws.
    GLuint Program = 0;
    GLenum Mode = 0;
    GLsizei Count = 0;
    GLenum IndexType = 0;
    std::vector<uint8_t> Indices;
    std::vector<TAttribute> Attributes;
    std::vector<TUniform> Uniforms;
    std::vector<std::pair<GLenum, GLuint>> Textures; // unit, texture
    std::vector<TBlock> Blocks;
    // Read-back.
    GLuint ReadTexture = 0;
    GLenum Format = 0, Type = 0;
  };

  size_t Count(TOpKind AKind) const {
    return size_t(std::count_if(FOps.begin(), FOps.end(), [&](const TOp& AOp) { return AOp.Kind == AKind; }));
  }

  static void Enable(GLenum ACapability, bool AOn) { AOn ? glEnable(ACapability) : glDisable(ACapability); }

  void SetTarget(const TOp& AOp) {
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, AOp.Framebuffer);
    if (AOp.Framebuffer != 0) {
      std::array<GLuint, 8>& attached = FAttached[AOp.Framebuffer];
      std::array<GLenum, 8>& targets = FAttachedTargets[AOp.Framebuffer];
      for (size_t i = 0; i < attached.size(); ++i)
        if (AOp.Attachments[i] != 0 && (attached[i] != AOp.Attachments[i] || targets[i] != AOp.AttachTargets[i])) {
          glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GLenum(GL_COLOR_ATTACHMENT0 + i), AOp.AttachTargets[i],
                                 AOp.Attachments[i], 0);
          attached[i] = AOp.Attachments[i];
          targets[i] = AOp.AttachTargets[i];
        }
      glDrawBuffers(AOp.DrawBufferCount, AOp.DrawBuffers.data());
    }
    glViewport(AOp.Viewport[0], AOp.Viewport[1], AOp.Viewport[2], AOp.Viewport[3]);
    glColorMask(AOp.ColorMask[0], AOp.ColorMask[1], AOp.ColorMask[2], AOp.ColorMask[3]);
    glDepthMask(AOp.DepthMask);
    Enable(GL_SCISSOR_TEST, AOp.Scissor);
  }

  void Draw(TOp& AOp) {
    Enable(GL_DEPTH_TEST, AOp.DepthTest);
    Enable(GL_BLEND, AOp.Blend);
    Enable(GL_CULL_FACE, AOp.Cull);
    glUseProgram(AOp.Program);
    for (const TUniform& uniform : AOp.Uniforms)
      SetUniform(uniform);
    for (const auto& [unit, texture] : AOp.Textures) {
      glActiveTexture(unit);
      glBindTexture(GL_TEXTURE_2D, texture);
    }
    glActiveTexture(GL_TEXTURE0);
    for (TBlock& block : AOp.Blocks) {
      glBindBuffer(GL_UNIFORM_BUFFER, block.Buffer);
      glBufferSubData(GL_UNIFORM_BUFFER, 0, GLsizeiptr(block.Data.size()), block.Data.data());
      glBindBufferBase(GL_UNIFORM_BUFFER, block.Binding, block.Buffer);
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    for (const TAttribute& attribute : AOp.Attributes) {
      glEnableVertexAttribArray(attribute.Index);
      glVertexAttribPointer(attribute.Index, attribute.Size, attribute.Type, attribute.Normalized, attribute.Stride,
                            attribute.Data.data());
    }
    if (AOp.IndexType != 0)
      glDrawElements(AOp.Mode, AOp.Count, AOp.IndexType, AOp.Indices.data());
    else
      glDrawArrays(AOp.Mode, 0, AOp.Count);
    for (const TAttribute& attribute : AOp.Attributes)
      glDisableVertexAttribArray(attribute.Index);
  }

  static void SetUniform(const TUniform& AUniform) {
    const GLfloat* f = AUniform.Floats.data();
    const GLint* i = AUniform.Ints.data();
    switch (AUniform.Type) {
    case GL_FLOAT: glUniform1fv(AUniform.Location, 1, f); break;
    case GL_FLOAT_VEC2: glUniform2fv(AUniform.Location, 1, f); break;
    case GL_FLOAT_VEC3: glUniform3fv(AUniform.Location, 1, f); break;
    case GL_FLOAT_VEC4: glUniform4fv(AUniform.Location, AUniform.Count, f); break;
    case GL_FLOAT_MAT4: glUniformMatrix4fv(AUniform.Location, 1, GL_FALSE, f); break;
    case GL_INT:
    case GL_BOOL: glUniform1iv(AUniform.Location, 1, i); break;
    default: break;
    }
  }

  // ---- Recording ----

  void SnapshotTarget(TOp& AOp) {
    GLint value = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &value);
    AOp.Framebuffer = GLuint(value);
    if (AOp.Framebuffer != 0) {
      for (GLenum i = 0; i < 8; ++i) {
        GLint type = GL_NONE, name = 0;
        glGetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i,
                                              GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
        GLint face = 0;
        if (type == GL_TEXTURE) {
          glGetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i,
                                                GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &name);
          glGetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i,
                                                GL_FRAMEBUFFER_ATTACHMENT_TEXTURE_CUBE_MAP_FACE, &face);
        }
        AOp.Attachments[i] = GLuint(name);
        AOp.AttachTargets[i] = face != 0 ? GLenum(face) : GLenum(GL_TEXTURE_2D);
        GLint buffer = GL_NONE;
        glGetIntegerv(GLenum(GL_DRAW_BUFFER0 + i), &buffer);
        AOp.DrawBuffers[i] = GLenum(buffer);
        if (buffer != GL_NONE)
          AOp.DrawBufferCount = GLint(i) + 1;
      }
    }
    glGetIntegerv(GL_VIEWPORT, AOp.Viewport.data());
    glGetBooleanv(GL_COLOR_WRITEMASK, AOp.ColorMask.data());
    glGetBooleanv(GL_DEPTH_WRITEMASK, &AOp.DepthMask);
    AOp.DepthTest = glIsEnabled(GL_DEPTH_TEST);
    AOp.Blend = glIsEnabled(GL_BLEND);
    AOp.Cull = glIsEnabled(GL_CULL_FACE);
    AOp.Scissor = glIsEnabled(GL_SCISSOR_TEST);
  }

  void SnapshotProgram(TOp& AOp) {
    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    AOp.Program = GLuint(program);
    GLint count = 0;
    glGetProgramiv(AOp.Program, GL_ACTIVE_UNIFORMS, &count);
    for (GLuint index = 0; index < GLuint(count); ++index) {
      char name[256];
      GLint size = 0, block = -1;
      GLenum type = 0;
      glGetActiveUniform(AOp.Program, index, sizeof(name), nullptr, &size, &type, name);
      glGetActiveUniformsiv(AOp.Program, 1, &index, GL_UNIFORM_BLOCK_INDEX, &block);
      const GLint location = glGetUniformLocation(AOp.Program, name);
      if (block >= 0 || location < 0)
        continue;
      if (type == GL_SAMPLER_2D) {
        GLint unit = 0, texture = 0;
        glGetUniformiv(AOp.Program, location, &unit);
        glActiveTexture(GLenum(GL_TEXTURE0 + unit));
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
        AOp.Textures.emplace_back(GLenum(GL_TEXTURE0 + unit), GLuint(texture));
        continue;
      }
      TUniform uniform{location, type};
      if (type == GL_INT || type == GL_BOOL)
        glGetUniformiv(AOp.Program, location, uniform.Ints.data());
      else if (type == GL_FLOAT_VEC4 && size > 1 && size <= 4) {
        // Each element is read at its own location; the replay sets them in one call.
        std::string base(name);
        base = base.substr(0, base.find('['));
        uniform.Count = size;
        for (GLint element = 0; element < size; ++element)
          glGetUniformfv(AOp.Program, glGetUniformLocation(AOp.Program, (base + "[" + std::to_string(element) + "]").c_str()),
                         uniform.Floats.data() + 4 * element);
      } else
        glGetUniformfv(AOp.Program, location, uniform.Floats.data());
      AOp.Uniforms.push_back(uniform);
    }
    glActiveTexture(GL_TEXTURE0);
    GLint blocks = 0;
    glGetProgramiv(AOp.Program, GL_ACTIVE_UNIFORM_BLOCKS, &blocks);
    for (GLuint index = 0; index < GLuint(blocks); ++index) {
      GLint binding = 0, size = 0, buffer = 0, previous = 0;
      glGetActiveUniformBlockiv(AOp.Program, index, GL_UNIFORM_BLOCK_BINDING, &binding);
      glGetActiveUniformBlockiv(AOp.Program, index, GL_UNIFORM_BLOCK_DATA_SIZE, &size);
      glGetIntegeri_v(GL_UNIFORM_BUFFER_BINDING, GLuint(binding), &buffer);
      TBlock block{GLuint(binding), std::vector<uint8_t>(size_t(size))};
      if (buffer != 0) {
        glGetIntegerv(GL_COPY_READ_BUFFER_BINDING, &previous);
        glBindBuffer(GL_COPY_READ_BUFFER, GLuint(buffer));
        glGetBufferSubData(GL_COPY_READ_BUFFER, 0, size, block.Data.data());
        glBindBuffer(GL_COPY_READ_BUFFER, GLuint(previous));
      }
      AOp.Blocks.push_back(std::move(block));
    }
  }

  // The client arrays of a draw of AVertices vertices (buffer-sourced arrays are not used by the
  // frames recorded here and are skipped).
  void SnapshotAttributes(TOp& AOp, GLsizei AVertices) {
    for (GLuint index = 0; index < 16; ++index) {
      GLint enabled = 0, buffer = 0, size = 0, type = 0, normalized = 0, stride = 0;
      glGetVertexAttribiv(index, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
      glGetVertexAttribiv(index, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &buffer);
      if (!enabled || buffer != 0)
        continue;
      glGetVertexAttribiv(index, GL_VERTEX_ATTRIB_ARRAY_SIZE, &size);
      glGetVertexAttribiv(index, GL_VERTEX_ATTRIB_ARRAY_TYPE, &type);
      glGetVertexAttribiv(index, GL_VERTEX_ATTRIB_ARRAY_NORMALIZED, &normalized);
      glGetVertexAttribiv(index, GL_VERTEX_ATTRIB_ARRAY_STRIDE, &stride);
      void* pointer = nullptr;
      glGetVertexAttribPointerv(index, GL_VERTEX_ATTRIB_ARRAY_POINTER, &pointer);
      const size_t element = size_t(size) * (type == GL_FLOAT ? 4 : type == GL_UNSIGNED_BYTE ? 1 : 4);
      const size_t step = stride ? size_t(stride) : element;
      // The copy keeps the offsets: attribute i of vertex v stays at v * step.
      TAttribute attribute{index, size, GLenum(type), GLboolean(normalized), GLsizei(step),
                           std::vector<uint8_t>(step * size_t(AVertices))};
      for (GLsizei v = 0; v < AVertices; ++v)
        std::memcpy(attribute.Data.data() + size_t(v) * step, static_cast<const uint8_t*>(pointer) + size_t(v) * step,
                    element);
      AOp.Attributes.push_back(std::move(attribute));
    }
  }

  void OnDraw(GLenum AMode, GLsizei ACount, GLenum AType, const void* AIndices) {
    TOp op{TOpKind::Draw};
    SnapshotTarget(op);
    SnapshotProgram(op);
    op.Mode = AMode;
    op.Count = ACount;
    op.IndexType = AType;
    GLsizei vertices = ACount;
    GLint elementBuffer = 0;
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &elementBuffer);
    if (AType != 0 && elementBuffer == 0) {
      const size_t size = AType == GL_UNSIGNED_SHORT ? 2 : AType == GL_UNSIGNED_BYTE ? 1 : 4;
      op.Indices.assign(static_cast<const uint8_t*>(AIndices), static_cast<const uint8_t*>(AIndices) + size * ACount);
      vertices = 0;
      for (GLsizei i = 0; i < ACount; ++i) {
        uint32_t index = 0;
        std::memcpy(&index, op.Indices.data() + size_t(i) * size, size);
        vertices = std::max(vertices, GLsizei(index + 1));
      }
    }
    SnapshotAttributes(op, vertices);
    FOps.push_back(std::move(op));
  }

  static void HookDrawElements(GLenum AMode, GLsizei ACount, GLenum AType, const void* AIndices) {
    FActive->OnDraw(AMode, ACount, AType, AIndices);
    FActive->FDrawElements(AMode, ACount, AType, AIndices);
  }
  static void HookDrawArrays(GLenum AMode, GLint AFirst, GLsizei ACount) {
    FActive->OnDraw(AMode, AFirst + ACount, 0, nullptr);
    FActive->FDrawArrays(AMode, AFirst, ACount);
  }
  static void HookClearBufferfv(GLenum ABuffer, GLint ADrawBuffer, const GLfloat* AValue) {
    TOp op{TOpKind::Clear};
    FActive->SnapshotTarget(op);
    op.Buffer = ABuffer;
    op.DrawBuffer = ADrawBuffer;
    std::copy_n(AValue, ABuffer == GL_COLOR ? 4 : 1, op.Value.begin());
    FActive->FOps.push_back(op);
    FActive->FClearBufferfv(ABuffer, ADrawBuffer, AValue);
  }
  static void HookReadPixels(GLint AX, GLint AY, GLsizei AWidth, GLsizei AHeight, GLenum AFormat, GLenum AType,
                             void* APixels) {
    TOp op{TOpKind::ReadPixels};
    GLint name = 0;
    glGetFramebufferAttachmentParameteriv(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                          GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &name);
    op.ReadTexture = GLuint(name);
    op.Viewport = {AX, AY, AWidth, AHeight};
    op.Format = AFormat;
    op.Type = AType;
    FActive->FPixels.resize(std::max(FActive->FPixels.size(), size_t(AWidth) * size_t(AHeight) * 4));
    FActive->FOps.push_back(op);
    FActive->FReadPixels(AX, AY, AWidth, AHeight, AFormat, AType, APixels);
  }

  static inline TGLFrameRecorder* FActive = nullptr;
  PFNGLDRAWELEMENTSPROC FDrawElements = nullptr;
  PFNGLDRAWARRAYSPROC FDrawArrays = nullptr;
  PFNGLCLEARBUFFERFVPROC FClearBufferfv = nullptr;
  PFNGLREADPIXELSPROC FReadPixels = nullptr;
  std::vector<TOp> FOps;
  std::map<GLuint, std::array<GLuint, 8>> FAttached;
  std::map<GLuint, std::array<GLenum, 8>> FAttachedTargets;
  GLuint FReadBuffer = 0;
  std::vector<uint8_t> FPixels;
};

} // namespace vbench
