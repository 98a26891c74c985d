#include <gtest/gtest.h>

#include <string>

#include "rtl/filer.h"
#include "rtl/form_text.h"
#include "rtl/properties.h"
#include "ui/bitmap.h"

namespace pngtest {

// A root with a picture, as forms hold bitmaps.
class TPictureHolder : public rtl::TComponent {
  RTL_CLASS(TPictureHolder, rtl::TComponent)
public:
  explicit TPictureHolder(rtl::TComponent* AOwner) : TComponent(AOwner), FPicture(rtl::New<ui::TBitmap>()) {}
  ui::TBitmap* GetPicture() const { return FPicture.get(); }
  void SetPicture(ui::TBitmap* AValue) { FPicture->Assign(AValue); }
  static void RegisterProperties(rtl::TPropertyList& AList) {
    AList.Add("Picture", &TPictureHolder::GetPicture, &TPictureHolder::SetPicture);
  }

private:
  rtl::TOwned<ui::TBitmap> FPicture;
};
RTL_DEFINE_CLASS(TPictureHolder, "Test.Png", &TPictureHolder::RegisterProperties)

} // namespace pngtest

namespace {

using pngtest::TPictureHolder;

TEST(BitmapPng, APictureRoundTripsThroughAFormAndAnEmptyOneWritesNothing) {
  rtl::TOwned<TPictureHolder> source(rtl::New<TPictureHolder>(nullptr));
  EXPECT_EQ(rtl::WriteComponentToText(source.get()).find("PNG"), std::string::npos);
  ui::TBitmap& picture = *source->GetPicture();
  picture.SetSize(5, 3);
  ui::TBitmapData data;
  ASSERT_TRUE(picture.Map(ui::TMapAccess::Write, data));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x)
      data.SetPixel(
          x, y, 0xFF000000u | static_cast<uint32_t>(x * 50) << 16 | static_cast<uint32_t>(y * 80) << 8 | 7u);
  data.SetPixel(4, 2, 0x80102030u);
  picture.Unmap(data);

  const std::string text = rtl::WriteComponentToText(source.get());
  EXPECT_NE(text.find("  Picture.PNG = {\n    89504E47"), std::string::npos) << text;
  rtl::TOwned<TPictureHolder> copy(rtl::New<TPictureHolder>(nullptr));
  rtl::ReadComponentFromText(text, copy.get());
  ASSERT_EQ(copy->GetPicture()->Width(), 5);
  ASSERT_EQ(copy->GetPicture()->Height(), 3);
  ui::TBitmapData original, loaded;
  ASSERT_TRUE(source->GetPicture()->Map(ui::TMapAccess::Read, original));
  ASSERT_TRUE(copy->GetPicture()->Map(ui::TMapAccess::Read, loaded));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x)
      EXPECT_EQ(loaded.GetPixel(x, y), original.GetPixel(x, y)) << x << "," << y;
  source->GetPicture()->Unmap(original);
  copy->GetPicture()->Unmap(loaded);
}

TEST(BitmapPng, DataThatIsNoPngIsAReadError) {
  rtl::TOwned<TPictureHolder> holder(rtl::New<TPictureHolder>(nullptr));
  try {
    rtl::ReadComponentFromText("object TPictureHolder\n  Picture.PNG = {\n    0102}\nend\n", holder.get());
    ADD_FAILURE();
  } catch (const rtl::EReadError& E) {
    EXPECT_NE(E.Message().find("Picture.PNG"), std::string::npos) << E.Message();
    EXPECT_NE(E.Message().find("invalid PNG data"), std::string::npos) << E.Message();
  }
}

} // namespace
