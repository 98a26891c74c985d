#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/log_capture.h"
#include "support/logging_form_recorder.h"
#include "utils/Vantrel.Utils.Dialogs.h"

namespace {

using vantrel::TLoggingForm;

TEST(LoggingForm, DefaultPresenterLogsBothTextsAndARecorderReplacesIt) {
  vtest::TLogCapture log;
  TLoggingForm::Open("shader - failed", "line 1: 100% wrong", true);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"shader - failed", "line 1: 100% wrong"}));

  log.Clear();
  {
    vtest::TLoggingFormRecorder recorder;
    TLoggingForm::Open("title", "text", false);
    TLoggingForm::Open("again", "more", true);
    ASSERT_EQ(recorder.Calls().size(), 2u);
    EXPECT_EQ(recorder.Calls()[0].Title, "title");
    EXPECT_EQ(recorder.Calls()[0].Message, "text");
    EXPECT_FALSE(recorder.Calls()[0].Reuse);
    EXPECT_TRUE(recorder.Calls()[1].Reuse);
  }
  EXPECT_TRUE(log.Lines().empty());

  // SetPresenter returns the previous one; nullptr restores the logging default.
  int calls = 0;
  TLoggingForm::SetPresenter([&](const std::string&, const std::string&, bool) { ++calls; });
  TLoggingForm::Open("t", "m", false);
  EXPECT_TRUE(static_cast<bool>(TLoggingForm::SetPresenter(nullptr)));
  TLoggingForm::Open("t", "m", false);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"t", "m"}));
}

} // namespace
