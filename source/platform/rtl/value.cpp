#include "rtl/value.h"

#include <limits>

#include "rtl/sysutils.h"
#include "rtl/utf8.h"

namespace rtl {

void TValue::InvalidCast() {
  throw EInvalidCast(messages::InvalidCast);
}

TValue::TValue(const TValue& AOther) {
  CopyFrom(AOther);
}

TValue::TValue(TValue&& AOther) noexcept {
  MoveFrom(AOther);
}

TValue& TValue::operator=(const TValue& AOther) {
  if (this != &AOther) {
    TValue copy(AOther);
    Clear();
    MoveFrom(copy);
  }
  return *this;
}

TValue& TValue::operator=(TValue&& AOther) noexcept {
  if (this != &AOther) {
    Clear();
    MoveFrom(AOther);
  }
  return *this;
}

TValue::~TValue() {
  Clear();
}

void TValue::EmplaceRecord(const TTypeInfo& AType, size_t ASize, const void* ASource) {
  // The value stays empty until the record is whole, so a failed copy leaves nothing to destroy.
  FType = nullptr;
  if (AType.Kind != TTypeKind::tkRecord || !AType.Record || AType.Size != ASize)
    InvalidCast();
  const bool isInline = IsInline(AType);
  void* storage = isInline ? FData.Record : ::operator new(AType.Size, std::align_val_t(AType.Record->Align));
  try {
    AType.Record->CopyConstruct(storage, ASource);
  } catch (...) {
    if (!isInline)
      ::operator delete(storage, std::align_val_t(AType.Record->Align));
    throw;
  }
  if (!isInline)
    FData.Heap = storage;
  FType = &AType;
}

bool TValue::RecordEquals(const TValue& AOther) const {
  return HoldsRecord() && AOther.FType == FType && FType->Record->Equal(RecordData(), AOther.RecordData());
}

void TValue::CopyFrom(const TValue& AOther) {
  FString = AOther.FString;
  if (AOther.HoldsRecord()) {
    EmplaceRecord(*AOther.FType, AOther.FType->Size, AOther.RecordData());
    return;
  }
  FType = AOther.FType;
  FData = AOther.FData;
}

void TValue::MoveFrom(TValue& AOther) noexcept {
  FString = std::move(AOther.FString);
  FType = AOther.FType;
  if (HoldsRecord() && IsInline(*FType)) {
    FType->Record->MoveConstruct(FData.Record, AOther.FData.Record);
    AOther.Clear();
  } else {
    // A heap record changes hands with its pointer.
    FData = AOther.FData;
    AOther.FType = nullptr;
  }
}

void TValue::Clear() noexcept {
  if (HoldsRecord()) {
    if (IsInline(*FType)) {
      FType->Record->Destroy(FData.Record);
    } else {
      FType->Record->Destroy(FData.Heap);
      ::operator delete(FData.Heap, std::align_val_t(FType->Record->Align));
    }
  }
  FType = nullptr;
}

TValue TValue::FromOrdinal(const TTypeInfo& AType, int64_t AValue) {
  TValue result;
  result.FType = &AType;
  result.FData.I = AValue;
  return result;
}

int32_t TValue::AsInteger() const {
  switch (Kind()) {
  case TTypeKind::tkUnknown:
    return 0;
  case TTypeKind::tkInteger:
    return static_cast<int32_t>(FData.I);
  case TTypeKind::tkInt64:
    if (FType->IsUnsigned ? FData.U <= uint64_t(std::numeric_limits<int32_t>::max())
                          : (FData.I >= std::numeric_limits<int32_t>::min() &&
                             FData.I <= std::numeric_limits<int32_t>::max()))
      return static_cast<int32_t>(FData.I);
    break;
  default:
    break;
  }
  InvalidCast();
}

int64_t TValue::AsInt64() const {
  switch (Kind()) {
  case TTypeKind::tkUnknown:
    return 0;
  case TTypeKind::tkInteger:
  case TTypeKind::tkInt64:
    return FData.I;
  default:
    InvalidCast();
  }
}

uint64_t TValue::AsUInt64() const {
  switch (Kind()) {
  case TTypeKind::tkUnknown:
    return 0;
  case TTypeKind::tkInteger:
  case TTypeKind::tkInt64:
    return FData.U;
  default:
    InvalidCast();
  }
}

double TValue::AsDouble() const {
  switch (Kind()) {
  case TTypeKind::tkUnknown:
    return 0.0;
  case TTypeKind::tkInteger:
    return static_cast<double>(FData.I);
  case TTypeKind::tkInt64:
    return FType->IsUnsigned ? static_cast<double>(FData.U) : static_cast<double>(FData.I);
  case TTypeKind::tkFloat:
    return FData.D;
  default:
    InvalidCast();
  }
}

float TValue::AsSingle() const {
  return static_cast<float>(AsDouble());
}

bool TValue::AsBoolean() const {
  switch (Kind()) {
  case TTypeKind::tkUnknown:
    return false;
  case TTypeKind::tkBoolean:
    return FData.I != 0;
  default:
    InvalidCast();
  }
}

std::string TValue::AsString() const {
  switch (Kind()) {
  case TTypeKind::tkUnknown:
    return {};
  case TTypeKind::tkInteger:
  case TTypeKind::tkInt64:
    return FType->IsUnsigned && FType->Kind == TTypeKind::tkInt64 ? std::to_string(FData.U)
                                                                  : std::to_string(FData.I);
  case TTypeKind::tkFloat:
    return FloatToStr(FType->Size == 4 ? static_cast<double>(static_cast<float>(FData.D)) : FData.D);
  case TTypeKind::tkBoolean:
    return FData.I ? "True" : "False";
  case TTypeKind::tkEnumeration:
    if (FType->Names && FData.I >= 0 && static_cast<size_t>(FData.I) < FType->Names->size())
      return std::string((*FType->Names)[static_cast<size_t>(FData.I)]);
    return std::to_string(FData.I);
  case TTypeKind::tkString:
    return FString;
  case TTypeKind::tkSet:
    return SetToString();
  case TTypeKind::tkChar: {
    std::string text;
    AppendUtf8(text, static_cast<char32_t>(FData.U));
    return text;
  }
  default:
    InvalidCast();
  }
}

std::string TValue::SetToString() const {
  std::string text = "[";
  for (unsigned bit = 0; bit < 64; ++bit) {
    if ((FData.U >> bit & 1) == 0)
      continue;
    if (text.size() > 1)
      text += ',';
    if (FType->Names && bit < FType->Names->size())
      text += (*FType->Names)[bit];
    else
      text += std::to_string(bit);
  }
  return text + "]";
}

int64_t TValue::AsOrdinal() const {
  switch (Kind()) {
  case TTypeKind::tkUnknown:
    return 0;
  case TTypeKind::tkInteger:
  case TTypeKind::tkBoolean:
  case TTypeKind::tkEnumeration:
  case TTypeKind::tkSet:
  case TTypeKind::tkChar:
    return FData.I;
  default:
    InvalidCast();
  }
}

TObject* TValue::AsObject() const {
  switch (Kind()) {
  case TTypeKind::tkUnknown:
    return nullptr;
  case TTypeKind::tkClass:
    return FData.O;
  default:
    InvalidCast();
  }
}

std::string TValue::ToString() const {
  switch (Kind()) {
  case TTypeKind::tkUnknown:
    return "(empty)";
  case TTypeKind::tkRecord:
    return "(record)";
  case TTypeKind::tkClass:
    return FData.O ? "(object)" : "(nil)";
  default:
    return AsString();
  }
}

} // namespace rtl
