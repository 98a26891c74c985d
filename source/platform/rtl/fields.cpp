#include "rtl/fields.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <utility>

#include "rtl/classes.h"

namespace rtl {

namespace {

struct TFieldTable {
  const TClass* Class;
  std::vector<std::unique_ptr<TFieldInfo>> Fields;
};

struct TFieldRegistry {
  std::mutex Lock;
  std::vector<TFieldTable> Tables;
};

TFieldRegistry& Registry() {
  static TFieldRegistry registry;
  return registry;
}

} // namespace

bool TFieldInfo::HasAssign() const {
  return DeclaredClass && DeclaredClass->InheritsFrom(TPersistent::StaticClass());
}

void RegisterFields(const TClass& AClass, std::vector<TFieldInfo> AFields) {
  TFieldTable table{&AClass, {}};
  for (TFieldInfo& field : AFields) {
    field.Owner = &AClass;
    table.Fields.push_back(std::make_unique<TFieldInfo>(std::move(field)));
  }
  TFieldRegistry& registry = Registry();
  std::lock_guard lock(registry.Lock);
  auto it = std::find_if(registry.Tables.begin(), registry.Tables.end(),
                         [&](const TFieldTable& ATable) { return ATable.Class == &AClass; });
  if (it != registry.Tables.end())
    *it = std::move(table);
  else
    registry.Tables.push_back(std::move(table));
}

void UnRegisterFields(const TClass& AClass) {
  TFieldRegistry& registry = Registry();
  std::lock_guard lock(registry.Lock);
  std::erase_if(registry.Tables, [&](const TFieldTable& ATable) { return ATable.Class == &AClass; });
}

std::vector<const TFieldInfo*> GetFieldList(const TClass& AClass) {
  std::vector<const TClass*> chain;
  for (const TClass* cls = &AClass; cls; cls = cls->Parent())
    chain.push_back(cls);
  std::vector<const TFieldInfo*> result;
  TFieldRegistry& registry = Registry();
  std::lock_guard lock(registry.Lock);
  for (auto cls = chain.rbegin(); cls != chain.rend(); ++cls)
    for (const TFieldTable& table : registry.Tables)
      if (table.Class == *cls)
        for (const auto& field : table.Fields)
          result.push_back(field.get());
  return result;
}

TFieldInfo SkippedField(std::string_view AName, TFieldKind AKind) {
  TFieldInfo info;
  info.Name = std::string(AName);
  info.Kind = AKind;
  return info;
}

} // namespace rtl
