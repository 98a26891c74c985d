#include "rtl/resources.h"

#include <map>
#include <mutex>

#include "rtl/sysutils.h"

namespace rtl {

RTL_DEFINE_CLASS(TResourceStream, "Rtl.Classes")

namespace {

struct TResource {
  const uint8_t* Data;
  size_t Size;
};

// The resource registry, keyed by the upper-case name.
struct TResourceTable {
  std::mutex Lock;
  std::map<std::string, TResource, std::less<>> Items;
};

TResourceTable& Resources() {
  static TResourceTable table;
  return table;
}

} // namespace

void RegisterResource(std::string_view AName, const uint8_t* AData, size_t ASize) {
  TResourceTable& table = Resources();
  std::lock_guard guard(table.Lock);
  table.Items[UpperCase(AName)] = TResource{AData, ASize};
}

void UnRegisterResource(std::string_view AName) {
  TResourceTable& table = Resources();
  std::lock_guard guard(table.Lock);
  table.Items.erase(UpperCase(AName));
}

TResourceStream::TResourceStream(std::string_view AName) {
  TResourceTable& table = Resources();
  std::lock_guard guard(table.Lock);
  const auto found = table.Items.find(UpperCase(AName));
  if (found == table.Items.end())
    throw EResNotFound("resource " + std::string(AName) + " not found");
  SetPointer(const_cast<uint8_t*>(found->second.Data), static_cast<int64_t>(found->second.Size));
}

int64_t TResourceStream::Write(const void*, int64_t) {
  throw EStreamError("resource streams are read-only");
}

} // namespace rtl
