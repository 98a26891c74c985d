#include "rtl/properties.h"

#include <charconv>
#include <mutex>

namespace rtl {

const TPropertyList& TClass::OwnProperties() const {
  // Metaclasses are made on first use from any thread; each table is filled once.
  static std::recursive_mutex lock;
  std::lock_guard guard(lock);
  if (!FProperties) {
    auto list = std::make_unique<TPropertyList>(*this);
    if (FRegisterProperties)
      FRegisterProperties(*list);
    FProperties = std::move(list);
  }
  return *FProperties;
}

namespace {

bool SameTextAscii(std::string_view A, std::string_view B) {
  if (A.size() != B.size())
    return false;
  for (size_t i = 0; i < A.size(); ++i) {
    char a = A[i], b = B[i];
    if (a >= 'A' && a <= 'Z')
      a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z')
      b = static_cast<char>(b - 'A' + 'a');
    if (a != b)
      return false;
  }
  return true;
}

[[noreturn]] void UnknownProperty(std::string_view AName) {
  throw EPropertyError("Property " + std::string(AName) + " does not exist");
}

const TPropInfo& RequireProp(const TObject* AInstance, std::string_view AName) {
  if (!AInstance)
    throw EArgumentNilException("property access on nil object");
  const TPropInfo* info = GetPropInfo(AInstance->ClassType(), AName);
  if (!info)
    UnknownProperty(AName);
  return *info;
}

// Walks a dotted path to the object that holds its last segment.
const TObject* ResolvePath(const TObject* AInstance, std::string_view& APath) {
  size_t dot;
  while ((dot = APath.find('.')) != std::string_view::npos) {
    const TPropInfo& info = RequireProp(AInstance, APath.substr(0, dot));
    if (info.Type->Kind != TTypeKind::tkClass)
      UnknownProperty(APath);
    AInstance = info.Get(AInstance).AsObject();
    if (!AInstance)
      throw EPropertyError("Property " + std::string(APath.substr(0, dot)) + " is nil");
    APath.remove_prefix(dot + 1);
  }
  return AInstance;
}

} // namespace

bool TPropInfo::IsStored(const TObject* AInstance) const {
  if (StoredPredicate)
    return StoredPredicate(AInstance);
  if (!StoredFlag)
    return false;
  if (!Default || Style != TPropStyle::Value)
    return true;
  const TValue current = Get(AInstance);
  switch (Type->Kind) {
  case TTypeKind::tkFloat:
    return current.AsDouble() != Default->AsDouble();
  case TTypeKind::tkString:
    return current.AsString() != Default->AsString();
  case TTypeKind::tkInt64:
  case TTypeKind::tkInteger:
    return current.AsInt64() != Default->AsInt64();
  default:
    return current.AsOrdinal() != Default->AsOrdinal();
  }
}

std::vector<const TPropInfo*> GetPropList(const TClass& AClass) {
  std::vector<const TClass*> chain;
  for (const TClass* c = &AClass; c; c = c->Parent())
    chain.insert(chain.begin(), c);
  std::vector<const TPropInfo*> result;
  for (const TClass* c : chain)
    for (const auto& item : c->OwnProperties().Items())
      result.push_back(item.get());
  return result;
}

const TPropInfo* GetPropInfo(const TClass& AClass, std::string_view AName) {
  for (const TClass* c = &AClass; c; c = c->Parent())
    for (const auto& item : c->OwnProperties().Items())
      if (SameTextAscii(item->Name, AName))
        return item.get();
  return nullptr;
}

TValue ConvertForProperty(const TPropInfo& AProp, const TValue& AValue) {
  const TTypeInfo& type = *AProp.Type;
  switch (type.Kind) {
  case TTypeKind::tkFloat:
    return TValue::From(AValue.AsDouble(), type);
  case TTypeKind::tkInteger:
    // Another 32-bit ordinal keeps its bits (a Cardinal above 2^31 stays positive); every other
    // kind goes through AsInteger, so Int64 is range-checked and floats or Booleans raise.
    if (AValue.Kind() == TTypeKind::tkInteger || AValue.IsEmpty())
      return TValue::FromOrdinal(type, AValue.AsOrdinal());
    return TValue::FromOrdinal(type, AValue.AsInteger());
  case TTypeKind::tkInt64:
    return TValue::FromOrdinal(type, AValue.AsInt64());
  case TTypeKind::tkBoolean:
  case TTypeKind::tkEnumeration:
    if (AValue.Kind() == TTypeKind::tkString) {
      const int ordinal = type.IndexOfName(AValue.AsString());
      if (ordinal < 0)
        throw EPropertyError("Invalid property value " + AValue.AsString() + " for " + AProp.Name);
      return TValue::FromOrdinal(type, ordinal);
    }
    return TValue::FromOrdinal(type, AValue.AsOrdinal());
  case TTypeKind::tkSet:
    return TValue::FromOrdinal(type, AValue.AsOrdinal());
  default:
    return AValue;
  }
}

TValue GetPropValue(const TObject* AInstance, std::string_view APath) {
  const TObject* holder = ResolvePath(AInstance, APath);
  return RequireProp(holder, APath).Get(holder);
}

void SetPropValue(TObject* AInstance, std::string_view APath, const TValue& AValue) {
  TObject* holder = const_cast<TObject*>(ResolvePath(AInstance, APath));
  const TPropInfo& info = RequireProp(holder, APath);
  if (info.IsReadOnly())
    throw EPropertyError("Property " + info.Name + " is read-only");
  info.Set(holder, ConvertForProperty(info, AValue));
}

void SetPropValueFromString(TObject* AInstance, std::string_view APath, std::string_view AText) {
  std::string_view last = APath;
  const TObject* holder = ResolvePath(AInstance, last);
  const TPropInfo& info = RequireProp(holder, last);
  const std::string text(AText);
  switch (info.Type->Kind) {
  case TTypeKind::tkInteger:
  case TTypeKind::tkInt64: {
    int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
      throw EConvertError("'" + text + "' is not a valid integer value");
    SetPropValue(AInstance, APath, TValue::From(value));
    return;
  }
  case TTypeKind::tkFloat: {
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
      throw EConvertError("'" + text + "' is not a valid floating point value");
    SetPropValue(AInstance, APath, TValue::From(value));
    return;
  }
  default:
    SetPropValue(AInstance, APath, TValue::From(text));
  }
}

bool IsPublishedProp(const TObject* AInstance, std::string_view APath) {
  try {
    const TObject* holder = ResolvePath(AInstance, APath);
    return GetPropInfo(holder->ClassType(), APath) != nullptr;
  } catch (const EPropertyError&) {
    return false;
  }
}

} // namespace rtl
