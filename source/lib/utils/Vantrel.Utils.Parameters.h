#pragma once
// Typed parameters by name, stored as JSON with their geometry and colour records.

#include <memory>
#include <string>

#include "Vantrel.Prelude.h"
#include "rtl/generics.h"
#include "rtl/json.h"
#include "rtl/sync.h"
#include "rtl/value.h"

namespace vantrel {

// Insertion-ordered; Assign holds the map's own re-entrant lock while it copies.
class TVantrelParametersMap : public TDictionary<std::string, TValue> {
public:
  TVantrelParametersMap() = default;

  // Empties the map, then copies ASource's entries when it is given.
  virtual void Assign(const TVantrelParametersMap* ASource);

  // {"Values":[{"Key":name,"Value":v},...]}: integers (as 32-bit; a wider Int64 raises
  // EInvalidCast), Booleans, other enumerations by ordinal, floats (null when not finite),
  // strings, the eight known records as {"Class":name,"FloatArrayValue":[...]}, null otherwise.
  std::unique_ptr<TJSONObject> ToJSON() const;
  // Empties the map and reads the well-formed entries. A number holding ".", ",", "e" or "E", or
  // an integer beyond 32 bits, becomes a Double, any other number an Integer.
  void FromJSON(const TJSONObject* AData);

  TCriticalSection& Lock() const { return FLock; }

private:
  mutable TCriticalSection FLock;
};

} // namespace vantrel
