#pragma once
// Reads dialogue files into a dialogue system. Every attribute is read through the element's
// normalising text read ("007" gives "7", "true" gives "True"); unknown elements are skipped, and
// what was added before an error stays in the system.

#include <string>

#include "Vantrel.Prelude.h"
#include "rtl/exceptions.h"
#include "rtl/object.h"
#include "rtl/streams.h"

namespace vantrel {

class TVantrelDialogueSystem;

// A file that is well-formed XML but no dialogue file.
RTL_DECLARE_EXCEPTION(EVantrelDialogueReaderException, Exception);

class TVantrelDialogueReader {
public:
  // A new system without owner holding the file's content.
  TOwned<TVantrelDialogueSystem> LoadFromStream(TStream* AStream) const;
  TOwned<TVantrelDialogueSystem> LoadFromFile(const std::string& AFileName) const;
  // Appends the file's dialogues to ASystem and takes the file's Id and Language.
  void AddFromStream(TStream* AStream, TVantrelDialogueSystem* ASystem) const;
  void AddFromFile(const std::string& AFileName, TVantrelDialogueSystem* ASystem) const;
};

} // namespace vantrel
