// Model Ids count the models this process read: a process of its own, so that the count starts
// where a fresh start leaves it.
#include <gtest/gtest.h>

#include <string>

#include "Vantrel.Units.h"
#include "definitions/Vantrel.V3D.Loader.h"

namespace vantrel {
namespace {

TModelDef* Read(const std::string& ABody) {
  TBytesStream stream;
  TVantrelV3DHeader::Create(false, TVantrelV3DFormat::JSONFormat).WriteTo(stream);
  stream.WriteBuffer(ABody.data(), static_cast<int64_t>(ABody.size()));
  stream.SetPosition(0);
  return TVantrelLoader::LoadUndefinedModelDefFromStream(&stream, nullptr, "m.v3d", "");
}

TEST(V3DIds, ModelsWithoutIdAreCountedFromOne) {
  InitializeUnits();
  {
    TOwned<TModelDef> first(Read(R"({"Type":"Vantrel.DefTypes.TModelDef"})"));
    TOwned<TModelDef> second(Read(R"({"Type":"Vantrel.DefTypes.TModelDef"})"));
    TOwned<TModelDef> named(Read(R"({"Type":"Vantrel.DefTypes.TModelDef","Id":"M"})"));
    EXPECT_EQ(first->GetId(), "V3DModel1");
    EXPECT_EQ(second->GetId(), "V3DModel2");
    EXPECT_EQ(named->GetId(), "M");
  }
  FinalizeUnits();
}

} // namespace
} // namespace vantrel
