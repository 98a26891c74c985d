#include <epoxy/gl.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "context/Vantrel.Context.Buffers.OpenGL.h"
#include "context/Vantrel.Context.Texturing.OpenGL.h"
#include "context/Vantrel.Context.Texturing.h"
#include "gl/egl_context.h"
#include "support/gl_fixture.h"

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

struct TTextureSetup {
  Kind AKind;
  PF Components, Format;
  DT Type;
  int32_t Width, Height, Depth;
};

// Distinct bytes; float formats get finite floats so the driver keeps them bit for bit.
std::vector<uint8_t> Pattern(size_t ASize, DT AType, int ASeed) {
  std::vector<uint8_t> bytes(ASize);
  if (AType == DT::dtFloat) {
    for (size_t i = 0; i + 4 <= ASize; i += 4) {
      const float value = 0.25f * float(i / 4) + float(ASeed);
      std::memcpy(&bytes[i], &value, 4);
    }
  } else {
    for (size_t i = 0; i < ASize; ++i)
      bytes[i] = static_cast<uint8_t>(i * 7 + ASeed);
  }
  return bytes;
}

class TexturingGL : public vtest::GLTest {
protected:
  static TOwned<TVantrelTextureBitmap> MakeBitmap(const TTextureSetup& ASetup, TTextureStyles AStyle = {}) {
    TOwned<TVantrelTextureBitmap> bitmap(TVantrelTextureBitmap::Create());
    bitmap->BeginSetup();
    bitmap->SetKind(ASetup.AKind);
    bitmap->SetComponents(ASetup.Components);
    bitmap->SetFormat(ASetup.Format);
    bitmap->SetDataType(ASetup.Type);
    bitmap->SetStyle(AStyle);
    bitmap->Set3DSize(ASetup.Width, ASetup.Height, ASetup.Depth);
    bitmap->EndSetup();
    return bitmap;
  }
  static std::vector<uint8_t> ReadBack(TVantrelTexture& ATexture, int32_t ALevel = 0) {
    std::vector<uint8_t> bytes;
    int64_t size = -1;
    EXPECT_TRUE(ATexture.RequestTextureData(bytes, size, ALevel));
    EXPECT_EQ(size, int64_t(bytes.size()));
    return bytes;
  }
  static bool AllZero(const std::vector<uint8_t>& ABytes) {
    return std::all_of(ABytes.begin(), ABytes.end(), [](uint8_t b) { return b == 0; });
  }
};

TEST_F(TexturingGL, TablesAgreeWithEachOther) {
  for (int v = 0; v < PixelFormatExCount; ++v) {
    const auto format = static_cast<PF>(v);
    EXPECT_EQ(TPixelFormatExHelper::IsIntegerTexture(TPixelFormatExHelper::ToValue(format)),
              TPixelFormatExHelper::IsIntegerTexture(format))
        << TPixelFormatExHelper::ToString(format);
  }
  EXPECT_EQ(TPixelFormatExHelper::ToValue(PF::RGBA16), 0x881A);
  EXPECT_EQ(TPixelFormatExHelper::ToValue(PF::RGBA16F), 0x881A);
  EXPECT_EQ(TPixelFormatExHelper::ToValue(PF::Depth32Stencil8), 0x8CAD);
  EXPECT_EQ(TPixelFormatExHelper::ToValue(static_cast<PF>(80)), GL_BGRA);
  EXPECT_EQ(TVantrelTextureWrapHelper::ToValue(static_cast<TVantrelTextureWrap>(9)), GL_REPEAT);
  EXPECT_EQ(TVantrelTextureDataTypeHelper::ToValue(static_cast<DT>(12)), GL_UNSIGNED_BYTE);
  EXPECT_EQ(CubeMapFaceToGL(TVantrelCubeMapFace::NegativeZ), 0x851Au);

  TOwned<TVantrelTexture> texture(TVantrelTexture::Create());
  uint32_t binding = 0, target = 0;
  texture->SetKind(Kind::ImageTexture3D);
  texture->GetBindingAndKind(binding, target);
  EXPECT_EQ(binding, 0x806Au);
  EXPECT_EQ(target, 0x806Fu);
  texture->SetKind(static_cast<Kind>(9));
  texture->GetBindingAndKind(binding, target);
  EXPECT_EQ(target, uint32_t(GL_TEXTURE_2D));
}

TEST_F(TexturingGL, UploadsReadBackTightly) {
  const TTextureSetup cases[] = {
      {Kind::Texture2D, PF::RGBA8, PF::BGRA, DT::dtUnsignedByte, 5, 3, 0},
      {Kind::Texture2D, PF::RGB8, PF::BGR, DT::dtUnsignedByte, 5, 3, 0}, // GL would pad rows to 47 bytes
      {Kind::Texture2D, PF::R32F, PF::R, DT::dtFloat, 5, 3, 0},
      {Kind::Texture3D, PF::RGBA8, PF::BGRA, DT::dtUnsignedByte, 4, 4, 3},
      {Kind::Array2D, PF::R32F, PF::R, DT::dtFloat, 3, 2, 4},
  };
  for (const TTextureSetup& setup : cases) {
    SCOPED_TRACE(TPixelFormatExHelper::ToString(setup.Components));
    auto bitmap = MakeBitmap(setup);
    const int64_t pixelBytes = PixelDataBytes(setup.Format, setup.Type);
    const auto data =
        Pattern(size_t(setup.Width * setup.Height * std::max(setup.Depth, 1) * pixelBytes), setup.Type, 1);
    bitmap->UpdateBuffer(data.data(), int64_t(data.size()));
    EXPECT_EQ(ReadBack(*bitmap->VantrelTexture()), data);
  }
}

TEST_F(TexturingGL, ShortBufferRaisesAndLeavesTheTexels) {
  auto bitmap = MakeBitmap({Kind::Texture2D, PF::RGBA8, PF::BGRA, DT::dtUnsignedByte, 5, 3, 0});
  const auto first = Pattern(60, DT::dtUnsignedByte, 1);
  const auto second = Pattern(60, DT::dtUnsignedByte, 9);
  bitmap->UpdateBuffer(first.data(), 60);
  EXPECT_EQ(MessageOf([&] { bitmap->UpdateBuffer(second.data(), 59); }),
            "failed to upload texture - buffer too small (59 < 60)");
  EXPECT_EQ(ReadBack(*bitmap->VantrelTexture()), first);
  bitmap->UpdateBuffer(nullptr, 0); // nothing to upload for a 2D image
  EXPECT_EQ(ReadBack(*bitmap->VantrelTexture()), first);
}

TEST_F(TexturingGL, ReadBackWithoutObjectOrOfACubeMap) {
  TOwned<TVantrelTexture> texture(TVantrelTexture::Create());
  std::vector<uint8_t> bytes{1, 2, 3};
  int64_t size = 3;
  EXPECT_FALSE(texture->RequestTextureData(bytes, size, 0));
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(size, 0);

  auto cube = MakeBitmap({Kind::CubeMap, PF::RGBA8, PF::BGRA, DT::dtUnsignedByte, 4, 4, 0});
  ASSERT_NE(cube->VantrelTexture()->Handle(), 0u);
  EXPECT_EQ(MessageOf([&] { cube->VantrelTexture()->RequestTextureData(bytes, size, 0); }),
            "failed to request texture data - unsupported texture kind");
}

TEST_F(TexturingGL, CubeFacesUploadFromSquarePowerOfTwoSources) {
  auto cube = MakeBitmap({Kind::CubeMap, PF::RGBA8, PF::BGRA, DT::dtUnsignedByte, 256, 256, 0});
  auto source = MakeBitmap({Kind::Texture2D, PF::RGBA8, PF::BGRA, DT::dtUnsignedByte, 256, 256, 0});
  TBitmapData data;
  ASSERT_TRUE(source->Map(TMapAccess::Write, data));
  data.SetPixel(3, 5, 0xFF102030);
  source->Unmap(data);
  cube->UpdateCubeMapFace(TVantrelCubeMapFace::PositiveY, source.get());

  std::vector<uint8_t> face(256 * 256 * 4);
  glBindTexture(GL_TEXTURE_CUBE_MAP, static_cast<GLuint>(cube->VantrelTexture()->Handle()));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_Y, 0, GL_BGRA, GL_UNSIGNED_BYTE, face.data());
  glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
  uint32_t texel = 0;
  std::memcpy(&texel, &face[(5 * 256 + 3) * 4], 4);
  EXPECT_EQ(texel, 0xFF102030u);

  const std::pair<int32_t, int32_t> badSizes[] = {{200, 200}, {256, 128}, {0, 0}};
  for (const auto& [width, height] : badSizes) {
    auto bad = MakeBitmap({Kind::Texture2D, PF::RGBA8, PF::BGRA, DT::dtUnsignedByte, width, height, 0});
    EXPECT_EQ(MessageOf([&] { cube->UpdateCubeMapFace(TVantrelCubeMapFace::NegativeX, bad.get()); }),
              "Invalid cube map face texture size! Cubemap texture needs to be even and dimension must be a "
              "power of 2 (2^x).")
        << width << " x " << height;
  }
  const auto pixels = Pattern(256 * 256 * 4, DT::dtUnsignedByte, 3);
  cube->UpdateBuffer(pixels.data(), int64_t(pixels.size())); // cube maps take faces only
}

TEST_F(TexturingGL, ClearTexImageClearsTheLevelsInUse) {
  if (!gl::HasClearTexture())
    GTEST_SKIP() << "the driver has no glClearTexImage";
  auto bitmap = MakeBitmap({Kind::Texture2D, PF::RGBA8, PF::BGRA, DT::dtUnsignedByte, 8, 8, 0},
                           {TTextureStyle::MipMaps});
  const auto pixels = Pattern(8 * 8 * 4, DT::dtUnsignedByte, 1);
  TVantrelTexture& texture = *bitmap->VantrelTexture();
  bitmap->UpdateBuffer(pixels.data(), int64_t(pixels.size()));
  texture.SetMipMapLevels(1);
  texture.Clear();
  EXPECT_TRUE(AllZero(ReadBack(texture, 0)));
  EXPECT_FALSE(AllZero(ReadBack(texture, 1)));

  bitmap->UpdateBuffer(pixels.data(), int64_t(pixels.size()));
  texture.SetMipMapLevels(4);
  texture.Clear();
  for (int level = 0; level < 4; ++level)
    EXPECT_TRUE(AllZero(ReadBack(texture, level))) << level;
}

TEST_F(TexturingGL, ClearFallbackUploadsLevelSizedZeros) {
  gl::SetClearTextureOverride(0);
  auto flat =
      MakeBitmap({Kind::Texture2D, PF::RGB16F, PF::RGB, DT::dtHalfFloat, 8, 8, 0}, {TTextureStyle::MipMaps});
  const auto pixels = Pattern(8 * 8 * 6, DT::dtUnsignedByte, 1);
  TVantrelTexture& texture = *flat->VantrelTexture();
  flat->UpdateBuffer(pixels.data(), int64_t(pixels.size()));
  texture.SetCurrentMipMapLevel(2);
  texture.Clear();
  EXPECT_TRUE(AllZero(ReadBack(texture, 2)));
  EXPECT_FALSE(AllZero(ReadBack(texture, 0)));
  texture.SetCurrentMipMapLevel(0);
  texture.Clear();
  EXPECT_TRUE(AllZero(ReadBack(texture, 0)));

  auto cube = MakeBitmap({Kind::CubeMap, PF::RGBA8, PF::BGRA, DT::dtUnsignedByte, 4, 4, 0});
  EXPECT_NO_THROW(cube->VantrelTexture()->Clear());
  auto volume = MakeBitmap({Kind::Texture3D, PF::RGB8, PF::BGR, DT::dtUnsignedByte, 3, 3, 2});
  const auto voxels = Pattern(3 * 3 * 2 * 3, DT::dtUnsignedByte, 4);
  volume->UpdateBuffer(voxels.data(), int64_t(voxels.size()));
  volume->VantrelTexture()->Clear();
  EXPECT_TRUE(AllZero(ReadBack(*volume->VantrelTexture())));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TexturingGL, SliceUploadsOneLayer) {
  auto volume = MakeBitmap({Kind::Array2D, PF::RGBA8, PF::BGRA, DT::dtUnsignedByte, 2, 2, 3});
  const auto zeros = std::vector<uint8_t>(2 * 2 * 3 * 4, 0);
  volume->UpdateBuffer(zeros.data(), int64_t(zeros.size()));
  const auto layer = Pattern(16, DT::dtUnsignedByte, 5);
  volume->Update3DSlice(1, layer.data(), 16);
  const auto bytes = ReadBack(*volume->VantrelTexture());
  ASSERT_EQ(bytes.size(), 48u);
  EXPECT_TRUE(AllZero({bytes.begin(), bytes.begin() + 16}));
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 16, bytes.begin() + 32), layer);
  EXPECT_TRUE(AllZero({bytes.begin() + 32, bytes.end()}));

  EXPECT_EQ(MessageOf([&] { volume->Update3DSlice(3, layer.data(), 16); }),
            "failed to upload texture slice - slice 3 outside 0..2");
  EXPECT_EQ(MessageOf([&] { volume->Update3DSlice(0, layer.data(), 15); }),
            "failed to upload texture - buffer too small (15 < 16)");
}

TEST_F(TexturingGL, EveryOperationRestoresTheBindings) {
  GLuint sentinels[3] = {};
  glGenTextures(3, sentinels);
  const GLenum targets[3] = {GL_TEXTURE_2D, GL_TEXTURE_3D, GL_TEXTURE_CUBE_MAP};
  const GLenum queries[3] = {GL_TEXTURE_BINDING_2D, GL_TEXTURE_BINDING_3D, GL_TEXTURE_BINDING_CUBE_MAP};
  glActiveTexture(GL_TEXTURE0);
  for (int i = 0; i < 3; ++i)
    glBindTexture(targets[i], sentinels[i]);
  glPixelStorei(GL_PACK_ALIGNMENT, 8);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
  auto expectRestored = [&](const char* AStep) {
    for (int i = 0; i < 3; ++i) {
      GLint bound = 0;
      glGetIntegerv(queries[i], &bound);
      EXPECT_EQ(GLuint(bound), sentinels[i]) << AStep;
    }
    GLint value = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &value);
    EXPECT_EQ(value, GL_TEXTURE0) << AStep;
    glGetIntegerv(GL_PACK_ALIGNMENT, &value);
    EXPECT_EQ(value, 8) << AStep;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &value);
    EXPECT_EQ(value, 2) << AStep;
  };

  auto flat = MakeBitmap({Kind::Texture2D, PF::RGBA8, PF::BGRA, DT::dtUnsignedByte, 4, 4, 0},
                         {TTextureStyle::MipMaps});
  flat->VantrelTexture()->SetTextureUnit(2);
  const auto pixels = Pattern(64, DT::dtUnsignedByte, 1);
  flat->UpdateBuffer(pixels.data(), 64);
  expectRestored("UpdateBuffer");
  EXPECT_ANY_THROW(flat->UpdateBuffer(pixels.data(), 10));
  expectRestored("UpdateBuffer too small");
  ReadBack(*flat->VantrelTexture());
  expectRestored("RequestTextureData");
  flat->VantrelTexture()->GenerateMipMap();
  expectRestored("GenerateMipMap");
  flat->VantrelTexture()->Clear();
  expectRestored("Clear");
  gl::SetClearTextureOverride(0);
  flat->VantrelTexture()->Clear();
  expectRestored("Clear by upload");

  auto volume = MakeBitmap({Kind::Texture3D, PF::RGBA8, PF::BGRA, DT::dtUnsignedByte, 2, 2, 2});
  volume->Update3DSlice(1, pixels.data(), 16);
  expectRestored("Update3DSlice");
  EXPECT_ANY_THROW(volume->Update3DSlice(5, pixels.data(), 16));
  expectRestored("Update3DSlice out of range");

  auto cube = MakeBitmap({Kind::CubeMap, PF::RGBA8, PF::BGRA, DT::dtUnsignedByte, 4, 4, 0});
  auto face = MakeBitmap({Kind::Texture2D, PF::RGBA8, PF::BGRA, DT::dtUnsignedByte, 4, 4, 0});
  cube->UpdateCubeMapFace(TVantrelCubeMapFace::NegativeZ, face.get());
  expectRestored("UpdateCubeMapFace");
  auto badFace = MakeBitmap({Kind::Texture2D, PF::RGBA8, PF::BGRA, DT::dtUnsignedByte, 4, 2, 0});
  EXPECT_ANY_THROW(cube->UpdateCubeMapFace(TVantrelCubeMapFace::NegativeZ, badFace.get()));
  expectRestored("UpdateCubeMapFace raising");

  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  for (GLenum target : targets)
    glBindTexture(target, 0);
  glDeleteTextures(3, sentinels);
}

} // namespace

namespace {

// Frame buffers attach a cube map's chosen face, and all layers of 3D textures and arrays.
TEST_F(TexturingGL, FrameBuffersAttachByTheTexturesKind) {
  struct TCase {
    Kind TextureKind;
    GLenum Target, AttachTarget;
    bool Layered;
  };
  const TCase cases[] = {
      {Kind::Texture2D, GL_TEXTURE_2D, GL_TEXTURE_2D, false},
      {Kind::CubeMap, GL_TEXTURE_CUBE_MAP, GL_TEXTURE_CUBE_MAP_NEGATIVE_Y, false},
      {Kind::Texture3D, GL_TEXTURE_3D, GL_TEXTURE_3D, true},
      {Kind::Array2D, GL_TEXTURE_2D_ARRAY, GL_TEXTURE_2D_ARRAY, true},
  };
  for (const TCase& c : cases) {
    TOwned<TVantrelTexture> texture(TVantrelTexture::Create());
    texture->SetKind(c.TextureKind);
    texture->SetAttachedCubeMapFace(TVantrelCubeMapFace::NegativeY);
    const TGLTextureTarget target = TextureTargetOf(texture.get());
    EXPECT_EQ(target.Target, c.Target) << int(c.TextureKind);
    EXPECT_EQ(target.AttachTarget, c.AttachTarget) << int(c.TextureKind);
    EXPECT_EQ(target.Layered, c.Layered) << int(c.TextureKind);
  }
  rtl::TOwned<ui::TTexture> plain(rtl::New<ui::TTexture>());
  EXPECT_EQ(TextureTargetOf(plain.get()).Target, static_cast<uint32_t>(GL_TEXTURE_2D));
}

} // namespace
