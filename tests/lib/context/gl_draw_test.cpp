// The OpenGL context's batch draw, drawn by the real driver into a 16 x 16 frame buffer and
// checked on read-back pixels and GL state. The quads cover the left half of the target (or, for
// the shifted sources, the right half), so a probe on each side shows where the draw landed.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "gl/egl_context.h"
#include "materials/Vantrel.Material.Layered.h"
#include "rtl/zlib_streams.h"
#include "support/gl_fixture.h"
#include "ui/material.h"

namespace {

using namespace vantrel;
using vtest::TGLTestContext;
using vtest::TRGBA8;

constexpr int TargetSize = 16;
constexpr TRGBA8 Clear{0, 0, 0, 0};
constexpr TRGBA8 Green{0, 255, 0, 255};
constexpr std::string_view Prefix = "Exception in TVantrelContextOpenGLES.DoDrawPrimitivesBatch(): ";

const char* const VertexSource = R"(#version 430
layout(location = 0) in vec3 a_Vertex;
layout(location = 2) in vec4 a_Color0;
layout(location = 12) in mat4 a_Instance;
uniform int u_Instanced;
out vec4 v_Color;
void main() {
  vec4 position = vec4(a_Vertex, 1.0);
  gl_Position = u_Instanced != 0 ? a_Instance * position : position;
  v_Color = a_Color0;
}
)";

const char* const FragmentSource = R"(#version 430
in vec4 v_Color;
uniform vec4 u_Tint;
layout(location = 0) out vec4 o_Color;
void main() { o_Color = v_Color * u_Tint; }
)";

GLint GetInt(GLenum AName) {
  GLint value = 0;
  glGetIntegerv(AName, &value);
  return value;
}

// Draws with the test program and a tint; remembers the depth-test and blend state it met.
class TProbeMaterial : public TMaterial {
public:
  TProbeMaterial(GLuint AProgram, TAlphaColorF ATint, bool AInstanced = false)
      : FProgram(AProgram), FTint(ATint), FInstanced(AInstanced) {}

  struct TSeen {
    bool DepthTest;
    bool Blend;
  };
  std::vector<TSeen> Seen;

protected:
  void DoApply(TContext3D*) override {
    glUseProgram(FProgram);
    glUniform4f(glGetUniformLocation(FProgram, "u_Tint"), FTint.R, FTint.G, FTint.B, FTint.A);
    glUniform1i(glGetUniformLocation(FProgram, "u_Instanced"), FInstanced ? 1 : 0);
    Seen.push_back({glIsEnabled(GL_DEPTH_TEST) == GL_TRUE, glIsEnabledi(GL_BLEND, 0) == GL_TRUE});
  }

private:
  GLuint FProgram;
  TAlphaColorF FTint;
  bool FInstanced;
};

class TProbeSource : public TMaterialSource {
public:
  TProbeSource(GLuint AProgram, TAlphaColorF ATint)
      : TMaterialSource(nullptr), FProgram(AProgram), FTint(ATint) {}
  TProbeMaterial& Material() { return static_cast<TProbeMaterial&>(*GetMaterial()); }

protected:
  TOwned<TMaterial> CreateMaterial() override { return MakeOwned<TProbeMaterial>(FProgram, FTint); }

private:
  GLuint FProgram;
  TAlphaColorF FTint;
};

class TTwoLayers : public TVantrelLayeredMaterial {
public:
  TTwoLayers(TMaterialSource* AFirst, TMaterialSource* ASecond) {
    for (TMaterialSource* source : {AFirst, ASecond}) {
      FItems.push_back(MakeOwned<TVantrelLayeredMaterialItem>());
      FItems.back()->SetMaterial(source);
    }
  }
  int32_t GetMaterialsCount() const override { return int32_t(FItems.size()); }
  TVantrelLayeredMaterialItem* GetMaterialItem(TContext3D*, int32_t AIndex) const override {
    return AIndex < int32_t(FItems.size()) ? FItems[size_t(AIndex)].get() : nullptr;
  }

private:
  std::vector<TOwned<TVantrelLayeredMaterialItem>> FItems;
};

// AQuads copies of the quad over x = AX .. AX + 1, white, with six indices per copy.
struct TQuads {
  TQuads(float AX, int AQuads = 1, TIndexFormat AFormat = TIndexFormat::UInt16)
      : Vertices(MakeOwned<TVertexBuffer>(TVertexFormats{TVertexFormat::Vertex, TVertexFormat::Color0},
                                          4 * AQuads)),
        Indices(MakeOwned<TIndexBuffer>(6 * AQuads, AFormat)) {
    const std::array<TPoint3D, 4> corners{{{AX, -1, 0}, {AX + 1, -1, 0}, {AX + 1, 1, 0}, {AX, 1, 0}}};
    const std::array<uint32_t, 6> order{0, 1, 2, 0, 2, 3};
    for (int quad = 0; quad < AQuads; ++quad) {
      for (int corner = 0; corner < 4; ++corner) {
        Vertices->SetVertices(quad * 4 + corner, corners[size_t(corner)]);
        Vertices->SetColor(0, quad * 4 + corner, 0xFFFFFFFF);
      }
      for (int index = 0; index < 6; ++index)
        Indices->SetIndices(quad * 6 + index, uint32_t(quad * 4) + order[size_t(index)]);
    }
  }
  // The positions alone, tightly packed.
  std::vector<float> Positions() const {
    std::vector<float> result;
    for (int index = 0; index < Vertices->Length(); ++index) {
      const TPoint3D point = Vertices->GetVertices(index);
      result.insert(result.end(), {point.X, point.Y, point.Z});
    }
    return result;
  }

  TOwned<TVertexBuffer> Vertices;
  TOwned<TIndexBuffer> Indices;
};

TOwned<TStream> Compressed(const void* AData, size_t ASize) {
  auto stream = MakeOwned<TMemoryStream>();
  {
    TZCompressionStream compressor(stream.get());
    compressor.Write(AData, int64_t(ASize));
    compressor.Finish();
  }
  return TOwned<TStream>(stream.release());
}

struct TCounters {
  int64_t Calls, Instances, Vertices, Indices;
  bool operator==(const TCounters&) const = default;
};

void PrintTo(const TCounters& ACounters, std::ostream* AOut) {
  *AOut << "{" << ACounters.Calls << ", " << ACounters.Instances << ", " << ACounters.Vertices << ", "
        << ACounters.Indices << "}";
}

TCounters ReadCounters() {
  const TVantrelContextShared& shared = ContextShared();
  return {shared.DrawCalls.load(), shared.DrawInstances.load(), shared.TotalVertexCount.load(),
          shared.TotalIndexCount.load()};
}

class BatchDraw : public vtest::ContextGLTest {
protected:
  static void SetUpTestSuite() {
    ContextGLTest::SetUpTestSuite();
    GProgram = vtest::BuildProgram(VertexSource, FragmentSource);
  }
  static void TearDownTestSuite() {
    if (gl::HasContext())
      glDeleteProgram(GProgram);
    GProgram = 0;
  }

  void SetUp() override {
    ContextGLTest::SetUp();
    FTexture = std::make_unique<vtest::TTestTexture>(TargetSize, TargetSize);
    FContext = TGLTestContext::Make(FTexture->get());
    UseFrameBuffer(TargetSize, TargetSize);
    TVantrelContext::ResetDrawCallDiagnostics();
    ClearTarget();
  }
  void TearDown() override {
    FContext.reset();
    TVantrelContext::ResetDrawCallDiagnostics();
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glLineWidth(1);
    ContextGLTest::TearDown();
  }

  static void ClearTarget() {
    glClearColor(0, 0, 0, 0);
    glClearDepth(1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }

  void Draw(const TQuads& AQuads, TMaterial& AMaterial, bool AClientVertices = true,
            bool AClientIndices = true) {
    const TVertexBuffer& vertices = *AQuads.Vertices;
    const TIndexBuffer& indices = *AQuads.Indices;
    FContext->DrawPrimitives(TPrimitivesKind::Triangles, AClientVertices ? vertices.Buffer() : nullptr,
                             AClientIndices ? indices.Buffer() : nullptr, vertices.GetVertexDeclarations(),
                             vertices.VertexSize(), vertices.Length(), indices.IndexSize(), indices.Length(),
                             &AMaterial, 1);
  }

  TRGBA8 Left() { return FrameBuffer()->Pixel(6, 4); }
  TRGBA8 Right() { return FrameBuffer()->Pixel(12, 8); }

  static inline GLuint GProgram = 0;
  std::unique_ptr<vtest::TTestTexture> FTexture;
  TOwned<TGLTestContext> FContext;
};

// ---- Vertex sources ---------------------------------------------------------------------------

// Every source is drawn with stray buffers bound to both targets, which client memory must not be
// read through, and which are bound again afterwards. The shifted sources hold positions for the
// right half while the client vertices hold the left half with the colours.
TEST_F(BatchDraw, EverySourceDrawsWhereItsPositionsSay) {
  const TQuads left(-1);
  const TQuads right(0);
  const std::vector<float> rightPositions = right.Positions();
  struct TCase {
    const char* Name;
    bool RightHalf;
    bool ClientVertices;
    bool ClientIndices;
    std::function<void(TMeshBufferObject&, TMeshBufferObject&)> MakeCache; // (cache, static buffer)
  };
  const auto pushStatic = [&](TMeshBufferObject& AStatic) {
    AStatic.PushData(TMeshBufferComponent::All, left.Vertices.get());
    AStatic.PushData(TMeshBufferComponent::Indices, left.Indices->Buffer(), left.Indices->Size());
  };
  const std::vector<TCase> cases = {
      {"client memory", false, true, true, nullptr},
      {"static mesh buffer", false, false, false,
       [&](TMeshBufferObject& ACache, TMeshBufferObject&) {
         pushStatic(ACache);
         ACache.SetStaticBuffer(&ACache);
       }},
      {"compressed positions", true, true, true,
       [&](TMeshBufferObject& ACache, TMeshBufferObject&) {
         ACache.SetCompressed(TMeshBufferComponent::Vertex,
                              Compressed(rightPositions.data(), rightPositions.size() * sizeof(float)));
       }},
      {"compressed interleaved vertices", true, false, true,
       [&](TMeshBufferObject& ACache, TMeshBufferObject&) {
         ACache.SetCompressed(TMeshBufferComponent::All,
                              Compressed(right.Vertices->Buffer(), size_t(right.Vertices->Size())));
       }},
      {"position buffer with a static buffer", true, false, false,
       [&](TMeshBufferObject& ACache, TMeshBufferObject& AStatic) {
         ACache.PushData(TMeshBufferComponent::Vertex, right.Vertices.get());
         pushStatic(AStatic);
         ACache.SetStaticBuffer(&AStatic);
       }},
      {"position buffer without a static buffer", true, true, true,
       [&](TMeshBufferObject& ACache, TMeshBufferObject&) {
         ACache.PushData(TMeshBufferComponent::Vertex, right.Vertices.get());
       }},
  };
  const std::vector<uint8_t> junk(4096, 0xFF);
  GLuint stray[2] = {};
  glGenBuffers(2, stray);
  for (GLuint buffer : stray) {
    glBindBuffer(GL_COPY_WRITE_BUFFER, buffer);
    glBufferData(GL_COPY_WRITE_BUFFER, GLsizeiptr(junk.size()), junk.data(), GL_STATIC_DRAW);
  }
  glBindBuffer(GL_COPY_WRITE_BUFFER, 0);
  TProbeMaterial material(GProgram, {0, 1, 0, 1});
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    ClearTarget();
    auto cache = MakeOwned<TMeshBufferObject>();
    auto staticBuffer = MakeOwned<TMeshBufferObject>();
    if (test.MakeCache) {
      test.MakeCache(*cache, *staticBuffer);
      FContext->SetCurrentCache(cache.get());
    }
    glBindBuffer(GL_ARRAY_BUFFER, stray[0]);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, stray[1]);
    Draw(left, material, test.ClientVertices, test.ClientIndices);
    EXPECT_EQ(FContext->GetCurrentCache(), nullptr);
    EXPECT_TRUE(vtest::ColorNear(Left(), test.RightHalf ? Clear : Green));
    EXPECT_TRUE(vtest::ColorNear(Right(), test.RightHalf ? Green : Clear));
    EXPECT_EQ(ReadCounters(), (TCounters{1, 1, 4, 6}));
    TVantrelContext::ResetDrawCallDiagnostics();
    EXPECT_EQ(GetInt(GL_ARRAY_BUFFER_BINDING), GLint(stray[0]));
    EXPECT_EQ(GetInt(GL_ELEMENT_ARRAY_BUFFER_BINDING), GLint(stray[1]));
    GLint enabled = 1;
    glGetVertexAttribiv(0, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
    EXPECT_EQ(enabled, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  }
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  glDeleteBuffers(2, stray);
}

// A failed draw leaves no buffer of the cache bound, so the next draw of the mesh can bind them.
TEST_F(BatchDraw, CacheFailuresRaiseWithTheMethodName) {
  const TQuads left(-1);
  TProbeMaterial material(GProgram, {0, 1, 0, 1});
  struct TCase {
    const char* Name;
    std::function<void(TMeshBufferObject&)> MakeCache;
    int32_t IndexSize;
    std::string Message;
  };
  const std::vector<TCase> cases = {
      {"no buffers", [](TMeshBufferObject&) {}, 2, "cache used, but no meshbuffer object found ..."},
      {"empty position buffer",
       [](TMeshBufferObject& ACache) { ACache.GetComponent(TMeshBufferComponent::Vertex); }, 2,
       "failed to draw buffer - buffer object empty"},
      {"static buffer, index size 1",
       [&](TMeshBufferObject& ACache) {
         ACache.PushData(TMeshBufferComponent::All, left.Vertices.get());
         ACache.PushData(TMeshBufferComponent::Indices, left.Indices->Buffer(), left.Indices->Size());
         ACache.SetStaticBuffer(&ACache);
       },
       1, "DrawElements(2): invalid index size"},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    auto cache = MakeOwned<TMeshBufferObject>();
    test.MakeCache(*cache);
    FContext->SetCurrentCache(cache.get());
    const TVertexBuffer& vertices = *left.Vertices;
    try {
      FContext->DrawPrimitives(TPrimitivesKind::Triangles, nullptr, nullptr, vertices.GetVertexDeclarations(),
                               vertices.VertexSize(), vertices.Length(), test.IndexSize, 6, &material, 1);
      ADD_FAILURE() << "no exception";
    } catch (const Exception& AError) {
      EXPECT_EQ(AError.Message(), std::string(Prefix) + test.Message);
    }
    EXPECT_EQ(FContext->GetCurrentCache(), nullptr);
    for (TMeshBufferComponent component :
         {TMeshBufferComponent::Vertex, TMeshBufferComponent::All, TMeshBufferComponent::Indices})
      if (cache->ComponentAvailable(component))
        EXPECT_FALSE(cache->GetComponent(component)->IsBound());
    EXPECT_EQ(GetInt(GL_ARRAY_BUFFER_BINDING), 0);
    glGetError();
  }
}

// ---- Counters and index sizes -----------------------------------------------------------------

TEST_F(BatchDraw, CountersFollowTheIndicesAndInstancesDrawn) {
  const TQuads six(-1, 6);
  const TQuads six32(-1, 6, TIndexFormat::UInt32);
  struct TCase {
    const char* Name;
    const TQuads& Quads;
    int32_t IndexCount;
    int32_t Instances;
    bool NoVertices;
    TCounters Expected;
    bool Lit;
    std::optional<std::string> Error;
  };
  const std::vector<TCase> cases = {
      {"24 vertices, 36 indices", six, 36, 0, false, {1, 1, 24, 36}, true, {}},
      {"10 instances", six, 36, 10, false, {1, 10, 240, 360}, true, {}},
      {"16-bit indices, none given", six, 0, 0, false, {1, 1, 24, 0}, true, {}},
      {"32-bit indices, none given", six32, 0, 0, false, {1, 1, 24, 0}, false, {}},
      {"no cache, no vertices", six, 36, 0, true, {0, 0, 0, 0}, false, {}},
  };
  const std::vector<TMatrix3D> identities(10, TMatrix3D::Identity());
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    ClearTarget();
    TVantrelContext::ResetDrawCallDiagnostics();
    TProbeMaterial material(GProgram, {0, 1, 0, 1}, test.Instances > 0);
    if (test.Instances > 0)
      FContext->SetInstances(test.Instances, identities.data());
    const TVertexBuffer& vertices = *test.Quads.Vertices;
    const TIndexBuffer& indices = *test.Quads.Indices;
    FContext->DrawPrimitives(TPrimitivesKind::Triangles, test.NoVertices ? nullptr : vertices.Buffer(),
                             indices.Buffer(), vertices.GetVertexDeclarations(), vertices.VertexSize(),
                             vertices.Length(), indices.IndexSize(), test.IndexCount, &material, 1);
    EXPECT_EQ(ReadCounters(), test.Expected);
    EXPECT_EQ(FContext->GetInstanceCount(), 0);
    EXPECT_TRUE(vtest::ColorNear(Left(), test.Lit ? Green : Clear));
  }
}

TEST_F(BatchDraw, AnIndexSizeOfOneRaises) {
  const TQuads left(-1);
  TProbeMaterial material(GProgram, {0, 1, 0, 1});
  const TVertexBuffer& vertices = *left.Vertices;
  for (int32_t instances : {0, 2}) {
    const std::vector<TMatrix3D> identities(2, TMatrix3D::Identity());
    FContext->SetInstances(instances, identities.data());
    try {
      FContext->DrawPrimitives(TPrimitivesKind::Triangles, vertices.Buffer(), left.Indices->Buffer(),
                               vertices.GetVertexDeclarations(), vertices.VertexSize(), 4, 1, 6, &material,
                               1);
      ADD_FAILURE() << "no exception";
    } catch (const Exception& AError) {
      EXPECT_EQ(AError.Message(),
                std::string(Prefix) + (instances > 0 ? "DrawElements(1): invalid index size"
                                                     : "DrawElements(2): invalid index size"));
    }
    EXPECT_EQ(FContext->GetInstanceCount(), 0);
    EXPECT_FALSE(FContext->GetInstanceBuffer() && FContext->GetInstanceBuffer()->IsBound());
  }
}

// ---- Instancing -------------------------------------------------------------------------------

TEST_F(BatchDraw, InstancesDrawAtTheirOwnTranslations) {
  const TQuads left(-1);
  TProbeMaterial material(GProgram, {0, 1, 0, 1}, true);
  const std::array<TMatrix3D, 2> matrices{TMatrix3D::Identity(), TMatrix3D::CreateTranslation({1, 0, 0})};
  FContext->SetInstances(2, matrices.data());
  Draw(left, material);
  EXPECT_TRUE(vtest::ColorNear(Left(), Green));
  EXPECT_TRUE(vtest::ColorNear(Right(), Green));
  EXPECT_EQ(ReadCounters(), (TCounters{1, 2, 8, 12}));
  GLint divisor = -1;
  glGetVertexAttribiv(12, GL_VERTEX_ATTRIB_ARRAY_DIVISOR, &divisor);
  EXPECT_EQ(divisor, 0);
  EXPECT_EQ(GetInt(GL_ARRAY_BUFFER_BINDING), 0);
}

// ---- Lines ------------------------------------------------------------------------------------

// The cache's kind and width replace the draw's; only GL_LINES puts the width back.
TEST_F(BatchDraw, TheLineWidthIsResetAfterLinesOnly) {
  const TQuads left(-1);
  TProbeMaterial material(GProgram, {0, 1, 0, 1});
  for (auto [kind, after] :
       {std::pair{TVantrelPrimitivesKind::Lines, 1.0f}, std::pair{TVantrelPrimitivesKind::LineStrip, 3.0f}}) {
    auto cache = MakeOwned<TMeshBufferObject>();
    cache->PushData(TMeshBufferComponent::All, left.Vertices.get());
    cache->PushData(TMeshBufferComponent::Indices, left.Indices->Buffer(), left.Indices->Size());
    cache->SetStaticBuffer(cache.get());
    cache->SetKind(kind);
    cache->SetLineWidth(3);
    ClearTarget();
    FContext->SetCurrentCache(cache.get());
    Draw(left, material, false, false);
    float width = 0;
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, after);
    // Lines along the bottom edge, none across the inside of the quad.
    EXPECT_TRUE(vtest::ColorNear(FrameBuffer()->Pixel(4, 0), Green));
    EXPECT_TRUE(vtest::ColorNear(FrameBuffer()->Pixel(2, 12), Clear));
    glLineWidth(1);
  }
}

// ---- Layered materials --------------------------------------------------------------------------

TEST_F(BatchDraw, ALayeredMaterialAddsOneBlendedPassPerLayer) {
  const TQuads left(-1);
  TProbeMaterial main(GProgram, {0.25f, 0, 0, 1});
  auto first = MakeOwned<TProbeSource>(GProgram, TAlphaColorF{0, 0.25f, 0, 1});
  auto second = MakeOwned<TProbeSource>(GProgram, TAlphaColorF{0, 0, 0.25f, 1});
  auto layered = MakeOwned<TTwoLayers>(first.get(), second.get());
  FContext->SetContextState(TContextState::csZTestOn);
  FContext->SetContextState(TContextState::csAlphaBlendOff);
  FContext->SetBlendingByIndex(
      1, TBlendSetting::Create(true, TBlendEquationFunc::befAdd, TBlendFactor::bfOne, TBlendFactor::bfOne));
  // The first read of the table in a process fills entry 0 with the default blend; the draw saves
  // the table through that read.
  FContext->GetBlendings();
  const auto blendTable = [&] {
    std::array<TBlendSetting, 32> table;
    for (uint32_t index = 0; index < table.size(); ++index)
      table[index] = FContext->GetBlendingByIndex(index);
    return table;
  };
  const auto before = blendTable();
  FContext->SetCurrentLayeredMaterial(layered.get());

  Draw(left, main);

  EXPECT_EQ(ReadCounters().Calls, 3);
  ASSERT_EQ(main.Seen.size(), 1u);
  EXPECT_TRUE(main.Seen[0].DepthTest);
  EXPECT_FALSE(main.Seen[0].Blend);
  for (TProbeSource* layer : {first.get(), second.get()}) {
    ASSERT_EQ(layer->Material().Seen.size(), 1u);
    EXPECT_FALSE(layer->Material().Seen[0].DepthTest);
    EXPECT_TRUE(layer->Material().Seen[0].Blend);
  }
  EXPECT_TRUE(vtest::ColorNear(Left(), {64, 64, 64, 255}, 2));
  EXPECT_EQ(blendTable(), before);
  EXPECT_TRUE(glIsEnabledi(GL_BLEND, 1));
  EXPECT_EQ(FContext->GetCurrentLayeredMaterial(), nullptr);
  EXPECT_TRUE(FContext->CurrentStates().Contains(TContextState::csAlphaBlendOff));
}

} // namespace
