#include <algorithm>
#include "rtl/properties.h"

#include "rtl/sysutils.h"

#include <algorithm>
#include <charconv>
#include <limits>
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

template <class T> T ParseInteger(const std::string& AText) {
  T value = 0;
  auto [end, ec] = std::from_chars(AText.data(), AText.data() + AText.size(), value);
  if (ec == std::errc::result_out_of_range)
    throw ERangeError(messages::RangeError);
  if (ec != std::errc() || end != AText.data() + AText.size())
    throw EConvertError("'" + AText + "' is not a valid integer value");
  return value;
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
  case TTypeKind::tkRecord:
    return !current.RecordEquals(*Default);
  default:
    return current.AsOrdinal() != Default->AsOrdinal();
  }
}

std::vector<const TPropInfo*> GetPropList(const TClass& AClass) {
  std::vector<const TClass*> chain;
  for (const TClass* c = &AClass; c; c = c->Parent())
    chain.insert(chain.begin(), c);
  // A descendant that declares a property again (with its own default) replaces the ancestor's in
  // place, so the property is listed, and written, once.
  std::vector<const TPropInfo*> result;
  for (const TClass* c : chain)
    for (const auto& item : c->OwnProperties().Items()) {
      auto same = std::find_if(result.begin(), result.end(),
                               [&](const TPropInfo* AKnown) { return SameText(AKnown->Name, item->Name); });
      if (same != result.end())
        *same = item.get();
      else
        result.push_back(item.get());
    }
  return result;
}

const TPropInfo* GetPropInfo(const TClass& AClass, std::string_view AName) {
  for (const TClass* c = &AClass; c; c = c->Parent())
    for (const auto& item : c->OwnProperties().Items())
      if (SameText(item->Name, AName))
        return item.get();
  return nullptr;
}

const TFieldInfo* GetFieldInfo(const TClass& AClass, std::string_view AName) {
  for (const TClass* c = &AClass; c; c = c->Parent())
    for (const TFieldInfo& field : c->OwnProperties().Fields())
      if (SameText(field.Name, AName))
        return &field;
  return nullptr;
}

std::vector<const TFieldInfo*> GetFieldList(const TClass& AClass) {
  std::vector<const TFieldInfo*> result;
  for (const TClass* c = &AClass; c; c = c->Parent()) {
    const auto& fields = c->OwnProperties().Fields();
    std::vector<const TFieldInfo*> own;
    for (const TFieldInfo& field : fields)
      own.push_back(&field);
    result.insert(result.begin(), own.begin(), own.end());
  }
  return result;
}

const TEventInfo* GetEventInfo(const TClass& AClass, std::string_view AName) {
  for (const TClass* c = &AClass; c; c = c->Parent())
    for (const TEventInfo& event : c->OwnProperties().Events())
      if (SameText(event.Name, AName))
        return &event;
  return nullptr;
}

std::vector<const TEventInfo*> GetEventList(const TClass& AClass) {
  std::vector<const TEventInfo*> result;
  for (const TClass* c = &AClass; c; c = c->Parent()) {
    std::vector<const TEventInfo*> own;
    for (const TEventInfo& event : c->OwnProperties().Events())
      own.push_back(&event);
    result.insert(result.begin(), own.begin(), own.end());
  }
  return result;
}

namespace {

[[noreturn]] void InvalidValue(const TPropInfo& AProp, std::string_view AText) {
  throw EPropertyError("Invalid property value " + std::string(AText) + " for " + AProp.Name);
}

// AValue as an integer of AType, raising ERangeError when it does not fit.
int64_t IntegerFor(const TTypeInfo& AType, const TValue& AValue) {
  const bool targetUInt64 = AType.Kind == TTypeKind::tkInt64 && AType.IsUnsigned;
  const TTypeInfo* source = AValue.TypeInfo();
  if (source && source->Kind == TTypeKind::tkInt64 && source->IsUnsigned) {
    const uint64_t value = AValue.AsUInt64();
    if (targetUInt64)
      return static_cast<int64_t>(value);
    if (value > uint64_t(std::numeric_limits<int64_t>::max()))
      throw ERangeError(messages::RangeError);
    return IntegerFor(AType, TValue::From(static_cast<int64_t>(value)));
  }
  // Only integers convert: a float, Boolean or enumeration given to an integer property raises.
  // An Int64 given to an Integer property converts as TValue::AsInteger does (EInvalidCast when
  // out of range); narrower targets report a range error.
  const bool toInteger = AType.Kind == TTypeKind::tkInteger && AType.Size == 4 && !AType.IsUnsigned &&
                         AValue.Kind() == TTypeKind::tkInt64;
  const int64_t value = toInteger ? AValue.AsInteger() : AValue.AsInt64();
  if (AType.Kind == TTypeKind::tkInt64) {
    if (targetUInt64 && value < 0)
      throw ERangeError(messages::RangeError);
    return value;
  }
  const int bits = static_cast<int>(AType.Size) * 8;
  const int64_t low = AType.IsUnsigned ? 0 : -(int64_t{1} << (bits - 1));
  const int64_t high = AType.IsUnsigned ? (int64_t{1} << bits) - 1 : (int64_t{1} << (bits - 1)) - 1;
  if (value < low || value > high)
    throw ERangeError(messages::RangeError);
  return value;
}

std::string_view TrimSpaces(std::string_view AText) {
  while (!AText.empty() && AText.front() == ' ')
    AText.remove_prefix(1);
  while (!AText.empty() && AText.back() == ' ')
    AText.remove_suffix(1);
  return AText;
}

// "[a, b]" or "a,b" (element names, any case) as set bits.
uint64_t SetBitsFromText(const TPropInfo& AProp, std::string_view AText) {
  std::string_view rest = TrimSpaces(AText);
  if (rest.size() >= 2 && rest.front() == '[' && rest.back() == ']')
    rest = TrimSpaces(rest.substr(1, rest.size() - 2));
  uint64_t bits = 0;
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    const std::string_view name = TrimSpaces(rest.substr(0, comma));
    const int ordinal = AProp.Type->IndexOfName(name);
    if (ordinal < 0 || ordinal >= 64)
      InvalidValue(AProp, AText);
    bits |= uint64_t{1} << ordinal;
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
  }
  return bits;
}

uint64_t SetBitsFor(const TPropInfo& AProp, const TValue& AValue) {
  if (AValue.Kind() == TTypeKind::tkString)
    return SetBitsFromText(AProp, AValue.AsString());
  const auto bits = static_cast<uint64_t>(AValue.AsOrdinal());
  const size_t elements = AProp.Type->Names ? AProp.Type->Names->size() : 64;
  if (elements < 64 && (bits >> elements) != 0)
    throw ERangeError(messages::RangeError);
  return bits;
}

int64_t EnumOrdinalFor(const TPropInfo& AProp, const TValue& AValue) {
  const TTypeInfo& type = *AProp.Type;
  if (AValue.Kind() == TTypeKind::tkString) {
    const int ordinal = type.IndexOfName(AValue.AsString());
    if (ordinal < 0)
      InvalidValue(AProp, AValue.AsString());
    return ordinal;
  }
  const int64_t ordinal = AValue.AsOrdinal();
  if (type.Kind == TTypeKind::tkBoolean)
    return ordinal != 0;
  if (type.Names && (ordinal < 0 || ordinal >= static_cast<int64_t>(type.Names->size())))
    throw ERangeError(messages::RangeError);
  return ordinal;
}

} // namespace

TValue ConvertForProperty(const TPropInfo& AProp, const TValue& AValue) {
  const TTypeInfo& type = *AProp.Type;
  switch (type.Kind) {
  case TTypeKind::tkFloat:
    return TValue::From(AValue.AsDouble(), type);
  case TTypeKind::tkInteger:
  case TTypeKind::tkInt64:
    return TValue::FromOrdinal(type, IntegerFor(type, AValue));
  case TTypeKind::tkBoolean:
  case TTypeKind::tkEnumeration:
    return TValue::FromOrdinal(type, EnumOrdinalFor(AProp, AValue));
  case TTypeKind::tkSet:
    return TValue::FromOrdinal(type, static_cast<int64_t>(SetBitsFor(AProp, AValue)));
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
  case TTypeKind::tkInt64:
    if (info.Type->Kind == TTypeKind::tkInt64 && info.Type->IsUnsigned)
      SetPropValue(AInstance, APath, TValue::From(ParseInteger<uint64_t>(text)));
    else
      SetPropValue(AInstance, APath, TValue::From(ParseInteger<int64_t>(text)));
    return;
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
