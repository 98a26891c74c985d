#include <gtest/gtest.h>

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

TEST(Material, ASourceMakesItsMaterialOnce) {
  EXPECT_EQ(TMaterialSource::ValidMaterial(nullptr), nullptr);
  const rtl::TOwned<TCountingSource> source = rtl::MakeOwned<TCountingSource>();
  TMaterial* material = TMaterialSource::ValidMaterial(source.get());
  ASSERT_NE(material, nullptr);
  EXPECT_EQ(source->GetMaterial(), material);
  EXPECT_EQ(source->Made, 1);
}

} // namespace
