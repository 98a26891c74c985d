#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "definitions/Vantrel.DefTypes.Utils.h"
#include "rtl/classes.h"
#include "ui/fmx_object.h"

namespace {

using namespace vantrel;

TEST(DefTypesCodecs, PointsSplitAtCommasOrBlanksAndIgnoreWhatIsNoNumber) {
  struct Case {
    const char* Text;
    TPoint3D Point;
  } cases[] = {
      {"1,2,3", {1, 2, 3}},   {"1 2 3", {1, 2, 3}},  {" 1  2 3 ", {1, 2, 3}}, {"1, x, 3", {1, 0, 3}},
      {"1 2 3 4", {1, 2, 3}}, {"", {0, 0, 0}},       {"1 2,3", {0, 3, 0}},    {"1e2 -0.5", {100, -0.5f, 0}},
      {",,7", {7, 0, 0}},     {"1\t2 3", {0, 3, 0}}, {"NAN INF -INF", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    const TPoint3D point = StringToPoint3D(c.Text);
    if (std::string_view(c.Text).starts_with("NAN")) {
      EXPECT_TRUE(std::isnan(point.X));
      EXPECT_EQ(point.Y, std::numeric_limits<float>::infinity());
      EXPECT_EQ(point.Z, -std::numeric_limits<float>::infinity());
      continue;
    }
    EXPECT_EQ(point, c.Point);
  }
  EXPECT_EQ(StringToVector3D("1,2,3,4,5"), (TVector3D{1, 2, 3, 4}));
  EXPECT_EQ(StringToPointF("0.5 x"), (TPointF{0.5f, 0}));
  EXPECT_EQ(StringToQuaternion("1 2 3 4"), TQuaternion3D({1, 2, 3}, 4));
  EXPECT_EQ(QuaternionToString(TQuaternion3D({1, 2, 3}, 4), ','), "1.0000000,2.0000000,3.0000000,4.0000000");
}

TEST(DefTypesCodecs, FixedNumbersHaveTheirDecimalsAndNoSignForZero) {
  EXPECT_EQ(Point3DToString({1.5f, -0.25f, 1e-9f}), "1.5000000 -0.2500000 0.0000000");
  EXPECT_EQ(Point3DToString({-0.0f, -1e-8f, -1e10f}, ','), "0.0000000,0.0000000,-10000000000.0000000");
  EXPECT_EQ(Vector3DToString({0.5f, 0.25f, 1, 1}, true), "0.5000 0.2500 1.0000 1.0000");
  EXPECT_EQ(Vector3DToString({0.5f, -0.00004f, 1, 1}, false, ';'), "0.5000;0.0000;1.0000");
  EXPECT_EQ(PointFToString({0.1f, 2}), "0.1000000 2.0000000");
  EXPECT_EQ(Vector4ToString(1, 2, 3, 4, ','), "1.0000000,2.0000000,3.0000000,4.0000000");
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(Point3DToString({nan, inf, -inf}), "NAN INF -INF");
}

TEST(DefTypesCodecs, MatricesAndArrays) {
  EXPECT_EQ(StringToMatrix3D(""), TMatrix3D::Identity());
  EXPECT_EQ(StringToMatrix3D(" \t "), TMatrix3D::Identity());
  // Pieces that are no number still count, as zeros.
  EXPECT_EQ(StringToMatrix3D("x y"), TMatrix3D{});
  std::string text;
  TMatrix3D counted;
  for (int i = 0; i < 16; ++i) {
    counted(i / 4, i % 4) = static_cast<float>(i + 1);
    text += std::to_string(i + 1) + " ";
  }
  EXPECT_EQ(StringToMatrix3D(text + "99"), counted);
  TMatrix3D partial;
  partial.m11 = 5;
  partial.m12 = 6;
  EXPECT_EQ(StringToMatrix3D("5 6"), partial);
  EXPECT_EQ(Matrix3DToString(TMatrix3D::Identity()), "1.0000000 0.0000000 0.0000000 0.0000000 "
                                                     "0.0000000 1.0000000 0.0000000 0.0000000 "
                                                     "0.0000000 0.0000000 1.0000000 0.0000000 "
                                                     "0.0000000 0.0000000 0.0000000 1.0000000");
  std::string builder = "M=";
  EXPECT_EQ(Matrix3DToString(counted, &builder, ','), "M=" + Matrix3DToString(counted, nullptr, ','));
  EXPECT_EQ(builder.substr(0, 22), "M=1.0000000,2.0000000,");

  const std::vector<float> singles{1.5f, -2, 0.1f};
  EXPECT_EQ(SingleArrayToString(singles), "1.5000000 -2.0000000 0.1000000");
  EXPECT_EQ(StringToSingleArray(" 1.5  -2 x "), (std::vector<float>{1.5f, -2, 0}));
  EXPECT_EQ(StringToSingleArray("1,5 2"), (std::vector<float>{0, 2}));
  EXPECT_EQ(IntegerArrayToString(std::vector<int32_t>{}), "");
  EXPECT_EQ(IntegerArrayToString(std::vector<int32_t>{3, -4}, ','), "3,-4");
  EXPECT_EQ(StringToIntegerArray("3 -4 1.5 99999999999 x"), (std::vector<int32_t>{3, -4, 0, 0, 0}));

  const std::vector<TPoint3D> points{{1, 2, 3}, {4, 5, 6}};
  EXPECT_EQ(Point3DArrayToString(points, ';'), "1.0000000 2.0000000 3.0000000;4.0000000 5.0000000 6.0000000");
  EXPECT_EQ(StringToPoint3DArray(Point3DArrayToString(points)), points);
  EXPECT_EQ(StringToPoint3DArray("1 2 3 4 5"), (std::vector<TPoint3D>{{1, 2, 3}}));

  EXPECT_EQ(BytesToString(std::vector<uint8_t>{0, 255}), "0 255 ");
  EXPECT_EQ(BytesToString({}), "");
  EXPECT_EQ(StringToBytes("0 255 256 x -1"), (std::vector<uint8_t>{0, 255, 0, 0, 255}));
  EXPECT_TRUE(StringToBytes("").empty());
}

TEST(DefTypesCodecs, SetsByElementName) {
  using enum ui::TVertexFormat;
  EXPECT_EQ(StringToVertexFormats("Vertex,normal,Bogus"), (TVertexFormats{Vertex, Normal}));
  EXPECT_EQ(StringToVertexFormats("Vertex, Normal"), (TVertexFormats{Vertex}));
  EXPECT_EQ(VertexFormatsToString({Tangent, Vertex, TexCoord0}), "Vertex,TexCoord0,Tangent");
  EXPECT_EQ(VertexFormatsToString({}), "");
  EXPECT_TRUE(StringToVertexFormats("").IsEmpty());

  const TTextureFlippings both{TTextureFlipping::Horizontal, TTextureFlipping::Vertical};
  EXPECT_EQ(TextureFlippingsToString(both), "Vertical,Horizontal");
  EXPECT_EQ(StringToTextureFlippings("horizontal,,VERTICAL"), both);
  EXPECT_EQ(TextureFlippingsToString({}), "");
}

TEST(DefTypesNames, ValidNamesReplaceEachForeignCharacterOnce) {
  const std::pair<const char*, const char*> cases[] = {
      {"3D Box", "_3D_Box"}, {"Mesh", "Mesh"},          {"", ""},     {"a-b.c", "a_b_c"},
      {"\xc3\x84x", "_x"},   {"\xf0\x9f\x98\x80", "_"}, {"_1", "_1"}, {"9", "_9"},
  };
  for (const auto& [text, name] : cases)
    EXPECT_EQ(ToValidComponentName(text), name) << text;
}

class DefTypesUniqueNames : public ::testing::Test {
protected:
  TOwned<TComponent> FRoot = MakeOwned<TComponent>(nullptr);

  TComponent* Make(TComponent* AOwner, const std::string& AName) {
    auto* component = New<TComponent>(AOwner);
    component->SetName(AName);
    return component;
  }
};

TEST_F(DefTypesUniqueNames, SuffixesGrowUntilNoOwnerUpTheChainHoldsTheName) {
  TComponent* inner = Make(FRoot.get(), "Inner");
  Make(FRoot.get(), "Mesh");
  Make(inner, "mesh_1");
  EXPECT_EQ(GetUniqueComponentName(nullptr, "Mesh"), "Mesh");
  EXPECT_EQ(GetUniqueComponentName(FRoot.get(), "Mesh"), "Mesh_1");
  EXPECT_EQ(GetUniqueComponentName(inner, "Mesh"), "Mesh_1_1");
  EXPECT_TRUE(IsUniqueComponentName(inner, "Other"));
  EXPECT_FALSE(IsUniqueComponentName(inner, "MESH"));

  const auto node = MakeOwned<TTransformDef>();
  node->SetId("3D Box");
  EXPECT_EQ(node->GetQualifiedComponentName(), "_3D_Box");
  node->IncCopyCount();
  node->IncCopyCount();
  EXPECT_EQ(node->GetQualifiedComponentName(), "_3D_Box_Copy2");
}

TEST_F(DefTypesUniqueNames, AnUnownedUIObjectLooksThroughItsParent) {
  auto parent = MakeOwned<ui::TFmxObject>(nullptr);
  Make(parent.get(), "Mesh");
  Make(parent.get(), "Mesh_1");
  auto child = MakeOwned<ui::TFmxObject>(nullptr);
  parent->AddObject(child.get());
  EXPECT_FALSE(IsUniqueComponentName(child.get(), "mesh"));
  EXPECT_EQ(GetUniqueComponentName(child.get(), "Mesh"), "Mesh_1_1");
  parent->RemoveObject(child.get());
  EXPECT_TRUE(IsUniqueComponentName(child.get(), "Mesh"));
}

TEST_F(DefTypesUniqueNames, GlobalComponentsAndTheGlobalHookDecide) {
  TComponent* form = Make(nullptr, "MainForm");
  AddGlobalComponent(form);
  EXPECT_FALSE(IsUniqueComponentName(nullptr, "mainform"));
  EXPECT_EQ(GetUniqueComponentName(nullptr, "MainForm"), "MainForm_1");
  form->Free();
  EXPECT_TRUE(IsUniqueComponentName(nullptr, "MainForm"));

  Make(FRoot.get(), "Taken");
  SetIsUniqueGlobalComponentNameProc([](const std::string& AName) { return AName != "Free"; });
  EXPECT_TRUE(IsUniqueComponentName(FRoot.get(), "Taken"));
  EXPECT_EQ(GetUniqueComponentName(FRoot.get(), "Free"), "Free_1");

  SetIsUniqueGlobalComponentNameProc([](const std::string&) { return false; });
  EXPECT_THROW(GetUniqueComponentName(nullptr, "Any"), EComponentError);
  SetIsUniqueGlobalComponentNameProc(nullptr);
}

} // namespace
