#pragma once
// Captures the debug log for a test: while a TLogCapture lives, every Log::d line is kept in it
// instead of reaching the previous sink, which is restored afterwards.

#include <mutex>
#include <string>
#include <vector>

#include "rtl/log.h"

namespace vtest {

class TLogCapture {
public:
  TLogCapture();
  ~TLogCapture();
  TLogCapture(const TLogCapture&) = delete;
  TLogCapture& operator=(const TLogCapture&) = delete;

  // The lines logged so far, oldest first.
  std::vector<std::string> Lines() const;
  void Clear();

private:
  mutable std::mutex FMutex;
  std::vector<std::string> FLines;
  rtl::TLogSink FPrevious;
};

} // namespace vtest
