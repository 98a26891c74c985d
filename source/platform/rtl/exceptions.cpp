#include "rtl/exceptions.h"

#include <string_view>

namespace rtl {

std::string ProjectRelativePath(const char* AFileName) {
  std::string_view path(AFileName);
#ifdef VANTREL_SOURCE_ROOT
  constexpr std::string_view root(VANTREL_SOURCE_ROOT);
  if (path.substr(0, root.size()) == root)
    path.remove_prefix(root.size());
#endif
  return std::string(path);
}

void Assert(bool ACondition, const std::source_location& ALocation) {
  if (ACondition)
    return;
  throw EAssertionFailed(std::string(messages::AssertionFailed) + " (" +
                         ProjectRelativePath(ALocation.file_name()) + ", Zeile " +
                         std::to_string(ALocation.line()) + ")");
}

} // namespace rtl
