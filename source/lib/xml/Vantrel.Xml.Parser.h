#pragma once
// The decoding text reader of the XML parser. It decodes its byte stream step by step into one
// UTF-16 text that only grows, so any earlier position stays valid and stepping back costs
// nothing. Positions count UTF-16 code units of the decoded text (a character above U+FFFF counts
// two) and are what parse errors report.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Vantrel.Prelude.h"
#include "rtl/encoding.h"
#include "rtl/streams.h"
#include "rtl/text_reader.h"

namespace vantrel {

class TMz_StreamReader : public TTextReader {
  RTL_CLASS(TMz_StreamReader, TTextReader)
public:
  static constexpr int32_t DefaultBufferSize = 4096;
  static constexpr int32_t MinBufferSize = 128;

  explicit TMz_StreamReader(TStream* Stream);
  TMz_StreamReader(TStream* Stream, bool DetectBOM);
  // Stream and Encoding must be given (EArgumentNilException); a BufferSize below 128 becomes 128.
  TMz_StreamReader(TStream* Stream, const TEncoding* Encoding, bool DetectBOM = true,
                   int32_t BufferSize = DefaultBufferSize);
  // The file is opened for reading, others may read and write it; the reader owns the stream.
  explicit TMz_StreamReader(const std::string& Filename);
  TMz_StreamReader(const std::string& Filename, bool DetectBOM);
  TMz_StreamReader(const std::string& Filename, const TEncoding* Encoding, bool DetectBOM = true,
                   int32_t BufferSize = DefaultBufferSize);
  ~TMz_StreamReader() override;

  void Close() override;
  int32_t Peek() override;
  int32_t Read() override;
  int32_t Read(std::vector<char16_t>& Buffer, int32_t Index, int32_t Count) override;
  int32_t ReadBlock(std::vector<char16_t>& Buffer, int32_t Index, int32_t Count) override;
  std::u16string ReadLine() override;
  std::u16string ReadToEnd() override;
  void Rewind() override {}

  // The character at the position, or -1 beyond the decoded text; never decodes, never moves.
  virtual int32_t Current() const;
  virtual int32_t ReadBlock(std::vector<char16_t>& Buffer, int32_t Count);
  // Raises "invalid internal index revert" (leaving the position) when it would go below 0.
  virtual void revert(int64_t pCount);
  virtual void forward(int64_t pCount);

  void DiscardBufferedData();
  void OwnStream() { FOwnsStream = true; }
  bool eod() const;
  bool IsDataToBuffer(int64_t pCount, int64_t pOffset) const;
  bool EndOfStream();

  // Decodes all that is left without moving the position, and answers the whole decoded text. The
  // view stays valid until the reader decodes or discards again.
  std::u16string_view decodeAll();
  // For a UTF-8 memory stream of which nothing was decoded yet: skips its byte-order mark, takes
  // all that is left as it is (AText views the stream's memory) and answers true; the reader then
  // has no more to decode, as after decodeAll. Answers false, changing nothing, for anything else.
  bool utf8Text(std::string_view& AText);

  int64_t position() const { return FInternalIndex; }
  void setPosition(int64_t AValue) { FInternalIndex = AValue; }
  const TEncoding* CurrentEncoding() const { return FEncoding; }
  TStream* BaseStream() const { return FStream; }

private:
  int64_t FInternalIndex = 0;
  std::u16string FBufferedData;
  int32_t FBufferSize = DefaultBufferSize;
  bool FDetectBOM = true;
  const TEncoding* FEncoding = nullptr;
  bool FNoDataInStream = false;
  bool FOwnsStream = false;
  bool FSkipPreamble = false;
  TStream* FStream = nullptr;
  std::vector<uint8_t> FBytes;
  // Bytes of a character still open at the end of the last step.
  std::vector<uint8_t> FPending;

  void DecodeStep();
  // A step of ABytes bytes.
  void DecodeStep(int32_t ABytes);
  // Skips a byte-order mark (or, without detection, the encoding's preamble) at the start of the
  // bytes; returns the number of bytes skipped.
  size_t SkipPreamble(const uint8_t* ABytes, size_t ACount);
  bool NothingDecoded() const { return FBufferedData.empty(); }
  int32_t CharAt(int64_t AIndex) const {
    return AIndex >= 0 && AIndex < static_cast<int64_t>(FBufferedData.size())
               ? static_cast<int32_t>(FBufferedData[static_cast<size_t>(AIndex)])
               : -1;
  }
};

} // namespace vantrel
