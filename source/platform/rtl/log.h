#pragma once
// The debug log: one line per call, written to a sink (standard error unless replaced). Calls from
// any thread are serialised, so lines never interleave.

#include <functional>
#include <string_view>

namespace rtl {

using TLogSink = std::function<void(std::string_view ALine)>;

class Log {
public:
  Log() = delete;

  static void d(std::string_view AText);
  // Installs ASink (nullptr restores standard error) and returns the sink it replaces. The sink
  // runs under the log's lock, so it must not log itself.
  static TLogSink SetSink(TLogSink ASink);
};

} // namespace rtl
