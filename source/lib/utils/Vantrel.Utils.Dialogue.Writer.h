#pragma once
// Writes a dialogue system as its XML file: the declaration, then "dialogues" with each dialogue's
// characters and its tree of items with their parameters, texts and events. Always beautified
// (tabs, CR LF), UTF-8 without byte-order mark; run-time state is not written.

#include <string>

#include "Vantrel.Prelude.h"
#include "rtl/streams.h"

namespace vantrel {

class TVantrelDialogueSystem;

class TVantrelDialogueWriter {
public:
  // Writes ASystem into AStream from position 0; does nothing unless both are given.
  void SaveToStream(const TVantrelDialogueSystem* ASystem, TStream* AStream) const;
  // Creates or truncates the file; does nothing without a system.
  void SaveToFile(const TVantrelDialogueSystem* ASystem, const std::string& AFileName) const;
};

} // namespace vantrel
