#pragma once
// Embedded resources: byte blocks compiled into the program (forms converted at build time) and
// registered by name at start-up, read back through TResourceStream.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/streams.h"

namespace rtl {

// Registers AData (ASize bytes, which must outlive the registration) under AName, compared
// ignoring ASCII case; a second registration of a name replaces the first.
void RegisterResource(std::string_view AName, const uint8_t* AData, size_t ASize);
void UnRegisterResource(std::string_view AName);

// A read-only stream over a registered resource. Raises EResNotFound "resource <NAME> not found".
class TResourceStream : public TCustomMemoryStream {
  RTL_CLASS(TResourceStream, TCustomMemoryStream)
public:
  explicit TResourceStream(std::string_view AName);
  // Raises EStreamError: resources are read-only.
  int64_t Write(const void* ABuffer, int64_t ACount) override;
};

} // namespace rtl
