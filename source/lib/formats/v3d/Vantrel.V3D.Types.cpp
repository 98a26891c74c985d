#include "formats/v3d/Vantrel.V3D.Types.h"

#include <cstring>

namespace vantrel {

TVantrelV3DHeader TVantrelV3DHeader::Create(bool AZipped, TVantrelV3DFormat AFormat) {
  TVantrelV3DHeader result;
  static constexpr char Signature[] = "Vantrel3D ";
  std::memcpy(result.Signature.data(), Signature, sizeof(Signature) - 1);
  result.Version = 4;
  result.DateTime = TDateTime::Now().Value;
  result.Format = AFormat;
  result.SetOptions(AZipped ? TVantrelV3DOptions{TVantrelV3DOption::Zipped} : TVantrelV3DOptions{});
  return result;
}

void TVantrelV3DHeader::WriteTo(TStream& AStream) const {
  AStream.WriteBuffer(Signature.data(), static_cast<int64_t>(Signature.size()));
  AStream.WriteData(Version);
  AStream.WriteData(DateTime);
  AStream.WriteData(static_cast<uint32_t>(Format));
  AStream.WriteData(Options);
  AStream.WriteBuffer(Padding.data(), static_cast<int64_t>(Padding.size()));
}

void TVantrelV3DHeader::ReadFrom(TStream& AStream) {
  // Read into a copy so that a short stream leaves this header as it was.
  TVantrelV3DHeader result;
  AStream.ReadBuffer(result.Signature.data(), static_cast<int64_t>(result.Signature.size()));
  AStream.ReadData(result.Version);
  AStream.ReadData(result.DateTime);
  result.Format = static_cast<TVantrelV3DFormat>(AStream.ReadData<uint32_t>());
  AStream.ReadData(result.Options);
  AStream.ReadBuffer(result.Padding.data(), static_cast<int64_t>(result.Padding.size()));
  *this = result;
}

} // namespace vantrel
