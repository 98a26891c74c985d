// Opens the input as a zip archive and reads every entry. Any input must end in an archive read
// or an EZipException; anything else (a crash, another exception, a huge allocation) is a fault.
#include <cstddef>
#include <cstdint>

#include "rtl/zip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  rtl::TBytesStream stream(rtl::TBytes(AData, AData + ASize));
  rtl::TZipFile zip;
  try {
    zip.Open(&stream, rtl::TZipMode::zmRead);
  } catch (const rtl::EZipException&) {
    return 0;
  }
  for (int i = 0; i < zip.GetFileCount(); ++i) {
    zip.GetFileName(i);
    try {
      rtl::TBytes content;
      zip.Read(i, content);
    } catch (const rtl::EZipException&) {
    }
  }
  return 0;
}
