// The voxel size of a global illumination detail level, lowered against a scripted 3D texture
// limit of the recording context.

#include <gtest/gtest.h>

#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Controller.Passes.Voxelize.h"
#include "support/recording_context.h"

namespace {

using namespace vantrel;

class VoxelDetail : public ::testing::Test {
protected:
  void SetUp() override {
    Recorder = &vtest::TRecordingContext::Register();
    Texture->SetSize(16, 16);
    Context = vtest::TRecordingContext::Create(Texture.get());
  }
  void TearDown() override {
    Context.reset();
    TContextManager::UnregisterContexts();
    ContextShared().Reset();
  }
  vtest::TRecordingContextClass* Recorder = nullptr;
  TOwned<TTexture> Texture = MakeOwned<TTexture>();
  TOwned<vtest::TRecordingContext> Context;
};

TEST_F(VoxelDetail, SizeFollowsTheLevelAndTheLimitLowersIt) {
  struct TCase {
    int32_t Limit, DetailIn, Size, DetailOut;
  };
  const TCase cases[] = {
      {2048, 1, 32, 1},  {2048, 4, 192, 4}, {2048, 5, 256, 5}, {2048, 6, 256, 5}, {2048, 7, 256, 5},
      {2048, 0, 64, 0},  {2048, 9, 64, 9},  {256, 9, 32, 1},   {256, 2, 32, 1},   {128, 1, 32, 0},
      {4096, 7, 512, 7}, {2048, -3, 64, -3},
  };
  for (const TCase& row : cases) {
    SCOPED_TRACE(testing::Message() << "limit " << row.Limit << ", detail " << row.DetailIn);
    Recorder->MaxTexture3DSize = row.Limit;
    int32_t detail = row.DetailIn;
    EXPECT_EQ(TVantrelRenderPassVoxelize::GetVoxelSizeFromDetail(Context.get(), detail), row.Size);
    EXPECT_EQ(detail, row.DetailOut);
  }
  // Without a context nothing is lowered.
  Recorder->MaxTexture3DSize = 128;
  int32_t detail = 7;
  EXPECT_EQ(TVantrelRenderPassVoxelize::GetVoxelSizeFromDetail(nullptr, detail), 512);
  EXPECT_EQ(detail, 7);
}

} // namespace
