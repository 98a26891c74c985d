#include "rtl/zip.h"

#include <algorithm>
#include <array>

#include "rtl/date_time.h"
#include "rtl/ioutils.h"
#include "rtl/sysutils.h"
#include "rtl/zlib_streams.h"

namespace rtl {

RTL_DEFINE_CLASS(TZipFile, "Rtl.Zip")

namespace {

constexpr uint32_t LocalSignature = 0x04034B50;
constexpr uint32_t CentralSignature = 0x02014B50;
constexpr uint32_t EndSignature = 0x06054B50;
constexpr uint32_t Zip64LocatorSignature = 0x07064B50;
constexpr int64_t LocalHeaderSize = 30;
constexpr size_t CentralHeaderSize = 46;
constexpr int64_t EndRecordSize = 22;
constexpr int64_t Zip64LocatorSize = 20;
// The end record plus the longest comment it can carry.
constexpr int64_t EndSearchSize = EndRecordSize + 0xFFFF;
// 0xFFFF and 0xFFFFFFFF in a count, size or offset say "see the Zip64 record", so 32-bit values
// must stay below them.
constexpr int64_t Max32 = 0xFFFFFFFF;
constexpr size_t MaxEntries = 0xFFFF;
constexpr size_t MaxField = 0xFFFF;
constexpr uint16_t FlagEncrypted = 0x0001;
constexpr uint16_t FlagUtf8 = 0x0800;
// Version 2.0, host MS-DOS (0 in the high byte).
constexpr uint16_t Version20 = 20;
constexpr int64_t CopyChunk = 1 << 20;

constexpr std::array<uint16_t, 128> Cp437High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

[[noreturn]] void Corrupt(const char* AWhat) {
  throw EZipException(std::string("Corrupt zip archive: ") + AWhat);
}

[[noreturn]] void Zip64Refused() {
  throw EZipException("Zip64 archives are not supported");
}

[[noreturn]] void TooLarge() {
  throw EZipException("Zip archives are limited to 4 GiB and 65535 entries");
}

uint16_t Get16(const uint8_t* AData) {
  return static_cast<uint16_t>(AData[0] | AData[1] << 8);
}

uint32_t Get32(const uint8_t* AData) {
  return uint32_t{Get16(AData)} | uint32_t{Get16(AData + 2)} << 16;
}

void Put16(TBytes& ABytes, uint32_t AValue) {
  ABytes.push_back(static_cast<uint8_t>(AValue));
  ABytes.push_back(static_cast<uint8_t>(AValue >> 8));
}

void Put32(TBytes& ABytes, uint32_t AValue) {
  Put16(ABytes, AValue & 0xFFFF);
  Put16(ABytes, AValue >> 16);
}

void PutBytes(TBytes& ABytes, const TBytes& AValue) {
  ABytes.insert(ABytes.end(), AValue.begin(), AValue.end());
}

// Strict UTF-8: no overlong forms, surrogates or values beyond U+10FFFF.
bool IsValidUtf8(const TBytes& ABytes) {
  for (size_t i = 0; i < ABytes.size();) {
    const uint8_t lead = ABytes[i];
    int length;
    uint32_t minimum, value;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, minimum = 0x80, value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, minimum = 0x800, value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, minimum = 0x10000, value = lead & 0x07;
    } else {
      return false;
    }
    if (ABytes.size() - i < static_cast<size_t>(length))
      return false;
    for (int k = 1; k < length; ++k) {
      if ((ABytes[i + k] & 0xC0) != 0x80)
        return false;
      value = value << 6 | (ABytes[i + k] & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
      return false;
    i += static_cast<size_t>(length);
  }
  return true;
}

void AppendUtf8(std::string& AText, uint32_t ACodePoint) {
  if (ACodePoint < 0x80) {
    AText += static_cast<char>(ACodePoint);
  } else if (ACodePoint < 0x800) {
    AText += static_cast<char>(0xC0 | ACodePoint >> 6);
    AText += static_cast<char>(0x80 | (ACodePoint & 0x3F));
  } else {
    AText += static_cast<char>(0xE0 | ACodePoint >> 12);
    AText += static_cast<char>(0x80 | ((ACodePoint >> 6) & 0x3F));
    AText += static_cast<char>(0x80 | (ACodePoint & 0x3F));
  }
}

std::string Cp437ToUtf8(const TBytes& ABytes) {
  std::string text;
  for (const uint8_t byte : ABytes)
    AppendUtf8(text, byte < 0x80 ? byte : Cp437High[byte - 0x80]);
  return text;
}

TBytes LocalHeader(const TZipHeader& AHeader) {
  TBytes bytes;
  Put32(bytes, LocalSignature);
  Put16(bytes, AHeader.RequiredVersion);
  Put16(bytes, AHeader.Flag);
  Put16(bytes, AHeader.CompressionMethod);
  Put32(bytes, AHeader.ModifiedDateTime);
  Put32(bytes, AHeader.CRC32);
  Put32(bytes, AHeader.CompressedSize);
  Put32(bytes, AHeader.UncompressedSize);
  Put16(bytes, static_cast<uint32_t>(AHeader.FileName.size()));
  Put16(bytes, static_cast<uint32_t>(AHeader.ExtraField.size()));
  PutBytes(bytes, AHeader.FileName);
  PutBytes(bytes, AHeader.ExtraField);
  return bytes;
}

void PutCentralRecord(TBytes& ABytes, const TZipHeader& AHeader) {
  if (AHeader.FileName.size() > MaxField || AHeader.ExtraField.size() > MaxField ||
      AHeader.FileComment.size() > MaxField)
    throw EZipException("A zip entry's name, extra field or comment is longer than 65535 bytes");
  Put32(ABytes, CentralSignature);
  Put16(ABytes, AHeader.MadeByVersion);
  Put16(ABytes, AHeader.RequiredVersion);
  Put16(ABytes, AHeader.Flag);
  Put16(ABytes, AHeader.CompressionMethod);
  Put32(ABytes, AHeader.ModifiedDateTime);
  Put32(ABytes, AHeader.CRC32);
  Put32(ABytes, AHeader.CompressedSize);
  Put32(ABytes, AHeader.UncompressedSize);
  Put16(ABytes, static_cast<uint32_t>(AHeader.FileName.size()));
  Put16(ABytes, static_cast<uint32_t>(AHeader.ExtraField.size()));
  Put16(ABytes, static_cast<uint32_t>(AHeader.FileComment.size()));
  Put16(ABytes, AHeader.DiskNumberStart);
  Put16(ABytes, AHeader.InternalAttributes);
  Put32(ABytes, AHeader.ExternalAttributes);
  Put32(ABytes, AHeader.LocalHeaderOffset);
  PutBytes(ABytes, AHeader.FileName);
  PutBytes(ABytes, AHeader.ExtraField);
  PutBytes(ABytes, AHeader.FileComment);
}

TBytes ReadAt(TStream& AStream, int64_t AOffset, int64_t ACount) {
  TBytes bytes(static_cast<size_t>(ACount));
  AStream.SetPosition(AOffset);
  AStream.ReadBuffer(bytes.data(), ACount);
  return bytes;
}

// Copies the source to the end, or as a stream of unknown size from its position, in chunks.
template <class TSink> void CopySource(TStream& ASource, TSink&& ASink) {
  if (ASource.GetSize() >= 0)
    ASource.SetPosition(0);
  TBytes buffer(static_cast<size_t>(CopyChunk));
  while (const int64_t count = ASource.Read(buffer.data(), CopyChunk))
    ASink(buffer.data(), count);
}

} // namespace

TZipFile::~TZipFile() {
  try {
    Close();
  } catch (...) {
    // Destructors cannot report; callers that must know call Close() themselves.
  }
}

void TZipFile::Open(TStream* AStream, TZipMode AMode) {
  Close();
  if (!AStream)
    throw EArgumentNilException("A zip archive needs a stream");
  if (AMode == TZipMode::zmClosed)
    throw EArgumentException("A zip archive cannot be opened in the closed mode");
  FStream = AStream;
  try {
    if (AMode == TZipMode::zmWrite || (AMode == TZipMode::zmReadWrite && AStream->GetSize() == 0))
      FChanged = true;
    else
      ReadDirectory();
  } catch (...) {
    Reset();
    throw;
  }
  FMode = AMode;
}

void TZipFile::Open(const std::string& AFileName, TZipMode AMode) {
  TFileMode fileMode = fmCreate;
  if (AMode == TZipMode::zmRead)
    fileMode = fmOpenRead | fmShareDenyWrite;
  else if (AMode == TZipMode::zmReadWrite && TFile::Exists(AFileName))
    fileMode = fmOpenReadWrite | fmShareDenyWrite;
  Close();
  TOwned<TStream> stream(New<TFileStream>(AFileName, fileMode));
  Open(stream.get(), AMode);
  FOwnedStream = std::move(stream);
}

void TZipFile::Close() {
  if (FMode == TZipMode::zmClosed)
    return;
  try {
    if (FMode != TZipMode::zmRead && FChanged)
      WriteDirectory();
  } catch (...) {
    Reset();
    throw;
  }
  Reset();
}

void TZipFile::Reset() {
  FStream = nullptr;
  FOwnedStream.reset();
  FMode = TZipMode::zmClosed;
  FHeaders.clear();
  FComment.clear();
  FEndOfData = 0;
  FChanged = false;
  FNameIndex.clear();
  FNameIndexBuilt = false;
}

void TZipFile::RequireOpen() const {
  if (FMode == TZipMode::zmClosed)
    throw EZipException("The zip archive is not open");
}

void TZipFile::RequireWritable() const {
  if (FMode != TZipMode::zmWrite && FMode != TZipMode::zmReadWrite)
    throw EZipException("The zip archive is not open for writing");
}

// Reading the directory

void TZipFile::ReadDirectory() {
  int64_t offset, size;
  uint16_t entries;
  ReadEndRecord(offset, size, entries);
  ParseDirectory(ReadAt(*FStream, offset, size), offset, entries);
  FEndOfData = static_cast<uint32_t>(offset);
}

void TZipFile::ReadEndRecord(int64_t& ADirectoryOffset, int64_t& ADirectorySize, uint16_t& AEntries) {
  const int64_t streamSize = FStream->GetSize();
  if (streamSize < EndRecordSize)
    throw EZipException("The stream is not a zip archive");
  const int64_t tailStart = streamSize - std::min(streamSize, EndSearchSize);
  const TBytes tail = ReadAt(*FStream, tailStart, streamSize - tailStart);
  // The last signature whose record and comment fit is the end record.
  int64_t at = static_cast<int64_t>(tail.size()) - EndRecordSize;
  for (; at >= 0; --at) {
    const uint8_t* p = tail.data() + at;
    if (Get32(p) == EndSignature && at + EndRecordSize + Get16(p + 20) <= static_cast<int64_t>(tail.size()))
      break;
  }
  if (at < 0)
    throw EZipException("The stream is not a zip archive");
  const uint8_t* record = tail.data() + at;
  const int64_t recordOffset = tailStart + at;
  AEntries = Get16(record + 10);
  ADirectorySize = Get32(record + 12);
  ADirectoryOffset = Get32(record + 16);
  const bool locator = at >= Zip64LocatorSize && Get32(record - Zip64LocatorSize) == Zip64LocatorSignature;
  if (locator || AEntries == MaxEntries || ADirectorySize == Max32 || ADirectoryOffset == Max32)
    Zip64Refused();
  if (Get16(record + 4) != 0 || Get16(record + 6) != 0 || Get16(record + 8) != AEntries)
    throw EZipException("Split zip archives are not supported");
  if (ADirectoryOffset + ADirectorySize > recordOffset)
    Corrupt("the directory lies outside the archive");
  FComment.assign(record + EndRecordSize, record + EndRecordSize + Get16(record + 20));
}

void TZipFile::ParseDirectory(const TBytes& ABytes, int64_t ADirectoryOffset, uint16_t AEntries) {
  size_t at = 0;
  for (int i = 0; i < AEntries; ++i) {
    const uint8_t* p = ABytes.data() + at;
    if (ABytes.size() - at < CentralHeaderSize || Get32(p) != CentralSignature)
      Corrupt("a directory record is missing");
    const size_t nameLength = Get16(p + 28), extraLength = Get16(p + 30), commentLength = Get16(p + 32);
    const size_t recordSize = CentralHeaderSize + nameLength + extraLength + commentLength;
    if (ABytes.size() - at < recordSize)
      Corrupt("a directory record runs past the directory");
    TZipHeader header;
    header.MadeByVersion = Get16(p + 4);
    header.RequiredVersion = Get16(p + 6);
    header.Flag = Get16(p + 8);
    header.CompressionMethod = Get16(p + 10);
    header.ModifiedDateTime = Get32(p + 12);
    header.CRC32 = Get32(p + 16);
    header.CompressedSize = Get32(p + 20);
    header.UncompressedSize = Get32(p + 24);
    header.DiskNumberStart = Get16(p + 34);
    header.InternalAttributes = Get16(p + 36);
    header.ExternalAttributes = Get32(p + 38);
    header.LocalHeaderOffset = Get32(p + 42);
    const uint8_t* name = p + CentralHeaderSize;
    header.FileName.assign(name, name + nameLength);
    header.ExtraField.assign(name + nameLength, name + nameLength + extraLength);
    header.FileComment.assign(name + nameLength + extraLength, name + recordSize - CentralHeaderSize);
    if (header.CompressedSize == Max32 || header.UncompressedSize == Max32 ||
        header.LocalHeaderOffset == Max32 || header.DiskNumberStart == MaxEntries)
      Zip64Refused();
    if (header.LocalHeaderOffset + LocalHeaderSize > ADirectoryOffset)
      Corrupt("an entry lies outside the data");
    FHeaders.push_back(std::move(header));
    at += recordSize;
  }
}

// Names and lookups

const TZipHeader& TZipFile::GetFileInfo(int AIndex) const {
  if (AIndex < 0 || AIndex >= GetFileCount())
    throw EArgumentOutOfRangeException(Format(messages::ListIndexError, AIndex));
  return FHeaders[static_cast<size_t>(AIndex)];
}

std::string TZipFile::GetFileName(int AIndex) const {
  const TZipHeader& header = GetFileInfo(AIndex);
  if ((header.Flag & FlagUtf8) || IsValidUtf8(header.FileName))
    return std::string(header.FileName.begin(), header.FileName.end());
  return Cp437ToUtf8(header.FileName);
}

std::vector<std::string> TZipFile::GetFileNames() const {
  std::vector<std::string> names;
  for (int i = 0; i < GetFileCount(); ++i)
    names.push_back(GetFileName(i));
  return names;
}

void TZipFile::BuildNameIndex() const {
  FNameIndex.clear();
  FNameIndex.reserve(FHeaders.size());
  // emplace keeps the first entry of a name that occurs twice.
  for (int i = 0; i < GetFileCount(); ++i)
    FNameIndex.emplace(LowerCase(GetFileName(i)), i);
  FNameIndexBuilt = true;
}

int TZipFile::IndexOf(const std::string& AName) const {
  if (!FNameIndexBuilt)
    BuildNameIndex();
  const auto it = FNameIndex.find(LowerCase(AName));
  return it == FNameIndex.end() ? -1 : it->second;
}

int TZipFile::RequireIndex(const std::string& AName) const {
  const int index = IndexOf(AName);
  if (index < 0)
    throw EZipException(Format("The zip archive has no entry '%s'", AName));
  return index;
}

// Reading entries

int64_t TZipFile::DataOffset(const TZipHeader& AHeader, TZipHeader* ALocalHeader) {
  const int64_t limit = std::min<int64_t>(FEndOfData, FStream->GetSize());
  const int64_t offset = AHeader.LocalHeaderOffset;
  if (offset + LocalHeaderSize > limit)
    Corrupt("a local header lies outside the data");
  const TBytes local = ReadAt(*FStream, offset, LocalHeaderSize);
  if (Get32(local.data()) != LocalSignature)
    Corrupt("a local header signature is wrong");
  const int64_t nameLength = Get16(local.data() + 26), extraLength = Get16(local.data() + 28);
  const int64_t dataStart = offset + LocalHeaderSize + nameLength + extraLength;
  if (dataStart + AHeader.CompressedSize > limit)
    Corrupt("an entry's data runs past the end of the data");
  if (ALocalHeader) {
    *ALocalHeader = AHeader;
    ALocalHeader->RequiredVersion = Get16(local.data() + 4);
    ALocalHeader->Flag = Get16(local.data() + 6);
    ALocalHeader->CompressionMethod = Get16(local.data() + 8);
    ALocalHeader->ModifiedDateTime = Get32(local.data() + 10);
    const TBytes fields = ReadAt(*FStream, offset + LocalHeaderSize, nameLength + extraLength);
    ALocalHeader->FileName.assign(fields.begin(), fields.begin() + nameLength);
    ALocalHeader->ExtraField.assign(fields.begin() + nameLength, fields.end());
  }
  return dataStart;
}

TBytes TZipFile::Extract(int AIndex, TZipHeader* ALocalHeader) {
  RequireOpen();
  const TZipHeader& header = GetFileInfo(AIndex);
  if (header.Flag & FlagEncrypted)
    throw EZipException("Encrypted zip entries are not supported");
  const uint16_t method = header.CompressionMethod;
  if (method != uint16_t(TZipCompression::zcStored) && method != uint16_t(TZipCompression::zcDeflate))
    throw EZipException(Format("unsupported compression method %d", method));
  const int64_t dataStart = DataOffset(header, ALocalHeader);
  TBytes content = ReadAt(*FStream, dataStart, header.CompressedSize);
  if (method == uint16_t(TZipCompression::zcDeflate)) {
    try {
      content = ZDecompress(content, ZRawDeflate, header.UncompressedSize);
    } catch (const EZLibError& error) {
      throw EZipException(Format("Corrupt data in zip entry '%s': %s", GetFileName(AIndex), error.Message()));
    }
  }
  if (content.size() != header.UncompressedSize)
    Corrupt("an entry's size differs from its directory record");
  if (Crc32(0, content) != header.CRC32)
    throw EZipException(Format("CRC mismatch in zip entry '%s'", GetFileName(AIndex)));
  return content;
}

void TZipFile::Read(int AIndex, TBytes& ABytes) {
  ABytes = Extract(AIndex, nullptr);
}

void TZipFile::Read(const std::string& AName, TBytes& ABytes) {
  Read(RequireIndex(AName), ABytes);
}

void TZipFile::Read(int AIndex, TOwned<TStream>& AStream, TZipHeader& ALocalHeader) {
  TZipHeader local;
  TBytes content = Extract(AIndex, &local);
  AStream.reset(New<TBytesStream>(std::move(content)));
  ALocalHeader = std::move(local);
}

void TZipFile::Read(const std::string& AName, TOwned<TStream>& AStream, TZipHeader& ALocalHeader) {
  Read(RequireIndex(AName), AStream, ALocalHeader);
}

// Writing

void TZipFile::Add(TStream* AStream, const std::string& AArchiveFileName, TZipCompression ACompression) {
  RequireWritable();
  if (!AStream)
    throw EArgumentNilException("No stream to add to the zip archive");
  if (AArchiveFileName.size() > MaxField)
    throw EZipException("A zip entry's name is longer than 65535 bytes");
  if (FHeaders.size() >= MaxEntries - 1)
    TooLarge();
  TZipHeader header;
  header.MadeByVersion = Version20;
  header.RequiredVersion = Version20;
  header.Flag = FlagUtf8;
  header.CompressionMethod = static_cast<uint16_t>(ACompression);
  header.ModifiedDateTime = DateTimeToDosDateTime(TDateTime::Now());
  header.LocalHeaderOffset = FEndOfData;
  header.FileName.assign(AArchiveFileName.begin(), AArchiveFileName.end());
  // Writing starts over the old directory, so Close must rewrite it even when this entry fails.
  FChanged = true;
  WriteEntry(*AStream, header);
  FHeaders.push_back(std::move(header));
  FNameIndexBuilt = false;
}

void TZipFile::Add(const TBytes& ABytes, const std::string& AArchiveFileName, TZipCompression ACompression) {
  TBytesStream stream(ABytes);
  Add(&stream, AArchiveFileName, ACompression);
}

void TZipFile::Add(const std::string& AFileName, const std::string& AArchiveFileName,
                   TZipCompression ACompression) {
  TFileStream stream(AFileName, fmOpenRead | fmShareDenyWrite);
  Add(&stream, AArchiveFileName.empty() ? TPath::GetFileName(AFileName) : AArchiveFileName, ACompression);
}

// Writes the local header with zero CRC and sizes, the data, then patches CRC and sizes in, so no
// data descriptor is needed. FEndOfData moves only when all of it succeeded.
void TZipFile::WriteEntry(TStream& ASource, TZipHeader& AHeader) {
  const int64_t start = FEndOfData;
  const TBytes local = LocalHeader(AHeader);
  FStream->SetPosition(start);
  FStream->WriteBuffer(local.data(), static_cast<int64_t>(local.size()));
  const int64_t dataStart = FStream->GetPosition();
  uint32_t crc = 0;
  int64_t size = 0;
  auto account = [&](const uint8_t* AData, int64_t ACount) {
    crc = Crc32(crc, AData, static_cast<size_t>(ACount));
    size += ACount;
    if (size >= Max32)
      TooLarge();
  };
  if (AHeader.CompressionMethod == uint16_t(TZipCompression::zcStored)) {
    CopySource(ASource, [&](const uint8_t* AData, int64_t ACount) {
      account(AData, ACount);
      FStream->WriteBuffer(AData, ACount);
    });
  } else {
    TZCompressionStream compressor(FStream, TZCompressionLevel::clDefault, ZRawDeflate);
    CopySource(ASource, [&](const uint8_t* AData, int64_t ACount) {
      account(AData, ACount);
      compressor.WriteBuffer(AData, ACount);
    });
    compressor.Finish();
  }
  const int64_t dataEnd = FStream->GetPosition();
  if (dataEnd >= Max32)
    TooLarge();
  AHeader.CRC32 = crc;
  AHeader.CompressedSize = static_cast<uint32_t>(dataEnd - dataStart);
  AHeader.UncompressedSize = static_cast<uint32_t>(size);
  TBytes patch;
  Put32(patch, AHeader.CRC32);
  Put32(patch, AHeader.CompressedSize);
  Put32(patch, AHeader.UncompressedSize);
  FStream->SetPosition(start + 14);
  FStream->WriteBuffer(patch.data(), static_cast<int64_t>(patch.size()));
  FEndOfData = static_cast<uint32_t>(dataEnd);
}

void TZipFile::WriteDirectory() {
  TBytes bytes;
  for (const TZipHeader& header : FHeaders)
    PutCentralRecord(bytes, header);
  const auto directorySize = static_cast<int64_t>(bytes.size());
  if (FHeaders.size() >= MaxEntries || FEndOfData + directorySize >= Max32)
    TooLarge();
  if (FComment.size() > MaxField)
    throw EZipException("The zip archive's comment is longer than 65535 bytes");
  Put32(bytes, EndSignature);
  Put16(bytes, 0);
  Put16(bytes, 0);
  Put16(bytes, static_cast<uint32_t>(FHeaders.size()));
  Put16(bytes, static_cast<uint32_t>(FHeaders.size()));
  Put32(bytes, static_cast<uint32_t>(directorySize));
  Put32(bytes, FEndOfData);
  Put16(bytes, static_cast<uint32_t>(FComment.size()));
  PutBytes(bytes, FComment);
  FStream->SetPosition(FEndOfData);
  FStream->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  const int64_t end = FStream->GetPosition();
  if (FStream->GetSize() > end)
    FStream->SetSize(end);
}

// In-place editing

std::vector<TZipHeader>& TZipFile::CentralDirectory() {
  FChanged = true;
  // The caller may rename, remove or reorder entries.
  FNameIndexBuilt = false;
  return FHeaders;
}

void TZipFile::SetEndOfData(uint32_t AValue) {
  FEndOfData = AValue;
  FChanged = true;
}

} // namespace rtl
