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
  std::vector<std::unique_ptr<TCopyField>> Fields;
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

bool TCopyField::HasAssign() const {
  return DeclaredClass && DeclaredClass->InheritsFrom(TPersistent::StaticClass());
}

void RegisterFields(const TClass& AClass, std::vector<TCopyField> AFields) {
  TFieldTable table{&AClass, {}};
  for (TCopyField& field : AFields) {
    field.Owner = &AClass;
    table.Fields.push_back(std::make_unique<TCopyField>(std::move(field)));
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

std::vector<const TCopyField*> GetCopyFields(const TClass& AClass) {
  std::vector<const TClass*> chain;
  for (const TClass* cls = &AClass; cls; cls = cls->Parent())
    chain.push_back(cls);
  std::vector<const TCopyField*> result;
  TFieldRegistry& registry = Registry();
  std::lock_guard lock(registry.Lock);
  for (auto cls = chain.rbegin(); cls != chain.rend(); ++cls)
    for (const TFieldTable& table : registry.Tables)
      if (table.Class == *cls)
        for (const auto& field : table.Fields)
          result.push_back(field.get());
  return result;
}

TCopyField SkippedField(std::string_view AName, TFieldKind AKind) {
  TCopyField info;
  info.Name = std::string(AName);
  info.Kind = AKind;
  return info;
}

} // namespace rtl
