#pragma once
// Writes a file safely: the bytes go to a sibling temporary "<name>.<8 random>.tmp" in the same
// folder, and only Commit() puts it in place of the target, by an atomic rename. Destroyed without
// Commit(), it deletes the temporary and leaves the target untouched, so a failure half-way
// through a save never destroys the file it was to replace.

#include <memory>
#include <string>

#include "rtl/streams.h"

namespace rtl {

class TReplacingFileStream : public TStream {
  RTL_CLASS(TReplacingFileStream, TStream)
public:
  explicit TReplacingFileStream(const std::string& AFileName);
  ~TReplacingFileStream() override;

  int64_t Read(void* ABuffer, int64_t ACount) override { return File().Read(ABuffer, ACount); }
  int64_t Write(const void* ABuffer, int64_t ACount) override { return File().Write(ABuffer, ACount); }
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override { return File().Seek(AOffset, AOrigin); }
  int64_t GetSize() override { return File().GetSize(); }
  void SetSize(int64_t ANewSize) override { File().SetSize(ANewSize); }

  // Closes the temporary and renames it over the target. Using the stream afterwards raises.
  void Commit();

  const std::string& FileName() const { return FFileName; }
  const std::string& TempFileName() const { return FTempFileName; }

private:
  TFileStream& File();

  std::string FFileName;
  std::string FTempFileName;
  std::unique_ptr<TFileStream> FFile;
};

} // namespace rtl
