#pragma once
// The benchmarks' input: about ATargetBytes of definition-like JSON made with a fixed seed (meshes
// with their type members, a name with an escape and non-ASCII text, transform values, and
// "Positions", "Normals", "TexCoord0" arrays of 7-digit floats and integer "Indices").

#include <charconv>
#include <cstddef>
#include <random>
#include <string>

namespace vbench {

inline void AppendFloat(std::string& AOut, double AValue) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, AValue, std::chars_format::general, 7);
  AOut.append(buffer, result.ptr);
}

inline void AppendFloats(std::string& AOut, const char* AName, size_t ACount, std::mt19937& ARandom,
                         double AScale) {
  std::uniform_real_distribution<double> value(-AScale, AScale);
  AOut += '"';
  AOut += AName;
  AOut += "\":[";
  for (size_t i = 0; i < ACount; ++i) {
    if (i)
      AOut += ',';
    AppendFloat(AOut, value(ARandom));
  }
  AOut += ']';
}

// Definition-like text: per mesh its type members (repeated "Type"), a name with an escape and
// non-ASCII text, transform values, and the vertex arrays.
inline std::string MakeDefinitionText(size_t ATargetBytes) {
  std::mt19937 random(20240607);
  std::uniform_int_distribution<size_t> vertices(50, 400);
  std::string text = "{\"Type\":\"Vantrel.DefTypes.TModelDef\",\"Id\":\"model\",\"Meshes\":[";
  for (int mesh = 0; text.size() < ATargetBytes; ++mesh) {
    if (mesh)
      text += ',';
    const size_t count = vertices(random);
    text += "{\"Type\":\"Vantrel.DefTypes.TMeshDef\",\"Id\":\"mesh_" + std::to_string(mesh) +
            "\",\"Type\":\"Vantrel.Mesh.TVantrelMesh\",\"Name\":\"Gr\xC3\xBCn \\\"" + std::to_string(mesh) +
            "\\\"\",\"Visible\":true,\"Parent\":null,\"Position\":\"1,2.5,-3,1\",\"Opacity\":1.50,";
    AppendFloats(text, "Positions", count * 3, random, 100.0);
    text += ',';
    AppendFloats(text, "Normals", count * 3, random, 1.0);
    text += ',';
    AppendFloats(text, "TexCoord0", count * 2, random, 1.0);
    text += ",\"Indices\":[";
    std::uniform_int_distribution<size_t> index(0, count - 1);
    for (size_t i = 0; i < count * 3; ++i) {
      if (i)
        text += ',';
      text += std::to_string(index(random));
    }
    text += "]}";
  }
  text += "]}";
  return text;
}

} // namespace vbench
