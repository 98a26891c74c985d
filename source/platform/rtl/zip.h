#pragma once
// Zip archives on zlib: reading entries stored or deflated, adding entries at the end of the data,
// and the access to the central directory that removing an entry in place needs. Offsets and
// sizes are 32-bit; Zip64, encryption and split archives are refused.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "rtl/exceptions.h"
#include "rtl/streams.h"

namespace rtl {

RTL_DECLARE_EXCEPTION(EZipException, Exception);

enum class TZipMode { zmClosed = 0, zmRead = 1, zmReadWrite = 2, zmWrite = 3 };
enum class TZipCompression : uint16_t { zcStored = 0, zcDeflate = 8 };

// One record of the central directory, field for field. The name, extra field and comment are
// the raw bytes of the archive.
struct TZipHeader {
  uint16_t MadeByVersion = 0;
  uint16_t RequiredVersion = 0;
  uint16_t Flag = 0;
  uint16_t CompressionMethod = 0;
  uint32_t ModifiedDateTime = 0;
  uint32_t CRC32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t DiskNumberStart = 0;
  uint16_t InternalAttributes = 0;
  uint32_t ExternalAttributes = 0;
  uint32_t LocalHeaderOffset = 0;
  TBytes FileName;
  TBytes ExtraField;
  TBytes FileComment;
};

class TZipFile : public TObject {
  RTL_CLASS(TZipFile, TObject)
public:
  TZipFile() = default;
  // Closes the archive; errors are lost, so callers that must know call Close() first.
  ~TZipFile() override;

  // Opens an archive on AStream, which stays the caller's. Read and read-write modes read the
  // directory of a non-empty stream and raise when it is not a zip archive; an empty stream is an
  // empty archive in read-write mode and raises in read mode. Write mode starts an empty archive
  // at position 0. An archive already open is closed first.
  void Open(TStream* AStream, TZipMode AMode);
  // As above on a file: read-write mode creates the file when it is missing, write mode creates
  // or empties it.
  void Open(const std::string& AFileName, TZipMode AMode);
  // In the write modes, when anything changed, writes the directory and end record at the end of
  // the data and cuts the stream after them. Then the archive is closed.
  void Close();

  TZipMode GetMode() const { return FMode; }
  int GetFileCount() const { return static_cast<int>(FHeaders.size()); }
  // Entry names in archive order, as UTF-8.
  std::vector<std::string> GetFileNames() const;
  const TZipHeader& GetFileInfo(int AIndex) const;
  // The entry's name as UTF-8: flag bit 11 or valid UTF-8 is taken as it is, anything else is
  // code page 437.
  std::string GetFileName(int AIndex) const;
  // The first entry whose name equals AName ignoring ASCII case, or -1. The first lookup after
  // the directory changed builds a hash index of the names, so lookups in large archives stay
  // cheap.
  int IndexOf(const std::string& AName) const;

  // The entry's content, its CRC verified. A missing name raises EZipException.
  void Read(int AIndex, TBytes& ABytes);
  void Read(const std::string& AName, TBytes& ABytes);
  // The content as a new memory stream at position 0, and the entry's local header with the CRC
  // and sizes of the directory (the fields the local header lacks also come from the directory).
  void Read(int AIndex, TOwned<TStream>& AStream, TZipHeader& ALocalHeader);
  void Read(const std::string& AName, TOwned<TStream>& AStream, TZipHeader& ALocalHeader);

  // Appends an entry holding all of AStream (from position 0 when its size is known), even when
  // the name is already present. A failure leaves the archive as it was before the call.
  void Add(TStream* AStream, const std::string& AArchiveFileName,
           TZipCompression ACompression = TZipCompression::zcDeflate);
  void Add(const TBytes& ABytes, const std::string& AArchiveFileName,
           TZipCompression ACompression = TZipCompression::zcDeflate);
  // The archive name defaults to the file's name without its folder.
  void Add(const std::string& AFileName, const std::string& AArchiveFileName = {},
           TZipCompression ACompression = TZipCompression::zcDeflate);

  // For removing entries in place: the directory records, the offset where the next entry (or the
  // directory) goes, and the stream. The mutable accessors mark the archive changed, so Close
  // rewrites the directory.
  std::vector<TZipHeader>& CentralDirectory();
  uint32_t GetEndOfData() const { return FEndOfData; }
  void SetEndOfData(uint32_t AValue);
  TStream* GetStream() const { return FStream; }

private:
  void RequireOpen() const;
  void RequireWritable() const;
  void ReadDirectory();
  void ReadEndRecord(int64_t& ADirectoryOffset, int64_t& ADirectorySize, uint16_t& AEntries);
  void ParseDirectory(const TBytes& ABytes, int64_t ADirectoryOffset, uint16_t AEntries);
  // Checks the local header of an entry; returns where its data starts.
  int64_t DataOffset(const TZipHeader& AHeader, TZipHeader* ALocalHeader);
  TBytes Extract(int AIndex, TZipHeader* ALocalHeader);
  int RequireIndex(const std::string& AName) const;
  void WriteEntry(TStream& ASource, TZipHeader& AHeader);
  void WriteDirectory();
  void Reset();
  void BuildNameIndex() const;

  TStream* FStream = nullptr;
  TOwned<TStream> FOwnedStream;
  TZipMode FMode = TZipMode::zmClosed;
  std::vector<TZipHeader> FHeaders;
  TBytes FComment;
  uint32_t FEndOfData = 0;
  bool FChanged = false;
  // Lower-cased (ASCII) entry name -> the first entry of that name; valid while FNameIndexBuilt.
  // Dropped whenever the directory may change (Add, CentralDirectory, closing).
  mutable std::unordered_map<std::string, int> FNameIndex;
  mutable bool FNameIndexBuilt = false;
};

} // namespace rtl
