// .v3d load and save of a model holding one 1M-triangle mesh (a 708 x 708 vertex grid, 501,264
// vertices, 999,698 triangles, {Vertex, Normal, TexCoord0}, 32-bit indices, positions jittered
// with a fixed seed, one material), saved once by the exporter into three bodies: compact JSON,
// BSON, and BSON deflated at the default level.
//
// Load: the reader against the raw parse of the same body by our own layer (ParseJSONValue for
// JSON; TBsonReader into the tree builder for BSON; inflate first for the zipped body), and for
// the JSON body RapidJSON's DOM parse. The difference is the definition mapping.
// Save: the exporter (compact JSON, plain BSON) against the raw serialisation of the definition's
// already built JSON tree by our own layer (ToString, TVantrelBSONWriter), and for JSON RapidJSON's
// Writer over a DOM of the same text. The difference is ToJSON building the tree. That tree holds
// the vertex floats as values, so both sides make their number texts (or doubles) while writing.
//
// Memory: the allocator regime of bench_setup.h (freed memory stays mapped). Every iteration frees
// the tree and the definition it made; the JSON parser's slab cache is reused between iterations,
// on both sides of a ratio. Each case checks that what it timed happened (a definition with the
// grid's vertex count, a tree, a body of the expected size) and fails the run otherwise.

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "Vantrel.Units.h"
#include "definitions/Vantrel.DefTypes.h"
#include "formats/v3d/Vantrel.BSON.Writer.h"
#include "formats/v3d/Vantrel.JSON.BSON.h"
#include "definitions/Vantrel.V3D.Exporter.h"
#include "definitions/Vantrel.V3D.Loader.h"
#include "rtl/json_stream.h"
#include "rtl/zlib_streams.h"
#include "support/bench_setup.h"
#include "support/pair_reporter.h"

namespace {

using namespace vantrel;

constexpr int32_t GridSide = 708;
constexpr int32_t VertexCount = GridSide * GridSide;
constexpr int32_t TriangleCount = (GridSide - 1) * (GridSide - 1) * 2;

// The bodies, by benchmark argument.
enum TBody { bJSON, bBSON, bBSONZipped, bCount };
const char* const BodyNames[bCount] = {"JSON compact", "BSON", "BSON zipped"};

TOwned<TModelDef> MakeGridModel() {
  TOwned<TModelDef> model = MakeOwned<TModelDef>();
  model->SetId("Grid");
  auto* material = New<TMaterialDef>(model.get(), std::string("GridMaterial"));
  auto* mesh = New<TMeshDef>(model.get());
  mesh->SetId("GridMesh");
  mesh->CreateVertexSource({TVertexFormat::Vertex, TVertexFormat::Normal, TVertexFormat::TexCoord0});
  TVertexBuffer& vertices = *mesh->GetVertexSource();
  vertices.SetLength(VertexCount);
  std::mt19937 random(20261211);
  std::uniform_real_distribution<float> jitter(-0.25f, 0.25f);
  for (int32_t y = 0; y < GridSide; ++y)
    for (int32_t x = 0; x < GridSide; ++x) {
      const int32_t v = y * GridSide + x;
      vertices.SetVertices(v, {x + jitter(random), y + jitter(random), jitter(random)});
      vertices.SetNormals(v, {0, 0, 1});
      vertices.SetTexCoord(0, v, {float(x) / (GridSide - 1), float(y) / (GridSide - 1)});
    }
  mesh->CreateIndexSource(TIndexFormat::UInt32);
  TIndexBuffer& indices = *mesh->GetIndexSource();
  indices.SetLength(TriangleCount * 3);
  int32_t at = 0;
  for (int32_t y = 0; y + 1 < GridSide; ++y)
    for (int32_t x = 0; x + 1 < GridSide; ++x) {
      const auto corner = uint32_t(y * GridSide + x);
      for (uint32_t index : {corner, corner + 1, corner + GridSide, corner + 1, corner + GridSide + 1, corner + GridSide})
        indices.SetIndices(at++, index);
    }
  mesh->SetMaterialReference(material);
  model->AddMesh(mesh);
  return model;
}

struct TFixture {
  TOwned<TModelDef> Model = MakeGridModel();
  std::unique_ptr<TJSONObject> Tree = Model->ToJSON();
  std::string JsonText = Tree->ToString();
  TBytes Files[bCount];
  TBytes BsonBody;

  TFixture() {
    const TVantrelV3DOptions options[bCount] = {{}, {}, {TVantrelV3DOption::Zipped}};
    const TVantrelV3DFormat formats[bCount] = {TVantrelV3DFormat::JSONFormat, TVantrelV3DFormat::BSONFormat,
                                               TVantrelV3DFormat::BSONFormat};
    for (int body = 0; body < bCount; ++body) {
      TOwned<TVantrelV3DExporter> exporter = MakeOwned<TVantrelV3DExporter>();
      exporter->SetFormat(formats[body]);
      exporter->SetOptions(options[body]);
      TBytesStream stream;
      exporter->SaveToStream(Model.get(), &stream);
      Files[body] = stream.Bytes();
    }
    BsonBody.assign(Files[bBSON].begin() + 32, Files[bBSON].end());
  }
};

// Made after the units start and freed before they stop.
std::unique_ptr<TFixture> TheFixture;

TFixture& Fixture() { return *TheFixture; }

// The mesh a loaded grid model holds, or null.
const TMeshDef* GridMesh(const TModelDef& AModel) {
  const auto* meshes = AModel.GetMeshes();
  return meshes && meshes->Count() == 1 ? dynamic_cast<const TMeshDef*>(meshes->Items(0)) : nullptr;
}

void BM_Load_Framework(benchmark::State& AState) {
  const TBytes& file = Fixture().Files[AState.range(0)];
  TVantrelLoader* reader = TVantrelLoader::GetLoaderByExtension(".v3d");
  for (auto _ : AState) {
    TBytesStream stream(file);
    TOwned<TModelDef> def(reader->LoadModelDefFromStream(&stream, TVantrelLoadOptions::Create("grid.v3d")));
    const TMeshDef* mesh = GridMesh(*def);
    if (!mesh || !mesh->GetVertexSource() || mesh->GetVertexSource()->Length() != VertexCount)
      AState.SkipWithError("the grid was not read");
  }
  AState.SetBytesProcessed(int64_t(AState.iterations() * file.size()));
}

// The body's tree by our own layer, from the same bytes the reader gets (the stream copy included).
void BM_Load_Raw(benchmark::State& AState) {
  const TBytes& file = Fixture().Files[AState.range(0)];
  for (auto _ : AState) {
    TBytesStream stream(file);
    stream.SetPosition(32);
    std::unique_ptr<TJSONValue> tree;
    if (AState.range(0) == bJSON) {
      tree = TJSONValue::ParseJSONValue(
          std::string_view(reinterpret_cast<const char*>(file.data()) + 32, file.size() - 32), false);
    } else {
      TBytesStream body;
      if (AState.range(0) == bBSONZipped) {
        TZDecompressionStream inflater(&stream, ZAutoDetect);
        body.CopyFrom(inflater, 0);
      } else {
        body.CopyFrom(stream, int64_t(file.size() - 32));
      }
      body.SetPosition(0);
      TBsonReader reader(&body);
      TJsonObjectWriter writer(false);
      while (reader.Read())
        writer.WriteToken(reader);
      tree = writer.ExtractJSON();
    }
    if (!dynamic_cast<TJSONObject*>(tree.get()))
      AState.SkipWithError("no tree");
  }
  AState.SetBytesProcessed(int64_t(AState.iterations() * file.size()));
}

void BM_Load_RapidJSON(benchmark::State& AState) {
  const std::string& text = Fixture().JsonText;
  for (auto _ : AState) {
    rapidjson::Document document;
    document.Parse(text.c_str(), text.size());
    if (document.HasParseError() || !document.IsObject())
      AState.SkipWithError("parse failed");
    benchmark::DoNotOptimize(&document);
  }
  AState.SetBytesProcessed(int64_t(AState.iterations() * text.size()));
}

void BM_Save_Framework(benchmark::State& AState) {
  const auto body = TBody(AState.range(0));
  TOwned<TVantrelV3DExporter> exporter = MakeOwned<TVantrelV3DExporter>();
  exporter->SetFormat(body == bJSON ? TVantrelV3DFormat::JSONFormat : TVantrelV3DFormat::BSONFormat);
  exporter->SetOptions({});
  const size_t expected = Fixture().Files[body].size();
  for (auto _ : AState) {
    TBytesStream stream;
    exporter->SaveToStream(Fixture().Model.get(), &stream);
    if (size_t(stream.GetSize()) != expected)
      AState.SkipWithError("unexpected file size");
  }
  AState.SetBytesProcessed(int64_t(AState.iterations() * expected));
}

void BM_Save_Raw(benchmark::State& AState) {
  const auto body = TBody(AState.range(0));
  const TJSONObject* tree = Fixture().Tree.get();
  const size_t expected = Fixture().Files[body].size() - 32;
  for (auto _ : AState) {
    size_t size = 0;
    if (body == bJSON) {
      size = tree->ToString().size();
    } else {
      TBytesStream stream;
      TVantrelBSONWriter writer(&stream);
      writer.WriteJsonObject(tree);
      size = size_t(stream.GetSize());
    }
    if (size != expected)
      AState.SkipWithError("unexpected body size");
  }
  AState.SetBytesProcessed(int64_t(AState.iterations() * expected));
}

void BM_Save_RapidJSON(benchmark::State& AState) {
  rapidjson::Document document;
  document.Parse(Fixture().JsonText.c_str(), Fixture().JsonText.size());
  for (auto _ : AState) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    if (!document.Accept(writer) || buffer.GetSize() < Fixture().JsonText.size() / 2)
      AState.SkipWithError("write failed");
    benchmark::DoNotOptimize(buffer.GetString());
  }
  AState.SetBytesProcessed(int64_t(AState.iterations() * Fixture().JsonText.size()));
}

class TReporter : public vbench::TPairReporter {
public:
  // Prints our time / the peer's; false when it is above AGoal (or a side did not run).
  bool PrintRatio(const std::string& AWhat, std::optional<vbench::TPairTimes> ATimes, double AGoal) const {
    if (!ATimes) {
      std::printf("%s: not measured\n", AWhat.c_str());
      return false;
    }
    const double ratio = ATimes->Ours / ATimes->Peer;
    std::printf("%s: ours %.1f ms, peer %.1f ms, ratio %.2fx (min %.2fx), goal <= %.1fx%s\n", AWhat.c_str(),
                ATimes->Ours, ATimes->Peer, ratio, ATimes->OursMin / ATimes->PeerMin, AGoal,
                ratio <= AGoal ? "" : "  ABOVE GOAL");
    return ratio <= AGoal;
  }
  std::optional<vbench::TPairTimes> Against(const std::string& AOurs, const std::string& APeer) const {
    const auto ours = MedianTime(AOurs), peer = MedianTime(APeer);
    if (!ours || !peer)
      return std::nullopt;
    return vbench::TPairTimes{*ours, *peer, *MinTime(AOurs), *MinTime(APeer)};
  }
};

} // namespace

int main(int argc, char** argv) {
  vbench::Initialize(&argc, argv);
  InitializeUnits();
  TheFixture = std::make_unique<TFixture>();
  TFixture& fixture = Fixture();
  std::printf("grid model: %d vertices, %d triangles\n", VertexCount, TriangleCount);
  for (int body = 0; body < bCount; ++body)
    std::printf("%s file: %.1f MB\n", BodyNames[body], fixture.Files[body].size() / 1e6);
  auto timed = [](benchmark::internal::Benchmark* ABench) { ABench->Unit(benchmark::kMillisecond)->UseRealTime(); };
  for (int body = 0; body < bCount; ++body) {
    timed(benchmark::RegisterBenchmark("BM_Load_Framework", BM_Load_Framework)->Arg(body));
    timed(benchmark::RegisterBenchmark("BM_Load_Raw", BM_Load_Raw)->Arg(body));
  }
  timed(benchmark::RegisterBenchmark("BM_Load_RapidJSON", BM_Load_RapidJSON));
  for (int body : {bJSON, bBSON}) {
    timed(benchmark::RegisterBenchmark("BM_Save_Framework", BM_Save_Framework)->Arg(body));
    timed(benchmark::RegisterBenchmark("BM_Save_Raw", BM_Save_Raw)->Arg(body));
  }
  timed(benchmark::RegisterBenchmark("BM_Save_RapidJSON", BM_Save_RapidJSON));
  TReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  for (const auto& [name, peer] : {std::pair{"BM_Load_Framework", "BM_Load_Raw"}, {"BM_Save_Framework", "BM_Save_Raw"}})
    for (int body = 0; body < bCount; ++body)
      if (const auto time = reporter.MedianTime(std::string(name) + "/" + std::to_string(body) + "/real_time"))
        std::printf("%s %s: %.1f MB/s\n", name, BodyNames[body], fixture.Files[body].size() / 1e6 / (*time / 1e3));
  bool met = true;
  for (int body = 0; body < bCount; ++body)
    met &= reporter.PrintRatio(std::string("load against raw parse, ") + BodyNames[body],
                               reporter.Against("BM_Load_Framework/" + std::to_string(body) + "/real_time",
                                                "BM_Load_Raw/" + std::to_string(body) + "/real_time"),
                               3.0);
  met &= reporter.PrintRatio("load against RapidJSON DOM parse, JSON compact",
                             reporter.Against("BM_Load_Framework/0/real_time", "BM_Load_RapidJSON/real_time"), 3.0);
  for (int body : {bJSON, bBSON})
    met &= reporter.PrintRatio(std::string("save against raw serialisation, ") + BodyNames[body],
                               reporter.Against("BM_Save_Framework/" + std::to_string(body) + "/real_time",
                                                "BM_Save_Raw/" + std::to_string(body) + "/real_time"),
                               2.0);
  // RapidJSON's writer is printed for scale: it serialises a finished DOM and builds no tree.
  reporter.PrintRatio("save against RapidJSON Writer, JSON compact",
                      reporter.Against("BM_Save_Framework/0/real_time", "BM_Save_RapidJSON/real_time"), 1e9);
  TheFixture.reset();
  FinalizeUnits();
  return met ? 0 : 1;
}
