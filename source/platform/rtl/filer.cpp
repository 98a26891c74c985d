#include "rtl/filer.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

#include "rtl/colors.h"
#include "rtl/encoding.h"
#include "rtl/methods.h"
#include "rtl/properties.h"
#include "rtl/stringlist.h"
#include "rtl/sysutils.h"
#include "rtl/utf8.h"

namespace rtl {

RTL_DEFINE_CLASS(TReader, "Rtl.Classes")
RTL_DEFINE_CLASS(TWriter, "Rtl.Classes")

namespace {

constexpr std::array<std::string_view, 22> ValueTypeNames{
    "Null",     "List", "Int8",    "Int16", "Int32",      "Extended", "String",     "Ident",
    "False",    "True", "Binary",  "Set",   "LString",    "Nil",      "Collection", "Single",
    "Currency", "Date", "WString", "Int64", "UTF8String", "Double"};

std::string ValueTypeName(TValueType AType) {
  const auto index = static_cast<size_t>(AType);
  return index < ValueTypeNames.size() ? std::string(ValueTypeNames[index]) : "tag " + IntToStr(index);
}

bool IsAscii(std::string_view AText) {
  for (const char c : AText)
    if (static_cast<unsigned char>(c) >= 0x80)
      return false;
  return true;
}

std::string Latin1ToUtf8(const uint8_t* AData, size_t ACount) {
  std::string result;
  result.reserve(ACount);
  for (size_t i = 0; i < ACount; ++i)
    AppendUtf8(result, AData[i]);
  return result;
}

template <class T> long double Widen(T AValue) {
  char buffer[64];
  const auto text = std::to_chars(buffer, buffer + sizeof(buffer), AValue);
  long double wide = 0;
  const auto parsed = std::from_chars(buffer, text.ptr, wide);
  if (parsed.ec == std::errc() && static_cast<T>(wide) == AValue)
    return wide;
  return AValue;
}

// The inclusive range of an integer property type.
void IntegerRange(const TTypeInfo& AType, int64_t& ALow, int64_t& AHigh) {
  if (AType.Kind == TTypeKind::tkInt64) {
    ALow = AType.IsUnsigned ? 0 : std::numeric_limits<int64_t>::min();
    AHigh = std::numeric_limits<int64_t>::max();
    return;
  }
  const int bits = static_cast<int>(AType.Size) * 8;
  ALow = AType.IsUnsigned ? 0 : -(int64_t{1} << (bits - 1));
  AHigh = AType.IsUnsigned ? (int64_t{1} << bits) - 1 : (int64_t{1} << (bits - 1)) - 1;
}

bool IsColorType(const TTypeInfo& AType) {
  return &AType == &TypeInfoAlphaColor();
}

} // namespace

bool IsIntegerValue(TValueType AType) {
  return AType == TValueType::vaInt8 || AType == TValueType::vaInt16 || AType == TValueType::vaInt32 ||
         AType == TValueType::vaInt64;
}

bool IsFloatValue(TValueType AType) {
  return AType == TValueType::vaExtended || AType == TValueType::vaSingle || AType == TValueType::vaDouble ||
         AType == TValueType::vaCurrency || AType == TValueType::vaDate;
}

bool IsStringValue(TValueType AType) {
  return AType == TValueType::vaString || AType == TValueType::vaLString || AType == TValueType::vaWString ||
         AType == TValueType::vaUTF8String;
}

long double ExtendedFromBytes(const uint8_t* ABytes) {
  long double value = 0;
  std::memcpy(&value, ABytes, 10);
  return value;
}

void ExtendedToBytes(long double AValue, uint8_t* ABytes) {
  std::memcpy(ABytes, &AValue, 10);
}

long double WideningForStream(double AValue) {
  return Widen(AValue);
}
long double WideningForStream(float AValue) {
  return Widen(AValue);
}

// --- TBinaryCursor -------------------------------------------------------------------------------

TBinaryCursor::TBinaryCursor(const uint8_t* AData, size_t ASize, int64_t ABase)
    : FData(AData), FSize(ASize), FBase(ABase) {}

std::string TBinaryCursor::PositionText(int64_t APosition) const {
  return FPositionText ? FPositionText(APosition) : "offset " + IntToStr(APosition);
}

void TBinaryCursor::Error(const std::string& AMessage) const {
  ErrorAt(Position(), AMessage);
}

void TBinaryCursor::ErrorAt(int64_t APosition, const std::string& AMessage) const {
  throw EReadError(AMessage + " at " + PositionText(APosition));
}

uint8_t TBinaryCursor::PeekByte() const {
  if (AtEnd())
    Error("Unexpected end of stream");
  return FData[FOffset];
}

uint8_t TBinaryCursor::ReadByte() {
  const uint8_t value = PeekByte();
  ++FOffset;
  return value;
}

TValueType TBinaryCursor::ReadValue() {
  const uint8_t tag = PeekByte();
  if (tag > static_cast<uint8_t>(TValueType::vaDouble))
    Error("Invalid value tag " + IntToStr(tag));
  ++FOffset;
  return static_cast<TValueType>(tag);
}

const uint8_t* TBinaryCursor::Take(size_t ACount) {
  if (ACount > Remaining())
    Error("Unexpected end of stream: " + IntToStr(ACount) + " bytes needed, " + IntToStr(Remaining()) +
          " left");
  const uint8_t* data = FData + FOffset;
  FOffset += ACount;
  return data;
}

std::string TBinaryCursor::ReadShortStr() {
  const uint8_t length = ReadByte();
  const uint8_t* data = Take(length);
  return std::string(reinterpret_cast<const char*>(data), length);
}

uint32_t TBinaryCursor::ReadCount(size_t AUnit) {
  const int64_t start = Position();
  const auto count = ReadLE<uint32_t>();
  if (count > Remaining() / AUnit)
    ErrorAt(start, "Length " + IntToStr(count) + " exceeds the " + IntToStr(Remaining()) + " bytes left");
  return count;
}

int64_t TBinaryCursor::ReadIntegerBody(TValueType AType) {
  switch (AType) {
  case TValueType::vaInt8:
    return static_cast<int8_t>(ReadLE<uint8_t>());
  case TValueType::vaInt16:
    return static_cast<int16_t>(ReadLE<uint16_t>());
  case TValueType::vaInt32:
    return static_cast<int32_t>(ReadLE<uint32_t>());
  case TValueType::vaInt64:
    return static_cast<int64_t>(ReadLE<uint64_t>());
  default:
    Error("Integer expected, " + ValueTypeName(AType) + " found");
  }
}

long double TBinaryCursor::ReadFloatBody(TValueType AType) {
  const int64_t start = Position();
  long double value = 0;
  switch (AType) {
  case TValueType::vaExtended: {
    const uint8_t* bytes = Take(10);
    const unsigned exponent = (bytes[8] | bytes[9] << 8) & 0x7FFF;
    const bool integerBit = bytes[7] & 0x80;
    // Unnormals and pseudo-denormals are not numbers on this hardware.
    if (exponent != 0x7FFF && (exponent == 0) == integerBit)
      ErrorAt(start, "Invalid extended value");
    value = ExtendedFromBytes(bytes);
    break;
  }
  case TValueType::vaSingle:
    value = std::bit_cast<float>(ReadLE<uint32_t>());
    break;
  case TValueType::vaDouble:
  case TValueType::vaDate:
    value = std::bit_cast<double>(ReadLE<uint64_t>());
    break;
  case TValueType::vaCurrency:
    value = static_cast<long double>(static_cast<int64_t>(ReadLE<uint64_t>())) / 10000;
    break;
  default:
    Error("Float expected, " + ValueTypeName(AType) + " found");
  }
  if (!std::isfinite(value))
    ErrorAt(start, "Invalid floating point value (not finite)");
  return value;
}

std::string TBinaryCursor::ReadStringBody(TValueType AType) {
  switch (AType) {
  case TValueType::vaString: {
    const uint8_t length = ReadByte();
    return Latin1ToUtf8(Take(length), length);
  }
  case TValueType::vaLString: {
    const uint32_t count = ReadCount(1);
    return Latin1ToUtf8(Take(count), count);
  }
  case TValueType::vaUTF8String: {
    const uint32_t count = ReadCount(1);
    return SanitizeUtf8(std::string_view(reinterpret_cast<const char*>(Take(count)), count));
  }
  case TValueType::vaWString: {
    const uint32_t count = ReadCount(2);
    const uint8_t* data = Take(size_t{count} * 2);
    std::u16string text(count, u'\0');
    for (uint32_t i = 0; i < count; ++i)
      text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    return Utf16ToUtf8(text);
  }
  default:
    Error("String expected, " + ValueTypeName(AType) + " found");
  }
}

void TBinaryCursor::Enter() {
  if (++FDepth > MaxStreamNesting)
    Error("Nesting deeper than " + IntToStr(MaxStreamNesting) + " levels");
}

void TBinaryCursor::SkipValueBody(TValueType AType) {
  switch (AType) {
  case TValueType::vaNull:
  case TValueType::vaFalse:
  case TValueType::vaTrue:
  case TValueType::vaNil:
    return;
  case TValueType::vaList:
    Enter();
    while (PeekValue() != TValueType::vaNull)
      SkipValueBody(ReadValue());
    ReadByte();
    Leave();
    return;
  case TValueType::vaInt8:
  case TValueType::vaInt16:
  case TValueType::vaInt32:
  case TValueType::vaInt64:
    ReadIntegerBody(AType);
    return;
  case TValueType::vaExtended:
  case TValueType::vaSingle:
  case TValueType::vaDouble:
  case TValueType::vaDate:
  case TValueType::vaCurrency:
    ReadFloatBody(AType);
    return;
  case TValueType::vaString:
  case TValueType::vaIdent:
    ReadShortStr();
    return;
  case TValueType::vaLString:
  case TValueType::vaUTF8String:
  case TValueType::vaBinary:
    Take(ReadCount(1));
    return;
  case TValueType::vaWString:
    Take(size_t{ReadCount(2)} * 2);
    return;
  case TValueType::vaSet:
    while (!ReadShortStr().empty()) {
    }
    return;
  case TValueType::vaCollection:
    Enter();
    while (PeekValue() != TValueType::vaNull) {
      if (IsIntegerValue(PeekValue()))
        ReadIntegerBody(ReadValue());
      if (ReadValue() != TValueType::vaList)
        Error("List expected in collection");
      while (PeekValue() != TValueType::vaNull) {
        ReadShortStr();
        SkipValueBody(ReadValue());
      }
      ReadByte();
    }
    ReadByte();
    Leave();
    return;
  }
}

// --- TValueWriter --------------------------------------------------------------------------------

void TValueWriter::WriteRaw(const void* AData, size_t ACount) {
  const auto* bytes = static_cast<const uint8_t*>(AData);
  FBytes.insert(FBytes.end(), bytes, bytes + ACount);
}

void TValueWriter::WriteShortStr(std::string_view AText) {
  if (AText.size() > 255)
    throw EWriteError("Name too long for the stream (" + IntToStr(AText.size()) +
                      " bytes): " + std::string(AText.substr(0, 40)));
  FBytes.push_back(static_cast<uint8_t>(AText.size()));
  WriteRaw(AText.data(), AText.size());
}

void TValueWriter::WriteInteger(int64_t AValue) {
  if (AValue >= INT8_MIN && AValue <= INT8_MAX) {
    WriteValue(TValueType::vaInt8);
    WriteLE(static_cast<uint8_t>(AValue));
  } else if (AValue >= INT16_MIN && AValue <= INT16_MAX) {
    WriteValue(TValueType::vaInt16);
    WriteLE(static_cast<uint16_t>(AValue));
  } else if (AValue >= INT32_MIN && AValue <= INT32_MAX) {
    WriteValue(TValueType::vaInt32);
    WriteLE(static_cast<uint32_t>(AValue));
  } else {
    WriteValue(TValueType::vaInt64);
    WriteLE(static_cast<uint64_t>(AValue));
  }
}

void TValueWriter::WriteExtended(long double AValue) {
  uint8_t bytes[10];
  ExtendedToBytes(AValue, bytes);
  WriteValue(TValueType::vaExtended);
  WriteRaw(bytes, sizeof(bytes));
}

void TValueWriter::WriteString(std::string_view AText) {
  if (!IsAscii(AText)) {
    WriteValue(TValueType::vaUTF8String);
  } else if (AText.size() <= 255) {
    WriteValue(TValueType::vaString);
    WriteShortStr(AText);
    return;
  } else {
    WriteValue(TValueType::vaLString);
  }
  WriteLE(static_cast<uint32_t>(AText.size()));
  WriteRaw(AText.data(), AText.size());
}

void TValueWriter::WriteIdent(std::string_view AIdent) {
  WriteValue(TValueType::vaIdent);
  WriteShortStr(AIdent);
}

void TValueWriter::WriteBinary(const uint8_t* AData, size_t ACount) {
  WriteValue(TValueType::vaBinary);
  WriteLE(static_cast<uint32_t>(ACount));
  WriteRaw(AData, ACount);
}

void DefinePropertiesOf(const TObject* AInstance, TFiler* AFiler) {
  if (auto* persistent = dynamic_cast<const TPersistent*>(AInstance))
    const_cast<TPersistent*>(persistent)->DefineProperties(AFiler);
  else if (auto* strings = dynamic_cast<const TStrings*>(AInstance))
    const_cast<TStrings*>(strings)->DefineProperties(AFiler);
}

// --- TReader -------------------------------------------------------------------------------------

namespace {

TBytes ReadRest(TStream& AStream) {
  TBytes data;
  uint8_t buffer[65536];
  for (;;) {
    const int64_t count = AStream.Read(buffer, sizeof(buffer));
    if (count <= 0)
      return data;
    data.insert(data.end(), buffer, buffer + count);
  }
}

} // namespace

TReader::TReader(TStream& AStream)
    : FStream(AStream), FStart(AStream.GetPosition()), FData(ReadRest(AStream)),
      FCursor(FData.data(), FData.size(), FStart) {}

TReader::~TReader() = default;

std::string TReader::PropName() const {
  const TComponent* component = FComponent ? FComponent : FRoot;
  std::string name =
      component ? (component->Name().empty() ? component->ClassName() : component->Name()) : "";
  return FPath.empty() ? name : name + "." + FPath;
}

void TReader::PropError(const std::string& AMessage) const {
  throw EReadError("error reading " + PropName() + " at " + FCursor.PositionText(FPropPosition) + ": " +
                   AMessage);
}

void TReader::KindError(std::string_view AExpected, TValueType AFound) const {
  PropError("Invalid property value: " + std::string(AExpected) + " expected, " + ValueTypeName(AFound) +
            " found");
}

void TReader::ReadRootComponent(TComponent* ARoot) {
  FRoot = ARoot;
  FComponent = ARoot;
  try {
    if (FCursor.Remaining() < 4 || std::memcmp(FCursor.Take(4), FilerSignature, 4) != 0)
      FCursor.ErrorAt(FStart, "Invalid stream format: missing signature TPF0");
    ARoot->Loading();
    ARoot->FComponentState.Include(TComponentStateItem::csReading);
    ReadComponent(nullptr);
    if (!FCursor.AtEnd())
      FCursor.Error(IntToStr(FCursor.Remaining()) + " bytes after the root component");
    ResolveFixups();
    CheckFields();
    ARoot->FComponentState.Exclude(TComponentStateItem::csReading);
    for (TComponent* component : FCreated)
      component->FComponentState.Exclude(TComponentStateItem::csReading);
    ARoot->Loaded();
    for (TComponent* component : FCreated)
      component->Loaded();
  } catch (...) {
    Rollback();
    throw;
  }
  FCreated.clear();
  FFixups.clear();
}

void TReader::Rollback() noexcept {
  FFixups.clear();
  while (!FCreated.empty()) {
    TComponent* component = FCreated.back();
    FCreated.pop_back();
    try {
      component->Free();
    } catch (...) {
      // A destructor that fails leaves nothing more to undo here.
    }
  }
  FRoot->FComponentState.Exclude(TComponentStateItem::csReading);
  FRoot->FComponentState.Exclude(TComponentStateItem::csLoading);
}

void TReader::ReadComponent(TComponent* AParent) {
  const int64_t start = FCursor.Position();
  FCursor.Enter();
  uint8_t flags = 0;
  if ((FCursor.PeekByte() & 0xF0) == 0xF0) {
    flags = FCursor.ReadByte() & 0x0F;
    if (flags & ffChildPos) {
      const TValueType type = FCursor.ReadValue();
      FCursor.ReadIntegerBody(type);
    }
  }
  const std::string className = FCursor.ReadShortStr();
  const std::string name = FCursor.ReadShortStr();
  FPath.clear();
  TComponent* component = nullptr;
  if (!AParent) {
    if (!SameText(className, FRoot->ClassName()))
      FCursor.ErrorAt(start, "Root class " + className + " does not match " + FRoot->ClassName());
    component = FRoot;
    if (!name.empty() && name != FRoot->Name()) {
      FComponent = FRoot;
      FPropPosition = start;
      try {
        FRoot->SetName(name);
      } catch (const Exception& E) {
        PropError(std::string(E.ClassName()) + ": " + E.Message());
      }
    }
  } else if (flags & ffInherited) {
    component = FRoot->FindComponent(name);
    if (!component)
      FCursor.ErrorAt(start, "Inherited component " + name + " not found");
  } else {
    TClass* cls = GetClass(className);
    if (!cls)
      throw EClassNotFound(Format(messages::ClassNotFound, className) + " (component " + name + " at " +
                           FCursor.PositionText(start) + ")");
    if (!cls->InheritsFrom(TComponent::StaticClass()) || cls->IsAbstract())
      FCursor.ErrorAt(start, className + " is not a component class that can be created");
    auto* made = static_cast<TComponent*>(cls->NewInstance(FRoot));
    made->Loading();
    made->FComponentState.Include(TComponentStateItem::csReading);
    FComponent = made;
    FPropPosition = start;
    try {
      Construct(made);
    } catch (const Exception& E) {
      FComponent = AParent;
      PropError("creating " + name + ": " + className + ": " + E.ClassName() + ": " + E.Message());
    }
    FCreated.push_back(made);
    component = made;
    try {
      made->SetParentComponent(AParent);
      made->SetName(name);
    } catch (const Exception& E) {
      PropError(std::string(E.ClassName()) + ": " + E.Message());
    }
    BindField(made, start);
  }
  FComponent = component;
  FPathPrefix.clear();
  ReadProperties(component);
  while (FCursor.PeekValue() != TValueType::vaNull)
    ReadComponent(component);
  FCursor.ReadByte();
  FComponent = AParent;
  FCursor.Leave();
}

void TReader::BindField(TComponent* AComponent, int64_t APosition) {
  if (AComponent->Name().empty())
    return;
  const TFieldInfo* field = GetFieldInfo(FRoot->ClassType(), AComponent->Name());
  if (!field)
    return;
  if (!AComponent->InheritsFrom(*field->FieldClass))
    FCursor.ErrorAt(APosition, "Published field " + field->Name + " of " + FRoot->ClassName() + " is a " +
                                   field->FieldClass->Name() + ", but the component is a " +
                                   AComponent->ClassName());
  field->Set(FRoot, AComponent);
}

void TReader::CheckFields() {
  for (const TFieldInfo* field : GetFieldList(FRoot->ClassType()))
    if (!field->Get(FRoot))
      throw EReadError("Published field " + field->Name + " of " + FRoot->ClassName() +
                       " has no component in the stream");
}

void TReader::ReadProperties(TObject* AInstance) {
  while (FCursor.PeekValue() != TValueType::vaNull)
    ReadProperty(AInstance);
  FCursor.ReadByte();
}

void TReader::ReadProperty(TObject* AInstance) {
  FPropPosition = FCursor.Position();
  const std::string name = FCursor.ReadShortStr();
  FPath = FPathPrefix + name;
  TObject* holder = AInstance;
  std::string_view rest = name;
  size_t dot;
  while ((dot = rest.find('.')) != std::string_view::npos) {
    const std::string_view segment = rest.substr(0, dot);
    const TPropInfo* prop = GetPropInfo(holder->ClassType(), segment);
    if (!prop || prop->Style != TPropStyle::Nested)
      PropError("Property " + std::string(segment) + " does not exist in class " + holder->ClassName());
    holder = prop->Get(holder).AsObject();
    if (!holder)
      PropError("Property " + std::string(segment) + " is nil");
    rest.remove_prefix(dot + 1);
  }
  const std::string last(rest);
  if (const TPropInfo* prop = GetPropInfo(holder->ClassType(), last)) {
    ReadPropValue(holder, *prop);
    return;
  }
  if (ReadDefined(holder, last))
    return;
  if (const TEventInfo* event = GetEventInfo(holder->ClassType(), last)) {
    ReadEvent(holder, *event);
    return;
  }
  if (last.size() > 2 && StartsText("On", last) && last[2] >= 'A' && last[2] <= 'Z' &&
      FCursor.PeekValue() == TValueType::vaIdent)
    PropError("event handlers in forms are not supported");
  PropError(Format(messages::UnknownProperty, last) + " in class " + holder->ClassName());
}

// An event's value names a method of the root, which becomes the handler; nil unbinds it.
void TReader::ReadEvent(TObject* AInstance, const TEventInfo& AEvent) {
  const TValueType type = FCursor.ReadValue();
  if (type == TValueType::vaNil) {
    AEvent.Set(AInstance, TMethod());
    return;
  }
  if (type != TValueType::vaIdent)
    KindError("a method name", type);
  const std::string name = FCursor.ReadShortStr();
  const TMethodInfo* method = GetMethodInfo(FRoot->ClassType(), name);
  if (!method || !method->MakeHandler)
    PropError("Method " + name + " does not exist in class " + FRoot->ClassName());
  if (*method->EventSignature != *AEvent.Signature)
    PropError("Method " + name + " does not match event " + AEvent.Name);
  AEvent.Set(AInstance, method->MakeHandler(FRoot));
}

bool TReader::ReadDefined(TObject* AInstance, const std::string& AName) {
  FDefineName = AName;
  FDefineFound = false;
  DefinePropertiesOf(AInstance, this);
  FDefineName.clear();
  return FDefineFound;
}

void TReader::DefineProperty(const std::string& AName, TReaderProc AReadData, TWriterProc, bool) {
  if (FDefineName.empty() || !SameText(AName, FDefineName))
    return;
  FDefineName.clear();
  FDefineFound = true;
  if (!AReadData) {
    SkipValue();
    return;
  }
  try {
    AReadData(*this);
  } catch (const EReadError&) {
    throw;
  } catch (const Exception& E) {
    PropError(std::string(E.ClassName()) + ": " + E.Message());
  }
}

void TReader::DefineBinaryProperty(const std::string& AName, TStreamProc AReadData, TStreamProc, bool) {
  if (FDefineName.empty() || !SameText(AName, FDefineName))
    return;
  FDefineName.clear();
  FDefineFound = true;
  const TValueType type = FCursor.ReadValue();
  if (type != TValueType::vaBinary)
    KindError("Binary", type);
  const uint32_t count = FCursor.ReadCount(1);
  const uint8_t* data = FCursor.Take(count);
  if (!AReadData)
    return;
  TBytesStream stream(TBytes(data, data + count));
  try {
    AReadData(stream);
  } catch (const Exception& E) {
    PropError(std::string(E.ClassName()) + ": " + E.Message());
  }
}

void TReader::ReadPropValue(TObject* AInstance, const TPropInfo& AProp) {
  if (AProp.Style == TPropStyle::Nested) {
    if (auto* collection = dynamic_cast<TCollection*>(AProp.Get(AInstance).AsObject())) {
      ReadCollection(collection);
      return;
    }
    PropError("Property " + AProp.Name + " is an object; its properties are given as " + AProp.Name +
              ".<name>");
  }
  if (AProp.IsReadOnly())
    PropError("Property " + AProp.Name + " is read-only");
  if (AProp.Style == TPropStyle::Reference) {
    const TValueType type = FCursor.ReadValue();
    if (type == TValueType::vaNil) {
      SetValue(AInstance, AProp, TValue::From<TObject*>(nullptr));
      return;
    }
    if (type != TValueType::vaIdent)
      KindError("a component name", type);
    const std::string name = FCursor.ReadShortStr();
    if (name.find('.') != std::string::npos)
      PropError("references to other forms are not supported: " + name);
    FFixups.push_back(TFixup{AInstance, &AProp, name, PropName(), FPropPosition});
    return;
  }
  SetValue(AInstance, AProp, ReadValueFor(AProp));
}

TValue TReader::ReadValueFor(const TPropInfo& AProp) {
  const TTypeInfo& type = *AProp.Type;
  const TValueType value = FCursor.ReadValue();
  switch (type.Kind) {
  case TTypeKind::tkInteger:
  case TTypeKind::tkInt64: {
    if (IsColorType(type) && value == TValueType::vaIdent) {
      const std::string name = FCursor.ReadShortStr();
      TAlphaColor color = 0;
      if (!IdentToAlphaColor(name, color))
        PropError("Invalid colour " + name);
      return TValue::FromOrdinal(type, color);
    }
    if (!IsIntegerValue(value))
      KindError("Integer", value);
    const int64_t number = FCursor.ReadIntegerBody(value);
    if (IsColorType(type))
      return TValue::FromOrdinal(type, static_cast<uint32_t>(number));
    int64_t low = 0, high = 0;
    IntegerRange(type, low, high);
    if (number < low || number > high)
      PropError(Format("Range check error: %d is outside %d..%d", number, low, high));
    return TValue::FromOrdinal(type, number);
  }
  case TTypeKind::tkFloat: {
    long double number = 0;
    if (IsIntegerValue(value))
      number = static_cast<long double>(FCursor.ReadIntegerBody(value));
    else if (IsFloatValue(value))
      number = FCursor.ReadFloatBody(value);
    else
      KindError("Float", value);
    const bool single = &type == &TypeInfoSingle();
    const long double limit = single ? std::numeric_limits<float>::max() : std::numeric_limits<double>::max();
    if (std::fabs(number) > limit)
      PropError("Range check error: float value out of range for " + std::string(type.Name));
    return TValue::From(
        single ? static_cast<double>(static_cast<float>(number)) : static_cast<double>(number), type);
  }
  case TTypeKind::tkString:
    if (!IsStringValue(value))
      KindError("String", value);
    return TValue::From(FCursor.ReadStringBody(value), type);
  case TTypeKind::tkChar: {
    if (!IsStringValue(value))
      KindError("String", value);
    const std::string text = FCursor.ReadStringBody(value);
    const char* cursor = text.data();
    const char32_t code = text.empty() ? 0 : NextUtf8(cursor, text.data() + text.size());
    if (text.empty() || cursor != text.data() + text.size())
      PropError("Invalid character value '" + text + "'");
    return TValue::FromOrdinal(type, code);
  }
  case TTypeKind::tkBoolean:
    if (value == TValueType::vaTrue || value == TValueType::vaFalse)
      return TValue::FromOrdinal(type, value == TValueType::vaTrue);
    [[fallthrough]];
  case TTypeKind::tkEnumeration: {
    if (value != TValueType::vaIdent)
      KindError("Identifier", value);
    const std::string name = FCursor.ReadShortStr();
    const int ordinal = type.IndexOfName(name);
    if (ordinal < 0)
      PropError("Invalid property value " + name + " for type " + std::string(type.Name));
    return TValue::FromOrdinal(type, ordinal);
  }
  case TTypeKind::tkSet: {
    if (value != TValueType::vaSet)
      KindError("Set", value);
    uint64_t bits = 0;
    for (std::string name = FCursor.ReadShortStr(); !name.empty(); name = FCursor.ReadShortStr()) {
      const int ordinal = type.IndexOfName(name);
      if (ordinal < 0 || ordinal >= 64)
        PropError("Invalid set element " + name + " for type " + std::string(type.Name));
      bits |= uint64_t{1} << ordinal;
    }
    return TValue::FromOrdinal(type, static_cast<int64_t>(bits));
  }
  default:
    PropError("Property type " + std::string(type.Name) + " cannot be read from a stream");
  }
}

void TReader::SetValue(TObject* AInstance, const TPropInfo& AProp, const TValue& AValue) {
  try {
    AProp.Set(AInstance, AValue);
  } catch (const Exception& E) {
    PropError(std::string(E.ClassName()) + ": " + E.Message());
  }
}

void TReader::ReadCollection(TCollection* ACollection) {
  const TValueType type = FCursor.ReadValue();
  if (type != TValueType::vaCollection)
    KindError("Collection", type);
  FCursor.Enter();
  const std::string prefix = FPathPrefix;
  const std::string path = FPath;
  ACollection->BeginUpdate();
  try {
    ACollection->Clear();
    while (FCursor.PeekValue() != TValueType::vaNull) {
      if (IsIntegerValue(FCursor.PeekValue()))
        FCursor.ReadIntegerBody(FCursor.ReadValue());
      const TValueType item = FCursor.ReadValue();
      if (item != TValueType::vaList)
        KindError("List", item);
      FPathPrefix = path + "[" + IntToStr(ACollection->Count()) + "].";
      ReadProperties(ACollection->Add());
    }
    FCursor.ReadByte();
  } catch (...) {
    ACollection->EndUpdate();
    throw;
  }
  ACollection->EndUpdate();
  FPathPrefix = prefix;
  FPath = path;
  FCursor.Leave();
}

void TReader::ResolveFixups() {
  for (const TFixup& fixup : FFixups) {
    TComponent* target = SameText(fixup.Name, FRoot->Name()) ? FRoot : FRoot->FindComponent(fixup.Name);
    const std::string where =
        "error reading " + fixup.Path + " at " + FCursor.PositionText(fixup.Position) + ": ";
    if (!target)
      throw EReadError(where + "unresolved reference " + fixup.Name);
    try {
      fixup.Prop->Set(fixup.Instance, TValue::From<TObject*>(target));
    } catch (const Exception& E) {
      throw EReadError(where + "reference " + fixup.Name + " is a " + target->ClassName() + ": " +
                       E.ClassName() + ": " + E.Message());
    }
  }
}

int32_t TReader::ReadInteger() {
  const int64_t value = ReadInt64();
  if (value < INT32_MIN || value > INT32_MAX)
    PropError(Format("Range check error: %d is outside the Integer range", value));
  return static_cast<int32_t>(value);
}

int64_t TReader::ReadInt64() {
  const TValueType type = FCursor.ReadValue();
  if (!IsIntegerValue(type))
    KindError("Integer", type);
  return FCursor.ReadIntegerBody(type);
}

long double TReader::ReadFloat() {
  const TValueType type = FCursor.ReadValue();
  if (IsIntegerValue(type))
    return static_cast<long double>(FCursor.ReadIntegerBody(type));
  if (!IsFloatValue(type))
    KindError("Float", type);
  return FCursor.ReadFloatBody(type);
}

float TReader::ReadSingle() {
  const long double value = ReadFloat();
  if (std::fabs(value) > std::numeric_limits<float>::max())
    PropError("Range check error: float value out of range for Single");
  return static_cast<float>(value);
}

double TReader::ReadDouble() {
  const long double value = ReadFloat();
  if (std::fabs(value) > std::numeric_limits<double>::max())
    PropError("Range check error: float value out of range for Double");
  return static_cast<double>(value);
}

std::string TReader::ReadString() {
  const TValueType type = FCursor.ReadValue();
  if (!IsStringValue(type))
    KindError("String", type);
  return FCursor.ReadStringBody(type);
}

std::string TReader::ReadIdent() {
  const TValueType type = FCursor.ReadValue();
  switch (type) {
  case TValueType::vaIdent:
    return FCursor.ReadShortStr();
  case TValueType::vaFalse:
    return "False";
  case TValueType::vaTrue:
    return "True";
  case TValueType::vaNil:
    return "nil";
  case TValueType::vaNull:
    return "Null";
  default:
    KindError("Identifier", type);
  }
}

bool TReader::ReadBoolean() {
  const TValueType type = FCursor.ReadValue();
  if (type != TValueType::vaTrue && type != TValueType::vaFalse)
    KindError("Boolean", type);
  return type == TValueType::vaTrue;
}

void TReader::ReadListBegin() {
  const TValueType type = FCursor.ReadValue();
  if (type != TValueType::vaList)
    KindError("List", type);
  FCursor.Enter();
}

void TReader::ReadListEnd() {
  const TValueType type = FCursor.ReadValue();
  if (type != TValueType::vaNull)
    KindError("End of list", type);
  FCursor.Leave();
}

void TReader::SkipValue() {
  FCursor.SkipValueBody(FCursor.ReadValue());
}

// --- TWriter -------------------------------------------------------------------------------------

TWriter::TWriter(TStream& AStream) : FStream(AStream) {}

TWriter::~TWriter() = default;

void TWriter::Error(const std::string& AMessage) const {
  throw EWriteError("error writing " + FPath + ": " + AMessage);
}

void TWriter::WriteRootComponent(TComponent* ARoot) {
  FRoot = ARoot;
  FOut.Bytes().clear();
  FOut.WriteRaw(FilerSignature, sizeof(FilerSignature));
  WriteComponent(ARoot);
  FStream.WriteBuffer(FOut.Bytes().data(), static_cast<int64_t>(FOut.Size()));
  FOut.Bytes().clear();
}

void TWriter::WriteComponent(TComponent* AComponent) {
  if (AComponent->ClassName().size() >= MaxClassNameLength)
    throw EWriteError("Class name too long for the stream: " + AComponent->ClassName());
  FOut.WriteShortStr(AComponent->ClassName());
  FOut.WriteShortStr(AComponent->Name());
  FComponentName = AComponent->Name().empty() ? AComponent->ClassName() : AComponent->Name();
  WriteProperties(AComponent, "");
  FOut.WriteValue(TValueType::vaNull);
  AComponent->GetChildren(
      [this](TComponent* AChild) {
        if (AChild->Owner() == FRoot)
          WriteComponent(AChild);
      },
      FRoot);
  FOut.WriteValue(TValueType::vaNull);
}

void TWriter::WriteProperties(const TObject* AInstance, const std::string& APrefix) {
  for (const TPropInfo* prop : GetPropList(AInstance->ClassType()))
    WriteProperty(AInstance, *prop, APrefix);
  for (const TEventInfo* event : GetEventList(AInstance->ClassType()))
    WriteEvent(AInstance, *event, APrefix);
  WriteDefined(AInstance, APrefix);
}

// Only a handler that is a registered method of the root has a name a form can hold; any other
// handler is set up by code and is not written.
void TWriter::WriteEvent(const TObject* AInstance, const TEventInfo& AEvent, const std::string& APrefix) {
  const TMethod handler = AEvent.Get(AInstance);
  if (handler.Object() != FRoot)
    return;
  for (const TClass* c = &FRoot->ClassType(); c; c = c->Parent())
    for (const auto& method : c->OwnMethods().Items())
      if (method->MakeHandler && *method->EventSignature == *AEvent.Signature &&
          method->MakeHandler(FRoot) == handler) {
        FOut.WriteShortStr(APrefix + AEvent.Name);
        FOut.WriteIdent(method->Name);
        return;
      }
}

namespace {

int64_t OrdinalOf(const TValue& AValue) {
  return AValue.Kind() == TTypeKind::tkInt64 ? AValue.AsInt64() : AValue.AsOrdinal();
}

bool DiffersFromDefault(const TPropInfo& AProp, const TValue& AValue) {
  const TTypeKind kind = AProp.Type->Kind;
  if (!AProp.Default) {
    if (kind == TTypeKind::tkFloat)
      return AValue.AsDouble() != 0;
    if (kind == TTypeKind::tkString)
      return !AValue.AsString().empty();
    return true;
  }
  switch (kind) {
  case TTypeKind::tkFloat:
    return AValue.AsDouble() != AProp.Default->AsDouble();
  case TTypeKind::tkString:
    return AValue.AsString() != AProp.Default->AsString();
  default:
    return OrdinalOf(AValue) != OrdinalOf(*AProp.Default);
  }
}

} // namespace

void TWriter::WriteProperty(const TObject* AInstance, const TPropInfo& AProp, const std::string& APrefix) {
  if (AProp.StoredPredicate ? !AProp.StoredPredicate(AInstance) : !AProp.StoredFlag)
    return;
  const std::string name = APrefix + AProp.Name;
  FPath = FComponentName + "." + name;
  if (AProp.Style == TPropStyle::Nested) {
    const TObject* nested = AProp.Get(AInstance).AsObject();
    if (!nested)
      return;
    WriteProperties(nested, name + ".");
    if (auto* collection = dynamic_cast<const TCollection*>(nested)) {
      FOut.WriteShortStr(name);
      WriteCollection(collection);
    }
    return;
  }
  if (AProp.IsReadOnly())
    return;
  const TValue value = AProp.Get(AInstance);
  if (AProp.Style == TPropStyle::Reference) {
    const auto* target = dynamic_cast<const TComponent*>(value.AsObject());
    if (!target)
      return;
    if (target->Name().empty())
      Error("reference to an unnamed " + target->ClassName());
    FOut.WriteShortStr(name);
    // A component of another root is written with its owner's name, which readers refuse
    // explicitly rather than binding a namesake of this root.
    const TComponent* owner = target->Owner();
    const bool foreign = target != FRoot && owner != FRoot && owner && !owner->Name().empty();
    FOut.WriteIdent(foreign ? owner->Name() + "." + target->Name() : target->Name());
    return;
  }
  const TTypeInfo& type = *AProp.Type;
  // Records and arrays have no form in the component stream; such properties are not stored.
  if (type.Kind == TTypeKind::tkRecord || type.Kind == TTypeKind::tkArray ||
      type.Kind == TTypeKind::tkUnknown || type.Kind == TTypeKind::tkClass)
    return;
  if (!DiffersFromDefault(AProp, value))
    return;
  FOut.WriteShortStr(name);
  switch (type.Kind) {
  case TTypeKind::tkInteger:
  case TTypeKind::tkInt64:
    if (IsColorType(type))
      FOut.WriteIdent(AlphaColorToIdent(static_cast<TAlphaColor>(value.AsOrdinal())));
    else if (type.Kind == TTypeKind::tkInt64 && type.IsUnsigned && value.AsUInt64() > INT64_MAX)
      Error("value out of the stream's Int64 range");
    else
      FOut.WriteInteger(OrdinalOf(value));
    break;
  case TTypeKind::tkFloat:
    if (!std::isfinite(value.AsDouble()))
      Error("non-finite float value");
    FOut.WriteExtended(&type == &TypeInfoSingle() ? WideningForStream(value.AsSingle())
                                                  : WideningForStream(value.AsDouble()));
    break;
  case TTypeKind::tkString:
    FOut.WriteString(value.AsString());
    break;
  case TTypeKind::tkChar: {
    std::string text;
    AppendUtf8(text, static_cast<char32_t>(value.AsOrdinal()));
    FOut.WriteString(text);
    break;
  }
  case TTypeKind::tkBoolean:
    FOut.WriteValue(value.AsOrdinal() ? TValueType::vaTrue : TValueType::vaFalse);
    break;
  case TTypeKind::tkEnumeration: {
    const int64_t ordinal = value.AsOrdinal();
    if (!type.Names || ordinal < 0 || ordinal >= static_cast<int64_t>(type.Names->size()))
      Error("enumeration value " + IntToStr(ordinal) + " has no name");
    FOut.WriteIdent((*type.Names)[static_cast<size_t>(ordinal)]);
    break;
  }
  case TTypeKind::tkSet: {
    FOut.WriteValue(TValueType::vaSet);
    const auto bits = static_cast<uint64_t>(value.AsOrdinal());
    for (size_t i = 0; type.Names && i < type.Names->size() && i < 64; ++i)
      if (bits >> i & 1)
        FOut.WriteShortStr((*type.Names)[i]);
    FOut.WriteShortStr("");
    break;
  }
  default:
    Error("Property type " + std::string(type.Name) + " cannot be written to a stream");
  }
}

void TWriter::WriteDefined(const TObject* AInstance, const std::string& APrefix) {
  const std::string saved = FPrefix;
  FPrefix = APrefix;
  DefinePropertiesOf(AInstance, this);
  FPrefix = saved;
}

void TWriter::DefineProperty(const std::string& AName, TReaderProc, TWriterProc AWriteData, bool AHasData) {
  if (!AHasData || !AWriteData)
    return;
  const std::string prefix = FPrefix;
  FPath = FComponentName + "." + prefix + AName;
  FOut.WriteShortStr(prefix + AName);
  AWriteData(*this);
  FPrefix = prefix;
}

void TWriter::DefineBinaryProperty(const std::string& AName, TStreamProc, TStreamProc AWriteData,
                                   bool AHasData) {
  if (!AHasData || !AWriteData)
    return;
  TBytesStream stream;
  AWriteData(stream);
  FOut.WriteShortStr(FPrefix + AName);
  FOut.WriteBinary(stream.Bytes().data(), stream.Bytes().size());
}

void TWriter::WriteFloat(long double AValue) {
  if (!std::isfinite(AValue))
    Error("non-finite float value");
  FOut.WriteExtended(AValue);
}

void TWriter::WriteSingle(float AValue) {
  WriteFloat(WideningForStream(AValue));
}

void TWriter::WriteDouble(double AValue) {
  WriteFloat(WideningForStream(AValue));
}

void TWriter::WriteCollection(const TCollection* ACollection) {
  const std::string prefix = FPrefix;
  FOut.WriteValue(TValueType::vaCollection);
  for (int i = 0; i < ACollection->Count(); ++i) {
    FOut.WriteValue(TValueType::vaList);
    WriteProperties(ACollection->Items(i), "");
    FOut.WriteValue(TValueType::vaNull);
  }
  FOut.WriteValue(TValueType::vaNull);
  FPrefix = prefix;
}

void DefineTextProperty(TFiler* AFiler, const std::string& AName, const std::string& AText,
                        std::string_view AEmpty, std::function<void(std::string_view)> ASet) {
  AFiler->DefineProperty(
      AName, [ASet = std::move(ASet)](TReader& AReader) { ASet(AReader.ReadString()); },
      [AText](TWriter& AWriter) { AWriter.WriteString(AText); }, AText != AEmpty);
}

} // namespace rtl
