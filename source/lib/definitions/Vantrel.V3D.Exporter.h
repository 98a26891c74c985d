#pragma once
// The .v3d writer: the header, then the definition's JSON as BSON or as text (compact or
// indented), optionally deflated. Registered under ".v3d" at unit start-up.

#include <string>

#include "Vantrel.Prelude.h"
#include "definitions/Vantrel.Exporter.h"
#include "formats/v3d/Vantrel.JSON.h"
#include "formats/v3d/Vantrel.V3D.Types.h"

namespace vantrel {

class TVantrelV3DExporter : public TVantrelExporter {
  RTL_CLASS(TVantrelV3DExporter, TVantrelExporter)
public:
  // The header is made once here, so every file this exporter writes carries its construction
  // time: JSON format, options {Beautified}.
  TVantrelV3DExporter();

  TVantrelV3DFormat GetFormat() const { return FHeader.Format; }
  void SetFormat(TVantrelV3DFormat AValue) { FHeader.Format = AValue; }
  TVantrelV3DOptions GetOptions() const { return FHeader.GetOptions(); }
  void SetOptions(TVantrelV3DOptions AValue) { FHeader.SetOptions(AValue); }
  bool GetZipped() const { return GetOptions().Contains(TVantrelV3DOption::Zipped); }
  void SetZipped(bool AValue) { SetOption(TVantrelV3DOption::Zipped, AValue); }
  bool GetBeautified() const { return GetOptions().Contains(TVantrelV3DOption::Beautified); }
  void SetBeautified(bool AValue) { SetOption(TVantrelV3DOption::Beautified, AValue); }

  // Writes through a sibling temporary that replaces the file only once the last byte is
  // written; a failure leaves an existing file as it was.
  void SaveToFile(const TCustomDef* AModelDef, const std::string& AFileName) override;
  // Writes at the stream's position. An unknown format raises "invalid V3D format set" and a body
  // of 2 GiB or more "V3D body too large (%d bytes)", both before anything is written.
  void SaveToStream(const TCustomDef* AModelDef, TStream* AStream) override;

  // A new exporter with AFormat and AOptions saves AModelDef to AFileName.
  static void SaveModelDefToFile(const TCustomDef* AModelDef, const std::string& AFileName,
                                 TVantrelV3DFormat AFormat, TVantrelV3DOptions AOptions);

private:
  void SetOption(TVantrelV3DOption AOption, bool AValue);
  // The zlib level the options choose: 1 for FastestCompression, else 9 for MaxCompression,
  // else -1.
  int CompressionLevel() const;
  void WriteBody(const void* AData, int64_t ASize, TStream& AStream) const;

  TLargeStringBuilder FBuffer;
  TVantrelV3DHeader FHeader;
};

void InitializeV3DExporter();
void FinalizeV3DExporter();

} // namespace vantrel
