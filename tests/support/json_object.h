#pragma once
// JSON in the definition tests: an object parsed from text written in the test, and the names of
// an object's members in their order.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/json.h"

namespace vtest {

// The object AText holds; text that is not an object fails the test and gives an empty object.
inline std::unique_ptr<rtl::TJSONObject> ParseObject(std::string_view AText) {
  std::unique_ptr<rtl::TJSONValue> value = rtl::TJSONValue::ParseJSONValue(AText, true);
  auto* object = dynamic_cast<rtl::TJSONObject*>(value.get());
  EXPECT_NE(object, nullptr) << AText;
  if (!object)
    return rtl::TJSONObject::Create();
  value.release();
  return std::unique_ptr<rtl::TJSONObject>(object);
}

// The names of AObject's members in their order, repeats included.
inline std::vector<std::string> MemberNames(const rtl::TJSONObject& AObject) {
  std::vector<std::string> names;
  for (const rtl::TJSONPair* pair : AObject)
    names.emplace_back(pair->Name());
  return names;
}

} // namespace vtest
