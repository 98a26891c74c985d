#include "rtl/log.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace rtl {

namespace {

struct TLogState {
  std::mutex Mutex;
  TLogSink Sink;
};

TLogState& State() {
  // Never destroyed: threads may still log during static destruction.
  static auto* state = new TLogState;
  return *state;
}

void WriteToStandardError(std::string_view ALine) {
  std::string line(ALine);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
}

} // namespace

void Log::d(std::string_view AText) {
  auto& state = State();
  std::lock_guard guard(state.Mutex);
  if (state.Sink)
    state.Sink(AText);
  else
    WriteToStandardError(AText);
}

TLogSink Log::SetSink(TLogSink ASink) {
  auto& state = State();
  std::lock_guard guard(state.Mutex);
  std::swap(state.Sink, ASink);
  return ASink;
}

} // namespace rtl
