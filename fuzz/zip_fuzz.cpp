// Opens the input as a zip archive and reads every entry, then removes the first entry in place
// and reopens the result. Any input must end in archives read or an EZipException; anything else
// (a crash, another exception, a huge allocation) is a fault.
#include <cstddef>
#include <cstdint>

#include "rtl/zip.h"
#include "utils/Vantrel.Utils.Zip.h"

namespace {

void ReadAll(rtl::TZipFile& AZip) {
  for (int i = 0; i < AZip.GetFileCount(); ++i) {
    AZip.GetFileName(i);
    try {
      rtl::TBytes content;
      AZip.Read(i, content);
    } catch (const rtl::EZipException&) {
    }
  }
}

// In-place removal trusts the directory's offsets only as far as the reader checked them.
void RemoveFirst(const uint8_t* AData, size_t ASize) {
  rtl::TBytesStream stream(rtl::TBytes(AData, AData + ASize));
  rtl::TZipFile zip;
  zip.Open(&stream, rtl::TZipMode::zmReadWrite);
  if (zip.GetFileCount() == 0)
    return;
  const int count = zip.GetFileCount();
  vantrel::RemoveZipEntry(zip, zip.GetFileName(0));
  zip.Close();
  zip.Open(&stream, rtl::TZipMode::zmRead);
  if (zip.GetFileCount() != count - 1)
    __builtin_trap();
  ReadAll(zip);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  {
    rtl::TBytesStream stream(rtl::TBytes(AData, AData + ASize));
    rtl::TZipFile zip;
    try {
      zip.Open(&stream, rtl::TZipMode::zmRead);
    } catch (const rtl::EZipException&) {
      return 0;
    }
    ReadAll(zip);
  }
  try {
    RemoveFirst(AData, ASize);
  } catch (const rtl::EZipException&) {
  }
  return 0;
}
