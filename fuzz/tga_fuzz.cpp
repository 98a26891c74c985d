// tga_read: the input is loaded as a TGA file and taken through the image format round trip
// (image_format_fuzz.h).

#include "formats/Vantrel.Imaging.TGA.h"
#include "image_format_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  return imagefuzz::RunOne<vantrel::TTargaFileFormat>(AData, ASize);
}
