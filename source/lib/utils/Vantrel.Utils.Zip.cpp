#include "utils/Vantrel.Utils.Zip.h"

#include <vector>

#include "rtl/streams.h"

namespace vantrel {

void RemoveZipEntry(rtl::TZipFile& AZip, const std::string& AFileName) {
  if (AZip.GetMode() != rtl::TZipMode::zmReadWrite && AZip.GetMode() != rtl::TZipMode::zmWrite)
    throw rtl::EZipException("archive not open for writing");
  const int index = AZip.IndexOf(AFileName);
  if (index < 0)
    return;

  // [start, end) is the entry's local header and data: up to the next local header in the file,
  // or the end of the data for the last one.
  const uint32_t start = AZip.GetFileInfo(index).LocalHeaderOffset;
  const uint32_t endOfData = AZip.GetEndOfData();
  if (start > endOfData)
    throw rtl::EZipException("Corrupt zip archive: an entry lies outside the data");
  uint32_t end = endOfData;
  for (int i = 0; i < AZip.GetFileCount(); ++i) {
    const uint32_t offset = AZip.GetFileInfo(i).LocalHeaderOffset;
    if (offset > start && offset <= end)
      end = offset;
  }

  // The later bytes are read before anything changes, so a failing read leaves the archive whole.
  rtl::TStream& stream = *AZip.GetStream();
  rtl::TBytes tail(endOfData - end);
  stream.SetPosition(end);
  stream.ReadBuffer(tail.data(), static_cast<int64_t>(tail.size()));

  std::vector<rtl::TZipHeader>& directory = AZip.CentralDirectory();
  directory.erase(directory.begin() + index);
  const uint32_t removed = end - start;
  for (rtl::TZipHeader& header : directory)
    if (header.LocalHeaderOffset > start)
      header.LocalHeaderOffset -= removed;

  stream.SetSize(start);
  stream.SetPosition(start);
  stream.WriteBuffer(tail.data(), static_cast<int64_t>(tail.size()));
  AZip.SetEndOfData(static_cast<uint32_t>(stream.GetPosition()));
}

} // namespace vantrel
