// bitmap_read: the input is loaded as a picture file from a memory stream. A load either raises
// EReadError or gives a bitmap of a size above 0, which is then scaled; any other exception is a
// fault.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "rtl/streams.h"
#include "ui/bitmap.h"

namespace {

void Run(const uint8_t* AData, size_t ASize) {
  const rtl::TOwned<ui::TBitmap> bitmap(rtl::New<ui::TBitmap>());
  rtl::TBytesStream stream(rtl::TBytes(AData, AData + ASize));
  bitmap->LoadFromStream(stream);
  if (bitmap->IsEmpty())
    std::abort();
  bitmap->Resize(3, 2);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  try {
    Run(AData, ASize);
  } catch (const rtl::EReadError&) {
  }
  return 0;
}
