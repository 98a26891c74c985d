#pragma once
// The logging window: a titled text shown to the user, e.g. a shader's compile log at design time.
// Open hands both texts to a replaceable presenter. The default presenter writes them to the
// debug log; the window itself comes with the asset tools, and tests install a recorder.

#include <functional>
#include <string>

#include "Vantrel.Prelude.h"

namespace vantrel {

class TLoggingForm {
public:
  // AReuse: show the text in the window already open instead of opening another one.
  using TPresenter = std::function<void(const std::string& ATitle, const std::string& AMessage, bool AReuse)>;

  TLoggingForm() = delete;

  // Shows AMessage under ATitle through the installed presenter. UI thread only.
  static void Open(const std::string& ATitle, const std::string& AMessage, bool AReuse);
  // Installs APresenter and returns the one it replaces; nullptr restores the default.
  static TPresenter SetPresenter(TPresenter APresenter);
};

} // namespace vantrel
