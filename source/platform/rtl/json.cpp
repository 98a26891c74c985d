#include "rtl/json.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <thread>

#include "rtl/json_format.h"
#include "rtl/json_pool.h"
#include "rtl/json_scanner.h"
#include "rtl/json_tree.h"
#include "rtl/streams.h"

namespace rtl {

RTL_DEFINE_CLASS(TJSONValue, "Rtl.Json")
RTL_DEFINE_CLASS(TJSONString, "Rtl.Json")
RTL_DEFINE_CLASS(TJSONNumber, "Rtl.Json")
RTL_DEFINE_CLASS(TJSONBool, "Rtl.Json")
RTL_DEFINE_CLASS(TJSONTrue, "Rtl.Json")
RTL_DEFINE_CLASS(TJSONFalse, "Rtl.Json")
RTL_DEFINE_CLASS(TJSONNull, "Rtl.Json")
RTL_DEFINE_CLASS(TJSONArray, "Rtl.Json")
RTL_DEFINE_CLASS(TJSONPair, "Rtl.Json")
RTL_DEFINE_CLASS(TJSONObject, "Rtl.Json")

namespace json_detail {

void TText::AssignHeap(std::string_view AText) {
  if (AText.size() > UINT32_MAX)
    throw EJSONException("JSON text of " + std::to_string(AText.size()) + " bytes is too long");
  FHeap.Data = static_cast<char*>(json_pool::AllocateBytes(AText.size()));
  std::memcpy(FHeap.Data, AText.data(), AText.size());
  FHeap.Size = static_cast<uint32_t>(AText.size());
  FInline[TagIndex] = HeapTag;
}

TText::~TText() {
  if (FInline[TagIndex] == HeapTag)
    json_pool::ReleaseBytes(FHeap.Data, FHeap.Size);
}

TSlots::~TSlots() {
  if (FData)
    json_pool::ReleaseBytes(FData, FCapacity * sizeof(void*));
}

void FreeSlot(void* ASlot) noexcept {
  if (reinterpret_cast<uintptr_t>(ASlot) & PlainTag) {
    // A plain node may be the root of a document of its own (a scalar tree), which frees whole.
    void* block = Untagged<void>(ASlot);
    if (json_pool::IsDocumentRoot(block))
      json_pool::FreeDocument(block);
    else
      json_pool::Release(block);
  } else
    delete Untagged<TObject>(ASlot);
}

void TSlots::Push(void* ASlot) {
  if (FCount == FCapacity) {
    const uint32_t capacity = FCapacity ? FCapacity * 2 : 4;
    auto** data = static_cast<void**>(json_pool::AllocateBytes(capacity * sizeof(void*)));
    if (FCount)
      std::memcpy(data, FData, FCount * sizeof(void*));
    if (FData)
      json_pool::ReleaseBytes(FData, FCapacity * sizeof(void*));
    FData = data;
    FCapacity = capacity;
  }
  FData[FCount++] = ASlot;
}

void* TSlots::Take(uint32_t AIndex) {
  void* item = FData[AIndex];
  std::memmove(FData + AIndex, FData + AIndex + 1, (FCount - AIndex - 1) * sizeof(void*));
  --FCount;
  return item;
}

void TSlots::Assign(void* const* ASlots, uint32_t ACount) {
  if (ACount == 0)
    return;
  FData = static_cast<void**>(json_pool::AllocateBytes(ACount * sizeof(void*)));
  std::memcpy(FData, ASlots, ACount * sizeof(void*));
  FCount = FCapacity = ACount;
}

} // namespace json_detail

namespace {

[[noreturn]] void IndexOutOfRange(int AIndex, int ACount) {
  throw EArgumentOutOfRangeException("Index " + std::to_string(AIndex) + " out of range (count " +
                                     std::to_string(ACount) + ")");
}

template <class T> T ParseInteger(std::string_view AText) {
  T value{};
  const auto result = std::from_chars(AText.data(), AText.data() + AText.size(), value);
  if (result.ec != std::errc() || result.ptr != AText.data() + AText.size())
    throw EConvertError("'" + std::string(AText) + "' is not a valid integer value");
  return value;
}

} // namespace

// TJSONValue

void TJSONValue::operator delete(void* ABlock, size_t ASize) noexcept {
  if (json_pool::IsDocumentRoot(ABlock))
    json_pool::FreeDocument(ABlock);
  else
    json_pool::ReleaseBytes(ABlock, ASize);
}

std::string TJSONValue::ToString() const {
  std::string text;
  AppendTo(text, false);
  return text;
}

std::string TJSONValue::ToJSON() const {
  std::string text;
  AppendTo(text, true);
  return text;
}

std::vector<uint8_t> TJSONValue::ToBytes() const {
  const std::string text = ToJSON();
  return std::vector<uint8_t>(text.begin(), text.end());
}

// TJSONString

std::unique_ptr<TJSONString> TJSONString::Create(std::string_view AValue) {
  return std::unique_ptr<TJSONString>(new TJSONString(AValue));
}

std::unique_ptr<TJSONValue> TJSONString::Clone() const {
  return Create(Value());
}

void TJSONString::AppendTo(std::string& AOut, bool AAscii) const {
  AppendJsonString(AOut, Value(), AAscii);
}

// TJSONNumber

std::unique_ptr<TJSONNumber> TJSONNumber::Create(int32_t AValue) {
  return Create(int64_t(AValue));
}

std::unique_ptr<TJSONNumber> TJSONNumber::Create(int64_t AValue) {
  char text[24];
  const auto end = std::to_chars(text, text + sizeof text, AValue).ptr;
  return std::make_unique<json_detail::TTextNumber>(std::string_view(text, static_cast<size_t>(end - text)));
}

std::unique_ptr<TJSONNumber> TJSONNumber::Create(double AValue) {
  CheckJsonFloat(AValue);
  return std::make_unique<json_detail::TDoubleNumber>(AValue);
}

std::unique_ptr<TJSONNumber> TJSONNumber::Create(float AValue) {
  CheckJsonFloat(AValue);
  return std::make_unique<json_detail::TFloatNumber>(AValue);
}

std::unique_ptr<TJSONNumber> TJSONNumber::FromText(std::string_view AText) {
  if (!IsJsonNumberText(AText))
    throw EJSONException("'" + std::string(AText) + "' is not a valid JSON number");
  return std::make_unique<json_detail::TTextNumber>(AText);
}

double TJSONNumber::AsDouble() const {
  const std::string_view text = Value();
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size())
    throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
  return value;
}

float TJSONNumber::AsSingle() const {
  return JsonTextToSingle(Value());
}

bool TJSONNumber::TryAsPlainInt32(int32_t& AValue) const {
  return JsonTextToPlainInt32(Value(), AValue);
}

int32_t TJSONNumber::AsInt() const {
  return ParseInteger<int32_t>(Value());
}
int64_t TJSONNumber::AsInt64() const {
  return ParseInteger<int64_t>(Value());
}

namespace json_detail {

std::unique_ptr<TJSONValue> TTextNumber::Clone() const {
  return std::make_unique<TTextNumber>(Value());
}

void TTextNumber::AppendTo(std::string& AOut, bool) const {
  AOut += Value();
}

float TTextNumber::AsSingle() const {
  return JsonTextToSingle(Value());
}

bool TTextNumber::TryAsPlainInt32(int32_t& AValue) const {
  return JsonTextToPlainInt32(Value(), AValue);
}

static_assert(JsonFloatTextMax <= TMadeText::Capacity, "a number's text must fit TMadeText");

std::string_view TMadeText::Made() const {
  return std::string_view(FText, ::strnlen(FText, Capacity));
}

std::string_view TMadeText::IfMade() const {
  const char first = std::atomic_ref<char>(FText[0]).load(std::memory_order_acquire);
  return first != NotMade && first != Making ? Made() : std::string_view();
}

template <class TMake> std::string_view TMadeText::Get(TMake AMake) const {
  std::atomic_ref<char> state(FText[0]);
  char first = state.load(std::memory_order_acquire);
  if (first == NotMade && state.compare_exchange_strong(first, Making, std::memory_order_acquire)) {
    char text[Capacity];
    const size_t size = static_cast<size_t>(AMake(text) - text);
    std::memcpy(FText + 1, text + 1, size - 1);
    if (size < Capacity)
      FText[size] = 0;
    state.store(text[0], std::memory_order_release);
    return Made();
  }
  while (first == NotMade || first == Making) {
    std::this_thread::yield();
    first = state.load(std::memory_order_acquire);
  }
  return Made();
}

// Appends the made text, or formats the value without keeping it.
template <class T> void AppendNumber(std::string& AOut, const TMadeText& AText, T AValue) {
  const std::string_view made = AText.IfMade();
  if (!made.empty()) {
    AOut += made;
    return;
  }
  char text[TMadeText::Capacity];
  AOut.append(text, JsonFloatChars(text, AValue));
}

std::string_view TDoubleNumber::Value() const {
  return FText.Get([this](char* AOut) { return JsonFloatChars(AOut, FValue); });
}

// The text is plain digits exactly when the value is integral and below 1E15 in magnitude; any
// other value goes by its text, which raises as a text number would.
int64_t TDoubleNumber::AsInt64() const {
  if (std::trunc(FValue) == FValue && std::fabs(FValue) < 1e15)
    return static_cast<int64_t>(FValue);
  return ParseInteger<int64_t>(Value());
}

int32_t TDoubleNumber::AsInt() const {
  if (std::trunc(FValue) == FValue && FValue >= INT32_MIN && FValue <= INT32_MAX)
    return static_cast<int32_t>(FValue);
  return ParseInteger<int32_t>(Value());
}

bool TDoubleNumber::TryAsPlainInt32(int32_t& AValue) const {
  if (std::trunc(FValue) != FValue || FValue < INT32_MIN || FValue > INT32_MAX)
    return false;
  AValue = static_cast<int32_t>(FValue);
  return true;
}

// The text is the shortest that reads back as the double, so the double is the text's nearest;
// see IsFloatMidpoint in the number texts for why the float then is too, away from midpoints and
// outside the normal float range, where the text decides.
float TDoubleNumber::AsSingle() const {
  const double magnitude = std::fabs(FValue);
  if (magnitude == 0 || (magnitude >= std::numeric_limits<float>::min() &&
                         magnitude <= std::numeric_limits<float>::max() && !IsFloatMidpoint(FValue)))
    return static_cast<float>(FValue);
  return TJSONNumber::AsSingle();
}

std::unique_ptr<TJSONValue> TDoubleNumber::Clone() const {
  return std::make_unique<TDoubleNumber>(FValue);
}

void TDoubleNumber::AppendTo(std::string& AOut, bool) const {
  AppendNumber(AOut, FText, FValue);
}

std::string_view TFloatNumber::Value() const {
  return FText.Get([this](char* AOut) { return JsonFloatChars(AOut, FValue); });
}

double TFloatNumber::AsDouble() const {
  return JsonFloatTextToDouble(FValue);
}

// Integral floats below 2^24 in magnitude are exactly their shortest digits; others go by their
// text (123456792.0f writes as "123456790").
bool TFloatNumber::TryAsPlainInt32(int32_t& AValue) const {
  if (std::trunc(FValue) == FValue && std::fabs(FValue) < 16777216.0f) {
    AValue = static_cast<int32_t>(FValue);
    return true;
  }
  return TJSONNumber::TryAsPlainInt32(AValue);
}

std::unique_ptr<TJSONValue> TFloatNumber::Clone() const {
  return std::make_unique<TFloatNumber>(FValue);
}

void TFloatNumber::AppendTo(std::string& AOut, bool) const {
  AppendNumber(AOut, FText, FValue);
}

} // namespace json_detail

// TJSONBool, TJSONNull

std::unique_ptr<TJSONBool> TJSONBool::Create(bool AValue) {
  if (AValue)
    return std::unique_ptr<TJSONBool>(new TJSONTrue());
  return std::unique_ptr<TJSONBool>(new TJSONFalse());
}

void TJSONBool::AppendTo(std::string& AOut, bool) const {
  AOut += Value();
}

std::unique_ptr<TJSONNull> TJSONNull::Create() {
  return std::unique_ptr<TJSONNull>(new TJSONNull());
}

void TJSONNull::AppendTo(std::string& AOut, bool) const {
  AOut += "null";
}

// TJSONArray

std::unique_ptr<TJSONArray> TJSONArray::Create() {
  return std::unique_ptr<TJSONArray>(new TJSONArray());
}

TJSONArray::~TJSONArray() {
  // The root of an intact document goes with the document's slabs, its items with it.
  if (json_pool::IsDocumentRoot(this))
    return;
  json_pool::TReleaseScope scope;
  // Plain items are counted off per run of one slab, so long arrays of numbers cost a few
  // instructions per item.
  void* slab = nullptr;
  int64_t count = 0;
  for (void* slot : FItems) {
    if (!(reinterpret_cast<uintptr_t>(slot) & json_detail::PlainTag)) {
      delete json_detail::Untagged<TJSONValue>(slot);
      continue;
    }
    void* slabOfSlot = json_pool::SlabOf(slot);
    if (slabOfSlot != slab) {
      json_pool::ReleaseMany(slab, count);
      slab = slabOfSlot;
      count = 0;
    }
    ++count;
  }
  json_pool::ReleaseMany(slab, count);
}

TJSONValue* TJSONArray::Items(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count())
    IndexOutOfRange(AIndex, Count());
  return json_detail::Untagged<TJSONValue>(FItems.Slot(static_cast<uint32_t>(AIndex)));
}

TJSONArray& TJSONArray::Add(std::unique_ptr<TJSONValue> AValue) {
  if (!AValue)
    throw EArgumentNilException("A JSON array cannot hold a nil value");
  // A changed tree is no intact document any more, nor is a tree that joins another.
  json_pool::Touch(this);
  json_pool::Touch(AValue.get());
  FItems.Push(json_detail::Tagged(AValue.get(), AValue->IsPlain()));
  AValue.release();
  return *this;
}

TJSONArray& TJSONArray::Add(std::string_view AValue) {
  return Add(TJSONString::Create(AValue));
}
namespace {

// Numbers made by the array's own Add are new, in no document, and their plainness is known:
// definitions add millions of them, so these skip what Add of any value must check.
template <class TNumber>
void PushNewNumber(const void* AArray, json_detail::TSlots& AItems, std::unique_ptr<TNumber> ANumber, bool APlain) {
  json_pool::Touch(AArray);
  AItems.Push(json_detail::Tagged(ANumber.get(), APlain));
  ANumber.release();
}

} // namespace

TJSONArray& TJSONArray::Add(int32_t AValue) {
  return Add(int64_t(AValue));
}
TJSONArray& TJSONArray::Add(int64_t AValue) {
  char text[24];
  const auto size = static_cast<size_t>(std::to_chars(text, text + sizeof text, AValue).ptr - text);
  PushNewNumber(this, FItems, std::make_unique<json_detail::TTextNumber>(std::string_view(text, size)),
                json_detail::TText::FitsInline(size));
  return *this;
}
TJSONArray& TJSONArray::Add(double AValue) {
  CheckJsonFloat(AValue);
  PushNewNumber(this, FItems, std::make_unique<json_detail::TDoubleNumber>(AValue), true);
  return *this;
}
TJSONArray& TJSONArray::Add(float AValue) {
  CheckJsonFloat(AValue);
  PushNewNumber(this, FItems, std::make_unique<json_detail::TFloatNumber>(AValue), true);
  return *this;
}

TJSONArray& TJSONArray::Add(bool AValue) {
  return Add(TJSONBool::Create(AValue));
}

std::unique_ptr<TJSONValue> TJSONArray::Remove(int AIndex) {
  if (AIndex < 0 || AIndex >= Count())
    IndexOutOfRange(AIndex, Count());
  json_pool::Touch(this);
  return std::unique_ptr<TJSONValue>(
      json_detail::Untagged<TJSONValue>(FItems.Take(static_cast<uint32_t>(AIndex))));
}

std::unique_ptr<TJSONValue> TJSONArray::Clone() const {
  auto copy = Create();
  for (const TJSONValue* item : *this)
    copy->Add(item->Clone());
  return copy;
}

void TJSONArray::AppendTo(std::string& AOut, bool AAscii) const {
  AOut += '[';
  bool first = true;
  for (const TJSONValue* item : *this) {
    if (!first)
      AOut += ',';
    first = false;
    item->AppendTo(AOut, AAscii);
  }
  AOut += ']';
}

// TJSONPair

void* TJSONPair::operator new(size_t ASize) {
  return json_pool::AllocateBytes(ASize);
}
void TJSONPair::operator delete(void* ABlock, size_t ASize) noexcept {
  json_pool::ReleaseBytes(ABlock, ASize);
}

std::unique_ptr<TJSONPair> TJSONPair::Create(std::string_view AName, std::unique_ptr<TJSONValue> AValue) {
  if (!AValue)
    throw EArgumentNilException("A JSON pair cannot hold a nil value");
  json_pool::Touch(AValue.get());
  auto pair =
      std::unique_ptr<TJSONPair>(new TJSONPair(AName, json_detail::Tagged(AValue.get(), AValue->IsPlain())));
  AValue.release();
  return pair;
}

TJSONPair::~TJSONPair() {
  json_pool::TReleaseScope scope;
  if (FValue)
    json_detail::FreeSlot(FValue);
}

// TJSONObject

std::unique_ptr<TJSONObject> TJSONObject::Create() {
  return std::unique_ptr<TJSONObject>(new TJSONObject());
}

TJSONObject::~TJSONObject() {
  if (json_pool::IsDocumentRoot(this))
    return;
  json_pool::TReleaseScope scope;
  for (TJSONPair* pair : *this)
    delete pair;
}

TJSONPair* TJSONObject::Pairs(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count())
    IndexOutOfRange(AIndex, Count());
  return json_detail::Untagged<TJSONPair>(FPairs.Slot(static_cast<uint32_t>(AIndex)));
}

TJSONObject& TJSONObject::AddPair(std::unique_ptr<TJSONPair> APair) {
  if (!APair)
    throw EArgumentNilException("A JSON object cannot hold a nil pair");
  json_pool::Touch(this);
  json_pool::Touch(APair.get());
  FPairs.Push(json_detail::Tagged(APair.get(), false));
  APair.release();
  return *this;
}

TJSONObject& TJSONObject::AddPair(std::string_view AName, std::unique_ptr<TJSONValue> AValue) {
  return AddPair(TJSONPair::Create(AName, std::move(AValue)));
}

TJSONObject& TJSONObject::AddPair(std::string_view AName, std::string_view AValue) {
  return AddPair(AName, TJSONString::Create(AValue));
}
TJSONObject& TJSONObject::AddPair(std::string_view AName, int32_t AValue) {
  return AddPair(AName, TJSONNumber::Create(AValue));
}
TJSONObject& TJSONObject::AddPair(std::string_view AName, int64_t AValue) {
  return AddPair(AName, TJSONNumber::Create(AValue));
}
TJSONObject& TJSONObject::AddPair(std::string_view AName, double AValue) {
  return AddPair(AName, TJSONNumber::Create(AValue));
}
TJSONObject& TJSONObject::AddPair(std::string_view AName, float AValue) {
  return AddPair(AName, TJSONNumber::Create(AValue));
}
TJSONObject& TJSONObject::AddPair(std::string_view AName, bool AValue) {
  return AddPair(AName, TJSONBool::Create(AValue));
}

TJSONValue* TJSONObject::GetValue(std::string_view AName) const {
  for (const TJSONPair* pair : *this)
    if (pair->Name() == AName)
      return pair->JsonValue();
  return nullptr;
}

TJSONValue* TJSONObject::GetLastValue(std::string_view AName) const {
  for (uint32_t i = FPairs.Count(); i > 0; --i) {
    const TJSONPair* pair = json_detail::Untagged<TJSONPair>(FPairs.Slot(i - 1));
    if (pair->Name() == AName)
      return pair->JsonValue();
  }
  return nullptr;
}

std::unique_ptr<TJSONPair> TJSONObject::RemovePair(std::string_view AName) {
  for (uint32_t i = 0; i < FPairs.Count(); ++i)
    if (json_detail::Untagged<TJSONPair>(FPairs.Slot(i))->Name() == AName) {
      json_pool::Touch(this);
      return std::unique_ptr<TJSONPair>(json_detail::Untagged<TJSONPair>(FPairs.Take(i)));
    }
  return nullptr;
}

std::unique_ptr<TJSONValue> TJSONObject::Clone() const {
  auto copy = Create();
  for (const TJSONPair* pair : *this)
    copy->AddPair(pair->Name(), pair->JsonValue()->Clone());
  return copy;
}

void TJSONObject::AppendTo(std::string& AOut, bool AAscii) const {
  AOut += '{';
  bool first = true;
  for (const TJSONPair* pair : *this) {
    if (!first)
      AOut += ',';
    first = false;
    AppendJsonString(AOut, pair->Name(), AAscii);
    AOut += ':';
    pair->JsonValue()->AppendTo(AOut, AAscii);
  }
  AOut += '}';
}

// TJsonTreeStack

void TJsonTreeStack::Close() {
  const TFrame frame = FFrames.back();
  const auto count = static_cast<uint32_t>(FStack.size() - frame.Base);
  void* const* slots = FStack.data() + frame.Base;
  TJSONValue* container = nullptr;
  try {
    if (frame.IsObject) {
      auto* object = new TJSONObject();
      container = object;
      object->FPairs.Assign(slots, count);
    } else {
      auto* array = new TJSONArray();
      container = array;
      array->FItems.Assign(slots, count);
    }
  } catch (...) {
    // The slots still belong to the stack; only the empty container goes.
    delete container;
    throw;
  }
  FStack.resize(frame.Base);
  FFrames.pop_back();
  Add(container, false);
}

void TJsonTreeStack::Clear() noexcept {
  json_pool::TReleaseScope scope;
  for (void* slot : FStack)
    json_detail::FreeSlot(slot);
  if (FRoot)
    json_detail::FreeSlot(FRoot);
  FStack.clear();
  FFrames.clear();
  FRoot = nullptr;
}

// Parsing

// Parses in one pass without recursion, building the tree on a TJsonTreeStack.
class TJsonParser {
public:
  explicit TJsonParser(std::string_view AText) : FScanner(AText) {}

  std::unique_ptr<TJSONValue> Parse();

private:
  TJsonScanner FScanner;
  TJsonTreeStack FTree;

  void Open(bool AIsObject) {
    if (FTree.Depth() >= JsonMaxDepth)
      FScanner.Fail("Nesting deeper than 4096 levels");
    FScanner.Advance();
    FTree.Open(AIsObject);
  }
  // After '{' or ',' in an object: the member name and its colon.
  void ReadName() {
    FScanner.SkipWhitespace();
    if (FScanner.Peek() != '"')
      FScanner.FailUnexpected();
    FTree.AddName(FScanner.ReadString());
    FScanner.SkipWhitespace();
    FScanner.Expect(':');
  }
  void ReadScalar();
};

void TJsonParser::ReadScalar() {
  switch (FScanner.Peek()) {
  case '"': {
    const std::string_view text = FScanner.ReadString();
    FTree.Add(new TJSONString(text), json_detail::TText::FitsInline(text.size()));
    return;
  }
  case 't':
    FScanner.ReadLiteral("true");
    FTree.Add(new TJSONTrue(), true);
    return;
  case 'f':
    FScanner.ReadLiteral("false");
    FTree.Add(new TJSONFalse(), true);
    return;
  case 'n':
    FScanner.ReadLiteral("null");
    FTree.Add(new TJSONNull(), true);
    return;
  case '-':
  case '0':
  case '1':
  case '2':
  case '3':
  case '4':
  case '5':
  case '6':
  case '7':
  case '8':
  case '9': {
    const std::string_view text = FScanner.ReadNumber();
    FTree.Add(new json_detail::TTextNumber(text), json_detail::TText::FitsInline(text.size()));
    return;
  }
  default:
    FScanner.FailUnexpected();
  }
}

std::unique_ptr<TJSONValue> TJsonParser::Parse() {
  for (;;) {
    // A value starts here.
    FScanner.SkipWhitespace();
    const char c = FScanner.Peek();
    if (c == '{' || c == '[') {
      const bool isObject = c == '{';
      Open(isObject);
      FScanner.SkipWhitespace();
      if (FScanner.Peek() != (isObject ? '}' : ']')) {
        if (isObject)
          ReadName();
        continue;
      }
      FScanner.Advance();
      FTree.Close();
    } else {
      ReadScalar();
    }
    // The value is complete; close every container that ends here.
    for (;;) {
      if (FTree.Depth() == 0) {
        FScanner.SkipWhitespace();
        if (!FScanner.AtEnd())
          FScanner.Fail("Unexpected text after the JSON value");
        return FTree.TakeRoot();
      }
      const bool inObject = FTree.InObject();
      FScanner.SkipWhitespace();
      const char next = FScanner.Peek();
      if (next == ',') {
        FScanner.Advance();
        if (inObject)
          ReadName();
        break;
      }
      if (next != (inObject ? '}' : ']'))
        FScanner.FailUnexpected();
      FScanner.Advance();
      FTree.Close();
    }
  }
}

namespace {

// Texts from this size on make a tree large enough to have slabs of its own (see json_pool).
constexpr size_t DocumentText = 16 * 1024;

std::unique_ptr<TJSONValue> ParseDocument(std::string_view AText) {
  // The parser outlives the document's scope: on failure the document dissolves first, and the
  // values the parser still holds are then freed as ordinary ones.
  TJsonParser parser(AText);
  json_pool::TDocument* document = json_pool::NewDocument();
  try {
    std::unique_ptr<TJSONValue> root;
    {
      json_pool::TDocumentScope scope(document);
      root = parser.Parse();
    }
    json_pool::SetRoot(document, root.get());
    return root;
  } catch (...) {
    json_pool::Dissolve(document);
    throw;
  }
}

} // namespace

std::unique_ptr<TJSONValue> TJSONValue::ParseJSONValue(std::string_view AText, bool ARaiseExc) {
  try {
    if (AText.size() >= DocumentText)
      return ParseDocument(AText);
    TJsonParser parser(AText);
    return parser.Parse();
  } catch (const EJSONParseException&) {
    if (ARaiseExc)
      throw;
    return nullptr;
  }
}

std::unique_ptr<TJSONValue> TJSONValue::ParseJSONValue(std::span<const uint8_t> ABytes, size_t AOffset,
                                                       size_t ALength, bool ARaiseExc) {
  if (AOffset > ABytes.size() || ALength > ABytes.size() - AOffset)
    throw EArgumentOutOfRangeException("JSON byte range " + std::to_string(AOffset) + "+" +
                                       std::to_string(ALength) + " outside " + std::to_string(ABytes.size()) +
                                       " bytes");
  const auto* text = reinterpret_cast<const char*>(ABytes.data()) + AOffset;
  return ParseJSONValue(std::string_view(text, ALength), ARaiseExc);
}

std::unique_ptr<TJSONValue> TJSONValue::ParseJSONValue(TStream& AStream, bool ARaiseExc) {
  if (auto* memory = dynamic_cast<TCustomMemoryStream*>(&AStream)) {
    const int64_t size = memory->GetSize();
    const int64_t position = std::min(memory->GetPosition(), size);
    memory->Seek(0, TSeekOrigin::soEnd);
    const auto* text = reinterpret_cast<const char*>(memory->Memory()) + position;
    return ParseJSONValue(std::string_view(text, static_cast<size_t>(size - position)), ARaiseExc);
  }
  std::string text;
  char buffer[65536];
  for (int64_t count; (count = AStream.Read(buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<size_t>(count));
  return ParseJSONValue(text, ARaiseExc);
}

} // namespace rtl
