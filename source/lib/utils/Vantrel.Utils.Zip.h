#pragma once
// Removing an entry from a zip archive in place: the zip class only appends.

#include <string>

#include "rtl/zip.h"

namespace vantrel {

// Removes the first entry named AFileName (ASCII case ignored) from AZip, which must be open in a
// writing mode (else EZipException "archive not open for writing"). The entry's local header and
// data are cut out of the stream and the later entries' bytes move down over them; their offsets
// in the directory follow. The directory itself is written when AZip is closed. A name that is
// not in the archive changes nothing.
void RemoveZipEntry(rtl::TZipFile& AZip, const std::string& AFileName);

} // namespace vantrel
