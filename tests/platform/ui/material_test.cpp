#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/material.h"

namespace {

using namespace ui;

class TPlainMaterial : public TMaterial {
protected:
  void DoApply(TContext3D*) override {}
};

class TShaderMaterial : public TCustomMaterial {};

class TCountingSource : public TMaterialSource {
public:
  TCountingSource() : TMaterialSource(nullptr) {}
  int Made = 0;

protected:
  rtl::TOwned<TMaterial> CreateMaterial() override {
    ++Made;
    return rtl::MakeOwned<TShaderMaterial>();
  }
};

TEST(Material, MatrixNamesOfPlainAndCustomMaterials) {
  TPlainMaterial plain;
  TShaderMaterial custom;
  EXPECT_EQ(plain.ModelViewProjection(), "");
  EXPECT_EQ(plain.ModelView(), "");
  EXPECT_EQ(plain.ModelViewInverseTranspose(), "");
  EXPECT_EQ(custom.ModelViewProjection(), "MVPMatrix");
  EXPECT_EQ(custom.ModelView(), "");
  EXPECT_EQ(custom.ModelViewInverseTranspose(), "");
}

// Records what the hooks saw: the initialisation hook runs before the factory stores the source,
// and the source's creation hook before it stores the owner pass.
std::vector<std::string> GEvents;

class TSourcedMaterial : public TShaderMaterial {
public:
  static rtl::TOwned<TSourcedMaterial> Create(rtl::TObject* ASource) {
    auto result = rtl::MakeOwned<TSourcedMaterial>();
    result->FSource = ASource;
    return result;
  }
  rtl::TObject* Source() const { return FSource; }
  void Change() { DoChange(); }

protected:
  void DoInitialize() override { GEvents.push_back(FSource ? "init:source" : "init:nil"); }

private:
  rtl::TObject* FSource = nullptr;
};

class TOwnedPassSource : public TMaterialSource {
public:
  TOwnedPassSource() : TMaterialSource(nullptr) {}
  static rtl::TOwned<TOwnedPassSource> Create(rtl::TObject* AOwnerPass) {
    auto result = rtl::MakeOwned<TOwnedPassSource>();
    result->FOwnerPass = AOwnerPass;
    return result;
  }
  rtl::TObject* OwnerPass() const { return FOwnerPass; }

protected:
  rtl::TOwned<TMaterial> CreateMaterial() override {
    GEvents.push_back(FOwnerPass ? "create:pass" : "create:nil");
    return TSourcedMaterial::Create(this);
  }

private:
  rtl::TObject* FOwnerPass = nullptr;
};

TEST(Material, HooksRunBeforeTheReferencesAreStoredAndChangesAreTracked) {
  GEvents.clear();
  TShaderMaterial pass; // stands in for the owner pass
  auto source = TOwnedPassSource::Create(&pass);
  auto* material = static_cast<TSourcedMaterial*>(source->GetMaterial());
  ASSERT_NE(material, nullptr);
  EXPECT_EQ(GEvents, (std::vector<std::string>{"create:nil", "init:nil"}));
  EXPECT_EQ(material->Source(), source.get());
  EXPECT_EQ(source->OwnerPass(), &pass);

  int changes = 0;
  material->SetOnChange([&](rtl::TObject* ASender) {
    EXPECT_EQ(ASender, material);
    ++changes;
  });
  EXPECT_FALSE(material->Modified());
  material->Change();
  EXPECT_TRUE(material->Modified());
  EXPECT_EQ(changes, 1);
  // The hooks ran once each.
  EXPECT_EQ(GEvents.size(), 2u);
}

TEST(Material, ApplyClearsModified) {
  class TChanging : public TMaterial {
  public:
    void Change() { DoChange(); }

  protected:
    void DoApply(TContext3D*) override {}
  };
  auto material = rtl::MakeOwned<TChanging>();
  material->Change();
  ASSERT_TRUE(material->Modified());
  material->Apply(nullptr);
  EXPECT_FALSE(material->Modified());
}

TEST(Material, ASourceMakesItsMaterialOnce) {
  EXPECT_EQ(TMaterialSource::ValidMaterial(nullptr), nullptr);
  const rtl::TOwned<TCountingSource> source = rtl::MakeOwned<TCountingSource>();
  TMaterial* material = TMaterialSource::ValidMaterial(source.get());
  ASSERT_NE(material, nullptr);
  EXPECT_EQ(source->GetMaterial(), material);
  EXPECT_EQ(source->Made, 1);
}

} // namespace
