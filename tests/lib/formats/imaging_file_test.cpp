// The file-format base: identity, masks, load and save paths with their messages, and options.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "formats/Vantrel.Imaging.DDS.h"
#include "formats/Vantrel.Imaging.TGA.h"
#include "image_test_support.h"
#include "rtl/ioutils.h"

namespace {

using namespace vantrel;
namespace F = ImageFormatId;

// A scratch folder of this process, removed with the fixture.
class TScratch {
public:
  TScratch()
      : FPath((std::filesystem::temp_directory_path() / ("vantrel_image_file_" + std::to_string(getpid())))
                  .string()) {
    std::filesystem::create_directories(FPath);
  }
  ~TScratch() { std::filesystem::remove_all(FPath); }
  std::string File(const std::string& AName) const { return FPath + "/" + AName; }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(FPath))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

private:
  std::string FPath;
};

TDynImageDataArray Images(std::initializer_list<TImageFormat> AFormats, int32_t ASide = 4) {
  TDynImageDataArray images;
  uint8_t seed = 1;
  for (const TImageFormat format : AFormats) {
    TImageData image{};
    CreateImageData(ASide, ASide, format, image);
    for (int32_t i = 0; i < image.Size; ++i)
      static_cast<uint8_t*>(image.Bits)[i] = static_cast<uint8_t>(i * 13 + seed);
    images.push_back(image);
    ++seed;
  }
  return images;
}

// A format that can load and recognises everything, but has no reader.
class TNoReaderFormat : public TImageFileFormat {
public:
  TNoReaderFormat() {
    FName = "No Reader";
    FCanLoad = true;
  }
  bool TestFormat(TImageIOHandle*) override { return true; }
};

// A stream whose writes move at most half of what they are given.
class THalfWriteStream : public TBytesStream {
public:
  int64_t Write(const void* ABuffer, int64_t ACount) override {
    return TBytesStream::Write(ABuffer, ACount / 2);
  }
};

std::string MessageOf(const std::function<void()>& ACall) {
  try {
    ACall();
  } catch (const EImagingError& E) {
    return E.Message();
  }
  return "no EImagingError";
}

TEST(ImageFileFormat, IdentityOfTheFormats) {
  const TOwned<TDDSFileFormat> dds(New<TDDSFileFormat>());
  EXPECT_EQ(dds->Name(), "DirectDraw Surface");
  EXPECT_EQ(dds->Masks().GetCommaText(), "*.dds");
  EXPECT_EQ(dds->Extensions().GetCommaText(), "dds");
  EXPECT_TRUE(dds->IsMultiImageFormat() && dds->CanLoad() && dds->CanSave());
  EXPECT_TRUE(dds->SupportedFormats().Contains(F::DXT5));
  EXPECT_FALSE(dds->SupportedFormats().Contains(F::X5R1G1B1));
  const TOwned<TTargaFileFormat> tga(New<TTargaFileFormat>());
  EXPECT_EQ(tga->Name(), "Truevision Targa Image");
  EXPECT_FALSE(tga->IsMultiImageFormat());
  const TOwned<TImageFileFormat> base(New<TImageFileFormat>());
  EXPECT_EQ(base->Name(), "Unknown and unsupported format");
  TBytesStream stream(TBytes(200, 0));
  TDynImageDataArray images;
  EXPECT_FALSE(base->LoadFromStream(stream, images));
  const TOwned<TNoReaderFormat> noReader(New<TNoReaderFormat>());
  EXPECT_NE(MessageOf([&] {
              noReader->LoadFromStream(stream, images);
            }).find("Exception Message: Image Format \"No Reader\" does not support loading images."),
            std::string::npos);
}

TEST(ImageFileFormat, BuiltInsAreInTheList) {
  const std::vector<TImageFileFormat*> formats = ImageFileFormats();
  ASSERT_GE(formats.size(), 2u);
  EXPECT_EQ(formats[0]->Name(), "DirectDraw Surface");
  EXPECT_EQ(formats[1]->Name(), "Truevision Targa Image");
}

TEST(ImageFileFormat, FileNamesMatchTheMasks) {
  const TOwned<TDDSFileFormat> dds(New<TDDSFileFormat>());
  EXPECT_TRUE(dds->TestFileName("/a/b/Sky.DDS"));
  EXPECT_FALSE(dds->TestFileName("sky.dds.bak"));
  EXPECT_FALSE(dds->TestFileName("/x.dds/sky"));
  struct TMasks : TImageFileFormat {
    explicit TMasks(std::string_view AMasks) { SetMasks(AMasks); }
  };
  const TOwned<TMasks> one(New<TMasks>("sky?.tga"));
  EXPECT_TRUE(one->TestFileName("sky1.tga"));
  EXPECT_FALSE(one->TestFileName("sky12.tga"));
  const TOwned<TMasks> two(New<TMasks>("*.dds, *.DDS2"));
  EXPECT_EQ(two->Extensions().GetCommaText(), "dds,DDS2");
  EXPECT_TRUE(two->TestFileName("a.dds2"));
  EXPECT_TRUE(MatchesMask("abcabd", "*ab?"));
  EXPECT_TRUE(MatchesMask("a", "a**"));
  EXPECT_FALSE(MatchesMask("ab", "a?c"));
}

TEST(ImageFileFormat, LoadFailuresCarryTheirMessages) {
  const TOwned<TDDSFileFormat> dds(New<TDDSFileFormat>());
  const TOwned<TTargaFileFormat> tga(New<TTargaFileFormat>());
  TDynImageDataArray images = Images({F::A8R8G8B8});
  TBytesStream ddsStream;
  const uint8_t prefix[5] = {};
  ddsStream.Write(prefix, 5);
  ASSERT_TRUE(dds->SaveToStream(ddsStream, images));
  ddsStream.SetPosition(5);
  // A DDS file's header is no TGA header: its image type would be 'S'.
  const std::string message = MessageOf([&] { tga->LoadFromStream(ddsStream, images); });
  EXPECT_EQ(message.rfind("Error while loading images from stream ", 0), 0u) << message;
  EXPECT_NE(message.find("(file format: tga). Exception Message: Stream "), std::string::npos) << message;
  EXPECT_EQ(ddsStream.GetPosition(), 5);

  const uint8_t garbage[10] = {};
  const std::string memory = MessageOf([&] { dds->LoadFromMemory(garbage, 10, images); });
  EXPECT_EQ(memory,
            Format("Error while loading images from memory %p (10 Bytes) (file format: dds). Exception "
                   "Message: Memory %p (10 Bytes) does not contain valid image in \"DirectDraw Surface\" "
                   "format.",
                   static_cast<const void*>(garbage), static_cast<const void*>(garbage)));
  const std::string missing = MessageOf([&] { dds->LoadFromFile("/nonexistent/folder/sky.dds", images); });
  EXPECT_EQ(missing.rfind(
                "Error while loading images from file \"/nonexistent/folder/sky.dds\" (file format: dds). "
                "Exception Message: ",
                0),
            0u)
      << missing;
}

TEST(ImageFileFormat, SavesOfSingleImageFormatsNumberTheirFiles) {
  TScratch scratch;
  const TOwned<TTargaFileFormat> tga(New<TTargaFileFormat>());
  const TDynImageDataArray images = Images({F::A8R8G8B8, F::R8G8B8, F::Gray8});
  ASSERT_TRUE(tga->SaveToFile(scratch.File("sky.tga"), images));
  EXPECT_EQ(scratch.Names(), (std::vector<std::string>{"sky000.tga", "sky001.tga", "sky002.tga"}));
  TDynImageDataArray loaded;
  ASSERT_TRUE(tga->LoadFromFile(scratch.File("sky001.tga"), loaded));
  EXPECT_EQ(loaded[0].Format, F::R8G8B8);
  EXPECT_EQ(vtest::Bytes(loaded[0]), vtest::Bytes(images[1]));
}

TEST(ImageFileFormat, FailedSaveLeavesTheOldFile) {
  TScratch scratch;
  const std::string target = scratch.File("old.tga");
  TFile::WriteAllBytes(target, TBytes{1, 2, 3});
  const TOwned<TTargaFileFormat> tga(New<TTargaFileFormat>());
  TDynImageDataArray wide;
  TImageData image{};
  CreateImageData(40000, 1, F::Gray8, image);
  wide.push_back(image);
  EXPECT_THROW(tga->SaveToFile(target, wide), EImagingError);
  EXPECT_EQ(TFile::ReadAllBytes(target), (TBytes{1, 2, 3}));
  EXPECT_EQ(scratch.Names(), std::vector<std::string>{"old.tga"});
}

TEST(ImageFileFormat, ShortWritesFail) {
  const TOwned<TTargaFileFormat> tga(New<TTargaFileFormat>());
  const TDynImageDataArray images = Images({F::R8G8B8});
  const int32_t exact = 18 + 4 * 4 * 3;
  std::vector<uint8_t> block(exact);
  int32_t size = exact - 1;
  const std::string message = MessageOf([&] { tga->SaveToMemory(block.data(), size, images); });
  EXPECT_NE(message.find("(file format: tga). Exception Message: short write: 47 of 48 bytes"),
            std::string::npos)
      << message;
  EXPECT_EQ(size, exact - 1);
  size = exact;
  ASSERT_TRUE(tga->SaveToMemory(block.data(), size, images));
  EXPECT_EQ(size, exact);
  THalfWriteStream half;
  EXPECT_THROW(tga->SaveToStream(half, images), EImagingError);
}

TEST(ImageOptions, RegistryAndStack) {
  EXPECT_EQ(GetImageOption(500), ImagingOption::Unset);
  EXPECT_EQ(GetImageOption(128), 255);
  EXPECT_EQ(GetImageOption(129), 0);
  EXPECT_EQ(GetImageOption(130), 0);
  EXPECT_EQ(GetImageOption(131), 1);
  // Registrations of variables last for the process, so the variable must too.
  static int32_t variable;
  variable = 5;
  EXPECT_FALSE(RegisterImageOption(-1, &variable));
  EXPECT_TRUE(RegisterImageOption(2000000000, &variable));
  EXPECT_EQ(GetImageOption(2000000000), 5);
  TOptionStack& stack = ImageOptionStack();
  EXPECT_FALSE(stack.Pop());
  for (int i = 0; i < 8; ++i)
    EXPECT_TRUE(stack.Push()) << i;
  EXPECT_FALSE(stack.Push());
  variable = 9;
  ImagingColorReductionMask = 0x0F;
  EXPECT_TRUE(stack.Pop());
  EXPECT_EQ(variable, 5);
  EXPECT_EQ(ImagingColorReductionMask, 255);
  while (stack.Pop()) {
  }
}

TEST(ImageOptions, FormatObjectsTakeTheirRegistrationsAlong) {
  EXPECT_EQ(GetImageOption(ImagingOption::TGAUseRLE), 0); // the built-in object's field
  TOptionStack& stack = ImageOptionStack();
  ASSERT_TRUE(stack.Push());
  {
    const TOwned<TTargaFileFormat> transient(New<TTargaFileFormat>());
    transient->SetUseRLE(true);
    EXPECT_EQ(GetImageOption(ImagingOption::TGAUseRLE), -1);
    ASSERT_TRUE(stack.Push());
  }
  EXPECT_EQ(GetImageOption(ImagingOption::TGAUseRLE), 0);
  // The snapshot's value goes through the registration alive now (ASan checks the freed one is
  // never touched), and the outer snapshot puts the built-in's value back.
  ASSERT_TRUE(stack.Pop());
  EXPECT_EQ(GetImageOption(ImagingOption::TGAUseRLE), -1);
  ASSERT_TRUE(stack.Pop());
  EXPECT_EQ(GetImageOption(ImagingOption::TGAUseRLE), 0);
}

TEST(ImageOptions, ConversionsAfterLoadAndBeforeSave) {
  const TOwned<TTargaFileFormat> tga(New<TTargaFileFormat>());
  const TOwned<TDDSFileFormat> dds(New<TDDSFileFormat>());
  const TDynImageDataArray images = Images({F::A8R8G8B8});
  TBytesStream tgaStream, ddsStream;
  ASSERT_TRUE(tga->SaveToStream(tgaStream, images));
  tgaStream.SetPosition(0);
  ImagingLoadOverrideFormat = F::Gray8;
  TDynImageDataArray loaded;
  const bool tgaLoaded = tga->LoadFromStream(tgaStream, loaded);
  ImagingLoadOverrideFormat = 0;
  ASSERT_TRUE(tgaLoaded);
  EXPECT_EQ(loaded[0].Format, F::Gray8);
  ImagingSaveOverrideFormat = F::R8G8B8;
  const bool ddsSaved = dds->SaveToStream(ddsStream, images);
  ImagingSaveOverrideFormat = 0;
  ASSERT_TRUE(ddsSaved);
  EXPECT_EQ(ddsStream.Bytes()[88], 24); // the bit count of R8G8B8
}

} // namespace
