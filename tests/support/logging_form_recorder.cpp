#include "support/logging_form_recorder.h"

namespace vtest {

TLoggingFormRecorder::TLoggingFormRecorder()
    : FPrevious(vantrel::TLoggingForm::SetPresenter(
          [this](const std::string& ATitle, const std::string& AMessage, bool AReuse) {
            FCalls.push_back({ATitle, AMessage, AReuse});
          })) {}

TLoggingFormRecorder::~TLoggingFormRecorder() {
  vantrel::TLoggingForm::SetPresenter(std::move(FPrevious));
}

} // namespace vtest
