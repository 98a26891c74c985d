#include <gtest/gtest.h>

#include <string>

#include "Vantrel.Units.h"
#include "definitions/Vantrel.Exporter.h"

namespace vantrel {

// Counts its destructions so the tests see what the registry frees.
class TCountingExporter : public TVantrelExporter {
  RTL_CLASS(TCountingExporter, TVantrelExporter)
public:
  static inline int Destroyed = 0;
  ~TCountingExporter() override { ++Destroyed; }
};
RTL_DEFINE_CLASS(TCountingExporter, "ExporterTest")

namespace {

class ExporterTest : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeUnits();
    TCountingExporter::Destroyed = 0;
  }
  void TearDown() override { FinalizeUnits(); }
};

TEST_F(ExporterTest, KeysAreExactAndReplacingFreesTheOldExporter) {
  auto* first = New<TCountingExporter>();
  TVantrelExporter::RegisterExporter(".tst", TOwned<TVantrelExporter>(first));
  EXPECT_EQ(TVantrelExporter::GetExporter(".tst"), first);
  EXPECT_EQ(TVantrelExporter::GetExporter(".TST"), nullptr);

  TVantrelExporter::RegisterExporter(".tst", TCountingExporter::StaticClass());
  EXPECT_EQ(TCountingExporter::Destroyed, 1);
  EXPECT_NE(TVantrelExporter::GetExporter(".tst"), nullptr);

  TVantrelExporter::UnregisterExporter(".none", TCountingExporter::StaticClass());
  EXPECT_EQ(TCountingExporter::Destroyed, 1);
  TVantrelExporter::UnregisterExporter(".tst", TVantrelExporter::StaticClass());
  EXPECT_EQ(TCountingExporter::Destroyed, 2);
  EXPECT_EQ(TVantrelExporter::GetExporter(".tst"), nullptr);
}

TEST_F(ExporterTest, AnInstanceAlreadyHeldIsNeitherFreedNorHeldTwice) {
  auto* held = New<TCountingExporter>();
  TVantrelExporter::RegisterExporter(".a", TOwned<TVantrelExporter>(held));
  // The same key: nothing changes.
  TVantrelExporter::RegisterExporter(".a", TOwned<TVantrelExporter>(held));
  EXPECT_EQ(TCountingExporter::Destroyed, 0);
  EXPECT_EQ(TVantrelExporter::GetExporter(".a"), held);

  // Another key: refused, and the caller keeps ownership.
  TOwned<TVantrelExporter> again(held);
  try {
    TVantrelExporter::RegisterExporter(".b", std::move(again));
    FAIL() << "no exception";
  } catch (const EArgumentException& error) {
    EXPECT_EQ(error.Message(), "exporter already registered under \".a\"");
  }
  EXPECT_EQ(TCountingExporter::Destroyed, 0);
  EXPECT_EQ(TVantrelExporter::GetExporter(".b"), nullptr);
  // The pointer came back to the caller; here it is the registry's own, so it is let go.
  EXPECT_EQ(again.release(), held);
}

TEST_F(ExporterTest, FinalizingFreesEveryHeldExporter) {
  TVantrelExporter::RegisterExporter(".a", TCountingExporter::StaticClass());
  TVantrelExporter::RegisterExporter(".b", TCountingExporter::StaticClass());
  FinalizeUnits();
  EXPECT_EQ(TCountingExporter::Destroyed, 2);
  InitializeUnits();
  EXPECT_EQ(TVantrelExporter::GetExporter(".a"), nullptr);
}

TEST_F(ExporterTest, TheBaseIsAbstractAndOnlyExporterClassesRegister) {
  TOwned<TVantrelExporter> bare = MakeOwned<TVantrelExporter>();
  TMemoryStream stream;
  EXPECT_THROW(bare->SaveToStream(nullptr, &stream), EAbstractError);
  EXPECT_THROW(bare->SaveToFile(nullptr, "x.v3d"), EAbstractError);
  EXPECT_THROW(TVantrelExporter::RegisterExporter(".x", TObject::StaticClass()), EInvalidCast);
  EXPECT_EQ(TVantrelExporter::GetExporter(".x"), nullptr);
}

} // namespace
} // namespace vantrel
