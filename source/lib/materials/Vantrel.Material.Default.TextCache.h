#pragma once
// The finished stage texts of materials whose node trees are the standard ones. Such a text
// follows from the material's class, the builder's class, the builder's defines and the texture
// pool's uniforms alone, so a material with the same inputs takes the text made before instead of
// building a tree of some 400 nodes and writing it out. The cache is kept with the driver's
// define table it was made from (TContextShaderDefines::GeneratorState) and holds a bounded
// number of texts.

#include <string>
#include <string_view>
#include <unordered_map>

#include "context/Vantrel.Context.ShaderDefines.h"
#include "Vantrel.Prelude.h"
#include "ui/shaders.h"

namespace vantrel {

// Appends APart to a cache key with its length in front, so that no two different lists of parts
// make the same key, whatever characters the parts hold.
inline void AppendKeyPart(std::string& AKey, std::string_view APart) {
  AKey += std::to_string(APart.size());
  AKey += ':';
  AKey += APart;
}

struct TVantrelStageText {
  TContextShaderSource Source;
  // The variable index after the stage's texture variables.
  int NextVariableIndex = 0;
  // The pooled-texture count the text declares, which the material's uniform data repeats.
  int PoolTextures = 0;
};

class TVantrelStageTextCache {
public:
  // Beyond this many texts the cache starts over: a scene uses a handful of define sets, and a
  // program that cycles through many gains nothing from keeping them all.
  static constexpr size_t Capacity = 64;

  // The cache kept with ATable, made on first use.
  static TVantrelStageTextCache& Of(const TContextShaderDefines& ATable);

  const TVantrelStageText* Find(const std::string& AKey) const;
  void Add(std::string AKey, TVantrelStageText AText);

private:
  std::unordered_map<std::string, TVantrelStageText> FTexts;
};

} // namespace vantrel
