#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Vantrel.Units.h"
#include "definitions/Vantrel.DefTypes.h"
#include "formats/v3d/Vantrel.JSON.h"
#include "formats/v3d/Vantrel.V3D.Exporter.h"
#include "formats/v3d/Vantrel.V3D.Loader.h"
#include "rtl/ioutils.h"
#include "rtl/zlib_streams.h"

namespace vantrel {
namespace {

using TOpts = TVantrelV3DOptions;
using enum TVantrelV3DOption;

std::string ErrorOf(const std::function<void()>& AAction) {
  try {
    AAction();
  } catch (const Exception& error) {
    return std::string(error.ClassName()) + ": " + error.Message();
  }
  return "no exception";
}

// A small definition tree with a non-ASCII Id and a child.
class V3DTest : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeUnits();
    FDef = MakeOwned<TGroupDef>();
    FDef->SetId("W\xC3\xBCrfel \xF0\x9F\x8E\xB2");
    auto* child = New<TSegmentDef>();
    child->SetId("Child");
    FDef->AddChild(child);
  }
  void TearDown() override {
    FDef.reset();
    FinalizeUnits();
  }

  TBytes Save(TVantrelV3DExporter& AExporter) {
    TBytesStream stream;
    AExporter.SaveToStream(FDef.get(), &stream);
    return stream.Bytes();
  }
  TBytes Save(TVantrelV3DFormat AFormat, TOpts AOptions) {
    TOwned<TVantrelV3DExporter> exporter = MakeOwned<TVantrelV3DExporter>();
    exporter->SetFormat(AFormat);
    exporter->SetOptions(AOptions);
    return Save(*exporter);
  }
  std::string Expected() const { return FDef->ToJSON()->ToString(); }
  static std::string Read(const TBytes& ABytes) {
    TBytesStream stream(ABytes);
    return ReadV3DModelJSON(stream)->ToString();
  }

  TOwned<TGroupDef> FDef;
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
  EXPECT_EQ(body.rfind("{\n    \"Type\": \"Vantrel.DefTypes.TGroupDef\",", 0), 0u) << body;
  // Raw UTF-8 in the beautified body.
  EXPECT_NE(body.find("W\xC3\xBCrfel \xF0\x9F\x8E\xB2"), std::string::npos);

  const TBytes second = Save(*exporter);
  EXPECT_EQ(std::memcmp(first.data() + 16, second.data() + 16, 8), 0);
}

TEST_F(V3DTest, RoundTripsAndCompressedBodies) {
  struct TCase {
    TVantrelV3DFormat Format;
    TOpts Options;
    int Level; // the zlib level of a zipped body, else unused
  };
  const TVantrelV3DFormat formats[] = {TVantrelV3DFormat::JSONFormat, TVantrelV3DFormat::BSONFormat};
  const TCase levels[] = {
      {{}, TOpts{}, 0},
      {{}, TOpts{Zipped}, -1},
      {{}, TOpts{Zipped, MaxCompression}, 9},
      {{}, TOpts{Zipped, FastestCompression}, 1},
      {{}, TOpts{Zipped, FastestCompression, MaxCompression}, 1},
  };
  const std::string expected = Expected();
  for (TVantrelV3DFormat format : formats) {
    for (TCase test : levels) {
      SCOPED_TRACE(testing::Message() << "format " << static_cast<int>(format) << " options " << test.Options.Bits());
      const TBytes bytes = Save(format, test.Options);
      EXPECT_EQ(Read(bytes), expected);
      EXPECT_EQ(bytes[28], test.Options.Bits());
      if (!test.Options.Contains(Zipped))
        continue;
      const TBytes plain = Save(format, test.Options - TOpts{Zipped});
      const TBytes deflated = ZCompress(std::span(plain).subspan(32), static_cast<TZCompressionLevel>(test.Level));
      EXPECT_EQ(TBytes(bytes.begin() + 32, bytes.end()), deflated);
    }
  }
  EXPECT_EQ(Save(TVantrelV3DFormat::JSONFormat, {Zipped, FastestCompression, MaxCompression})[28], 0x1A);
  EXPECT_EQ(Read(Save(TVantrelV3DFormat::JSONFormat, {Beautified})), expected);
  // The compact JSON body holds the non-ASCII text byte for byte.
  const TBytes compact = Save(TVantrelV3DFormat::JSONFormat, {});
  EXPECT_EQ(std::string(compact.begin() + 32, compact.end()), expected);
}

TEST_F(V3DTest, GzipBodiesAndForeignHeadersStillRead) {
  TBytes bytes = Save(TVantrelV3DFormat::JSONFormat, {});
  TBytes gzipped(bytes.begin(), bytes.begin() + 32);
  gzipped[28] = 0x02;
  const TBytes body = ZCompress(std::span(bytes).subspan(32), TZCompressionLevel::clDefault, ZGzip);
  gzipped.insert(gzipped.end(), body.begin(), body.end());
  EXPECT_EQ(Read(gzipped), Expected());

  std::memcpy(bytes.data(), "XXXXXXXXXXXX", 12);
  bytes[12] = 9;
  EXPECT_EQ(Read(bytes), Expected());
}

TEST_F(V3DTest, ReaderFailures) {
  TBytes header(32, 0);
  auto withFormat = [&](uint8_t AFormat, std::string_view ABody) {
    TBytes bytes = header;
    bytes[24] = AFormat;
    bytes.insert(bytes.end(), ABody.begin(), ABody.end());
    return bytes;
  };
  TBytes zipped = Save(TVantrelV3DFormat::BSONFormat, {Zipped});
  zipped[zipped.size() / 2 + 16] ^= 0xFF;
  struct TCase {
    const char* Name;
    TBytes Input;
    std::string Expect;
  };
  const TCase cases[] = {
      {"31 bytes", TBytes(31, 0), "EReadError: "},
      {"bson header only", withFormat(0, ""), "Exception: failed to read bson data"},
      {"json header only", withFormat(1, ""), "Exception: failed to read json data"},
      {"json array", withFormat(1, "[1,2]"), "EInvalidCast: Invalid class typecast"},
      {"json cut", withFormat(1, "{\"Type\":"), "Exception: failed to read json data"},
      {"format 7", withFormat(7, "{}"), "Exception: invalid V3D format set"},
      {"flipped deflate byte", zipped, "EZDecompressionError: "},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    const std::string error = ErrorOf([&] { Read(test.Input); });
    EXPECT_EQ(error.substr(0, test.Expect.size()), test.Expect) << error;
  }
}

TEST_F(V3DTest, EveryCutOfABsonBodyFailsWithoutAPartialTree) {
  const TBytes bytes = Save(TVantrelV3DFormat::BSONFormat, {});
  for (size_t size = 32; size < bytes.size(); ++size) {
    SCOPED_TRACE(size);
    const std::string error = ErrorOf([&] { Read(TBytes(bytes.begin(), bytes.begin() + size)); });
    EXPECT_TRUE(error == "Exception: failed to read bson data" || error.starts_with("EJsonReaderException: "))
        << error;
  }
}

TEST_F(V3DTest, InflatedBodyIsLimited) {
  TBytes bytes(32, 0);
  bytes[24] = 1;
  bytes[28] = 0x02;
  const TBytes zeros = ZCompress(TBytes(65536, 0));
  bytes.insert(bytes.end(), zeros.begin(), zeros.end());
  const int64_t previous = GetV3DMaxBodySize();
  SetV3DMaxBodySize(1024);
  EXPECT_EQ(ErrorOf([&] { Read(bytes); }), "EZDecompressionError: V3D body exceeds 1024 bytes");
  SetV3DMaxBodySize(previous);
  EXPECT_EQ(GetV3DMaxBodySize(), int64_t{0x7FFFFFFF});
}

TEST_F(V3DTest, WriterRefusesAnUnknownFormatBeforeWriting) {
  TOwned<TVantrelV3DExporter> exporter = MakeOwned<TVantrelV3DExporter>();
  exporter->SetFormat(static_cast<TVantrelV3DFormat>(7));
  TBytesStream stream;
  EXPECT_EQ(ErrorOf([&] { exporter->SaveToStream(FDef.get(), &stream); }), "Exception: invalid V3D format set");
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

TEST_F(V3DTest, TheRegisteredExporterIsTheV3DWriter) {
  EXPECT_NE(dynamic_cast<TVantrelV3DExporter*>(TVantrelExporter::GetExporter(".v3d")), nullptr);
  EXPECT_EQ(TVantrelExporter::GetExporter(".V3D"), nullptr);
}

// Saving to a file: the whole options set, and a failed save over a good file leaves it alone.
TEST_F(V3DTest, FileSaveIsAtomic) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("v3d_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string file = (folder / "m.v3d").string();
  TVantrelV3DExporter::SaveModelDefToFile(FDef.get(), file, TVantrelV3DFormat::BSONFormat, {Zipped});
  const TBytes good = TFile::ReadAllBytes(file);
  EXPECT_EQ(good[24], 0);
  EXPECT_EQ(good[28], 0x02);
  EXPECT_EQ(Read(good), Expected());

  // A save that fails after the file was opened (here an unknown format).
  TOwned<TVantrelV3DExporter> exporter = MakeOwned<TVantrelV3DExporter>();
  exporter->SetFormat(static_cast<TVantrelV3DFormat>(7));
  EXPECT_THROW(exporter->SaveToFile(FDef.get(), file), Exception);
  EXPECT_EQ(TFile::ReadAllBytes(file), good);
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
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

} // namespace
} // namespace vantrel

namespace vantrel {
namespace {

// The fuzz seeds are real files: each but the bare header reads to an object.
TEST(V3DSeedsTest, FuzzSeedsRead) {
  // __FILE__ is relative to the build folder, the parent of the test program's folder.
  std::filesystem::path source = __FILE__;
  if (source.is_relative())
    source = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / source;
  const std::filesystem::path corpus = source.parent_path() / "../../../../fuzz/corpus/v3d_read";
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    SCOPED_TRACE(entry.path().filename().string());
    TBytesStream stream(TFile::ReadAllBytes(entry.path().string()));
    if (entry.path().filename() == "header_only") {
      EXPECT_THROW(ReadV3DModelJSON(stream), Exception);
    } else {
      std::unique_ptr<TJSONObject> json = ReadV3DModelJSON(stream);
      EXPECT_NE(json, nullptr);
    }
    ++count;
  }
  EXPECT_EQ(count, 8);
}

} // namespace
} // namespace vantrel
