#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Vantrel.Units.h"
#include "definitions/Vantrel.DefTypes.h"
#include "definitions/Vantrel.V3D.Exporter.h"
#include "definitions/Vantrel.V3D.Loader.h"
#include "formats/v3d/Vantrel.JSON.h"
#include "rtl/ioutils.h"
#include "rtl/zlib_streams.h"
#include "support/error_of.h"
#include "support/model_fixture.h"

namespace vantrel {
namespace {

using vtest::ClassAndErrorOf;
using TOpts = TVantrelV3DOptions;
using enum TVantrelV3DOption;
using vtest::DefinitionText;

TVantrelLoaderV3D& Reader() { return *CheckedCast<TVantrelLoaderV3D>(TVantrelLoader::GetLoaderByExtension(".v3d")); }

// Reads ABytes with the registered reader as the file "m.v3d".
TOwned<TModelDef> Load(const TBytes& ABytes) {
  TBytesStream stream(ABytes);
  return TOwned<TModelDef>(Reader().LoadModelDefFromStream(&stream, TVantrelLoadOptions::Create("m.v3d")));
}

// A header of AFormat and AOptions, then ABody as it is.
TBytes Container(uint8_t AFormat, std::string_view ABody, uint8_t AOptions = 0) {
  TBytes bytes(32, 0);
  bytes[24] = AFormat;
  bytes[28] = AOptions;
  bytes.insert(bytes.end(), ABody.begin(), ABody.end());
  return bytes;
}

// The fixture model, saved and read back through the registered exporter and reader.
class V3DTest : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeUnits();
    FDef = vtest::MakeFixtureModel();
  }
  void TearDown() override {
    FDef.reset();
    FinalizeUnits();
  }

  TBytes Save(TVantrelV3DExporter& AExporter, const TCustomDef* ADef = nullptr) {
    TBytesStream stream;
    AExporter.SaveToStream(ADef ? ADef : FDef.get(), &stream);
    return stream.Bytes();
  }
  TBytes Save(TVantrelV3DFormat AFormat, TOpts AOptions) {
    TOwned<TVantrelV3DExporter> exporter = MakeOwned<TVantrelV3DExporter>();
    exporter->SetFormat(AFormat);
    exporter->SetOptions(AOptions);
    return Save(*exporter);
  }
  std::string Expected() const { return DefinitionText(*FDef); }

  TOwned<TModelDef> FDef;
};

TEST_F(V3DTest, GoldenHeaderAndBeautifiedBody) {
  const double before = TDateTime::Now().Value;
  TOwned<TVantrelV3DExporter> exporter = MakeOwned<TVantrelV3DExporter>();
  const double after = TDateTime::Now().Value;
  const TBytes first = Save(*exporter);
  ASSERT_GT(first.size(), 32u);
  const TBytes signature = {0x56, 0x61, 0x6E, 0x74, 0x72, 0x65, 0x6C, 0x33, 0x44, 0x20, 0, 0, 4, 0, 0, 0};
  EXPECT_EQ(TBytes(first.begin(), first.begin() + 16), signature);
  double stamp = 0;
  std::memcpy(&stamp, first.data() + 16, 8);
  EXPECT_GE(stamp, before);
  EXPECT_LE(stamp, after);
  EXPECT_EQ(TBytes(first.begin() + 24, first.begin() + 32), (TBytes{1, 0, 0, 0, 4, 0, 0, 0}));
  const std::string body(first.begin() + 32, first.end());
  EXPECT_EQ(body.rfind("{\n    \"Type\": \"Vantrel.DefTypes.TModelDef\",", 0), 0u) << body.substr(0, 80);
  // Raw UTF-8 in the beautified body.
  EXPECT_NE(body.find(vtest::FixtureChildId), std::string::npos);

  const TBytes second = Save(*exporter);
  EXPECT_EQ(std::memcmp(first.data() + 16, second.data() + 16, 8), 0);
}

TEST_F(V3DTest, RoundTripsThroughTheReader) {
  struct TCase {
    TOpts Options;
    int Level; // the zlib level of a zipped body
  };
  const TVantrelV3DFormat formats[] = {TVantrelV3DFormat::JSONFormat, TVantrelV3DFormat::BSONFormat};
  const TCase cases[] = {
      {TOpts{}, 0},
      {TOpts{Zipped}, -1},
      {TOpts{Zipped, MaxCompression}, 9},
      {TOpts{Zipped, FastestCompression}, 1},
      {TOpts{Zipped, FastestCompression, MaxCompression}, 1},
  };
  const std::string expected = Expected();
  for (TVantrelV3DFormat format : formats) {
    for (const TCase& test : cases) {
      SCOPED_TRACE(testing::Message() << "format " << static_cast<int>(format) << " options " << test.Options.Bits());
      const TBytes bytes = Save(format, test.Options);
      EXPECT_EQ(DefinitionText(*Load(bytes)), expected);
      EXPECT_EQ(bytes[28], test.Options.Bits());
      if (!test.Options.Contains(Zipped))
        continue;
      const TBytes plain = Save(format, test.Options - TOpts{Zipped});
      const TBytes deflated = ZCompress(std::span(plain).subspan(32), static_cast<TZCompressionLevel>(test.Level));
      EXPECT_EQ(TBytes(bytes.begin() + 32, bytes.end()), deflated);
    }
  }
  EXPECT_EQ(Save(TVantrelV3DFormat::JSONFormat, {Zipped, FastestCompression, MaxCompression})[28], 0x1A);
  EXPECT_EQ(DefinitionText(*Load(Save(TVantrelV3DFormat::JSONFormat, {Beautified}))), expected);
  // The compact JSON body holds the non-ASCII text byte for byte.
  const TBytes compact = Save(TVantrelV3DFormat::JSONFormat, {});
  EXPECT_EQ(std::string(compact.begin() + 32, compact.end()), expected);
  // The fixture's parts are all in the compared text.
  for (const std::string part : {std::string("\"Name\":\"") + vtest::FixtureTagText, std::string("\"Hop\""),
                                 std::string("\"CubeMaterial\""), std::string("\"Lamp\""), std::string("\"Eye\"")})
    EXPECT_NE(expected.find(part), std::string::npos) << part;
}

// What is read back saves the very bytes it was read from, in both formats, so a file that is
// opened and saved again does not drift.
TEST_F(V3DTest, ReadBackDefinitionsSaveTheSameBytes) {
  for (TVantrelV3DFormat format : {TVantrelV3DFormat::JSONFormat, TVantrelV3DFormat::BSONFormat}) {
    SCOPED_TRACE(static_cast<int>(format));
    TOwned<TVantrelV3DExporter> exporter = MakeOwned<TVantrelV3DExporter>();
    exporter->SetFormat(format);
    exporter->SetOptions({});
    const TBytes first = Save(*exporter);
    const TOwned<TModelDef> read = Load(first);
    EXPECT_EQ(Save(*exporter, read.get()), first);
  }
}

TEST_F(V3DTest, GzipBodiesAndForeignHeadersStillRead) {
  TBytes bytes = Save(TVantrelV3DFormat::JSONFormat, {});
  TBytes gzipped(bytes.begin(), bytes.begin() + 32);
  gzipped[28] = 0x02;
  const TBytes body = ZCompress(std::span(bytes).subspan(32), TZCompressionLevel::clDefault, ZGzip);
  gzipped.insert(gzipped.end(), body.begin(), body.end());
  EXPECT_EQ(DefinitionText(*Load(gzipped)), Expected());

  std::memcpy(bytes.data(), "XXXXXXXXXXXX", 12);
  bytes[12] = 9;
  EXPECT_EQ(DefinitionText(*Load(bytes)), Expected());
}

// The reader works from the stream's position: a file inside a larger stream reads as well.
TEST_F(V3DTest, ReadsFromTheStreamPosition) {
  TBytes bytes = {'p', 'r', 'e'};
  const TBytes file = Save(TVantrelV3DFormat::BSONFormat, {});
  bytes.insert(bytes.end(), file.begin(), file.end());
  TBytesStream stream(bytes);
  stream.SetPosition(3);
  TOwned<TModelDef> def(Reader().LoadModelDefFromStream(&stream, TVantrelLoadOptions::Create("m.v3d")));
  EXPECT_EQ(DefinitionText(*def), Expected());
}

// Every failure raises, frees what was read and leaves the thread without a current loader.
TEST_F(V3DTest, ReaderFailures) {
  TBytes zipped = Save(TVantrelV3DFormat::BSONFormat, {Zipped});
  zipped[zipped.size() / 2 + 16] ^= 0xFF;
  TBytes bomb = Container(1, "", 0x02);
  const TBytes zeros = ZCompress(TBytes(65536, 0));
  bomb.insert(bomb.end(), zeros.begin(), zeros.end());
  struct TCase {
    const char* Name;
    TBytes Input;
    std::string Expect;
    int64_t Limit = 0; // the body limit while it reads, 0 for the default
  };
  const TCase cases[] = {
      {"31 bytes", TBytes(31, 0), "EReadError: "},
      {"bson header only", Container(0, ""), "Exception: failed to read bson data"},
      {"json header only", Container(1, ""), "Exception: failed to read json data"},
      {"json array", Container(1, "[1,2]"), "EInvalidCast: Invalid class typecast"},
      {"json cut", Container(1, "{\"Type\":"), "Exception: failed to read json data"},
      {"format 7", Container(7, "{}"), "Exception: invalid V3D format set"},
      {"flipped deflate byte", zipped, "EZDecompressionError: "},
      {"inflation beyond the limit", bomb, "EZDecompressionError: V3D body exceeds 1024 bytes", 1024},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    if (test.Limit)
      TVantrelLoaderV3D::SetMaxBodySize(test.Limit);
    const std::string error = ClassAndErrorOf([&] { Load(test.Input); });
    TVantrelLoaderV3D::SetMaxBodySize(int64_t{0x7FFFFFFF});
    EXPECT_EQ(error.substr(0, test.Expect.size()), test.Expect) << error;
    const TVantrelLoaderThreadInfo info = TVantrelLoader::GetCurrentLoaderThreadInfo();
    EXPECT_EQ(info.Loader, nullptr);
    EXPECT_EQ(info.Options.FileInfo.PathOrUID, "m.v3d");
  }
  EXPECT_EQ(TVantrelLoaderV3D::GetMaxBodySize(), int64_t{0x7FFFFFFF});
}

TEST_F(V3DTest, EveryCutOfABsonBodyFailsWithoutADefinition) {
  const TBytes bytes = Save(TVantrelV3DFormat::BSONFormat, {});
  for (size_t size = 32; size < bytes.size(); ++size) {
    SCOPED_TRACE(size);
    const std::string error = ClassAndErrorOf([&] { Load(TBytes(bytes.begin(), bytes.begin() + size)); });
    EXPECT_TRUE(error == "Exception: failed to read bson data" || error.starts_with("EJsonReaderException: "))
        << error;
  }
  EXPECT_EQ(TVantrelLoader::GetCurrentLoaderThreadInfo().Loader, nullptr);
}

// The reader names the model after the file and reads the options' bitmap cache into it.
TEST_F(V3DTest, ReaderSetsFilenameAndAppliesTheBitmapCache) {
  TBytes bytes = Container(1, R"({"Type":"Vantrel.DefTypes.TModelDef"})");
  TOwned<TVantrelBitmapCache> cache = MakeOwned<TVantrelBitmapCache>();
  cache->Add()->SetFilename("wood.png");
  TVantrelLoadOptions options = TVantrelLoadOptions::Create("dir/m.v3d");
  options.BitmapCache = cache.get();
  TBytesStream stream(bytes);
  TOwned<TModelDef> def(Reader().LoadModelDefFromStream(&stream, options));
  EXPECT_EQ(def->GetTextureAssets().size(), 1u);
  EXPECT_TRUE(cache->Entry(0)->IsOnlyRef());
  EXPECT_TRUE(def->GetId().starts_with("V3DModel")) << def->GetId();
}

TEST_F(V3DTest, WriterRefusesAnUnknownFormatBeforeWriting) {
  TOwned<TVantrelV3DExporter> exporter = MakeOwned<TVantrelV3DExporter>();
  exporter->SetFormat(static_cast<TVantrelV3DFormat>(7));
  TBytesStream stream;
  EXPECT_EQ(ClassAndErrorOf([&] { exporter->SaveToStream(FDef.get(), &stream); }),
            "Exception: invalid V3D format set");
  EXPECT_EQ(stream.GetSize(), 0);
}

TEST_F(V3DTest, PropertiesSetOnlyTheirOwnBit) {
  TOwned<TVantrelV3DExporter> exporter = MakeOwned<TVantrelV3DExporter>();
  EXPECT_EQ(exporter->GetFormat(), TVantrelV3DFormat::JSONFormat);
  EXPECT_TRUE(exporter->GetBeautified());
  exporter->SetOptions({Beautified, MaxCompression});
  exporter->SetZipped(true);
  EXPECT_EQ(exporter->GetOptions(), (TOpts{Zipped, Beautified, MaxCompression}));
  exporter->SetBeautified(false);
  EXPECT_EQ(exporter->GetOptions(), (TOpts{Zipped, MaxCompression}));
}

TEST_F(V3DTest, TheRegisteredExporterAndReaderAreTheV3DOnes) {
  EXPECT_NE(dynamic_cast<TVantrelV3DExporter*>(TVantrelExporter::GetExporter(".v3d")), nullptr);
  EXPECT_EQ(TVantrelExporter::GetExporter(".V3D"), nullptr);
  EXPECT_NE(dynamic_cast<TVantrelLoaderV3D*>(TVantrelLoader::GetLoaderByExtension(".V3D")), nullptr);
  EXPECT_EQ(TVantrelLoader::GetLoaderByExtension(".v3d "), nullptr);
  // Units that start again register again without a duplicate.
  FinalizeUnits();
  InitializeUnits();
  EXPECT_NE(TVantrelLoader::GetLoaderByExtension(".v3d"), nullptr);
}

// A definition whose JSON cannot be made.
class TFailingModelDef : public TModelDef {
public:
  std::unique_ptr<TJSONObject> ToJSON() const override { throw EConvertError("NaN cannot be written"); }
};

// Saving to a file: the whole options set, and a failed save over a good file leaves it alone.
TEST_F(V3DTest, FileSaveIsAtomic) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("v3d_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string file = (folder / "m.v3d").string();
  TVantrelV3DExporter::SaveModelDefToFile(FDef.get(), file, TVantrelV3DFormat::BSONFormat, {Zipped});
  const TBytes good = TFile::ReadAllBytes(file);
  EXPECT_EQ(good[24], 0);
  EXPECT_EQ(good[28], 0x02);
  EXPECT_EQ(DefinitionText(*Load(good)), Expected());

  TOwned<TFailingModelDef> failing = MakeOwned<TFailingModelDef>();
  TOwned<TVantrelV3DExporter> exporter = MakeOwned<TVantrelV3DExporter>();
  EXPECT_EQ(ClassAndErrorOf([&] { exporter->SaveToFile(failing.get(), file); }),
            "EConvertError: NaN cannot be written");
  EXPECT_EQ(TFile::ReadAllBytes(file), good);
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 1); // no temporary left
  std::filesystem::remove_all(folder);
}

TEST(V3DJsonTest, BuilderGrowthAndBeautifier) {
  TLargeStringBuilder builder;
  builder.Append(std::string(5000, 'a'));
  EXPECT_EQ(builder.Capacity(), 8192);
  builder.Append(std::string(4000, 'b'));
  EXPECT_EQ(builder.Capacity(), 20480);
  EXPECT_EQ(builder.Size(), 9000);
  EXPECT_EQ(builder.ToString(), std::string(5000, 'a') + std::string(4000, 'b'));

  std::unique_ptr<TJSONValue> value = TJSONValue::ParseJSONValue(R"({"a":[1,{}],"b":"ü","c":1.50,"d":1E3})", true);
  EXPECT_EQ(BeautifyJson(dynamic_cast<TJSONObject&>(*value)),
            "{\n    \"a\": [\n        1,\n        {}\n    ],\n    \"b\": \"ü\",\n    \"c\": 1.5,\n    \"d\": 1000\n}");
}

TEST(V3DHeaderTest, ShortReadLeavesTheHeaderAlone) {
  TVantrelV3DHeader header = TVantrelV3DHeader::Create(true, TVantrelV3DFormat::BSONFormat);
  const TVantrelV3DHeader copy = header;
  TBytesStream stream(TBytes(31, 0xAB));
  EXPECT_THROW(header.ReadFrom(stream), EReadError);
  EXPECT_EQ(std::memcmp(&header, &copy, sizeof(header)), 0);
  EXPECT_EQ(header.GetOptions(), TOpts{Zipped});
}

const std::filesystem::path& SeedFolder() {
  static const std::filesystem::path folder = std::filesystem::path(VANTREL_SOURCE_ROOT) / "fuzz/corpus/v3d_read";
  return folder;
}

// The fuzz seeds are real files: each but the bare header loads.
TEST_F(V3DTest, FuzzSeedsLoad) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(SeedFolder())) {
    SCOPED_TRACE(entry.path().filename().string());
    const TBytes bytes = TFile::ReadAllBytes(entry.path().string());
    if (entry.path().filename() == "header_only")
      EXPECT_EQ(ClassAndErrorOf([&] { Load(bytes); }), "Exception: failed to read json data");
    else
      EXPECT_NE(Load(bytes), nullptr);
    ++count;
  }
  EXPECT_EQ(count, 8);
}

// Writes the fuzz seeds from the fixture with the exporter. Run it by hand after a format change:
// test_lib_formats_v3d --gtest_filter='*WriteFuzzSeeds' --gtest_also_run_disabled_tests
TEST_F(V3DTest, DISABLED_WriteFuzzSeeds) {
  auto write = [](const std::string& AName, const TBytes& ABytes) {
    TFile::WriteAllBytes((SeedFolder() / AName).string(), ABytes);
  };
  write("json_compact", Save(TVantrelV3DFormat::JSONFormat, {}));
  write("json_beautified", Save(TVantrelV3DFormat::JSONFormat, {Beautified}));
  write("bson", Save(TVantrelV3DFormat::BSONFormat, {}));
  write("bson_zipped", Save(TVantrelV3DFormat::BSONFormat, {Zipped}));
  write("json_zipped", Save(TVantrelV3DFormat::JSONFormat, {Zipped}));
  const TBytes plain = Save(TVantrelV3DFormat::JSONFormat, {});
  TBytes gzipped(plain.begin(), plain.begin() + 32);
  gzipped[28] = 0x02;
  const TBytes body = ZCompress(std::span(plain).subspan(32), TZCompressionLevel::clDefault, ZGzip);
  gzipped.insert(gzipped.end(), body.begin(), body.end());
  write("json_gzip", gzipped);
  write("header_only", TBytes(plain.begin(), plain.begin() + 32));
  TOwned<TModelDef> empty = MakeOwned<TModelDef>();
  empty->SetId("Empty");
  TOwned<TVantrelV3DExporter> exporter = MakeOwned<TVantrelV3DExporter>();
  exporter->SetOptions({});
  write("empty_model", Save(*exporter, empty.get()));
}

} // namespace
} // namespace vantrel
