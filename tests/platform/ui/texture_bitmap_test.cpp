#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/context3d.h"
#include "ui/texture_bitmap.h"

namespace {

using namespace ui;

// Records the class-level texture hooks; names come from a counter.
class TTextureRecorder : public TContext3DClass {
public:
  TTextureRecorder()
      : TContext3DClass("TTextureRecorder", "Test.TextureBitmap", &TContext3D::StaticClass(), nullptr) {}

  mutable std::vector<std::string> Calls;
  mutable THandle NextHandle = 1;

  void InitializeTexture(TTexture* ATexture) const override {
    Calls.push_back("InitializeTexture");
    static_cast<ITextureAccess&>(*ATexture).SetHandle(NextHandle++);
  }
  void DoFinalizeTexture(TTexture* ATexture) const override {
    Calls.push_back("DoFinalizeTexture");
    static_cast<ITextureAccess&>(*ATexture).SetHandle(0);
  }
  void UpdateTexture(TTexture*, const void* ABits, int32_t APitch) const override {
    Calls.push_back("UpdateTexture " + std::to_string(APitch) + (ABits ? " bits" : " nil"));
  }
};

class TExposedTextureBitmap : public TTextureBitmap {
public:
  using TTextureBitmap::SetTexture;
  using TTextureBitmap::TTextureBitmap;
};

class TextureBitmap : public ::testing::Test {
protected:
  void SetUp() override { TContextManager::UnregisterContexts(); }
  void TearDown() override { TContextManager::UnregisterContexts(); }
  TTextureRecorder FHooks;
};

TEST_F(TextureBitmap, BitmapTagScaleAndChanges) {
  TBitmap bitmap(3, 2);
  int changes = 0;
  bitmap.SetOnChange([&](rtl::TObject* ASender) {
    EXPECT_EQ(ASender, &bitmap);
    ++changes;
  });
  bitmap.SetBitmapScale(2);
  TBitmapData data;
  ASSERT_TRUE(bitmap.Map(TMapAccess::Read, data));
  bitmap.Unmap(data);
  EXPECT_EQ(changes, 0) << "reading changes nothing";
  ASSERT_TRUE(bitmap.Map(TMapAccess::Write, data));
  data.SetPixel(2, 1, 0xFF00FF00);
  bitmap.Unmap(data);
  EXPECT_EQ(changes, 1);

  TBitmap copy;
  copy.Assign(&bitmap);
  EXPECT_EQ(copy.Width(), 3);
  EXPECT_EQ(copy.BitmapScale(), 2);
  ASSERT_TRUE(copy.Map(TMapAccess::Read, data));
  EXPECT_EQ(data.GetPixel(2, 1), 0xFF00FF00u);
  copy.Unmap(data);

  EXPECT_EQ(bitmap.PixelFormatTag(), static_cast<TPixelFormatTag>(TPixelFormat::BGRA));
  // Nothing to copy empties the bitmap.
  copy.Assign(nullptr);
  EXPECT_TRUE(copy.IsEmpty());
}

TEST_F(TextureBitmap, CanvasSceneNests) {
  TBitmap bitmap(1, 1);
  EXPECT_FALSE(bitmap.IsCanvasInScene());
  ASSERT_TRUE(bitmap.Canvas()->BeginScene());
  ASSERT_TRUE(bitmap.Canvas()->BeginScene());
  bitmap.Canvas()->EndScene();
  EXPECT_TRUE(bitmap.IsCanvasInScene());
  bitmap.Canvas()->EndScene();
  bitmap.Canvas()->EndScene();
  EXPECT_FALSE(bitmap.IsCanvasInScene());
}

TEST_F(TextureBitmap, TextureTakesTheBitmapAndUploadsItsPixels) {
  TBitmap bitmap(5, 2);
  bitmap.SetBitmapScale(1.5f);
  rtl::TOwned<TTexture> texture(rtl::New<TTexture>());
  texture->Assign(&bitmap); // no default class: settings only
  EXPECT_EQ(texture->Width(), 5);
  EXPECT_EQ(texture->TextureScale(), 1.5f);
  EXPECT_EQ(texture->Style(), TTextureStyles{TTextureStyle::Dynamic});
  EXPECT_EQ(texture->Handle(), 0u);

  TContextManager::RegisterContext(FHooks, true);
  texture->Assign(&bitmap);
  EXPECT_EQ(FHooks.Calls, (std::vector<std::string>{"InitializeTexture", "UpdateTexture 20 bits"}));
  EXPECT_FALSE(bitmap.IsMapped());
  texture->Assign(&bitmap); // the old GPU object goes first
  EXPECT_EQ(FHooks.Calls[2], "DoFinalizeTexture");
}

TEST_F(TextureBitmap, TextureComesFromTheDefaultClassAndIsShared) {
  auto first = rtl::MakeOwned<TExposedTextureBitmap>(4, 4);
  EXPECT_EQ(first->Texture(), nullptr) << "no default class";
  TContextManager::RegisterContext(FHooks, true);
  TTexture* texture = first->Texture();
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(first->Texture(), texture);

  auto second = rtl::MakeOwned<TExposedTextureBitmap>(4, 4);
  second->SetTexture(texture);
  first->DestroyResources();
  EXPECT_EQ(first->HeldTexture(), nullptr);
  EXPECT_NE(texture->Handle(), 0u) << "the second holder keeps it";
  second.reset();
  EXPECT_EQ(FHooks.Calls.back(), "DoFinalizeTexture");
}

} // namespace
