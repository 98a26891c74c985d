#include "utils/Vantrel.Utils.Dialogs.h"

#include <utility>

#include "rtl/log.h"

namespace vantrel {

namespace {

void LogPresenter(const std::string& ATitle, const std::string& AMessage, bool) {
  // The plain overload: compile logs may hold '%'.
  Log::d(std::string_view(ATitle));
  Log::d(std::string_view(AMessage));
}

TLoggingForm::TPresenter& Presenter() {
  static TLoggingForm::TPresenter presenter = LogPresenter;
  return presenter;
}

} // namespace

void TLoggingForm::Open(const std::string& ATitle, const std::string& AMessage, bool AReuse) {
  // A copy: the presenter may replace itself.
  const TPresenter presenter = Presenter();
  presenter(ATitle, AMessage, AReuse);
}

TLoggingForm::TPresenter TLoggingForm::SetPresenter(TPresenter APresenter) {
  if (!APresenter)
    APresenter = LogPresenter;
  return std::exchange(Presenter(), std::move(APresenter));
}

} // namespace vantrel
