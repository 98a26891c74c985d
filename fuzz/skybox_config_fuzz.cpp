// skybox_config: any bytes either raise the configuration error or read into a record whose
// written configuration reads back to the same bytes; the cloud octaves always stay within 0..16.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "rtl/exceptions.h"
#include "rtl/streams.h"
#include "scene/Vantrel.SkyBox.h"

namespace {

void Check(bool ACondition) {
  if (!ACondition)
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  using namespace vantrel;
  rtl::TMemoryStream input;
  input.WriteBuffer(AData, static_cast<int64_t>(ASize));
  input.SetPosition(0);
  TSkyBoxShaderData data;
  try {
    data = ReadSkyBoxConfiguration(input);
  } catch (const rtl::Exception&) {
    return 0;
  }
  Check(data.CloudIterations >= 0 && data.CloudIterations <= 16);
  rtl::TMemoryStream written;
  WriteSkyBoxConfiguration(data, written);
  written.SetPosition(0);
  const TSkyBoxShaderData again = ReadSkyBoxConfiguration(written);
  Check(std::memcmp(&again, &data, sizeof(data)) == 0);
  return 0;
}
