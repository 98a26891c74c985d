#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <cstdio>
#include <cmath>
#include <charconv>
#include <string>
#include <vector>

#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "support/json_object.h"

namespace {

using namespace vantrel;

using vtest::MemberNames;
using vtest::ParseObject;

std::string Text(const TJSONObject& AObject, std::string_view AName) {
  const TJSONValue* value = AObject.GetValue(AName);
  return value ? value->ToString() : "(missing)";
}

template <class E, class F> std::string MessageOf(F&& AAction) {
  try {
    AAction();
  } catch (const E& error) {
    return error.Message();
  }
  return "(none)";
}

class MeshDefs : public ::testing::Test {
protected:
  void SetUp() override { InitializeDefTypes(); }
  void TearDown() override { FinalizeDefTypes(); }
};

// ---- records ----

TEST(VertexID, HashFoldsCapitalsAndShiftsWithoutRotation) {
  EXPECT_EQ(VertexKeyTextHash("abc"), 0x310460u);
  EXPECT_EQ(VertexKeyTextHash("ABC"), 0x310460u);
  EXPECT_EQ(VertexKeyTextHash("1;2;3;4;5;"), 0x00C353D4B5DF53F4ull);

  TVertexID id;
  id.Position = 1, id.Normal = 2, id.Binormal = 3, id.Tangent = 4, id.SmoothGroup = 5;
  // With no texture or colour entries the key ends with the fifth ";".
  EXPECT_EQ(id.GetHash(), 0x00C353D4B5DF53F4ull);
  id.Textures.Count = 1;
  id.Textures.Indices[0] = 7;
  const uint64_t oneTexture = id.GetHash();
  EXPECT_EQ(oneTexture, VertexKeyTextHash("1;2;3;4;5;7;"));
  id.Textures.Indices[1] = 99; // beyond Count
  EXPECT_EQ(id.GetHash(), oneTexture);
  // Counts from files are clamped to the arrays, so nothing reads past them.
  id.Textures.Count = 40;
  id.Colors.Count = 40;
  EXPECT_NE(id.GetHash(), oneTexture);
  id.Textures.Count = -3;
  id.Colors.Count = -1;
  EXPECT_EQ(id.GetHash(), 0x00C353D4B5DF53F4ull);
}

TVertexData SampleVertex() {
  TVertexData vertex;
  vertex.Position = {1, 2, 3};
  vertex.Normal = {0, 0, 1};
  vertex.Binormal = {0, 1, 0};
  vertex.Tangent = {1, 0, 0};
  vertex.TexCoords = {{0.5f, 0.25f}};
  vertex.Colors = {{1, 0, 0, 1}};
  vertex.SmoothGroup = 7;
  return vertex;
}

TEST(VertexData, HashCoversTwoTexCoordsTwoColoursGroupAndFlags) {
  TVertexData vertex = SampleVertex();
  EXPECT_EQ(vertex.GetHash(), 0x2D2FB3ACu);
  vertex.Flags.Include(TVertexDataFlag::CalcNormals);
  EXPECT_EQ(vertex.GetHash(), 0x2C9A4EB1u);

  TVertexData three = SampleVertex();
  three.TexCoords = {{0.5f, 0.25f}, {0.1f, 0.2f}, {0.3f, 0.4f}};
  TVertexData otherThird = three;
  otherThird.TexCoords[2] = {0.9f, 0.9f};
  EXPECT_EQ(three.GetHash(), otherThird.GetHash());
  TVertexData alpha = SampleVertex();
  alpha.Colors[0].A = 0.5f;
  EXPECT_NE(alpha.GetHash(), SampleVertex().GetHash());
}

TEST(VertexData, EqualsUsesItsThreeTolerances) {
  struct TCase {
    const char* Name;
    void (*Change)(TVertexData&);
    bool Equal;
  };
  const TCase cases[] = {
      {"position within 0.0001", [](TVertexData& V) { V.Position.X += 0.00005f; }, true},
      {"position beyond 0.0001", [](TVertexData& V) { V.Position.X += 0.0002f; }, false},
      {"tangent beyond 0.0001", [](TVertexData& V) { V.Tangent.Z = 0.001f; }, false},
      {"tex coord relative 1e-6", [](TVertexData& V) { V.TexCoords[0].X = 0.5f * (1 + 1e-6f); }, true},
      {"tex coord relative 1e-5", [](TVertexData& V) { V.TexCoords[0].X = 0.5f * (1 + 1e-5f); }, false},
      {"colour within 1.5e-5", [](TVertexData& V) { V.Colors[0].G = 1e-5f; }, true},
      {"colour beyond 1.5e-5", [](TVertexData& V) { V.Colors[0].G = 3e-5f; }, false},
      {"smooth group", [](TVertexData& V) { V.SmoothGroup = 8; }, false},
      {"flags", [](TVertexData& V) { V.Flags.Include(TVertexDataFlag::CalcTangents); }, false},
      {"texture count", [](TVertexData& V) { V.TexCoords.push_back({}); }, false},
      {"colour count", [](TVertexData& V) { V.Colors.clear(); }, false},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    TVertexData changed = SampleVertex();
    test.Change(changed);
    EXPECT_EQ(SampleVertex().Equals(changed), test.Equal);
    EXPECT_EQ(changed.Equals(SampleVertex()), test.Equal);
  }
}

TEST(VertexData, JsonRoundTripAndRequiredMembers) {
  const TVertexData vertex = SampleVertex();
  TVertexData read;
  read.FromJSON(*vertex.ToJSON());
  EXPECT_TRUE(read.Equals(vertex));
  EXPECT_EQ(MemberNames(*vertex.ToJSON()),
            (std::vector<std::string>{"Position", "Normal", "Binormal", "Tangent", "TexCoords", "Colors",
                                      "SmoothGroup"}));

  const struct {
    const char* Json;
    const char* Message;
  } failures[] = {
      {R"({})", "failed to load vertexdata from json - position not found"},
      {R"({"Position": "0 0 0", "Binormal": "", "Tangent": ""})", "failed to load vertexdata from json - normal not found"},
      {R"({"Position": "", "Normal": "", "Tangent": ""})", "failed to load vertexdata from json - binormal not found"},
      {R"({"Position": "", "Normal": "", "Binormal": ""})", "failed to load vertexdata from json - tangent not found"},
      {R"({"Position": "", "Normal": "", "Binormal": "", "Tangent": ""})",
       "failed to load vertexdata from json - smoothgroup not found"},
      {R"({"Position": "", "Normal": "", "Binormal": "", "Tangent": "", "SmoothGroup": "3"})",
       "failed to load vertexdata from json - smoothgroup contains invalid value"},
  };
  for (const auto& failure : failures) {
    SCOPED_TRACE(failure.Json);
    TVertexData target;
    EXPECT_EQ(MessageOf<Exception>([&] { target.FromJSON(*ParseObject(failure.Json)); }), failure.Message);
  }
  TVertexData target;
  EXPECT_THROW(target.FromJSON(*ParseObject(
                   R"({"Position": "", "Normal": "", "Binormal": "", "Tangent": "", "TexCoords": "1 2", "SmoothGroup": 1})")),
               EInvalidCast);
}

TEST(VertexRecords, IndexMapAndJoints) {
  TVertexIndexMap map;
  map.AddIndex(5, 9);
  map.AddIndex(5, 9);
  EXPECT_EQ(map.Items(5u), (std::vector<uint32_t>{9}));
  map.AddIndex(5, 12);
  EXPECT_EQ(map.Items(5u), (std::vector<uint32_t>{9, 12}));

  TVertexJoints joints = TVertexJoints::Create(3);
  std::vector<char> storage(17);
  auto* first = reinterpret_cast<TJointDef*>(&storage[0]);
  joints.Add(first, 0.25f);
  joints.Add(first, 0.75f);
  EXPECT_EQ(joints.JointsCount, 1);
  EXPECT_EQ(joints.WeightsArray[0], 0.25f);
  for (int i = 1; i < 16; ++i)
    joints.Add(reinterpret_cast<TJointDef*>(&storage[size_t(i)]), 0.1f);
  EXPECT_EQ(MessageOf<Exception>([&] { joints.Add(reinterpret_cast<TJointDef*>(&storage[16]), 1); }),
            "TVertexJoints.Add(): failed to add joint for vertex - range exceeded - too many joints on a single "
            "vertex");
  EXPECT_EQ(joints.JointsCount, 16);
  joints.Free();
  EXPECT_EQ(joints.JointsCount, 0);
  EXPECT_FALSE(joints.JointExists(first));
}

// ---- definitions: sources ----

TEST_F(MeshDefs, AddingVerticesAndIndices) {
  auto mesh = MakeOwned<TMeshDef>();
  mesh->AddVertices({}, 0, 0);
  EXPECT_EQ(mesh->GetVertexSource(), nullptr);

  TVertexData vertex = SampleVertex();
  vertex.TexCoords = {{0.1f, 0.2f}, {0.3f, 0.4f}};
  vertex.Colors = {{0, 0, 1, 1}};
  mesh->AddVertices({vertex, vertex}, 0, 2);
  EXPECT_EQ(VertexFormatsToString(mesh->GetVertexFormat()), "Vertex,Normal,ColorF0,TexCoord0,TexCoord1,BiNormal,Tangent");
  ASSERT_NE(mesh->GetVertexSource(), nullptr);
  EXPECT_EQ(mesh->GetVertexSource()->GetColorF(0, 1), (TAlphaColorF{0, 0, 1, 1}));
  EXPECT_EQ(mesh->GetVertexSource()->GetTexCoord(1, 0), (TPointF{0.3f, 0.4f}));
  mesh->AppendVertices({vertex}, 0, 1);
  EXPECT_EQ(mesh->GetVertexSource()->Length(), 3);

  auto indexed = MakeOwned<TMeshDef>();
  indexed->CreateIndexSource(TIndexFormat::UInt16);
  indexed->AddIndices(std::vector<uint32_t>{3, 4, 5}, 0, 3, 3);
  indexed->AppendIndices(std::vector<uint32_t>{6, 7, 8}, 0, 3, 3);
  const TIndexBuffer& indices = *indexed->GetIndexSource();
  ASSERT_EQ(indices.Length(), 6);
  for (int32_t i = 0; i < 6; ++i)
    EXPECT_EQ(indices.GetIndices(i), uint32_t(i));
  indexed->AppendIndices(std::vector<TTriangleIndex>{{7, 8, 9}}, 0, 1, 1);
  EXPECT_EQ(indexed->GetIndexSource()->GetIndices(8), 8u);
}

TEST_F(MeshDefs, BoxIncludesTransformButRawBoxDoesNot) {
  auto mesh = MakeOwned<TMeshDef>();
  mesh->CreateVertexSource(TCustomMeshDef::DefaultVertexFormat());
  mesh->GetVertexSource()->SetLength(2);
  mesh->GetVertexSource()->SetVertices(1, {1, 1, 1});
  mesh->SetTransform(TMatrix3D::CreateTranslation({10, 0, 0}));
  mesh->BoundingBoxChanged();
  EXPECT_EQ(mesh->GetBoundingBox(), (TBoundingBox{10, 0, 0, 11, 1, 1}));
  EXPECT_EQ(mesh->GetRawBoundingBox(), (TBoundingBox{0, 0, 0, 1, 1, 1}));
}

// ---- definitions: JSON ----

TEST_F(MeshDefs, NewDefinitionWritesEveryMemberInOrder) {
  auto mesh = MakeOwned<TMeshDef>();
  mesh->SetId("m");
  const auto json = mesh->ToJSON();
  EXPECT_EQ(MemberNames(*json),
            (std::vector<std::string>{"Type", "Id", "Owner", "Properties", "Transform", "IsStatic", "VertexFormat",
                                      "VertexCount", "VerticesDataType", "Vertices", "IndexFormat", "IndexCount",
                                      "IndicesDataType", "Indices", "VertexIndexMap", "FaceOrientation", "Material",
                                      "Instances"}));
  EXPECT_EQ(Text(*json, "Type"), "\"Vantrel.DefTypes.TMeshDef\"");
  EXPECT_EQ(Text(*json, "VertexFormat"), "\"Vertex,Normal,ColorF0,TexCoord0,BiNormal,Tangent\"");
  EXPECT_EQ(Text(*json, "VertexCount"), "0");
  EXPECT_EQ(Text(*json, "Vertices"), "{}");
  EXPECT_EQ(Text(*json, "IndexFormat"), "1");
  EXPECT_EQ(Text(*json, "Indices"), "[]");
  EXPECT_EQ(Text(*json, "VertexIndexMap"), "{}");
  EXPECT_EQ(Text(*json, "FaceOrientation"), "0");
  EXPECT_EQ(Text(*json, "Material"), "null");
  EXPECT_EQ(Text(*json, "Instances"), "[]");

  auto read = MakeOwned<TMeshDef>();
  read->FromJSON(nullptr, *json);
  EXPECT_EQ(read->GetVertexSource(), nullptr);
  EXPECT_EQ(read->GetIndexSource(), nullptr);
}

// The round-trip fixture: every kind of member, a child mesh and a vertex group.
TOwned<TMeshDef> RoundTripFixture() {
  auto mesh = MakeOwned<TMeshDef>();
  mesh->SetId("fixture");
  const TVertexFormats format{TVertexFormat::Vertex,    TVertexFormat::Normal,    TVertexFormat::Color0,
                              TVertexFormat::TexCoord0, TVertexFormat::TexCoord1, TVertexFormat::BiNormal,
                              TVertexFormat::Tangent,   TVertexFormat::ColorF1};
  mesh->CreateVertexSource(format);
  TVertexBuffer& vertices = *mesh->GetVertexSource();
  vertices.SetLength(5);
  for (int32_t i = 0; i < 5; ++i) {
    const float f = float(i) + 0.1f;
    vertices.SetVertices(i, {f, -f / 3, 1e-7f * f});
    vertices.SetNormals(i, {0.6f, 0.8f, f / 7});
    vertices.SetBiNormals(i, {1.0f / 3, 0, -f});
    vertices.SetTangents(i, {f * 1e5f, 2, 3});
    vertices.SetTexCoord(0, i, {f / 9, 0.3f});
    vertices.SetTexCoord(1, i, {-f, 0.7f});
    vertices.SetColor(0, i, 0xFF102030u + uint32_t(i));
    vertices.SetColorF(1, i, {1, 0.5f, 0.25f, 1});
  }
  mesh->CreateIndexSource(TIndexFormat::UInt16);
  mesh->AddIndices(std::vector<uint32_t>{0, 1, 2, 2, 3, 4, 4, 0, 2}, 0, 9, 0);
  TVertexIndexMap map;
  map.AddIndex(7, 0);
  map.AddIndex(7, 3);
  map.AddIndex(2, 1);
  mesh->AddVertexIndexMap(map, 0);
  for (int i = 0; i < 2; ++i) {
    auto* instance = New<TMeshInstanceDef>(mesh.get());
    instance->SetId("instance" + std::to_string(i));
    instance->Position = {float(i), 2, 3};
    instance->Scale = {1, 1, 1};
    mesh->GetInstances().Add(instance);
  }
  auto* material = New<TMaterialRefDef>();
  material->SetId("steel");
  mesh->SetMaterial(material);
  auto* child = New<TMeshDef>(mesh.get());
  child->SetId("child");
  child->AddPolygon(T3DPolygon{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
  mesh->AddMesh(child);
  auto* group = New<TVertexGroupDef>(mesh.get());
  group->SetId("group");
  group->AddIndices(std::vector<uint32_t>{2, 3, 4}, 0, 3, 0);
  mesh->AddMesh(group);
  return mesh;
}

TEST_F(MeshDefs, RoundTripIsByteIdenticalAndBitExact) {
  const auto mesh = RoundTripFixture();
  EXPECT_TRUE(mesh->GetRenderByVertexGroups());
  const std::string first = mesh->ToJSON()->ToString();
  auto read = MakeOwned<TMeshDef>();
  read->FromJSON(nullptr, *ParseObject(first));
  EXPECT_EQ(read->ToJSON()->ToString(), first);
  EXPECT_TRUE(read->GetRenderByVertexGroups());

  const TVertexBuffer& a = *mesh->GetVertexSource();
  const TVertexBuffer& b = *read->GetVertexSource();
  ASSERT_EQ(b.Length(), 5);
  for (int32_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    using TBits = std::array<uint32_t, 3>;
    EXPECT_EQ(std::bit_cast<TBits>(b.GetVertices(i)), std::bit_cast<TBits>(a.GetVertices(i)));
    EXPECT_EQ(b.GetNormals(i), a.GetNormals(i));
    EXPECT_EQ(b.GetTangents(i), a.GetTangents(i));
    EXPECT_EQ(b.GetTexCoord(0, i), a.GetTexCoord(0, i));
    EXPECT_EQ(b.GetTexCoord(1, i), a.GetTexCoord(1, i));
    EXPECT_EQ(b.GetColor(0, i), a.GetColor(0, i));
    // Float colours are not written.
    EXPECT_EQ(b.GetColorF(1, i), (TAlphaColorF{}));
  }
  EXPECT_EQ(read->GetMaterial()->GetId(), "steel");
  EXPECT_EQ(read->GetInstances().Count(), 2);
  EXPECT_EQ(read->GetInstances()[1]->GetMeshRef(), read.get());
  EXPECT_EQ(read->GetVertexIndexMap()->Items(7u), (std::vector<uint32_t>{0, 3}));
  const auto* group = dynamic_cast<TVertexGroupDef*>((*read->GetChildren())[1]);
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->GetVertexSource(), read->GetVertexSource());
  EXPECT_EQ(group->GetIndexSource()->Format(), TIndexFormat::UInt16);
  EXPECT_EQ(group->GetIndexSource()->GetIndices(2), 4u);
  // A group writes its own empty vertex data, not its parent's.
  const auto groupJson = group->ToJSON();
  EXPECT_EQ(Text(*groupJson, "VertexCount"), "0");
  EXPECT_EQ(Text(*groupJson, "Vertices"), "{}");
}

TEST_F(MeshDefs, ReadTable) {
  struct TCase {
    const char* Name;
    const char* Json;
    const char* Error;        // expected message, or nullptr
    int32_t Vertices, Indices; // counts after reading, -1 for no source
  };
  const TCase cases[] = {
      {"no format, indices without format", R"({"VertexCount": 1, "Vertices": "", "IndexCount": 3, "Indices": [0, 0, 0], "IndicesDataType": "Values"})",
       nullptr, 1, 3},
      {"zero vertices keep their indices", R"({"VertexCount": 0, "IndexCount": 3, "IndicesDataType": "Values", "Indices": [0, 1, 2], "VertexIndexMap": {"1": [0]}})",
       nullptr, -1, 3},
      {"vertices array as values", R"({"VertexFormat": "Vertex", "VertexCount": 2, "VerticesDataType": "Values", "Vertices": []})",
       "invalid json data type for \"Vertices\"", -1, -1},
      {"indices object as values", R"({"VertexFormat": "Vertex", "VertexCount": 1, "IndexCount": 1, "IndicesDataType": "Values", "Indices": {}})",
       "invalid json data type for \"Indices\"", -1, -1},
      {"map key", R"({"VertexFormat": "Vertex", "VertexCount": 1, "IndexCount": 1, "Indices": "", "VertexIndexMap": {"x": [1]}})",
       "unexpected value in VertexIndexMap - ordinal values expected, but \"x\" found", -1, -1},
      {"negative counts read as zero", R"({"VertexFormat": "Vertex", "VertexCount": -5, "Vertices": ""})", nullptr, -1, -1},
      {"index beyond the vertices reads", R"({"VertexFormat": "Vertex", "VertexCount": 3, "VerticesDataType": "Values", "Vertices": {}, "IndexCount": 3, "IndicesDataType": "Values", "Indices": [0, 1, 99]})",
       nullptr, 3, 3},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    auto mesh = MakeOwned<TMeshDef>();
    const auto json = ParseObject(test.Json);
    if (test.Error) {
      EXPECT_EQ(MessageOf<Exception>([&] { mesh->FromJSON(nullptr, *json); }), test.Error);
      continue;
    }
    mesh->FromJSON(nullptr, *json);
    EXPECT_EQ(mesh->GetVertexSource() ? mesh->GetVertexSource()->Length() : -1, test.Vertices);
    EXPECT_EQ(mesh->GetIndexSource() ? mesh->GetIndexSource()->Length() : -1, test.Indices);
  }
  auto mesh = MakeOwned<TMeshDef>();
  mesh->FromJSON(nullptr, *ParseObject(R"({"VertexCount": 1, "Vertices": "", "IndexCount": 3, "Indices": "1 0 2 0 3 0"})"));
  EXPECT_TRUE(mesh->GetVertexFormat().IsEmpty());
  EXPECT_EQ(mesh->GetIndexSource()->Format(), TIndexFormat::UInt16);
  EXPECT_EQ(mesh->GetIndexSource()->GetIndices(2), 3u);
}

TEST_F(MeshDefs, ValuesAndBinaryVertexData) {
  auto mesh = MakeOwned<TMeshDef>();
  // Binary bytes land in the buffer's layout, float colours last: Vertex 0..11, Color0 12..15,
  // ColorF0 16..31. Extra bytes beyond the buffer are dropped.
  std::string bytes;
  for (int i = 0; i < 40; ++i)
    bytes += std::to_string(i == 12 ? 0x11 : i == 16 ? 0 : i == 19 ? 0x3F : i == 18 ? 0x80 : 0) + " ";
  mesh->FromJSON(nullptr, *ParseObject(R"({"VertexFormat": "Vertex,Color0,ColorF0", "VertexCount": 1, "Vertices": ")" +
                                       bytes + "\"}"));
  EXPECT_EQ(mesh->GetVertexSource()->GetColor(0, 0), 0x11u);
  EXPECT_EQ(mesh->GetVertexSource()->GetColorF(0, 0).R, 1.0f);

  const auto read = [](std::string_view AVertices) {
    auto result = MakeOwned<TMeshDef>();
    result->FromJSON(nullptr, *ParseObject(R"({"VertexFormat": "Vertex,Color0", "VertexCount": 2, "VerticesDataType": "Values", "Vertices": )" +
                                           std::string(AVertices) + "}"));
    return result;
  };
  EXPECT_EQ(read(R"({"Color0": [4278190335, 0]})")->GetVertexSource()->GetColor(0, 0), 0xFF0000FFu);
  EXPECT_THROW(read(R"({"Positions": [1, 2, 3, 4, 5, 6, 7]})"), EArgumentOutOfRangeException);
  EXPECT_THROW(read(R"({"Positions": [1, 2, 3, 4, 5, 6, 7, 8, 9]})"), ERangeError);
  EXPECT_THROW(read(R"({"Positions": "1 2 3"})"), EInvalidCast);
  // Counts from files never allocate blindly.
  auto huge = MakeOwned<TMeshDef>();
  EXPECT_THROW(huge->FromJSON(nullptr, *ParseObject(R"({"VertexFormat": "Vertex,Normal", "VertexCount": 2147483647, "Vertices": {}, "VerticesDataType": "Values"})")),
               EArgumentOutOfRangeException);
  EXPECT_EQ(huge->GetVertexSource(), nullptr);
}

// Vertex numbers are read to the same float as the general conversion gives, also for texts next
// to the midpoint between two floats, long digit runs, exponents and values out of the float range.
TEST_F(MeshDefs, VertexNumbersReadToTheNearestFloat) {
  std::vector<std::string> texts{"0",      "-0",        "0.0",    "1",         "-1.5",         "0.1",
                                 "1e-5",   "1.5E+3",    "1e22",   "1e23",      "1e-22",        "1e-23",
                                 "3.4e38", "123456789012345678901234", "0.000000000000000000000000001",
                                 "16777217", "0.30000001192092896", "1.0000000596046448", "1.00000005960464477539",
                                 "9007199254740993", "2.5e-3"};
  std::mt19937 random(1211);
  std::uniform_real_distribution<float> value(-1000, 1000);
  char buffer[64];
  for (int i = 0; i < 3000; ++i) {
    const float f = value(random) * (i % 3 == 0 ? 1e-6f : 1);
    texts.push_back(std::string(TJSONNumber::Create(f)->Value()));
    for (const char* format : {"%.9g", "%.8g", "%.17g"}) {
      std::snprintf(buffer, sizeof buffer, format, double(f));
      texts.emplace_back(buffer);
    }
    // Texts around the midpoint to the next float up.
    const double midpoint = (double(f) + double(std::nextafter(f, 2000.0f))) / 2;
    for (const char* format : {"%.17g", "%.16g", "%.15g"}) {
      std::snprintf(buffer, sizeof buffer, format, midpoint);
      texts.emplace_back(buffer);
    }
  }
  std::string array;
  for (const std::string& text : texts)
    for (int k = 0; k < 3; ++k)
      array += (array.empty() ? "" : ",") + text;
  auto mesh = MakeOwned<TMeshDef>();
  mesh->FromJSON(nullptr, *ParseObject(R"({"VertexFormat": "Vertex", "VerticesDataType": "Values", "VertexCount": )" +
                                       std::to_string(texts.size()) + R"(, "Vertices": {"Positions": [)" + array +
                                       "]}}"));
  const TVertexBuffer& vertices = *mesh->GetVertexSource();
  for (size_t i = 0; i < texts.size(); ++i) {
    float expected = 0;
    const std::string& text = texts[i];
    const auto result = std::from_chars(text.data(), text.data() + text.size(), expected);
    ASSERT_EQ(result.ec, std::errc()) << text;
    ASSERT_EQ(std::bit_cast<uint32_t>(vertices.GetVertices(int32_t(i)).X), std::bit_cast<uint32_t>(expected))
        << text;
  }
  // Beyond the float range (and below its smallest subnormal) the general conversion's error.
  for (const char* text : {"1e39", "1e-50", "-7.006492321624085e-46"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(mesh->FromJSON(nullptr, *ParseObject(std::string(R"({"VertexFormat": "Vertex", "VerticesDataType": "Values", "VertexCount": 1, "Vertices": {"Positions": [)") +
                                                      text + ", 0, 0]}}")),
                 EConvertError);
  }
}

TEST_F(MeshDefs, InstancesReadWithoutScaleGiveZeroScale) {
  auto mesh = MakeOwned<TMeshDef>();
  mesh->FromJSON(nullptr, *ParseObject(R"({"Instances": [{"Id": "a", "Position": "1 2 3"}, 5, {"Id": "b"}]})"));
  ASSERT_EQ(mesh->GetInstances().Count(), 2);
  EXPECT_EQ(mesh->GetInstances()[0]->Position, (TPoint3D{1, 2, 3}));
  EXPECT_EQ(mesh->GetInstances()[0]->Scale, (TPoint3D{0, 0, 0}));
  EXPECT_EQ(Text(*mesh->GetInstances()[0]->ToJSON(), "MeshRef"), "\"\"");
}

TEST_F(MeshDefs, DirtyHackKeepsTheVertexBufferObject) {
  TMeshData data(TCustomMeshDef::DefaultVertexFormat(), 4, 0);
  TVertexBuffer* identity = &data.VertexBuffer();
  TVertexBuffer source({TVertexFormat::Vertex, TVertexFormat::Normal, TVertexFormat::TexCoord0}, 3);
  source.SetVertices(2, {1, 2, 3});
  TIndexBuffer indices(3, TIndexFormat::UInt32);
  indices.SetIndices(1, 2);
  DirtyHackApplyMeshDataBuffers(&data, &source, &indices);
  EXPECT_EQ(&data.VertexBuffer(), identity);
  EXPECT_EQ(data.VertexBuffer().Format(), source.Format());
  EXPECT_EQ(data.VertexBuffer().GetVertices(2), (TPoint3D{1, 2, 3}));
  EXPECT_EQ(data.IndexBuffer().Format(), TIndexFormat::UInt32);
  EXPECT_EQ(data.IndexBuffer().GetIndices(1), 2u);
  DirtyHackApplyMeshDataBuffers(nullptr, &source, &indices);
}

// ---- the buffer link without a context ----

TEST_F(MeshDefs, StaticBuildsWaitForAContext) {
  auto mesh = MakeOwned<TMeshDef>();
  mesh->SetIsStatic(true);
  EXPECT_FALSE(mesh->GetIsStatic()); // no data
  mesh->AddPolygon(T3DPolygon{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
  mesh->SetIsStatic(true);
  EXPECT_TRUE(mesh->GetIsStatic());
  EXPECT_TRUE(mesh->IsBuildPending());
  EXPECT_EQ(mesh->GetBufferObject(), nullptr);
  mesh->CompletePendingBuild(); // still no context: nothing happens
  EXPECT_TRUE(mesh->IsBuildPending());
  mesh->SetIsStatic(false);
  EXPECT_FALSE(mesh->IsBuildPending());
  // "IsStatic" is written but not read back.
  mesh->SetIsStatic(true);
  auto read = MakeOwned<TMeshDef>();
  read->FromJSON(nullptr, *mesh->ToJSON());
  EXPECT_FALSE(read->GetIsStatic());
}

} // namespace
