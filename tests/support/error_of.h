#pragma once
// What a failing call reports: the text of the system exception an action raises, for tests that
// compare a failure's message. Any other exception passes through and fails the test.

#include <functional>
#include <string>

#include "rtl/exceptions.h"

namespace vtest {

// The message of the exception AAction raises, or "(none)" when it raises none.
inline std::string ErrorOf(const std::function<void()>& AAction) {
  try {
    AAction();
  } catch (const rtl::Exception& error) {
    return error.Message();
  }
  return "(none)";
}

// The exception's class name and message ("EClass: message"), or "no exception" when AAction
// raises none.
inline std::string ClassAndErrorOf(const std::function<void()>& AAction) {
  try {
    AAction();
  } catch (const rtl::Exception& error) {
    return std::string(error.ClassName()) + ": " + error.Message();
  }
  return "no exception";
}

} // namespace vtest
