#pragma once
// Builds JSON trees bottom-up, for the text parser and the token tree builder alike. Finished
// values wait on a stack (as slots, see json_detail::Tagged) until their container closes, which
// then takes them over with an exactly sized slot list, so no list ever grows. In an object the
// stack holds the pairs, each getting its value when that is complete.

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "rtl/json.h"

namespace rtl {

class TJsonTreeStack {
public:
  TJsonTreeStack() { FStack.reserve(256); }
  TJsonTreeStack(const TJsonTreeStack&) = delete;
  TJsonTreeStack& operator=(const TJsonTreeStack&) = delete;
  ~TJsonTreeStack() { Clear(); }

  // The number of open containers.
  size_t Depth() const { return FFrames.size(); }
  // Whether the innermost open container is an object; there must be one.
  bool InObject() const { return FFrames.back().IsObject; }
  // The root, or null.
  TJSONValue* Root() const { return json_detail::Untagged<TJSONValue>(FRoot); }

  void Open(bool AIsObject) { FFrames.push_back({FStack.size(), AIsObject}); }
  // In an object: the next member, whose value follows with Add.
  void AddName(std::string_view AName) { Push(new TJSONPair(AName, nullptr)); }
  // Hands a complete value (a slot the stack takes over) to the innermost open container; with
  // none open it becomes the root.
  void Add(void* ASlot) {
    if (FFrames.empty())
      FRoot = ASlot;
    else if (FFrames.back().IsObject)
      static_cast<TJSONPair*>(FStack.back())->FValue = ASlot;
    else
      Push(ASlot);
  }
  void Add(TJSONValue* AValue, bool APlain) { Add(json_detail::Tagged(AValue, APlain)); }
  // Makes the innermost container of its pending items and adds it as a value.
  void Close();
  // Hands the root over (null when there is none).
  std::unique_ptr<TJSONValue> TakeRoot() {
    std::unique_ptr<TJSONValue> root(json_detail::Untagged<TJSONValue>(FRoot));
    FRoot = nullptr;
    return root;
  }
  // Frees every pending value and the root.
  void Clear() noexcept;

private:
  struct TFrame {
    size_t Base;
    bool IsObject;
  };
  std::vector<void*> FStack;
  std::vector<TFrame> FFrames;
  void* FRoot = nullptr;

  void Push(void* ASlot) {
    try {
      FStack.push_back(ASlot);
    } catch (...) {
      json_detail::FreeSlot(ASlot);
      throw;
    }
  }
};

} // namespace rtl
