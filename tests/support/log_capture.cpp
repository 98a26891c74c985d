#include "support/log_capture.h"

namespace vtest {

TLogCapture::TLogCapture() {
  FPrevious = rtl::Log::SetSink([this](std::string_view ALine) {
    std::lock_guard guard(FMutex);
    FLines.emplace_back(ALine);
  });
}

TLogCapture::~TLogCapture() {
  rtl::Log::SetSink(std::move(FPrevious));
}

std::vector<std::string> TLogCapture::Lines() const {
  std::lock_guard guard(FMutex);
  return FLines;
}

void TLogCapture::Clear() {
  std::lock_guard guard(FMutex);
  FLines.clear();
}

} // namespace vtest
