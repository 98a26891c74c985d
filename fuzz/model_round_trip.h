#pragma once
// The round trip the model definition fuzzers share: the input, parsed as JSON, is read into a new
// model definition; a read that raises a runtime-layer exception is a clean failure. A read model
// is written, handed to the target's exercise step, and its written text, parsed and read into
// another model, must write the same text again. Any other exception, a crash or a text that
// changes on the second round is a fault.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/json.h"

namespace modelfuzz {

inline void Check(bool ACondition) {
  if (!ACondition)
    std::abort();
}

// What a target does with a model that read: calls that may raise only the system's exceptions.
using TExercise = void (*)(vantrel::TModelDef& AModel);

// The text of a new model read from AValue, or "" when reading raised. AExercise, when given, runs
// on the read model after its text is taken.
inline std::string ReadAndWrite(const vantrel::TJSONObject& AValue, TExercise AExercise) {
  vantrel::TModelDef model;
  try {
    model.FromJSON(AValue);
  } catch (const vantrel::Exception&) {
    return {};
  }
  std::string text = model.ToJSON()->ToJSON();
  if (AExercise)
    AExercise(model);
  return text;
}

// One fuzz input: read, write, exercise the first model, then read the written text again and
// compare. The definition classes are initialised once per process.
inline void RoundTrip(const uint8_t* AData, size_t ASize, TExercise AExercise) {
  using namespace vantrel;
  static const bool initialized = (InitializeDefTypes(), InitializeDefTypesNodes(), true);
  Check(initialized);
  const std::string_view text(reinterpret_cast<const char*>(AData), ASize);
  const auto value = TJSONValue::ParseJSONValue(text);
  const auto* object = dynamic_cast<const TJSONObject*>(value.get());
  if (!object)
    return;
  const std::string first = ReadAndWrite(*object, AExercise);
  if (first.empty())
    return;
  const auto again = TJSONValue::ParseJSONValue(first);
  const auto* written = dynamic_cast<const TJSONObject*>(again.get());
  Check(written != nullptr);
  Check(ReadAndWrite(*written, nullptr) == first);
}

} // namespace modelfuzz
