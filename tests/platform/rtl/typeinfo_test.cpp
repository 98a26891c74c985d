#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <string>

#include "rtl/colors.h"
#include "rtl/typeinfo.h"

namespace {

using namespace rtl;

struct TSample {
  bool Flag = false;
  double Value = 0;
  TAlphaColorF Color;
  std::array<float, 3> Weights{};
};
RTL_RECORD_TYPEINFO_FIELDS(TSample, RTL_RECORD_FIELD(TSample, Flag), RTL_RECORD_FIELD(TSample, Value),
                           RTL_RECORD_FIELD(TSample, Color), RTL_RECORD_FIELD(TSample, Weights));

TEST(TypeInfo, RecordFieldTablesKeepDeclarationOrderOffsetsAndTypes) {
  const TTypeInfo& info = TypeInfoOf<TSample>();
  EXPECT_EQ(info.Kind, TTypeKind::tkRecord);
  EXPECT_EQ(info.Size, sizeof(TSample));
  ASSERT_NE(info.Fields, nullptr);
  ASSERT_EQ(info.Fields->size(), 4u);
  const auto& fields = *info.Fields;
  EXPECT_EQ(fields[0].Name, "Flag");
  EXPECT_EQ(fields[0].Type, &TypeInfoBoolean());
  EXPECT_EQ(fields[1].Offset, offsetof(TSample, Value));
  EXPECT_EQ(fields[1].Type, &TypeInfoDouble());
  EXPECT_EQ(fields[2].Type, &TypeInfoOf<TAlphaColorF>());
  EXPECT_EQ(fields[2].Type->Kind, TTypeKind::tkRecord);
  EXPECT_EQ(fields[2].Type->Fields, nullptr);

  const TTypeInfo& weights = *fields[3].Type;
  EXPECT_EQ(weights.Kind, TTypeKind::tkArray);
  EXPECT_EQ(weights.Name, "array of Single");
  EXPECT_EQ(weights.ElementType, &TypeInfoSingle());
  EXPECT_EQ(weights.ElementCount, 3u);
  EXPECT_EQ(weights.Size, sizeof(std::array<float, 3>));
}

} // namespace
