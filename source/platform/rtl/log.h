#pragma once
// The debug log: one line per call, written to a sink (standard error unless replaced). Calls from
// any thread are serialised, so lines never interleave.

#include <functional>
#include <string_view>

#include "rtl/sysutils.h"

namespace rtl {

using TLogSink = std::function<void(std::string_view ALine)>;

class Log {
public:
  Log() = delete;

  static void d(std::string_view AText);
  // Formats the line with rtl::Format first. Text that may hold '%' (shader sources, file names)
  // goes through the plain overload instead.
  template <class... TArgs>
    requires(sizeof...(TArgs) > 0)
  static void d(std::string_view AFormat, const TArgs&... AArgs) {
    d(std::string_view(Format(AFormat, AArgs...)));
  }
  // Installs ASink (nullptr restores standard error) and returns the sink it replaces. The sink
  // runs under the log's lock, so it must not log itself.
  static TLogSink SetSink(TLogSink ASink);
};

} // namespace rtl
