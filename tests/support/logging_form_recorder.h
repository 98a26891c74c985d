#pragma once
// Records what TLoggingForm::Open shows: while a TLoggingFormRecorder lives it is the logging
// window's presenter; the previous presenter comes back afterwards.

#include <string>
#include <vector>

#include "utils/Vantrel.Utils.Dialogs.h"

namespace vtest {

class TLoggingFormRecorder {
public:
  struct TCall {
    std::string Title;
    std::string Message;
    bool Reuse = false;
  };

  TLoggingFormRecorder();
  ~TLoggingFormRecorder();
  TLoggingFormRecorder(const TLoggingFormRecorder&) = delete;
  TLoggingFormRecorder& operator=(const TLoggingFormRecorder&) = delete;

  const std::vector<TCall>& Calls() const { return FCalls; }

private:
  std::vector<TCall> FCalls;
  vantrel::TLoggingForm::TPresenter FPrevious;
};

} // namespace vtest
