#include <epoxy/gl.h>

#include <array>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "context/Vantrel.Context.Buffers.OpenGL.h"
#include "context/Vantrel.Context.Buffers.h"
#include "rtl/zlib_streams.h"
#include "support/gl_fixture.h"
#include "support/recording_context.h"

namespace {

using namespace vantrel;

using TBytes = std::vector<uint8_t>;

class BufferObjectGL : public vtest::GLTest {
protected:
  void SetUp() override {
    GLTest::SetUp();
    InitializeBuffersOpenGL();
  }
  void TearDown() override {
    FinalizeBuffersOpenGL();
    GLTest::TearDown();
  }

  static TOwned<TBufferObject> MakeBuffer(TBufferBindingTarget ATarget = TBufferBindingTarget::_Array,
                                          TBufferUsage AUsage = TBufferUsage::StaticDraw) {
    return TOwned<TBufferObject>(TBufferObject::BufferObjectClass().Create(AUsage, ATarget, nullptr));
  }

  // The GPU content of a buffer, read through its own target.
  static TBytes Content(TBufferObject& ABuffer) {
    const GLenum target = BufferTargetToGL(ABuffer.Target());
    glBindBuffer(target, ABuffer.Handle());
    GLint64 size = 0;
    glGetBufferParameteri64v(target, GL_BUFFER_SIZE, &size);
    TBytes bytes(static_cast<size_t>(size));
    glGetBufferSubData(target, 0, size, bytes.data());
    glBindBuffer(target, 0);
    return bytes;
  }

  static GLint Bound(GLenum AQuery) {
    GLint value = 0;
    glGetIntegerv(AQuery, &value);
    return value;
  }
};

TBytes Iota(size_t ACount) {
  TBytes bytes(ACount);
  std::iota(bytes.begin(), bytes.end(), uint8_t(1));
  return bytes;
}

// ---- Tables and installation -------------------------------------------------------------------

TEST(BufferObjectTables, GLValues) {
  EXPECT_EQ(BufferUsageToGL(TBufferUsage::StreamDraw), 0x88E0u);
  EXPECT_EQ(BufferUsageToGL(TBufferUsage::DynamicCopy), 0x88EAu);
  EXPECT_EQ(BufferTargetToGL(TBufferBindingTarget::_Array), 0x8892u);
  EXPECT_EQ(BufferTargetToGL(TBufferBindingTarget::ElementArray), 0x8893u);
  EXPECT_EQ(BufferTargetToGL(TBufferBindingTarget::Uniform), 0x8A11u);
  EXPECT_EQ(BufferAccessToGL(TBufferAccessMode::ReadWrite), 0x88BAu);
  EXPECT_EQ(BufferUsageToGL(static_cast<TBufferUsage>(9)), 0u);
  EXPECT_EQ(BufferTargetToGL(static_cast<TBufferBindingTarget>(10)), 0u);
  EXPECT_EQ(BufferAccessToGL(static_cast<TBufferAccessMode>(3)), 0u);
}

TEST_F(BufferObjectGL, InitialisationsNestAndFinalisationRestoresTheBases) {
  EXPECT_EQ(&TBufferObject::BufferObjectClass(), &TOpenGLBufferObject::StaticClass());
  InitializeBuffersOpenGL();
  FinalizeBuffersOpenGL();
  EXPECT_EQ(&TFrameBufferObject::FrameBufferClass(), &TOpenGLFrameBufferObject::StaticClass());
  EXPECT_EQ(&TFBOTextureMap::TextureMapClass(), &TOpenGLFBOTextureMap::StaticClass());
  FinalizeBuffersOpenGL();
  EXPECT_EQ(&TBufferObject::BufferObjectClass(), &TBufferObject::StaticClass());
  EXPECT_EQ(&TFrameBufferObject::FrameBufferClass(), &TFrameBufferObject::StaticClass());
  EXPECT_EQ(&TFBOTextureMap::TextureMapClass(), &TFBOTextureMap::StaticClass());
  EXPECT_THROW(MakeBuffer(), EAbstractError);
  // Finalising once more than initialising changes nothing.
  FinalizeBuffersOpenGL();
  InitializeBuffersOpenGL();
  EXPECT_EQ(&TBufferObject::BufferObjectClass(), &TOpenGLBufferObject::StaticClass());
}

TEST_F(BufferObjectGL, ClassNames) {
  EXPECT_EQ(MakeBuffer()->ClassName(), "TOpenGLBufferObject");
  TOwned<TFrameBufferObject> fbo(
      TFrameBufferObject::FrameBufferClass().Create(nullptr, false, TMultisample::None, nullptr));
  EXPECT_EQ(fbo->ClassName(), "TOpenGLFrameBufferObject");
  EXPECT_EQ(fbo->Textures().ClassName(), "TOpenGLFBOTextureMap");
}

// ---- Buffer objects ------------------------------------------------------------------------------

TEST_F(BufferObjectGL, BindAndUnbindPairUp) {
  auto buffer = MakeBuffer();
  EXPECT_NE(buffer->Handle(), 0u);
  EXPECT_EQ(buffer->Bind(), 0);
  try {
    buffer->Bind();
    FAIL() << "a second Bind must raise";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "failed to bind - buffer object already bound");
  }
  buffer->Unbind();
  EXPECT_EQ(Bound(GL_ARRAY_BUFFER_BINDING), 0);
  buffer->Bind();
  buffer->Unbind();
  try {
    buffer->Unbind();
    FAIL() << "Unbind of an unbound buffer must raise";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "failed to unbind - buffer object not bound");
  }
}

TEST_F(BufferObjectGL, PushGivesNewStorageEachCall) {
  auto buffer = MakeBuffer();
  const TBytes data = Iota(96);
  {
    TBufferObjectBinding binding(*buffer);
    buffer->Push(data.data(), 96);
    buffer->Push(data.data(), 40);
  }
  EXPECT_EQ(buffer->Size(), 40);
  EXPECT_EQ(Content(*buffer), TBytes(data.begin(), data.begin() + 40));
  {
    TBufferObjectBinding binding(*buffer);
    buffer->Push(data.data(), 96);
  }
  EXPECT_EQ(buffer->Size(), 96);
  EXPECT_EQ(buffer->Bind(), 96);
  auto* mapped = static_cast<const uint8_t*>(buffer->SynchronizedMap(TBufferAccessMode::ReadOnly));
  ASSERT_NE(mapped, nullptr);
  EXPECT_EQ(TBytes(mapped, mapped + 96), data);
  buffer->SynchronizedUnmap();
  buffer->Unbind();
}

TEST_F(BufferObjectGL, ClearZeroesTheStorageAndKeepsBindings) {
  auto buffer = MakeBuffer(TBufferBindingTarget::Uniform);
  const TBytes data(32, 0xFF);
  {
    TBufferObjectBinding binding(*buffer);
    buffer->Push(data.data(), 32);
  }
  GLuint sentinel = 0;
  glGenBuffers(1, &sentinel);
  glBindBuffer(GL_UNIFORM_BUFFER, sentinel);
  buffer->Clear();
  EXPECT_EQ(Bound(GL_UNIFORM_BUFFER_BINDING), GLint(sentinel));
  buffer->LinkWithBindingPoint(2, true);
  EXPECT_EQ(Bound(GL_UNIFORM_BUFFER_BINDING), GLint(sentinel));
  glBindBuffer(GL_UNIFORM_BUFFER, 0);
  glDeleteBuffers(1, &sentinel);
  EXPECT_EQ(buffer->Size(), 0);
  EXPECT_EQ(Content(*buffer), TBytes(32, 0));
  GLint indexed = 0;
  glGetIntegeri_v(GL_UNIFORM_BUFFER_BINDING, 2, &indexed);
  EXPECT_EQ(indexed, GLint(buffer->Handle()));
}

TEST_F(BufferObjectGL, LinkWithBindingPointReportsTheGLError) {
  auto buffer = MakeBuffer(TBufferBindingTarget::Uniform);
  try {
    buffer->LinkWithBindingPoint(100000, true);
    FAIL() << "an invalid binding point must raise";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "TBufferObject.LinkWithBindingPoint failed: TOpenGLBufferObject (Error = 1281)");
  }
  // Without the check the error stays with the caller.
  buffer->LinkWithBindingPoint(100000, false);
  EXPECT_EQ(glGetError(), GLenum(GL_INVALID_VALUE));
}

class UniformBlockGL : public BufferObjectGL {
protected:
  void SetUp() override {
    BufferObjectGL::SetUp();
    FProgram = vtest::BuildProgram(
        "#version 430\nlayout(std140) uniform Data { vec4 Value; };\nvoid main() { gl_Position = Value; }\n",
        "#version 430\nout vec4 o_Color;\nvoid main() { o_Color = vec4(1); }\n");
  }
  void TearDown() override {
    glDeleteProgram(FProgram);
    BufferObjectGL::TearDown();
  }
  GLuint FProgram = 0;
};

TEST_F(UniformBlockGL, MissingBlockRaisesWithTheInvalidIndex) {
  auto buffer = MakeBuffer(TBufferBindingTarget::Uniform);
  try {
    buffer->LinkWithShaderProgram(FProgram, "Missing", nullptr, 0, true);
    FAIL() << "a missing block must raise";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(),
              "TBufferObject.LinkWithShaderProgram failed: invalid uniform block index (program=" +
                  std::to_string(FProgram) + ", index=4294967295, name=Missing)");
  }
  EXPECT_FALSE(buffer->IsLinked());
}

TEST_F(UniformBlockGL, LinkConnectsTheBlockAndUploadsWhenBound) {
  auto buffer = MakeBuffer(TBufferBindingTarget::Uniform);
  buffer->LinkWithBindingPoint(3, true);
  const float value[4] = {1, 2, 3, 4};
  buffer->Bind();
  buffer->LinkWithShaderProgram(FProgram, "Data", value, sizeof value, true);
  buffer->Unbind();
  EXPECT_TRUE(buffer->IsLinked());
  const GLuint index = glGetUniformBlockIndex(FProgram, "Data");
  EXPECT_EQ(buffer->BlockIndex(), index);
  GLint binding = -1;
  glGetActiveUniformBlockiv(FProgram, index, GL_UNIFORM_BLOCK_BINDING, &binding);
  EXPECT_EQ(binding, 3);
  TBytes expected(sizeof value);
  std::memcpy(expected.data(), value, sizeof value);
  EXPECT_EQ(Content(*buffer), expected);
  // Linked buffers look the block up once; after Unlink a missing name is noticed again.
  EXPECT_NO_THROW(buffer->LinkWithShaderProgram(FProgram, "Missing", nullptr, 0, true));
  buffer->Unlink();
  EXPECT_THROW(buffer->LinkWithShaderProgram(FProgram, "Missing", nullptr, 0, true), Exception);
}

// ---- Mesh buffers --------------------------------------------------------------------------------

TEST_F(BufferObjectGL, ComponentsAreMadeOnFirstUse) {
  auto mesh = MakeOwned<TMeshBufferObject>();
  EXPECT_EQ(mesh->Kind(), TVantrelPrimitivesKind::Triangles);
  EXPECT_EQ(mesh->LineWidth(), 1.0f);
  EXPECT_FALSE(mesh->ComponentAvailable(TMeshBufferComponent::Indices));
  TBufferObject* indices = mesh->GetComponent(TMeshBufferComponent::Indices);
  EXPECT_EQ(indices->Target(), TBufferBindingTarget::ElementArray);
  EXPECT_EQ(indices->Usage(), TBufferUsage::StaticDraw);
  EXPECT_EQ(mesh->GetComponent(TMeshBufferComponent::Normal)->Target(), TBufferBindingTarget::_Array);
  EXPECT_EQ(mesh->GetComponent(TMeshBufferComponent::Indices), indices);
  EXPECT_TRUE(mesh->ComponentAvailable(TMeshBufferComponent::Indices));
  EXPECT_THROW(mesh->GetComponent(static_cast<TMeshBufferComponent>(18)), ERangeError);
  mesh->ClearAll();
  EXPECT_FALSE(mesh->ComponentAvailable(TMeshBufferComponent::Indices));
}

TEST_F(BufferObjectGL, PushDataFromAVertexBuffer) {
  auto vertices = MakeOwned<TVertexBuffer>(
      TVertexFormats{TVertexFormat::Vertex, TVertexFormat::Normal, TVertexFormat::TexCoord0}, 3);
  TBytes positions, normals, texCoords;
  for (int i = 0; i < 3; ++i) {
    const float f = float(i + 1);
    vertices->SetVertices(i, {f, 2 * f, 3 * f});
    vertices->SetNormals(i, {-f, 0.5f, f / 3});
    vertices->SetTexCoord(0, i, {f / 8, f / 16});
    const TPoint3D position = vertices->GetVertices(i), normal = vertices->GetNormals(i);
    positions.insert(positions.end(), reinterpret_cast<const uint8_t*>(&position),
                     reinterpret_cast<const uint8_t*>(&position) + 12);
    normals.insert(normals.end(), reinterpret_cast<const uint8_t*>(&normal),
                   reinterpret_cast<const uint8_t*>(&normal) + 12);
    const TPointF texCoord = vertices->GetTexCoord(0, i);
    texCoords.insert(texCoords.end(), reinterpret_cast<const uint8_t*>(&texCoord),
                     reinterpret_cast<const uint8_t*>(&texCoord) + 8);
  }
  auto mesh = MakeOwned<TMeshBufferObject>();
  mesh->PushData(TMeshBufferComponent::Normal, vertices.get());
  mesh->PushData(TMeshBufferComponent::All, vertices.get());
  mesh->PushData(TMeshBufferComponent::Vertex, vertices.get());
  // A narrower attribute after a wider one sends only its own bytes.
  mesh->PushData(TMeshBufferComponent::TexCoord0, vertices.get());
  mesh->PushData(TMeshBufferComponent::Normal, static_cast<const TVertexBuffer*>(nullptr));
  EXPECT_EQ(Content(*mesh->GetComponent(TMeshBufferComponent::Normal)), normals);
  EXPECT_EQ(Content(*mesh->GetComponent(TMeshBufferComponent::All)),
            TBytes(vertices->Buffer(), vertices->Buffer() + 96));
  EXPECT_EQ(Content(*mesh->GetComponent(TMeshBufferComponent::Vertex)), positions);
  EXPECT_EQ(Content(*mesh->GetComponent(TMeshBufferComponent::TexCoord0)), texCoords);
  EXPECT_FALSE(mesh->GetComponent(TMeshBufferComponent::Vertex)->IsBound());
  try {
    mesh->PushData(TMeshBufferComponent::Indices, vertices.get());
    FAIL() << "index data from a vertex buffer must raise";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "failed to push index data to mesh buffer object");
  }
}

TOwned<TStream> Compressed(const TBytes& AData) {
  const TBytes packed = ZCompress(AData, TZCompressionLevel::clMax);
  auto stream = MakeOwned<TMemoryStream>();
  stream->WriteBuffer(packed.data(), int64_t(packed.size()));
  return TOwned<TStream>(stream.release());
}

TEST_F(BufferObjectGL, DecompressInflatesTheWholeStream) {
  auto mesh = MakeOwned<TMeshBufferObject>();
  const TBytes data = Iota(1000);
  mesh->SetCompressed(TMeshBufferComponent::Normal, Compressed(data));
  EXPECT_TRUE(mesh->GetIsCompressed(TMeshBufferComponent::Normal));
  mesh->GetCompressed(TMeshBufferComponent::Normal)->SetPosition(7);
  auto result = mesh->Decompress(TMeshBufferComponent::Normal);
  EXPECT_EQ(result->GetPosition(), 0);
  EXPECT_EQ(TBytes(result->Memory(), result->Memory() + result->GetSize()), data);
  // Larger than one chunk.
  TBytes big(0x100000 * 2 + 17);
  for (size_t i = 0; i < big.size(); ++i)
    big[i] = uint8_t(i * 7 / 5);
  mesh->SetCompressed(TMeshBufferComponent::Normal, Compressed(big));
  result = mesh->Decompress(TMeshBufferComponent::Normal);
  EXPECT_EQ(TBytes(result->Memory(), result->Memory() + result->GetSize()), big);
}

TEST_F(BufferObjectGL, DecompressRaisesOnBadOrMissingData) {
  const TBytes packed = ZCompress(Iota(1000));
  TBytes flipped = packed;
  flipped[packed.size() / 2] ^= 0x10;
  const TBytes truncated(packed.begin(), packed.end() - 6);
  auto mesh = MakeOwned<TMeshBufferObject>();
  for (const TBytes* bytes : {static_cast<const TBytes*>(&flipped), &truncated}) {
    auto stream = MakeOwned<TMemoryStream>();
    stream->WriteBuffer(bytes->data(), int64_t(bytes->size()));
    mesh->SetCompressed(TMeshBufferComponent::Tangent, TOwned<TStream>(stream.release()));
    EXPECT_THROW(mesh->Decompress(TMeshBufferComponent::Tangent), EZDecompressionError);
  }
  mesh->SetCompressed(TMeshBufferComponent::Tangent, MakeOwned<TMemoryStream>());
  EXPECT_THROW(mesh->Decompress(TMeshBufferComponent::Tangent), EZDecompressionError);
  try {
    mesh->Decompress(TMeshBufferComponent::Normal);
    FAIL() << "a slot without a stream must raise";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "failed to decompress - no compressed stream");
  }
}

TEST_F(BufferObjectGL, StaticBufferCallsNeedAStaticBuffer) {
  auto mesh = MakeOwned<TMeshBufferObject>();
  EXPECT_FALSE(mesh->IsStaticBufferAvailable());
  const struct {
    void (*Call)(TMeshBufferObject&);
    const char* Message;
  } cases[] = {
      {[](TMeshBufferObject& M) { M.BindStaticVertices(); },
       "failed to bind vertices - static buffer not assigned"},
      {[](TMeshBufferObject& M) { M.BindStaticIndices(); },
       "failed to bind indices - static buffer not assigned"},
      {[](TMeshBufferObject& M) { M.UnbindStaticVertices(); },
       "failed to unbind vertices - static buffer not assigned"},
      {[](TMeshBufferObject& M) { M.UnbindStaticIndices(); },
       "failed to unbind indices - static buffer not assigned"},
  };
  for (const auto& test : cases) {
    try {
      test.Call(*mesh);
      ADD_FAILURE() << "no exception for " << test.Message;
    } catch (const Exception& E) {
      EXPECT_EQ(E.Message(), test.Message);
    }
  }
}

TEST_F(BufferObjectGL, StaticBufferServesItsAllAndIndicesBuffers) {
  auto shared = MakeOwned<TMeshBufferObject>();
  const TBytes data = Iota(24);
  shared->PushData(TMeshBufferComponent::All, data.data(), 24);
  auto frame = MakeOwned<TMeshBufferObject>(shared.get());
  EXPECT_EQ(frame->BindStaticVertices(), 24);
  EXPECT_EQ(Bound(GL_ARRAY_BUFFER_BINDING), GLint(shared->GetComponent(TMeshBufferComponent::All)->Handle()));
  frame->UnbindStaticVertices();
  EXPECT_EQ(frame->BindStaticIndices(), 0);
  frame->UnbindStaticIndices();
  frame.reset();
  // A mesh buffer may be its own static buffer; it is still freed once.
  auto self = MakeOwned<TMeshBufferObject>();
  self->SetStaticBuffer(self.get());
  EXPECT_EQ(self->BindStaticVertices(), 0);
  self->UnbindStaticVertices();
}

TEST_F(BufferObjectGL, AssignedCopyClearedBeforeFreeLeavesTheOriginalWhole) {
  auto original = MakeOwned<TMeshBufferObject>();
  const TBytes data = Iota(48);
  original->SetKind(TVantrelPrimitivesKind::Lines);
  original->PushData(TMeshBufferComponent::Normal, data.data(), 48);
  original->SetCompressed(TMeshBufferComponent::Vertex, Compressed(data));
  auto copy = MakeOwned<TMeshBufferObject>();
  copy->AssignBufferObject(*original);
  EXPECT_EQ(copy->Kind(), TVantrelPrimitivesKind::Lines);
  EXPECT_EQ(copy->GetComponent(TMeshBufferComponent::Normal),
            original->GetComponent(TMeshBufferComponent::Normal));
  copy->ClearAssignedBufferObject();
  copy.reset();
  EXPECT_EQ(Content(*original->GetComponent(TMeshBufferComponent::Normal)), data);
  auto inflated = original->Decompress(TMeshBufferComponent::Vertex);
  EXPECT_EQ(inflated->GetSize(), 48);
}

} // namespace

namespace {

TEST_F(BufferObjectGL, ContextInstanceBufferIsADynamicArrayBufferMadeOnFirstUse) {
  vtest::TRecordingContext::Register();
  rtl::TOwned<ui::TTexture> texture(rtl::New<ui::TTexture>());
  texture->SetSize(16, 16);
  auto context = vtest::TRecordingContext::Create(texture.get());

  context->SetInstances(0, nullptr);
  EXPECT_EQ(context->GetInstanceCount(), 0);
  EXPECT_EQ(context->GetInstanceBuffer(), nullptr);

  std::array<TMatrix3D, 2> matrices{TMatrix3D::Identity(), TMatrix3D::CreateTranslation({1, 2, 3})};
  context->SetInstances(2, matrices.data());
  TBufferObject* buffer = context->GetInstanceBuffer();
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(context->GetInstanceCount(), 2);
  EXPECT_EQ(buffer->Target(), TBufferBindingTarget::_Array);
  EXPECT_EQ(buffer->Usage(), TBufferUsage::DynamicDraw);
  EXPECT_FALSE(buffer->IsBound());
  const TBytes content = Content(*buffer);
  ASSERT_EQ(content.size(), sizeof matrices);
  EXPECT_EQ(std::memcmp(content.data(), matrices.data(), sizeof matrices), 0);
}

} // namespace
