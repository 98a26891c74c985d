#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "materials/Vantrel.Material.Types.h"
#include "rtl/sysutils.h"
#include "support/gl_fixture.h"

namespace poolstest {

using namespace vantrel;
using PF = TPixelFormatEx;
using DT = TVantrelTextureDataType;
using Kind = TVantrelTextureKind;
using Wrap = TVantrelTextureWrap;

// The owner a source would be: counts the pool's OnUpdate calls and keeps their senders.
class TPoolOwner : public TPersistent {
  RTL_CLASS(TPoolOwner, TPersistent)
public:
  TPoolOwner() : FPool(MakeOwned<TVantrelBitmapPool>(this)) {
    FPool->SetOnUpdate(TNotifyEvent(this, &TPoolOwner::PoolUpdated));
  }
  TVantrelBitmapPool& Pool() const { return *FPool; }
  std::vector<TObject*> Senders;

private:
  TOwned<TVantrelBitmapPool> FPool;
  void PoolUpdated(TObject* ASender) { Senders.push_back(ASender); }
};

class MaterialPoolsGL : public vtest::ContextGLTest {
protected:
  TPoolOwner Owner;

  TVantrelBitmapPoolEntry* AddEntry(const std::string& AName) {
    auto* entry = static_cast<TVantrelBitmapPoolEntry*>(Owner.Pool().Add());
    entry->SetName(AName);
    return entry;
  }
  // An entry whose bitmap holds a 2x2 image.
  TVantrelBitmapPoolEntry* AddEntryWithImage(const std::string& AName) {
    TVantrelBitmapPoolEntry* entry = AddEntry(AName);
    entry->GetBitmap()->SetSize(2, 2);
    Owner.Senders.clear();
    return entry;
  }
};

RTL_DEFINE_CLASS(TPoolOwner, "Test.MaterialPools")

} // namespace poolstest

using namespace poolstest;

TEST_F(MaterialPoolsGL, NewBitmapEntryHasTheDefaultsAndIsAnnouncedFromInsideThePool) {
  auto* entry = static_cast<TVantrelBitmapPoolEntry*>(Owner.Pool().Add());
  ASSERT_EQ(Owner.Senders.size(), 1u);
  EXPECT_EQ(Owner.Senders[0], entry);
  EXPECT_EQ(entry->Index(), 0);

  const TVantrelPoolEntrySettings& s = entry->GetSettings();
  EXPECT_EQ(s.Name, "");
  EXPECT_EQ(s.Tiling, (TPointF{1, 1}));
  EXPECT_FALSE(s.IsDynamic);
  EXPECT_FALSE(s.IgnoreInArray);
  EXPECT_EQ(s.ShaderKind, TContextShaderKind::PixelShader);
  EXPECT_EQ(s.TextureKind, Kind::Texture2D);
  EXPECT_EQ(s.InternalFormat, PF::RGBA8);
  EXPECT_EQ(s.Format, PF::BGRA);
  EXPECT_EQ(s.DataType, DT::dtUnsignedByte);
  EXPECT_EQ(s.WrapS, Wrap::Clamp);
  EXPECT_EQ(s.WrapT, Wrap::Clamp);
  EXPECT_EQ(s.WrapR, Wrap::Clamp);
  EXPECT_EQ(s.MinFilter, TTextureFilter::Linear);
  EXPECT_EQ(s.MagFilter, TTextureFilter::Linear);
  EXPECT_EQ(entry->GetBorderColor(), TAlphaColor(0));
  EXPECT_FALSE(entry->GetProtectFormatSettings());

  const TVantrelTextureBitmap* bitmap = entry->GetBitmap();
  EXPECT_EQ(bitmap->GetKind(), Kind::Texture2D);
  EXPECT_EQ(bitmap->GetComponents(), PF::RGBA8);
  EXPECT_EQ(bitmap->GetFormat(), PF::BGRA);
  EXPECT_EQ(bitmap->GetDataType(), DT::dtUnsignedByte);

  // A texture entry starts with no formats and the signed byte type.
  auto texturePool = MakeOwned<TVantrelTexturePool>(nullptr);
  const auto* texture = static_cast<TVantrelTexturePoolEntry*>(texturePool->Add());
  EXPECT_EQ(texture->GetSettings().InternalFormat, PF::None);
  EXPECT_EQ(texture->GetSettings().Format, PF::None);
  EXPECT_EQ(texture->GetSettings().DataType, DT::dtByte);
  EXPECT_EQ(texture->GetTexture(), nullptr);
}

TEST_F(MaterialPoolsGL, NotifyingSettersCallOnUpdateOnceAndBulkSettersNever) {
  struct TCase {
    const char* Name;
    std::function<void(TVantrelBitmapPoolEntry&)> Change;
    size_t Updates;
  };
  const std::vector<TCase> cases = {
      {"Name", [](auto& E) { E.SetName("Renamed"); }, 1},
      {"Tiling",
       [](auto& E) {
         E.SetTiling({2, 3});
       },
       1},
      {"TilingY", [](auto& E) { E.SetTilingY(4); }, 1},
      {"TextureKind", [](auto& E) { E.SetTextureKind(Kind::Texture3D); }, 1},
      {"DataType", [](auto& E) { E.SetDataType(DT::dtFloat); }, 1},
      {"WrapS", [](auto& E) { E.SetWrapS(Wrap::Repeated); }, 1},
      {"WrapR", [](auto& E) { E.SetWrapR(Wrap::Repeated); }, 1},
      {"MagFilter", [](auto& E) { E.SetMagFilter(TTextureFilter::Nearest); }, 1},
      {"BorderColor", [](auto& E) { E.SetBorderColor(0xFF102030); }, 1},
      {"IsDynamic (direct store)", [](auto& E) { E.SetIsDynamic(true); }, 0},
      {"ProtectFormatSettings", [](auto& E) { E.SetProtectFormatSettings(true); }, 0},
      {"SetTextureWrapping", [](auto& E) { E.SetTextureWrapping(Wrap::Repeated); }, 0},
      {"SetTextureMinMagFilter",
       [](auto& E) { E.SetTextureMinMagFilter(TTextureFilter::Nearest, TTextureFilter::Nearest); }, 0},
      {"SetExtendedProperties",
       [](auto& E) {
         E.SetExtendedProperties(Wrap::Repeated, Wrap::Repeated, Wrap::Repeated, TTextureFilter::Nearest,
                                 TTextureFilter::Nearest, 0xFF0000FF, {});
       },
       0},
      {"SetPixelFormatNoUpdate",
       [](auto& E) { E.SetPixelFormatNoUpdate(Kind::Texture2D, PF::R8, PF::R, DT::dtUnsignedByte, false); },
       0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TVantrelBitmapPoolEntry* entry = AddEntry("E");
    Owner.Senders.clear();
    c.Change(*entry);
    EXPECT_EQ(Owner.Senders.size(), c.Updates);
    if (!Owner.Senders.empty()) {
      EXPECT_EQ(Owner.Senders.back(), entry);
    }
  }
}

TEST_F(MaterialPoolsGL, SettersReachTheBitmap) {
  TVantrelBitmapPoolEntry* entry = AddEntry("E");
  entry->SetWrapT(Wrap::MirroredRepeat);
  entry->SetMinFilter(TTextureFilter::Nearest);
  entry->SetBorderColor(0x80FF0000);
  entry->SetInternalFormat(PF::RGBA8);
  const TVantrelTextureBitmap* bitmap = entry->GetBitmap();
  EXPECT_EQ(bitmap->GetWrapT(), Wrap::MirroredRepeat);
  EXPECT_EQ(bitmap->GetMinFilter(), TTextureFilter::Nearest);
  EXPECT_EQ(bitmap->GetBorderColor(), TAlphaColorF::Create(0x80FF0000));
  EXPECT_EQ(entry->GetBorderColor(), TAlphaColor(0x80FF0000));

  // A new internal format replaces the format by the one compatible with it.
  entry->SetInternalFormat(PF::R8);
  EXPECT_EQ(entry->GetInternalFormat(), PF::R8);
  EXPECT_EQ(entry->GetFormat(), TPixelFormatExHelper::CompatibleFormat(PF::R8, PF::BGRA));
  EXPECT_EQ(bitmap->GetComponents(), PF::R8);
}

TEST_F(MaterialPoolsGL, SetPixelFormatSkipsEqualFormatsOnlyWhenTheBitmapHoldsAnImage) {
  TVantrelBitmapPoolEntry* withImage = AddEntryWithImage("WithImage");
  withImage->SetPixelFormat(Kind::CubeMap, PF::RGBA8, PF::BGRA, DT::dtUnsignedByte, true);
  EXPECT_TRUE(Owner.Senders.empty());
  EXPECT_EQ(withImage->GetTextureKind(), Kind::Texture2D);
  EXPECT_FALSE(withImage->GetProtectFormatSettings());

  withImage->SetPixelFormatNoUpdate(Kind::CubeMap, PF::RGBA8, PF::BGRA, DT::dtUnsignedByte, true);
  EXPECT_EQ(withImage->GetTextureKind(), Kind::Texture2D);

  // Without an image the same call stores all five and gives them to the bitmap.
  TVantrelBitmapPoolEntry* empty = AddEntry("Empty");
  Owner.Senders.clear();
  empty->SetPixelFormat(Kind::CubeMap, PF::RGBA8, PF::BGRA, DT::dtUnsignedByte, true);
  EXPECT_EQ(Owner.Senders.size(), 1u);
  EXPECT_EQ(empty->GetTextureKind(), Kind::CubeMap);
  EXPECT_TRUE(empty->GetProtectFormatSettings());
  EXPECT_EQ(empty->GetBitmap()->GetKind(), Kind::CubeMap);
  EXPECT_TRUE(empty->GetBitmap()->GetProtectFormatSettings());

  // Another format on an entry with an image is taken.
  withImage->SetPixelFormat(Kind::Texture2D, PF::R8, PF::R, DT::dtUnsignedByte, false);
  EXPECT_EQ(Owner.Senders.size(), 2u);
  PF comps{}, format{};
  DT type{};
  withImage->GetPixelFormat(comps, format, type);
  EXPECT_EQ(comps, PF::R8);
  EXPECT_EQ(format, PF::R);
  EXPECT_EQ(withImage->GetBitmap()->GetComponents(), PF::R8);
}

TEST_F(MaterialPoolsGL, WrappingFormsApplyDifferentRRules) {
  struct TCase {
    Kind TextureKind;
    bool SingleValue;
    bool BitmapTakesR;
  };
  const TCase cases[] = {
      {Kind::Array2D, true, true},    {Kind::Array2D, false, false},       {Kind::Texture3D, true, true},
      {Kind::Texture3D, false, true}, {Kind::ImageTexture3D, false, true}, {Kind::Texture2D, true, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << int(c.TextureKind) << " single " << c.SingleValue);
    TVantrelBitmapPoolEntry* entry = AddEntry("W");
    entry->SetTextureKind(c.TextureKind);
    const Wrap initialR = entry->GetBitmap()->GetWrapR();
    ASSERT_NE(initialR, Wrap::Repeated);
    if (c.SingleValue)
      entry->SetTextureWrapping(Wrap::Repeated);
    else
      entry->SetTextureWrapping(Wrap::Repeated, Wrap::Repeated, Wrap::Repeated);
    EXPECT_EQ(entry->GetWrapR(), Wrap::Repeated);
    EXPECT_EQ(entry->GetBitmap()->GetWrapS(), Wrap::Repeated);
    EXPECT_EQ(entry->GetBitmap()->GetWrapT(), Wrap::Repeated);
    EXPECT_EQ(entry->GetBitmap()->GetWrapR(), c.BitmapTakesR ? Wrap::Repeated : initialR);
  }
}

TEST_F(MaterialPoolsGL, CopyingEntriesTakesTheBitmapsTextureAndRefusesOtherClasses) {
  TVantrelBitmapPoolEntry* source = AddEntryWithImage("Texture0");
  source->SetTiling({2, 0.5f});
  source->SetIsDynamic(true);
  source->SetIgnoreInArray(true);
  source->SetShaderKind(TContextShaderKind::VertexShader);
  source->SetWrapS(Wrap::Repeated);
  source->SetBorderColor(0xFF00FF00);

  auto texturePool = MakeOwned<TVantrelTexturePool>(nullptr);
  texturePool->Add();
  auto* texture = static_cast<TVantrelTexturePoolEntry*>(texturePool->Add());
  texture->Assign(source);
  ASSERT_NE(texture->GetTexture(), nullptr);
  EXPECT_EQ(texture->GetTexture(), source->GetBitmap()->Texture());
  EXPECT_NE(texture->GetTexture()->Handle(), 0u);
  EXPECT_EQ(texture->GetDisplayName(), "Texture0");
  EXPECT_EQ(texture->GetTiling(), (TPointF{2, 0.5f}));
  EXPECT_TRUE(texture->GetIsDynamic());
  EXPECT_TRUE(texture->GetIgnoreInArray());
  EXPECT_EQ(texture->GetShaderKind(), TContextShaderKind::VertexShader);
  EXPECT_EQ(texture->GetSettings().WrapS, Wrap::Repeated);
  EXPECT_EQ(texture->GetBorderColor(), TAlphaColor(0xFF00FF00));
  EXPECT_EQ(texturePool->IndexOfTexture(texture->GetTexture()), 1);
  EXPECT_EQ(texturePool->IndexOfTexture(nullptr), 0);

  // Texture entry to texture entry copies everything, the borrowed texture included.
  auto* copy = static_cast<TVantrelTexturePoolEntry*>(texturePool->Add());
  copy->Assign(texture);
  EXPECT_EQ(copy->GetTexture(), texture->GetTexture());
  EXPECT_EQ(copy->GetDisplayName(), "Texture0");

  // The pool assignment (clear, then one copy per entry) copies bitmap, settings and protect flag.
  source->SetProtectFormatSettings(true);
  TPoolOwner other;
  other.Pool().Add();
  other.Pool().Assign(&Owner.Pool());
  ASSERT_EQ(other.Pool().Count(), 1);
  const TVantrelBitmapPoolEntry* copied = other.Pool().GetItem(0);
  EXPECT_EQ(copied->GetName(), "Texture0");
  EXPECT_EQ(copied->GetTiling(), (TPointF{2, 0.5f}));
  EXPECT_TRUE(copied->GetProtectFormatSettings());
  EXPECT_EQ(copied->GetBitmap()->Width(), 2);
  EXPECT_NE(copied->GetBitmap(), source->GetBitmap());

  TPoolOwner foreign;
  EXPECT_THROW(source->Assign(&foreign), EConvertError);
  EXPECT_THROW(texture->Assign(&foreign), EConvertError);
}

TEST_F(MaterialPoolsGL, PublishedPropertiesFollowTheStreamOrder) {
  std::vector<std::string> names;
  for (const TPropInfo* prop : GetPropList(TVantrelBitmapPoolEntry::StaticClass()))
    names.push_back(prop->Name);
  const std::vector<std::string> expected = {"Name",
                                             "TilingX",
                                             "TilingY",
                                             "IsDynamic",
                                             "IgnoreInArray",
                                             "ShaderKind",
                                             "TextureKind",
                                             "Format",
                                             "InternalFormat",
                                             "DataType",
                                             "WrapS",
                                             "WrapT",
                                             "WrapR",
                                             "MinFilter",
                                             "MagFilter",
                                             "BorderColor",
                                             "ProtectFormatSettings",
                                             "Bitmap"};
  EXPECT_EQ(names, expected);

  TVantrelBitmapPoolEntry* entry = AddEntry("E");
  SetPropValueFromString(entry, "WrapS", "Repeated");
  SetPropValueFromString(entry, "TilingX", "3");
  EXPECT_EQ(entry->GetWrapS(), Wrap::Repeated);
  EXPECT_EQ(entry->GetTilingX(), 3.0f);
  EXPECT_TRUE(IsPublishedProp(&Owner.Pool(), "DeclareAsArray"));
}

namespace {

std::string MessageOf(const std::function<void()>& AAction) {
  try {
    AAction();
  } catch (const Exception& E) {
    return E.Message();
  }
  return "(nothing raised)";
}

TVantrelBitmapPoolEntry* Add2D(TVantrelBitmapPool& APool, const std::string& AName,
                               TVantrelTexturePool* ATexturePool = nullptr, Kind AKind = Kind::Texture2D) {
  return APool.AddBitmap(AName, PF::RGBA8, PF::BGRA, DT::dtUnsignedByte, false, false, false,
                         TContextShaderKind::PixelShader, AKind, ATexturePool);
}

} // namespace

TEST_F(MaterialPoolsGL, AddBitmapReplacesAnEntryOfAnotherKindAndKeepsOneOfTheSameKind) {
  TVantrelBitmapPool& pool = Owner.Pool();
  auto texturePool = MakeOwned<TVantrelTexturePool>(nullptr);
  Add2D(pool, "Texture0");
  TVantrelBitmapPoolEntry* cube = Add2D(pool, "NormalMapTexture", nullptr, Kind::CubeMap);
  cube->GetBitmap()->SetSize(2, 2);
  Add2D(pool, "Texture1");
  texturePool->RebuildFrom(pool);
  ASSERT_EQ(texturePool->Count(), 3);
  ASSERT_NE(texturePool->GetItem(1)->GetTexture(), nullptr);

  TVantrelBitmapPoolEntry* replaced = Add2D(pool, "NormalMapTexture", texturePool.get());
  EXPECT_EQ(pool.Count(), 3);
  EXPECT_EQ(replaced->Index(), 2);
  EXPECT_EQ(replaced->GetTextureKind(), Kind::Texture2D);
  // Only the texture entry that borrowed the replaced bitmap's texture went.
  ASSERT_EQ(texturePool->Count(), 2);
  EXPECT_EQ(texturePool->GetItem(0)->GetDisplayName(), "Texture0");
  EXPECT_EQ(texturePool->GetItem(1)->GetDisplayName(), "Texture1");

  EXPECT_EQ(Add2D(pool, "NormalMapTexture"), replaced);
  EXPECT_EQ(pool.FindEntryByName("NormalMapTexture"), replaced);
  EXPECT_EQ(pool.FindEntryByName("normalmaptexture"), nullptr);

  // The rebuild copies the entries in order under their names.
  texturePool->RebuildFrom(pool);
  ASSERT_EQ(texturePool->Count(), 3);
  EXPECT_EQ(texturePool->GetItem(2)->GetDisplayName(), "NormalMapTexture");
  EXPECT_EQ(texturePool->FindEntryByName("NormalMapTexture"), texturePool->GetItem(2));
  EXPECT_EQ(texturePool->FindEntryByName("Missing"), nullptr);

  pool.RemoveBitmap("Texture0", texturePool.get());
  EXPECT_EQ(pool.FindEntryByName("Texture0"), nullptr);
  EXPECT_EQ(texturePool->FindEntryByName("Texture0"), nullptr);
  pool.RemoveBitmap("Missing", texturePool.get());
  EXPECT_EQ(pool.Count(), 2);
}

TEST_F(MaterialPoolsGL, AddBitmapLimitsNewEntriesOnlyAndNeedsAName) {
  TVantrelBitmapPool& pool = Owner.Pool();
  for (int i = 0; i < 16; ++i)
    Add2D(pool, "T" + std::to_string(i));
  EXPECT_EQ(MessageOf([&] { Add2D(pool, "T16"); }),
            "failed to add bitmap to pool - maximum number of textures in pool reached = 16");
  EXPECT_EQ(pool.Count(), 16);

  // A full pool still refreshes the entries it has.
  TVantrelBitmapPoolEntry* refreshed =
      pool.AddBitmap("T3", PF::R8, PF::R, DT::dtUnsignedByte, true, true, false,
                     TContextShaderKind::VertexShader, Kind::Texture2D, nullptr);
  EXPECT_EQ(refreshed->Index(), 3);
  EXPECT_EQ(refreshed->GetInternalFormat(), PF::R8);
  EXPECT_TRUE(refreshed->GetIsDynamic());
  EXPECT_TRUE(refreshed->GetIgnoreInArray());
  EXPECT_EQ(refreshed->GetShaderKind(), TContextShaderKind::VertexShader);

  EXPECT_EQ(MessageOf([&] { Add2D(pool, ""); }), "failed to add bitmap to pool - no entry name supplied!");
  EXPECT_EQ(pool.Count(), 16);
}
