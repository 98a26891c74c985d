#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "context/Vantrel.Context.Texturing.OpenGL.h"
#include "context/Vantrel.Context.Texturing.h"
#include "support/log_capture.h"
#include "support/recording_context.h"

namespace {

using namespace vantrel;
using PF = TPixelFormatEx;
using DT = TVantrelTextureDataType;
using Kind = TVantrelTextureKind;

std::string MessageOf(const std::function<void()>& AAction) {
  try {
    AAction();
  } catch (const Exception& E) {
    return E.Message();
  }
  return "(nothing raised)";
}

// The OpenGL classes installed and no default context class, so nothing reaches a GPU.
class Texturing : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeTexturingOpenGL();
    TContextManager::UnregisterContexts();
  }
  void TearDown() override {
    TContextManager::UnregisterContexts();
    FinalizeTexturingOpenGL();
  }
  static TOwned<TVantrelTextureBitmap> NewBitmap(int32_t AWidth = 0, int32_t AHeight = 0) {
    return TOwned<TVantrelTextureBitmap>(TVantrelTextureBitmap::Create(AWidth, AHeight));
  }
};

TEST_F(Texturing, DefaultsOfBitmapAndTexture) {
  auto bitmap = NewBitmap();
  EXPECT_EQ(bitmap->ClassName(), "TOpenGLVantrelTextureBitmap");
  EXPECT_EQ(bitmap->GetComponents(), PF::RGBA8);
  EXPECT_EQ(bitmap->GetFormat(), PF::BGRA);
  EXPECT_EQ(bitmap->GetDataType(), DT::dtUnsignedByte);
  EXPECT_EQ(bitmap->GetKind(), Kind::Texture2D);
  EXPECT_EQ(bitmap->GetMinFilter(), TTextureFilter::Linear);
  EXPECT_EQ(bitmap->GetMagFilter(), TTextureFilter::Linear);
  EXPECT_EQ(bitmap->GetWrapS(), TVantrelTextureWrap::ClampToEdge);
  EXPECT_EQ(bitmap->GetWrapR(), TVantrelTextureWrap::ClampToEdge);
  EXPECT_EQ(bitmap->GetBorderColor(), TAlphaColorF{});
  EXPECT_EQ(bitmap->GetBuffer(), nullptr);
  EXPECT_EQ(bitmap->VantrelTexture(), nullptr) << "no default context class, no texture";

  TOwned<TVantrelTexture> texture(TVantrelTexture::Create());
  EXPECT_EQ(texture->ClassName(), "TOpenGLVantrelTexture");
  EXPECT_EQ(texture->GetWrapS(), TVantrelTextureWrap::Repeated);
  EXPECT_EQ(texture->GetWrapT(), TVantrelTextureWrap::Repeated);
  EXPECT_EQ(texture->GetTextureUnit(), -1);
}

TEST_F(Texturing, SetupBatchSizesTheCpuBlock) {
  struct TCase {
    Kind AKind;
    PF AFormat;
    DT AType;
    int32_t Width, Height;
    int64_t Size;
  };
  const TCase cases[] = {
      {Kind::Texture2D, PF::RGB, DT::dtFloat, 4, 2, 96},
      {Kind::Texture2D, PF::BGRA, DT::dtUnsignedByte, 16, 16, 0},
      {Kind::Texture2D, PF::R, DT::dtUnsignedByte, 4, 4, 16},
      {Kind::Texture3D, PF::RGB, DT::dtFloat, 4, 2, 0},
      {Kind::Array2D, PF::RGB, DT::dtFloat, 4, 2, 0},
  };
  for (const TCase& c : cases) {
    auto bitmap = NewBitmap();
    bitmap->BeginSetup();
    bitmap->SetKind(c.AKind);
    bitmap->SetFormat(c.AFormat);
    bitmap->SetDataType(c.AType);
    bitmap->SetSize(c.Width, c.Height);
    bitmap->EndSetup();
    EXPECT_EQ(bitmap->GetBufferSize(), c.Size) << int(c.AKind) << " " << int(c.AFormat);
    EXPECT_EQ(bitmap->GetBuffer() != nullptr, c.Size > 0);
  }
}

TEST_F(Texturing, ReturningToTheStorageFormatDropsTheOldBlock) {
  auto bitmap = NewBitmap(4, 2);
  bitmap->SetFormat(PF::RGB);
  bitmap->SetDataType(DT::dtFloat);
  bitmap->ValidateBuffer();
  ASSERT_EQ(bitmap->GetBufferSize(), 96);
  bitmap->SetFormat(PF::BGRA);
  bitmap->SetDataType(DT::dtUnsignedByte);
  bitmap->ValidateBuffer();
  EXPECT_EQ(bitmap->GetBuffer(), nullptr);
  EXPECT_EQ(bitmap->GetBufferSize(), 0);
}

TEST_F(Texturing, NestedSetupsAllocateAtTheOuterEndOnly) {
  auto bitmap = NewBitmap(4, 2);
  bitmap->BeginSetup();
  bitmap->BeginSetup();
  bitmap->SetFormat(PF::RGB);
  bitmap->SetDataType(DT::dtFloat);
  bitmap->EndSetup();
  EXPECT_EQ(bitmap->GetBufferSize(), 0);
  bitmap->EndSetup();
  EXPECT_EQ(bitmap->GetBufferSize(), 96);
  bitmap->SetFormat(PF::RG);
  bitmap->EndSetup(); // no open batch: no allocation
  EXPECT_EQ(bitmap->GetBufferSize(), 96);
}

TEST_F(Texturing, UnknownDataTypeRaises) {
  auto bitmap = NewBitmap(4, 2);
  bitmap->SetDataType(static_cast<DT>(12));
  EXPECT_EQ(MessageOf([&] { bitmap->ValidateBuffer(); }),
            "failed to retrieve datatype size - unknown datatype");
  EXPECT_EQ(TVantrelTextureDataTypeHelper::ToString(static_cast<DT>(12)), "?");
  EXPECT_EQ(TVantrelTextureDataTypeHelper::ToString(DT::dtHalfFloat), "HalfFloat");
}

TEST_F(Texturing, FormatSetterAcceptsBaseFormatsOnly) {
  auto bitmap = NewBitmap(3, 2);
  EXPECT_EQ(MessageOf([&] { bitmap->SetFormat(PF::RGBA8); }), "invalid texture format");
  EXPECT_EQ(bitmap->GetFormat(), PF::BGRA);
  EXPECT_EQ(bitmap->PixelFormatTag(), static_cast<TPixelFormatTag>(TPixelFormat::BGRA));

  bitmap->SetFormat(PF::RedInteger);
  EXPECT_EQ(bitmap->GetFormat(), PF::RedInteger);
  EXPECT_EQ(bitmap->PixelFormatTag(), 27);
  TBitmapData data;
  ASSERT_TRUE(bitmap->Map(TMapAccess::Read, data));
  EXPECT_EQ(data.Pitch, 3 * 4) << "the storage stays 32-bit whatever the tag";
  EXPECT_EQ(data.PixelFormat, TPixelFormat::BGRA);
  bitmap->Unmap(data);
}

TEST_F(Texturing, CompatibleFormatAdaptsBgrLayouts) {
  struct TCase {
    PF Comp, Format, Result;
    const char* Logged;
  };
  const TCase cases[] = {
      {PF::RGB8, PF::BGR, PF::BGR, nullptr},
      {PF::RGB16F, PF::BGR, PF::RGB, nullptr},
      {PF::SRGB8_ALPHA8, PF::BGRA, PF::RGBA, nullptr},
      {PF::RGBA8, PF::BGRA, PF::BGRA, nullptr},
      {PF::R8, PF::RGBA, PF::RGBA, nullptr},
      {PF::RG32F, PF::BGRA, PF::BGRA,
       "TPixelFormatExHelper.CompatibleFormat failed, but ignored:\r\nBGRA (given) <> RG (expected) "
       "(expected "
       "basis formats is different)"},
  };
  for (const TCase& c : cases) {
    vtest::TLogCapture log;
    EXPECT_EQ(TPixelFormatExHelper::CompatibleFormat(c.Comp, c.Format), c.Result)
        << TPixelFormatExHelper::ToString(c.Comp);
    if (c.Logged)
      EXPECT_EQ(log.Lines(), std::vector<std::string>{c.Logged});
    else
      EXPECT_TRUE(log.Lines().empty());
  }
}

TEST_F(Texturing, IrregularRowsOfTheFormatTable) {
  EXPECT_EQ(TPixelFormatExHelper::GetCorrespondingFormat(PF::RGB8), PF::BGR);
  EXPECT_EQ(TPixelFormatExHelper::GetCorrespondingFormat(PF::RGBA8), PF::BGRA);
  EXPECT_EQ(TPixelFormatExHelper::GetCorrespondingFormat(PF::SRGB8), PF::RGB);
  EXPECT_EQ(TPixelFormatExHelper::GetCorrespondingFormat(PF::SRGB8_ALPHA8), PF::RGBA);
  EXPECT_EQ(TPixelFormatExHelper::GetCorrespondingDataType(PF::RGBA32I), DT::dtUnsignedInt);
  EXPECT_EQ(TPixelFormatExHelper::GetCorrespondingDataType(PF::RGBA32UI), DT::dtInt);
  EXPECT_EQ(PixelFormatExBytesPerPixel(PF::StencilIndex), 4);
  EXPECT_EQ(PixelFormatExBytesPerPixel(PF::DepthStencil), 1);
  EXPECT_EQ(TPixelFormatExHelper::ToString(PF::Alpha), "Alpha");
  EXPECT_EQ(TypeInfoOf<TPixelFormatEx>().Names->at(79), "DepthStencil");

  const auto beyond = static_cast<PF>(80);
  EXPECT_EQ(TPixelFormatExHelper::GetCorrespondingFormat(beyond), PF::BGRA);
  EXPECT_EQ(TPixelFormatExHelper::GetCorrespondingDataType(beyond), DT::dtUnsignedByte);
  EXPECT_EQ(TPixelFormatExHelper::ToString(beyond), "?");
  EXPECT_FALSE(TPixelFormatExHelper::IsIntegerTexture(beyond));

  EXPECT_EQ(TPixelFormatExHelper::ToPixelFormat(PF::RGBA32F), TPixelFormat::RGBA32F);
  EXPECT_EQ(MessageOf([] { TPixelFormatExHelper::ToPixelFormat(PF::R8); }),
            "failed to convert to TPixelFormat: R8 is only valid in TPixelFormatEx");
}

TEST_F(Texturing, StringToTextureWrap) {
  EXPECT_EQ(StringToTextureWrap(" Mirrored_Repeat "), TVantrelTextureWrap::MirroredRepeat);
  EXPECT_EQ(StringToTextureWrap("\tclamp\n"), TVantrelTextureWrap::Clamp);
  EXPECT_EQ(StringToTextureWrap("REPEAT"), TVantrelTextureWrap::Repeated);
  EXPECT_EQ(StringToTextureWrap("clamp_to_border"), TVantrelTextureWrap::ClampToBorder);
  EXPECT_EQ(StringToTextureWrap("wrap"), TVantrelTextureWrap::ClampToEdge);
}

TEST_F(Texturing, AssignWithProtectedFormatSettings) {
  auto source = NewBitmap(4, 4);
  source->SetKind(Kind::CubeMap);
  source->SetFormat(PF::RGB);
  source->SetComponents(PF::RGB16F);
  source->SetDataType(DT::dtHalfFloat);
  source->SetMinFilter(TTextureFilter::Nearest);
  source->SetWrapT(TVantrelTextureWrap::MirroredRepeat);
  source->SetDepth(3);
  source->SetMipMapLevels(2);
  source->SetStyle({TTextureStyle::MipMaps});

  auto protectedTarget = NewBitmap();
  protectedTarget->SetProtectFormatSettings(true);
  protectedTarget->Assign(source.get());
  EXPECT_EQ(protectedTarget->GetComponents(), PF::RGBA8);
  EXPECT_EQ(protectedTarget->GetFormat(), PF::BGRA);
  EXPECT_EQ(protectedTarget->GetDataType(), DT::dtUnsignedByte);
  EXPECT_EQ(protectedTarget->GetKind(), Kind::CubeMap);
  EXPECT_EQ(protectedTarget->GetMinFilter(), TTextureFilter::Nearest);
  EXPECT_EQ(protectedTarget->GetWrapT(), TVantrelTextureWrap::MirroredRepeat);
  EXPECT_EQ(protectedTarget->GetDepth(), 3);
  EXPECT_EQ(protectedTarget->GetMipMapLevels(), 2);
  EXPECT_EQ(protectedTarget->GetStyle(), TTextureStyles{TTextureStyle::MipMaps});
  EXPECT_EQ(protectedTarget->Width(), 4);

  auto target = NewBitmap();
  target->Assign(source.get());
  EXPECT_EQ(target->GetComponents(), PF::RGB16F);
  EXPECT_EQ(target->GetFormat(), PF::RGB);
  EXPECT_EQ(target->GetDataType(), DT::dtHalfFloat);
}

TEST_F(Texturing, TextureTakesTheSettingsOfATexture) {
  TOwned<TVantrelTexture> source(TVantrelTexture::Create());
  source->SetKind(Kind::Array2D);
  source->SetTextureUnit(3);
  source->SetComponents(PF::R32F);
  source->SetDepth(4);
  source->SetStyle({TTextureStyle::RenderTarget});
  source->SetSize(8, 2);
  TOwned<TVantrelTexture> copy(TVantrelTexture::Create());
  copy->Assign(source.get());
  EXPECT_EQ(copy->GetKind(), Kind::Array2D);
  EXPECT_EQ(copy->GetTextureUnit(), 3);
  EXPECT_EQ(copy->GetComponents(), PF::R32F);
  EXPECT_EQ(copy->GetDepth(), 4);
  EXPECT_EQ(copy->GetStyleEx(), TTextureStyles{TTextureStyle::RenderTarget});
  EXPECT_EQ(copy->Width(), 8);

  auto bitmap = NewBitmap();
  bitmap->Assign(source.get());
  EXPECT_EQ(bitmap->GetKind(), Kind::Array2D);
  EXPECT_EQ(bitmap->GetComponents(), PF::R32F);
  EXPECT_EQ(bitmap->Width(), 8) << "the UI bitmap takes the texture's size";
}

TEST_F(Texturing, TextureKeepsThePixelBlockAfterTheBitmapGoes) {
  auto bitmap = NewBitmap(4, 2);
  bitmap->SetFormat(PF::RGB);
  bitmap->SetDataType(DT::dtFloat);
  bitmap->ValidateBuffer();
  std::memset(bitmap->GetBuffer(), 0x5A, 96);
  TOwned<TVantrelTexture> texture(TVantrelTexture::Create());
  texture->Assign(bitmap.get());
  EXPECT_EQ(texture->GetBuffer(), bitmap->GetBuffer());
  bitmap->SetDataType(DT::dtUnsignedByte);
  bitmap->ValidateBuffer(); // reallocates: 4 x 2 x 3 bytes
  bitmap.reset();
  ASSERT_EQ(texture->GetBufferSize(), 96);
  EXPECT_EQ(texture->GetBuffer()[95], 0x5A);
}

class TexturingWithContext : public Texturing {
protected:
  void SetUp() override {
    Texturing::SetUp();
    FRecorder = &vtest::TRecordingContext::Register();
  }
  int Finalizations() const {
    return static_cast<int>(
        std::count(FRecorder->Calls.begin(), FRecorder->Calls.end(), "DoFinalizeTexture"));
  }
  vtest::TRecordingContextClass* FRecorder = nullptr;
};

TEST_F(TexturingWithContext, SharedTextureIsFinalisedOnceByTheLastHolder) {
  auto first = NewBitmap(4, 4);
  auto second = NewBitmap(4, 4);
  TTexture* shared = first->Texture();
  ASSERT_NE(shared, nullptr);
  ASSERT_EQ(first->GetTextureReference(), shared);
  second->SetTextureReference(first->GetTextureReference());
  EXPECT_EQ(second->Texture(), shared);
  first.reset();
  EXPECT_EQ(Finalizations(), 0);
  EXPECT_NE(second->Texture()->Handle(), 0u);
  second.reset();
  EXPECT_EQ(Finalizations(), 1);
}

TEST_F(TexturingWithContext, DestroyResourcesKeepsTheTextureDuringAScene) {
  auto bitmap = NewBitmap(4, 4);
  ASSERT_NE(bitmap->Texture(), nullptr);
  ASSERT_TRUE(bitmap->Canvas()->BeginScene());
  bitmap->DestroyResources();
  EXPECT_NE(bitmap->HeldTexture(), nullptr);
  bitmap->Canvas()->EndScene();
  bitmap->DestroyResources();
  EXPECT_EQ(bitmap->HeldTexture(), nullptr);
  EXPECT_EQ(Finalizations(), 1);
}

TEST(TexturingClasses, InstallCountsAndBasesRaise) {
  InitializeTexturingOpenGL();
  InitializeTexturingOpenGL();
  FinalizeTexturingOpenGL();
  EXPECT_EQ(&VantrelTextureBitmapClass(), &TOpenGLVantrelTextureBitmap::StaticClass());
  EXPECT_EQ(TPixelFormatExHelper::ToValue(PF::RGBA16), 0x881A);
  FinalizeTexturingOpenGL();
  EXPECT_EQ(&VantrelTextureBitmapClass(), &TVantrelTextureBitmap::StaticClass());
  EXPECT_THROW(TVantrelTexture::Create(), EAbstractError);
  EXPECT_THROW(TPixelFormatExHelper::ToValue(PF::RGBA8), EAbstractError);
  EXPECT_THROW(SetTexturingClasses({.Texture = &TVantrelTextureBitmap::StaticClass()}), EInvalidCast);
}

} // namespace
