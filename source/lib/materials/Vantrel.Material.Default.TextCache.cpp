#include "materials/Vantrel.Material.Default.TextCache.h"

#include <memory>
#include <utility>

namespace vantrel {

TVantrelStageTextCache& TVantrelStageTextCache::Of(const TContextShaderDefines& ATable) {
  std::shared_ptr<void>& state = ATable.GeneratorState();
  if (!state)
    state = std::make_shared<TVantrelStageTextCache>();
  return *static_cast<TVantrelStageTextCache*>(state.get());
}

const TVantrelStageText* TVantrelStageTextCache::Find(const std::string& AKey) const {
  const auto it = FTexts.find(AKey);
  return it == FTexts.end() ? nullptr : &it->second;
}

void TVantrelStageTextCache::Add(std::string AKey, TVantrelStageText AText) {
  if (FTexts.size() >= Capacity && !FTexts.contains(AKey))
    FTexts.clear();
  FTexts.insert_or_assign(std::move(AKey), std::move(AText));
}

} // namespace vantrel
