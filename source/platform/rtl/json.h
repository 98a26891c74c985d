#pragma once
// The JSON document model. Objects keep their members in order and may hold one name twice;
// numbers keep the text they were read with. Every value has exactly one owner: containers own
// their items, and values outside a container live in std::unique_ptr.
//
// Nodes come from the JSON slabs (rtl/json_pool.h): parsing allocates by bumping a pointer, and
// a tree may be freed on any thread.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/exceptions.h"
#include "rtl/json_pool.h"
#include "rtl/object.h"

namespace rtl {

class TStream;

RTL_DECLARE_EXCEPTION(EJSONException, Exception);

// A parse failure, with the byte offset (from 0) and the line and column (from 1, the column
// counted in bytes) where it was found.
class EJSONParseException : public EJSONException {
public:
  EJSONParseException(std::string AMessage, size_t AOffset, size_t ALine, size_t AColumn)
      : EJSONException(std::move(AMessage)), FOffset(AOffset), FLine(ALine), FColumn(AColumn) {}
  const char* ClassName() const noexcept override { return "EJSONParseException"; }
  size_t Offset() const { return FOffset; }
  size_t Line() const { return FLine; }
  size_t Column() const { return FColumn; }

private:
  size_t FOffset, FLine, FColumn;
};

// Nesting deeper than this is a parse error, never a stack overflow.
inline constexpr size_t JsonMaxDepth = 4096;

namespace json_detail {

// A text stored inline up to 15 bytes, in a pool buffer beyond. Small, because every number
// node and member name holds one.
class TText {
public:
  TText() noexcept { FInline[TagIndex] = 0; }
  explicit TText(std::string_view AText) {
    const size_t size = AText.size();
    if (!FitsInline(size)) {
      AssignHeap(AText);
      return;
    }
    // Short texts are the common case (numbers, names): two overlapping fixed-size copies
    // instead of a library call.
    const char* text = AText.data();
    if (size >= 8) {
      std::memcpy(FInline, text, 8);
      std::memcpy(FInline + size - 8, text + size - 8, 8);
    } else if (size >= 4) {
      std::memcpy(FInline, text, 4);
      std::memcpy(FInline + size - 4, text + size - 4, 4);
    } else {
      for (size_t i = 0; i < size; ++i)
        FInline[i] = text[i];
    }
    FInline[TagIndex] = static_cast<char>(size);
  }
  TText(const TText& AOther) : TText(AOther.View()) {}
  TText& operator=(const TText&) = delete;
  ~TText();

  bool IsInline() const { return FInline[TagIndex] != HeapTag; }
  // Whether a text of ASize bytes is stored inline.
  static bool FitsInline(size_t ASize) { return ASize < TagIndex; }
  std::string_view View() const {
    if (FInline[TagIndex] == HeapTag)
      return {FHeap.Data, FHeap.Size};
    return {FInline, static_cast<size_t>(FInline[TagIndex])};
  }

private:
  static constexpr size_t TagIndex = 15;
  static constexpr char HeapTag = char(0x7F);
  void AssignHeap(std::string_view AText);
  union {
    char FInline[16];
    struct {
      char* Data;
      uint32_t Size;
    } FHeap;
  };
};

// Slots of containers hold tagged pointers: the low bit marks a leaf that needs no destructor
// call (true, false, null, numbers and strings with inline text), so freeing a tree releases
// those blocks without a virtual call or even touching them.
inline constexpr uintptr_t PlainTag = 1;
inline void* Tagged(const void* AItem, bool APlain) {
  return reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(AItem) | (APlain ? PlainTag : 0));
}
template <class T> T* Untagged(void* ASlot) {
  return reinterpret_cast<T*>(reinterpret_cast<uintptr_t>(ASlot) & ~PlainTag);
}
// Frees the value or pair behind a slot.
void FreeSlot(void* ASlot) noexcept;

template <class T> class TSlotIterator {
public:
  using iterator_category = std::bidirectional_iterator_tag;
  using value_type = T*;
  using difference_type = std::ptrdiff_t;
  using pointer = T* const*;
  using reference = T*;

  explicit TSlotIterator(void* const* ASlot) : FSlot(ASlot) {}
  T* operator*() const { return Untagged<T>(*FSlot); }
  TSlotIterator& operator++() {
    ++FSlot;
    return *this;
  }
  TSlotIterator& operator--() {
    --FSlot;
    return *this;
  }
  bool operator==(const TSlotIterator&) const = default;

private:
  void* const* FSlot;
};

// A growable list of slots in pool memory: exact size when the parser fills it, geometric
// growth when items are added one by one. The owner frees the items.
class TSlots {
public:
  TSlots() = default;
  TSlots(const TSlots&) = delete;
  TSlots& operator=(const TSlots&) = delete;
  ~TSlots();

  uint32_t Count() const { return FCount; }
  void* const* begin() const { return FData; }
  void* const* end() const { return FData + FCount; }
  void* Slot(uint32_t AIndex) const { return FData[AIndex]; }
  void Push(void* ASlot);
  void* Take(uint32_t AIndex);
  // Takes over the slots in [ASlots, ASlots + ACount).
  void Assign(void* const* ASlots, uint32_t ACount);

private:
  void** FData = nullptr;
  uint32_t FCount = 0;
  uint32_t FCapacity = 0;
};

} // namespace json_detail

class TJSONValue : public TObject {
  RTL_CLASS(TJSONValue, TObject)
public:
  static void* operator new(size_t ASize) { return json_pool::AllocateBytes(ASize); }
  static void operator delete(void* ABlock, size_t ASize) noexcept;

  // A string's decoded text, a number's text, "true", "false" or "null"; empty for containers.
  virtual std::string_view Value() const { return {}; }
  virtual std::unique_ptr<TJSONValue> Clone() const = 0;
  // Whether the node holds nothing its destructor must free, so a container may release its
  // memory directly.
  virtual bool IsPlain() const { return false; }
  // The node as a number, or null: one virtual call where a cast would search the class tree.
  virtual const class TJSONNumber* AsNumber() const { return nullptr; }

  // Compact text with non-ASCII characters left raw.
  std::string ToString() const;
  // Compact text with every character outside 32..127 escaped as \uXXXX.
  std::string ToJSON() const;
  std::vector<uint8_t> ToBytes() const;
  // Appends the compact text (see ToString and ToJSON).
  virtual void AppendTo(std::string& AOut, bool AAscii) const = 0;

  // The value of a JSON text (RFC 8259; a leading byte-order mark is skipped). On any error the
  // result is null, or with ARaiseExc an EJSONParseException is raised.
  static std::unique_ptr<TJSONValue> ParseJSONValue(std::string_view AText, bool ARaiseExc = false);
  // The JSON text in ABytes[AOffset, AOffset + ALength); a range outside ABytes raises
  // EArgumentOutOfRangeException.
  static std::unique_ptr<TJSONValue> ParseJSONValue(std::span<const uint8_t> ABytes, size_t AOffset,
                                                    size_t ALength, bool ARaiseExc = false);
  // The JSON text from the stream's position to its end, read whole before parsing; the stream is
  // left at its end. A memory stream is parsed in place.
  static std::unique_ptr<TJSONValue> ParseJSONValue(TStream& AStream, bool ARaiseExc = false);

protected:
  TJSONValue() = default;
};

class TJSONString final : public TJSONValue {
  RTL_CLASS(TJSONString, TJSONValue)
public:
  static std::unique_ptr<TJSONString> Create(std::string_view AValue);

  std::string_view Value() const override { return FValue.View(); }
  std::unique_ptr<TJSONValue> Clone() const override;
  bool IsPlain() const override { return FValue.IsInline(); }
  void AppendTo(std::string& AOut, bool AAscii) const override;

  explicit TJSONString(std::string_view AValue) : FValue(AValue) {}

private:
  json_detail::TText FValue;
};

// A number. It keeps the text it was read with; a number made from a double or a float may
// instead hold that value and make its text on first use, exactly the text it would have had from
// the start.
class TJSONNumber : public TJSONValue {
  RTL_CLASS(TJSONNumber, TJSONValue)
public:
  static std::unique_ptr<TJSONNumber> Create(int32_t AValue);
  static std::unique_ptr<TJSONNumber> Create(int64_t AValue);
  // NaN and infinities raise EJSONException.
  static std::unique_ptr<TJSONNumber> Create(double AValue);
  static std::unique_ptr<TJSONNumber> Create(float AValue);
  // A number with exactly AText, which must follow the JSON number grammar (else
  // EJSONException).
  static std::unique_ptr<TJSONNumber> FromText(std::string_view AText);

  // The exact text ("1.50", "1E3", "-0").
  std::string_view Value() const override = 0;
  const TJSONNumber* AsNumber() const final { return this; }
  // Out of range raises EConvertError.
  virtual double AsDouble() const;
  // Only decimal integer text in range converts; anything else raises EConvertError.
  virtual int32_t AsInt() const;
  virtual int64_t AsInt64() const;
  // The float the text reads as (rounded to nearest, as std::from_chars reads it); outside the
  // float range raises EConvertError. Numbers that hold a double or a float answer without
  // making their text, and short texts without a library call.
  virtual float AsSingle() const;
  // True with the value when the text is plain decimal digits (with an optional "-") within the
  // int32 range, so AsInt would give AValue; false for any other text. Made without the text for
  // numbers that hold a double or a float.
  virtual bool TryAsPlainInt32(int32_t& AValue) const;
  // Whether the number was made from a double or a float and holds it: AsDouble then gives the
  // double its text reads as, without making the text.
  virtual bool HoldsValue() const { return false; }

protected:
  TJSONNumber() = default;
};

namespace json_detail {

// A number holding its text.
class TTextNumber final : public TJSONNumber {
public:
  // Takes AText as it is; the caller has checked it.
  explicit TTextNumber(std::string_view AText) : FText(AText) {}

  std::string_view Value() const override { return FText.View(); }
  std::unique_ptr<TJSONValue> Clone() const override;
  bool IsPlain() const override { return FText.IsInline(); }
  void AppendTo(std::string& AOut, bool AAscii) const override;
  float AsSingle() const override;
  bool TryAsPlainInt32(int32_t& AValue) const override;

private:
  TText FText;
};

// The text of a number made from a value, made once on the first call of Value() under a lock of
// its own, so readers on several threads may share the node; writing a tree formats the value
// without keeping the text. The first character of the text doubles as its state: a number's text
// never starts with either NUL or 1.
class TMadeText {
public:
  TMadeText() { FText[0] = NotMade; }
  // The text, made by AMake(char* AOut) -> end of the text on the first call (defined and used in
  // the JSON unit only).
  template <class TMake> std::string_view Get(TMake AMake) const;
  // The text when it has been made, else empty.
  std::string_view IfMade() const;

  static constexpr size_t Capacity = 24;

private:
  static constexpr char NotMade = 0;
  static constexpr char Making = 1;
  // NUL-terminated when shorter than the buffer.
  mutable char FText[Capacity];
  std::string_view Made() const;
};

// A number holding a finite double; its text is made as TMadeText says.
class TDoubleNumber final : public TJSONNumber {
public:
  explicit TDoubleNumber(double AValue) : FValue(AValue) {}

  std::string_view Value() const override;
  double AsDouble() const override { return FValue; }
  bool HoldsValue() const override { return true; }
  int32_t AsInt() const override;
  int64_t AsInt64() const override;
  float AsSingle() const override;
  bool TryAsPlainInt32(int32_t& AValue) const override;
  std::unique_ptr<TJSONValue> Clone() const override;
  bool IsPlain() const override { return true; }
  void AppendTo(std::string& AOut, bool AAscii) const override;

private:
  double FValue;
  TMadeText FText;
};

// A number holding a finite float, written with the float's own shortest digits; its text is
// made as TMadeText says. Its double is the one those digits read as, as for any other number.
class TFloatNumber final : public TJSONNumber {
public:
  explicit TFloatNumber(float AValue) : FValue(AValue) {}

  std::string_view Value() const override;
  double AsDouble() const override;
  float AsSingle() const override { return FValue; }
  bool HoldsValue() const override { return true; }
  bool TryAsPlainInt32(int32_t& AValue) const override;
  std::unique_ptr<TJSONValue> Clone() const override;
  bool IsPlain() const override { return true; }
  void AppendTo(std::string& AOut, bool AAscii) const override;

private:
  float FValue;
  TMadeText FText;
};

} // namespace json_detail

class TJSONBool : public TJSONValue {
  RTL_CLASS(TJSONBool, TJSONValue)
public:
  // A TJSONTrue or TJSONFalse.
  static std::unique_ptr<TJSONBool> Create(bool AValue);

  bool AsBoolean() const { return FValue; }
  std::string_view Value() const override { return FValue ? "true" : "false"; }
  std::unique_ptr<TJSONValue> Clone() const override { return Create(FValue); }
  bool IsPlain() const override { return true; }
  void AppendTo(std::string& AOut, bool AAscii) const override;

protected:
  explicit TJSONBool(bool AValue) : FValue(AValue) {}

private:
  bool FValue;
};

class TJSONTrue final : public TJSONBool {
  RTL_CLASS(TJSONTrue, TJSONBool)
public:
  TJSONTrue() : TJSONBool(true) {}
};

class TJSONFalse final : public TJSONBool {
  RTL_CLASS(TJSONFalse, TJSONBool)
public:
  TJSONFalse() : TJSONBool(false) {}
};

class TJSONNull final : public TJSONValue {
  RTL_CLASS(TJSONNull, TJSONValue)
public:
  static std::unique_ptr<TJSONNull> Create();

  std::string_view Value() const override { return "null"; }
  std::unique_ptr<TJSONValue> Clone() const override { return Create(); }
  bool IsPlain() const override { return true; }
  void AppendTo(std::string& AOut, bool AAscii) const override;

  TJSONNull() = default;
};

class TJSONArray final : public TJSONValue {
  RTL_CLASS(TJSONArray, TJSONValue)
public:
  static std::unique_ptr<TJSONArray> Create();
  ~TJSONArray() override;

  int Count() const { return static_cast<int>(FItems.Count()); }
  // Out of range raises EArgumentOutOfRangeException.
  TJSONValue* Items(int AIndex) const;
  json_detail::TSlotIterator<TJSONValue> begin() const {
    return json_detail::TSlotIterator<TJSONValue>(FItems.begin());
  }
  json_detail::TSlotIterator<TJSONValue> end() const {
    return json_detail::TSlotIterator<TJSONValue>(FItems.end());
  }

  TJSONArray& Add(std::unique_ptr<TJSONValue> AValue);
  TJSONArray& Add(std::string_view AValue);
  TJSONArray& Add(const char* AValue) { return Add(std::string_view(AValue)); }
  TJSONArray& Add(int32_t AValue);
  TJSONArray& Add(int64_t AValue);
  TJSONArray& Add(double AValue);
  TJSONArray& Add(float AValue);
  TJSONArray& Add(bool AValue);
  // Takes the item out and hands it to the caller.
  std::unique_ptr<TJSONValue> Remove(int AIndex);

  std::unique_ptr<TJSONValue> Clone() const override;
  void AppendTo(std::string& AOut, bool AAscii) const override;

private:
  friend class TJsonTreeStack;
  // Containers live in the JSON slabs only (see Create).
  TJSONArray() = default;
  json_detail::TSlots FItems;
};

class TJSONPair final : public TObject {
  RTL_CLASS(TJSONPair, TObject)
public:
  static void* operator new(size_t ASize);
  static void operator delete(void* ABlock, size_t ASize) noexcept;

  static std::unique_ptr<TJSONPair> Create(std::string_view AName, std::unique_ptr<TJSONValue> AValue);
  ~TJSONPair() override;

  std::string_view Name() const { return FName.View(); }
  TJSONValue* JsonValue() const { return json_detail::Untagged<TJSONValue>(FValue); }

  // AValue is a slot (see json_detail::Tagged) that the pair takes over.
  TJSONPair(std::string_view AName, void* AValue) : FName(AName), FValue(AValue) {}

private:
  friend class TJsonTreeStack;
  json_detail::TText FName;
  void* FValue;
};

class TJSONObject final : public TJSONValue {
  RTL_CLASS(TJSONObject, TJSONValue)
public:
  static std::unique_ptr<TJSONObject> Create();
  ~TJSONObject() override;

  int Count() const { return static_cast<int>(FPairs.Count()); }
  // Out of range raises EArgumentOutOfRangeException.
  TJSONPair* Pairs(int AIndex) const;
  json_detail::TSlotIterator<TJSONPair> begin() const {
    return json_detail::TSlotIterator<TJSONPair>(FPairs.begin());
  }
  json_detail::TSlotIterator<TJSONPair> end() const {
    return json_detail::TSlotIterator<TJSONPair>(FPairs.end());
  }

  // Appends a member, also when the name is already there.
  TJSONObject& AddPair(std::string_view AName, std::unique_ptr<TJSONValue> AValue);
  TJSONObject& AddPair(std::string_view AName, std::string_view AValue);
  TJSONObject& AddPair(std::string_view AName, const char* AValue) {
    return AddPair(AName, std::string_view(AValue));
  }
  TJSONObject& AddPair(std::string_view AName, int32_t AValue);
  TJSONObject& AddPair(std::string_view AName, int64_t AValue);
  TJSONObject& AddPair(std::string_view AName, double AValue);
  TJSONObject& AddPair(std::string_view AName, float AValue);
  TJSONObject& AddPair(std::string_view AName, bool AValue);
  TJSONObject& AddPair(std::unique_ptr<TJSONPair> APair);

  // The value of the first member named AName, or null.
  TJSONValue* GetValue(std::string_view AName) const;
  // The value of the last member named AName, or null.
  TJSONValue* GetLastValue(std::string_view AName) const;
  // Takes the first member named AName out and hands it to the caller; null when absent.
  std::unique_ptr<TJSONPair> RemovePair(std::string_view AName);

  std::unique_ptr<TJSONValue> Clone() const override;
  void AppendTo(std::string& AOut, bool AAscii) const override;

private:
  friend class TJsonTreeStack;
  TJSONObject() = default;
  json_detail::TSlots FPairs;
};

} // namespace rtl
