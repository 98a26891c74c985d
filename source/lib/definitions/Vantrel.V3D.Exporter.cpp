#include "definitions/Vantrel.V3D.Exporter.h"

#include <algorithm>
#include <memory>

#include "formats/v3d/Vantrel.BSON.Writer.h"
#include "rtl/replacing_file_stream.h"
#include "rtl/sysutils.h"
#include "rtl/zlib_streams.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelV3DExporter, "Vantrel.V3D.Exporter")

namespace {

constexpr int64_t CopyChunkSize = 1048576;
// A body must stay below 2 GiB: the reader refuses anything larger.
constexpr int64_t MaxBodySize = int64_t{0x7FFFFFFF};

int InitCount = 0;

// Copies ASize bytes to AStream in chunks of 1 MiB.
void WriteChunked(const uint8_t* AData, int64_t ASize, TStream& AStream) {
  for (int64_t done = 0; done < ASize;) {
    const int64_t count = std::min(CopyChunkSize, ASize - done);
    AStream.WriteBuffer(AData + done, count);
    done += count;
  }
}

} // namespace

TVantrelV3DExporter::TVantrelV3DExporter() : FHeader(TVantrelV3DHeader::Create(false, TVantrelV3DFormat::JSONFormat)) {
  FHeader.SetOptions({TVantrelV3DOption::Beautified});
}

void TVantrelV3DExporter::SetOption(TVantrelV3DOption AOption, bool AValue) {
  TVantrelV3DOptions options = GetOptions();
  if (AValue)
    options.Include(AOption);
  else
    options.Exclude(AOption);
  SetOptions(options);
}

int TVantrelV3DExporter::CompressionLevel() const {
  const TVantrelV3DOptions options = GetOptions();
  if (options.Contains(TVantrelV3DOption::FastestCompression))
    return 1;
  if (options.Contains(TVantrelV3DOption::MaxCompression))
    return 9;
  return -1;
}

void TVantrelV3DExporter::WriteBody(const void* AData, int64_t ASize, TStream& AStream) const {
  if (ASize > MaxBodySize)
    throw Exception(Format("V3D body too large (%d bytes)", {ASize}));
  const auto* data = static_cast<const uint8_t*>(AData);
  if (!GetZipped()) {
    FHeader.WriteTo(AStream);
    WriteChunked(data, ASize, AStream);
    return;
  }
  TMemoryStream compressed;
  {
    TZCompressionStream deflater(&compressed, CompressionLevel(), 15, 8);
    deflater.WriteBuffer(data, ASize);
    deflater.Finish();
  }
  FHeader.WriteTo(AStream);
  WriteChunked(compressed.Memory(), compressed.GetSize(), AStream);
}

void TVantrelV3DExporter::SaveToStream(const TCustomDef* AModelDef, TStream* AStream) {
  const TVantrelV3DFormat format = GetFormat();
  if (format != TVantrelV3DFormat::BSONFormat && format != TVantrelV3DFormat::JSONFormat)
    throw Exception("invalid V3D format set");
  const std::unique_ptr<TJSONObject> json = AModelDef->ToJSON();
  if (format == TVantrelV3DFormat::BSONFormat) {
    TBytesStream body;
    {
      TVantrelBSONWriter writer(&body);
      writer.WriteJsonObject(json.get());
    }
    WriteBody(body.Bytes().data(), body.GetSize(), *AStream);
    return;
  }
  FBuffer.Clear();
  FBuffer.Append(GetBeautified() ? BeautifyJson(*json) : json->ToString());
  WriteBody(FBuffer.Data(), FBuffer.Size(), *AStream);
}

void TVantrelV3DExporter::SaveToFile(const TCustomDef* AModelDef, const std::string& AFileName) {
  TReplacingFileStream stream(AFileName);
  SaveToStream(AModelDef, &stream);
  stream.Commit();
}

void TVantrelV3DExporter::SaveModelDefToFile(const TCustomDef* AModelDef, const std::string& AFileName,
                                             TVantrelV3DFormat AFormat, TVantrelV3DOptions AOptions) {
  TOwned<TVantrelV3DExporter> exporter = MakeOwned<TVantrelV3DExporter>();
  exporter->SetFormat(AFormat);
  exporter->SetOptions(AOptions);
  exporter->SaveToFile(AModelDef, AFileName);
}

void InitializeV3DExporter() {
  if (InitCount++ > 0)
    return;
  TVantrelExporter::RegisterExporter(".v3d", TVantrelV3DExporter::StaticClass());
}

void FinalizeV3DExporter() {
  if (InitCount == 0 || --InitCount > 0)
    return;
  TVantrelExporter::UnregisterExporter(".v3d", TVantrelV3DExporter::StaticClass());
}

} // namespace vantrel
