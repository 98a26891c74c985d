#include "xml/Vantrel.Xml.Parser.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "rtl/exceptions.h"

namespace vantrel {

RTL_DEFINE_CLASS(TMz_StreamReader, "Vantrel.Xml.Parser")

namespace {

TStream* OpenForReading(const std::string& AFilename) {
  return new TFileStream(AFilename, fmOpenRead | fmShareDenyNone);
}

// The decoded text of the last reader on this thread, kept for the next one: a large load would
// otherwise fault in fresh pages for its whole text every time.
thread_local std::u16string tSpareText;
constexpr size_t MaxSpareUnits = size_t(32) << 20;

std::u16string TakeSpareText() {
  std::u16string text;
  text.swap(tSpareText);
  text.clear();
  return text;
}

void KeepSpareText(std::u16string& AText) {
  if (AText.capacity() > tSpareText.capacity() && AText.capacity() <= MaxSpareUnits)
    AText.swap(tSpareText);
  std::u16string().swap(AText);
}

bool StartsWith(const uint8_t* ABytes, size_t ACount, std::initializer_list<uint8_t> APrefix) {
  return ACount >= APrefix.size() && std::equal(APrefix.begin(), APrefix.end(), ABytes);
}

} // namespace

TMz_StreamReader::TMz_StreamReader(TStream* Stream) : TMz_StreamReader(Stream, &TEncoding::UTF8(), true) {}

TMz_StreamReader::TMz_StreamReader(TStream* Stream, bool DetectBOM)
    : TMz_StreamReader(Stream, &TEncoding::UTF8(), DetectBOM) {}

TMz_StreamReader::TMz_StreamReader(TStream* Stream, const TEncoding* Encoding, bool DetectBOM,
                                   int32_t BufferSize)
    : FBufferedData(TakeSpareText()), FBufferSize(std::max(BufferSize, MinBufferSize)), FDetectBOM(DetectBOM),
      FEncoding(Encoding), FSkipPreamble(!DetectBOM), FStream(Stream) {
  if (!Stream)
    throw EArgumentNilException("Parameter Stream cannot be nil");
  if (!Encoding)
    throw EArgumentNilException("Parameter Encoding cannot be nil");
}

TMz_StreamReader::TMz_StreamReader(const std::string& Filename)
    : TMz_StreamReader(Filename, &TEncoding::UTF8(), true) {}

TMz_StreamReader::TMz_StreamReader(const std::string& Filename, bool DetectBOM)
    : TMz_StreamReader(Filename, &TEncoding::UTF8(), DetectBOM) {}

TMz_StreamReader::TMz_StreamReader(const std::string& Filename, const TEncoding* Encoding, bool DetectBOM,
                                   int32_t BufferSize)
    : FBufferedData(TakeSpareText()), FBufferSize(std::max(BufferSize, MinBufferSize)), FDetectBOM(DetectBOM),
      FEncoding(Encoding), FSkipPreamble(!DetectBOM) {
  if (!Encoding)
    throw EArgumentNilException("Parameter Encoding cannot be nil");
  FStream = OpenForReading(Filename);
  FOwnsStream = true;
}

TMz_StreamReader::~TMz_StreamReader() {
  Close();
}

void TMz_StreamReader::Close() {
  if (FOwnsStream && FStream)
    FStream->Free();
  FOwnsStream = false;
  FStream = nullptr;
  FNoDataInStream = true;
  KeepSpareText(FBufferedData);
  std::vector<uint8_t>().swap(FBytes);
  FPending.clear();
}

size_t TMz_StreamReader::SkipPreamble(const uint8_t* bytes, size_t ACount) {
  if (FDetectBOM) {
    FDetectBOM = false;
    if (StartsWith(bytes, ACount, {0xEF, 0xBB, 0xBF})) {
      FEncoding = &TEncoding::UTF8();
      return 3;
    }
    if (StartsWith(bytes, ACount, {0xFF, 0xFE})) {
      FEncoding = &TEncoding::Unicode();
      return 2;
    }
    if (StartsWith(bytes, ACount, {0xFE, 0xFF})) {
      FEncoding = &TEncoding::BigEndianUnicode();
      return 2;
    }
    FEncoding = &TEncoding::UTF8();
    return 0;
  }
  if (FSkipPreamble) {
    FSkipPreamble = false;
    const std::vector<uint8_t> preamble = FEncoding->GetPreamble();
    if (ACount >= preamble.size() && std::equal(preamble.begin(), preamble.end(), bytes))
      return preamble.size();
  }
  return 0;
}

void TMz_StreamReader::DecodeStep() {
  DecodeStep(FBufferSize);
}

void TMz_StreamReader::DecodeStep(int32_t ABytes) {
  if (!FStream || FNoDataInStream)
    return;
  const bool first = FDetectBOM || FSkipPreamble;
  const auto maxExtra = static_cast<size_t>(FEncoding->GetMaxByteCount(1));
  const size_t carried = FPending.size();
  FBytes.assign(FPending.begin(), FPending.end());
  FPending.clear();
  FBytes.resize(carried + static_cast<size_t>(ABytes) + maxExtra);
  const auto read = static_cast<size_t>(FStream->Read(FBytes.data() + carried, ABytes));
  if (read < static_cast<size_t>(ABytes))
    FNoDataInStream = true;
  size_t count = carried + read;
  const size_t skipped = first ? SkipPreamble(FBytes.data(), count) : 0;
  const uint8_t* bytes = FBytes.data() + skipped;
  // A character the step cuts off is completed byte by byte, so no step ends inside one.
  for (size_t extra = 0;
       extra < maxExtra && !FNoDataInStream && FEncoding->IncompleteTail(bytes, count - skipped) > 0;
       ++extra) {
    if (FStream->Read(FBytes.data() + count, 1) != 1) {
      FNoDataInStream = true;
      break;
    }
    ++count;
  }
  // Ill-formed bytes can keep the end open (a run of UTF-8 lead bytes, of high surrogates); their
  // tail waits for the next step, so the text never depends on where the steps fall.
  const size_t tail = FNoDataInStream ? 0 : FEncoding->IncompleteTail(bytes, count - skipped);
  FPending.assign(FBytes.data() + count - tail, FBytes.data() + count);
  FEncoding->Decode(bytes, count - skipped - tail, FBufferedData);
}

bool TMz_StreamReader::eod() const {
  return FInternalIndex >= static_cast<int64_t>(FBufferedData.size());
}

bool TMz_StreamReader::IsDataToBuffer(int64_t pCount, int64_t pOffset) const {
  const int64_t index = FInternalIndex + (pOffset > 0 ? pOffset : 0);
  return index + pCount >= static_cast<int64_t>(FBufferedData.size()) && FStream &&
         index < FStream->GetSize();
}

bool TMz_StreamReader::EndOfStream() {
  if (NothingDecoded() && !FNoDataInStream)
    DecodeStep();
  return FNoDataInStream && NothingDecoded();
}

int32_t TMz_StreamReader::Read() {
  if (EndOfStream())
    return -1;
  if (NothingDecoded() || IsDataToBuffer(1, 0))
    DecodeStep();
  return CharAt(FInternalIndex++);
}

int32_t TMz_StreamReader::Current() const {
  return CharAt(FInternalIndex);
}

int32_t TMz_StreamReader::Peek() {
  if (EndOfStream())
    return -1;
  if (NothingDecoded() || IsDataToBuffer(1, 1))
    DecodeStep();
  return CharAt(FInternalIndex + 1);
}

int32_t TMz_StreamReader::Read(std::vector<char16_t>& Buffer, int32_t Index, int32_t Count) {
  if (EndOfStream())
    return -1;
  while (!FNoDataInStream && IsDataToBuffer(Count, 0))
    DecodeStep();
  const int64_t available = std::max<int64_t>(0, static_cast<int64_t>(FBufferedData.size()) - FInternalIndex);
  const auto count = static_cast<int32_t>(std::clamp<int64_t>(Count, 0, available));
  if (Buffer.size() < static_cast<size_t>(Index) + static_cast<size_t>(count))
    Buffer.resize(static_cast<size_t>(Index) + static_cast<size_t>(count));
  if (count > 0)
    std::memcpy(Buffer.data() + Index, FBufferedData.data() + FInternalIndex, static_cast<size_t>(count) * 2);
  FInternalIndex += count;
  return count;
}

int32_t TMz_StreamReader::ReadBlock(std::vector<char16_t>& Buffer, int32_t Index, int32_t Count) {
  if (Buffer.size() < static_cast<size_t>(std::max(Count, 0)))
    Buffer.resize(static_cast<size_t>(Count));
  return Read(Buffer, Index, Count);
}

int32_t TMz_StreamReader::ReadBlock(std::vector<char16_t>& Buffer, int32_t Count) {
  return ReadBlock(Buffer, 0, Count);
}

std::u16string TMz_StreamReader::ReadLine() {
  std::u16string line;
  for (;;) {
    const int32_t c = Read();
    if (c < 0)
      return line;
    if (c == '\n')
      return line;
    if (c == '\r') {
      if (eod() && !FNoDataInStream)
        DecodeStep();
      if (Current() == '\n')
        ++FInternalIndex;
      return line;
    }
    line.push_back(static_cast<char16_t>(c));
  }
}

std::u16string_view TMz_StreamReader::decodeAll() {
  // A memory stream is decoded in place, all at once.
  auto* memory = dynamic_cast<TCustomMemoryStream*>(FStream);
  if (memory && !FNoDataInStream && FPending.empty()) {
    const int64_t position = memory->GetPosition(), size = memory->GetSize();
    if (position < size) {
      const uint8_t* bytes = memory->Memory() + position;
      const auto count = static_cast<size_t>(size - position);
      const size_t skipped = FDetectBOM || FSkipPreamble ? SkipPreamble(bytes, count) : 0;
      FBufferedData.reserve(FBufferedData.size() + count - skipped);
      FEncoding->Decode(bytes + skipped, count - skipped, FBufferedData);
      memory->SetPosition(size);
    }
    FNoDataInStream = true;
    return FBufferedData;
  }
  // One step for all that is left: the text never depends on where the steps fall.
  if (FStream && !FNoDataInStream) {
    const int64_t rest = FStream->GetSize() - FStream->GetPosition();
    if (rest >= FBufferSize && rest < INT32_MAX) {
      FBufferedData.reserve(FBufferedData.size() + static_cast<size_t>(rest));
      DecodeStep(static_cast<int32_t>(rest) + 1);
    }
  }
  while (!FNoDataInStream)
    DecodeStep();
  return FBufferedData;
}

bool TMz_StreamReader::utf8Text(std::string_view& AText) {
  auto* memory = dynamic_cast<TCustomMemoryStream*>(FStream);
  if (!memory || FNoDataInStream || !FPending.empty() || !FBufferedData.empty())
    return false;
  const int64_t position = memory->GetPosition(), size = memory->GetSize();
  if (position >= size)
    return false;
  const uint8_t* bytes = memory->Memory() + position;
  const auto count = static_cast<size_t>(size - position);
  // Only detection (or a UTF-8 preamble) can be settled without decoding.
  const bool detects = FDetectBOM;
  if (!detects && FEncoding != &TEncoding::UTF8())
    return false;
  const bool utf16 = detects && count >= 2 &&
                     ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF));
  if (utf16)
    return false;
  const size_t skipped = FDetectBOM || FSkipPreamble ? SkipPreamble(bytes, count) : 0;
  AText = {reinterpret_cast<const char*>(bytes) + skipped, count - skipped};
  memory->SetPosition(size);
  FNoDataInStream = true;
  return true;
}

std::u16string TMz_StreamReader::ReadToEnd() {
  decodeAll();
  const int64_t from = std::clamp<int64_t>(FInternalIndex, 0, static_cast<int64_t>(FBufferedData.size()));
  std::u16string rest = FBufferedData.substr(static_cast<size_t>(from));
  FInternalIndex = static_cast<int64_t>(FBufferedData.size());
  return rest;
}

void TMz_StreamReader::revert(int64_t pCount) {
  if (FInternalIndex - pCount < 0)
    throw Exception("invalid internal index revert");
  FInternalIndex -= pCount;
}

void TMz_StreamReader::forward(int64_t pCount) {
  FInternalIndex += pCount;
  if (NothingDecoded() || IsDataToBuffer(1, 0))
    DecodeStep();
}

void TMz_StreamReader::DiscardBufferedData() {
  FInternalIndex = 0;
  FBufferedData.clear();
  FPending.clear();
  FNoDataInStream = false;
}

} // namespace vantrel
