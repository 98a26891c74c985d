// The definition side of animation caching: frame compression, per-mesh frame buffers and the
// animation definition's caching operations. CPU only: frames are stored compressed, which needs
// no GPU buffer.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "context/Vantrel.Context.Buffers.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "rtl/zlib_streams.h"

namespace {

using namespace vantrel;

using TBytes = std::vector<uint8_t>;

TBytes BytesOf(TMemoryStream& AStream) {
  return TBytes(AStream.Memory(), AStream.Memory() + AStream.GetSize());
}

TBytes Inflate(TMeshBufferObject& AFrame, TMeshBufferComponent AComponent) {
  TOwned<TMemoryStream> stream = AFrame.Decompress(AComponent);
  return BytesOf(*stream);
}

// Bytes that deflate to neither nothing nor a copy: a slow ramp with a short repeating pattern.
TBytes Patterned(size_t ASize) {
  TBytes bytes(ASize);
  for (size_t i = 0; i < ASize; ++i)
    bytes[i] = uint8_t((i / 97) ^ (i % 13) * 7);
  return bytes;
}

TEST(AnimationFrameCompression, CompressEqualsOneShotDeflateAndInflatesBack) {
  // Three and a bit blocks of the compressor's feed.
  const TBytes source = Patterned(3 * 1048576 + 1000);
  TOwned<TMemoryStream> compressed = TAnimationFrameCompression::Compress(source.data(), int64_t(source.size()));
  EXPECT_EQ(compressed->GetPosition(), compressed->GetSize());
  EXPECT_EQ(BytesOf(*compressed), rtl::ZCompress(source, rtl::TZCompressionLevel::clMax));
  TOwned<TMemoryStream> inflated = TAnimationFrameCompression::Decompress(compressed.get());
  EXPECT_EQ(inflated->GetPosition(), 0);
  EXPECT_EQ(BytesOf(*inflated), source);
  // Nothing compresses to an empty zlib stream and back.
  TOwned<TMemoryStream> empty = TAnimationFrameCompression::Compress(nullptr, 0);
  EXPECT_EQ(BytesOf(*empty), rtl::ZCompress({}, rtl::TZCompressionLevel::clMax));
  EXPECT_EQ(TAnimationFrameCompression::Decompress(empty.get())->GetSize(), 0);
}

TEST(AnimationFrameCompression, SourceStreamsAndAttributeCompression) {
  auto buffer = MakeOwned<TVertexBuffer>(TVertexFormats{TVertexFormat::Vertex, TVertexFormat::Normal}, 2);
  buffer->SetVertices(0, {1, 2, 3});
  buffer->SetVertices(1, {4, 5, 6});
  buffer->SetNormals(1, {0, 0, 1});
  const float positions[] = {1, 2, 3, 4, 5, 6};
  const TBytes expected(reinterpret_cast<const uint8_t*>(positions),
                        reinterpret_cast<const uint8_t*>(positions) + sizeof(positions));

  TOwned<TMemoryStream> attribute = TAnimationFrameCompression::GetSourceStream(TVertexFormat::Vertex, buffer.get());
  EXPECT_EQ(attribute->GetPosition(), 0);
  EXPECT_EQ(BytesOf(*attribute), expected);
  TOwned<TMemoryStream> bytes = TAnimationFrameCompression::GetSourceStream(positions, sizeof(positions));
  EXPECT_EQ(bytes->GetPosition(), 0);
  EXPECT_EQ(BytesOf(*bytes), expected);

  TOwned<TMemoryStream> compressed = TAnimationFrameCompression::Compress(TVertexFormat::Vertex, buffer.get());
  EXPECT_EQ(BytesOf(*compressed), rtl::ZCompress(expected, rtl::TZCompressionLevel::clMax));
}

TEST(AnimationFrameCompression, CorruptStreamRaises) {
  const TBytes garbage{0x78, 0x9C, 0xFF, 0xFF, 0x00, 0x12};
  TOwned<TMemoryStream> stream = TAnimationFrameCompression::GetSourceStream(garbage.data(), int64_t(garbage.size()));
  EXPECT_THROW(TAnimationFrameCompression::Decompress(stream.get()), rtl::EZDecompressionError);
}

// A model holding mesh "Body" (three vertices) with a sub-mesh "Hand" (one triangle) and a plain
// node; and one animation of FrameCount frames.
class AnimationBuffers : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeDefTypes();
    FModel = MakeOwned<TModelDef>();
    FBody = New<TMeshDef>(FModel.get());
    FBody->SetId("Body");
    FBody->AddPolygon(T3DPolygon{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    FModel->AddMesh(FBody);
    FHand = New<TMeshDef>(FBody);
    FHand->SetId("Hand");
    FHand->AddPolygon(T3DPolygon{{0, 0, 1}, {1, 0, 1}, {0, 1, 1}});
    FBody->AddMesh(FHand);
    auto* node = New<TTransformDef>(FBody);
    node->SetId("Node");
    FBody->AddMesh(node);
    FAnimation = MakeOwned<TAnimationDef>(FModel.get());
    FAnimation->SetId("Walk");
    auto* stage = New<TAnimationStageDef>(FAnimation.get());
    stage->SetId("Stage");
    auto* track = New<TPoint3DInterpolatorDef>(stage);
    track->SetDuration(0.25f);
    stage->AddInterpolator(track);
    FAnimation->AddStage(stage);
    // 0.25 s at 12 frames per second: three frames.
    FAnimation->SetFrameRate(12);
  }
  void TearDown() override {
    FAnimation.reset();
    FModel.reset();
    FinalizeDefTypes();
  }

  // Stores every frame of every buffer compressed, with position x of vertex 0 set to the frame.
  void CacheAll() {
    FAnimation->InitializeCaching(FModel.get());
    for (TMeshDef* mesh : {FBody, FHand}) {
      TAnimationBuffer* buffer = FAnimation->StartCaching(mesh);
      ASSERT_NE(buffer, nullptr);
      TOwned<TVertexBuffer> vertices = CopyOf(*mesh->GetVertexSource());
      for (int32_t k = 0; k < FAnimation->GetFrameCount(); ++k) {
        vertices->SetVertices(0, {float(k), 0, 0});
        FAnimation->CacheFrame(buffer, vertices.get(), mesh->GetIndexSource(), Flags());
      }
      FAnimation->StopCaching(buffer);
    }
    FAnimation->FinalizeCaching();
  }
  static TOwned<TVertexBuffer> CopyOf(const TVertexBuffer& ASource) {
    auto copy = MakeOwned<TVertexBuffer>(ASource.Format(), ASource.Length());
    copy->Assign(ASource);
    return copy;
  }
  static TAnimationCachingFlags Flags() {
    return {TAnimationCachingFlag::Compressed, TAnimationCachingFlag::VertexPosition};
  }
  // Position x of vertex 0 in a frame's inflated positions.
  static float FirstX(TMeshBufferObject& AFrame) {
    const TBytes bytes = Inflate(AFrame, TMeshBufferComponent::Vertex);
    float x = -1;
    std::memcpy(&x, bytes.data(), sizeof(x));
    return x;
  }

  TOwned<TModelDef> FModel;
  TMeshDef* FBody = nullptr;
  TMeshDef* FHand = nullptr;
  TOwned<TAnimationDef> FAnimation;
};

TEST_F(AnimationBuffers, BufferMakesMeshStaticAndResizesItsFrames) {
  ASSERT_EQ(FAnimation->GetFrameCount(), 3);
  auto buffer = MakeOwned<TAnimationBuffer>(FBody, FAnimation.get());
  EXPECT_TRUE(FBody->GetIsStatic());
  EXPECT_EQ(buffer->GetMesh(), FBody);
  EXPECT_EQ(buffer->GetAnimation(), FAnimation.get());
  EXPECT_EQ(buffer->GetFrames().Count(), 0);

  buffer->SetFrameCount(3);
  ASSERT_EQ(buffer->GetFrames().Count(), 3);
  TMeshBufferObject* first = buffer->GetFrames()[0];
  buffer->SetBufferedFrames(2);
  buffer->SetIsBuffered(true);
  // The same count keeps the frames and their state.
  buffer->SetFrameCount(3);
  EXPECT_EQ(buffer->GetFrames()[0], first);
  EXPECT_EQ(buffer->GetBufferedFrames(), 2);
  // Another count starts over, empty; a count below 1 gives no frames.
  buffer->SetFrameCount(5);
  EXPECT_EQ(buffer->GetFrames().Count(), 5);
  EXPECT_EQ(buffer->GetBufferedFrames(), 0);
  EXPECT_FALSE(buffer->GetIsBuffered());
  buffer->SetFrameCount(-2);
  EXPECT_EQ(buffer->GetFrames().Count(), 0);
}

TEST_F(AnimationBuffers, InitializeCachingMakesOneBufferPerMeshBelowTheModel) {
  FAnimation->InitializeCaching(nullptr);
  EXPECT_EQ(FAnimation->GetBuffers(), nullptr);
  FAnimation->InitializeCaching(FModel.get());
  EXPECT_EQ(FAnimation->GetBufferingState(), TAnimationBufferingState::Started);
  const TAnimationBuffers* buffers = FAnimation->GetBuffers();
  ASSERT_NE(buffers, nullptr);
  // The model itself and the plain node get none.
  EXPECT_EQ(buffers->Keys().ToArray(), (std::vector<TMeshDef*>{FBody, FHand}));
  for (TAnimationBuffer* buffer : buffers->Values())
    EXPECT_EQ(buffer->GetFrames().Count(), 3);
  EXPECT_EQ(FAnimation->StartCaching(FBody), buffers->Items(FBody));
  EXPECT_EQ(FAnimation->StartCaching(FModel.get()), nullptr);
  // A mesh twice is the dictionary's duplicate key, and leaks nothing.
  EXPECT_THROW(FAnimation->InitializeCaching(FHand), rtl::EListError);
}

TEST_F(AnimationBuffers, CacheFrameStoresFramesInOrderAndTracksTheState) {
  FAnimation->InitializeCaching(FModel.get());
  TAnimationBuffer* buffer = FAnimation->StartCaching(FHand);
  TOwned<TVertexBuffer> vertices = CopyOf(*FHand->GetVertexSource());
  // Nothing without indices.
  FAnimation->CacheFrame(buffer, vertices.get(), nullptr, Flags());
  EXPECT_EQ(buffer->GetBufferedFrames(), 0);
  EXPECT_EQ(FAnimation->GetBufferingState(), TAnimationBufferingState::Started);

  struct TStep {
    TAnimationBufferingState State;
    int32_t Buffered;
  };
  const TStep steps[] = {{TAnimationBufferingState::Caching, 1},
                         {TAnimationBufferingState::Caching, 2},
                         {TAnimationBufferingState::Cached, 3},
                         // A full buffer stores nothing more.
                         {TAnimationBufferingState::Cached, 3}};
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    vertices->SetVertices(0, {float(i), 0, 0});
    FAnimation->CacheFrame(buffer, vertices.get(), FHand->GetIndexSource(), Flags());
    EXPECT_EQ(FAnimation->GetBufferingState(), steps[i].State);
    EXPECT_EQ(buffer->GetBufferedFrames(), steps[i].Buffered);
  }
  for (int32_t k = 0; k < 3; ++k)
    EXPECT_EQ(FirstX(*buffer->GetFrames()[k]), float(k));
  // Positions only: 12 bytes per vertex.
  EXPECT_EQ(Inflate(*buffer->GetFrames()[0], TMeshBufferComponent::Vertex).size(), 36u);
  FAnimation->StopCaching(buffer);
  FAnimation->StopCaching(nullptr);
  EXPECT_TRUE(buffer->GetIsBuffered());
}

TEST_F(AnimationBuffers, CompressedWholeVerticesGoToTheAllSlot) {
  FAnimation->InitializeCaching(FModel.get());
  TAnimationBuffer* buffer = FAnimation->StartCaching(FBody);
  const TVertexBuffer& vertices = *FBody->GetVertexSource();
  FAnimation->CacheFrame(buffer, &vertices, FBody->GetIndexSource(), {TAnimationCachingFlag::Compressed});
  TMeshBufferObject* frame = buffer->GetFrames()[0];
  EXPECT_FALSE(frame->GetIsCompressed(TMeshBufferComponent::Vertex));
  EXPECT_EQ(Inflate(*frame, TMeshBufferComponent::All), TBytes(vertices.Buffer(), vertices.Buffer() + vertices.Size()));
}

TEST_F(AnimationBuffers, NextCacheFrameOnlyWhenReady) {
  EXPECT_EQ(FAnimation->GetNextCacheFrame(FBody, 0), nullptr);
  CacheAll();
  EXPECT_EQ(FAnimation->GetBufferingState(), TAnimationBufferingState::Ready);
  // Ready stops further caching.
  EXPECT_EQ(FAnimation->StartCaching(FBody), nullptr);
  const TAnimationBuffer* buffer = FAnimation->GetBuffers()->Items(FHand);
  const struct {
    int32_t Asked, Given;
  } cases[] = {{0, 0}, {2, 2}, {-1, 0}, {3, 0}, {1000, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Asked);
    TMeshBufferObject* frame = FAnimation->GetNextCacheFrame(FHand, c.Asked);
    EXPECT_EQ(frame, buffer->GetFrames()[c.Given]);
    EXPECT_EQ(FirstX(*frame), float(c.Given));
  }
  EXPECT_EQ(FAnimation->GetNextCacheFrame(FModel.get(), 0), nullptr);
  EXPECT_EQ(FAnimation->GetNextCacheFrame(nullptr, 0), nullptr);
}

TEST_F(AnimationBuffers, ChangedFrameRateEmptiesTheCacheAndReturnsToNone) {
  CacheAll();
  // The same rate changes nothing.
  FAnimation->SetFrameRate(12);
  EXPECT_EQ(FAnimation->GetBufferingState(), TAnimationBufferingState::Ready);
  ASSERT_NE(FAnimation->GetNextCacheFrame(FBody, 1), nullptr);

  FAnimation->SetFrameRate(8);
  EXPECT_EQ(FAnimation->GetFrameCount(), 2);
  EXPECT_EQ(FAnimation->GetBufferingState(), TAnimationBufferingState::None);
  EXPECT_FALSE(FAnimation->IsCacheable());
  EXPECT_EQ(FAnimation->GetBuffers(), nullptr);
  EXPECT_EQ(FAnimation->GetNextCacheFrame(FBody, 0), nullptr);
  // It caches again, at the new count.
  CacheAll();
  EXPECT_EQ(FAnimation->GetBuffers()->Items(FBody)->GetFrames().Count(), 2);
  EXPECT_EQ(FirstX(*FAnimation->GetNextCacheFrame(FBody, 1)), 1.0f);
}

} // namespace
