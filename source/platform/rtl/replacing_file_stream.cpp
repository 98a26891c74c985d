#include "rtl/replacing_file_stream.h"

#include <cstdio>

#include "rtl/ioutils.h"
#include "rtl/random.h"
#include "rtl/sysutils.h"

namespace rtl {

RTL_DEFINE_CLASS(TReplacingFileStream, "System.Classes")

namespace {

std::string TempNameFor(const std::string& AFileName) {
  uint32_t bits = 0;
  SystemRandomBytes(&bits, sizeof(bits));
  char suffix[16];
  std::snprintf(suffix, sizeof(suffix), ".%08x.tmp", bits);
  return AFileName + suffix;
}

} // namespace

TReplacingFileStream::TReplacingFileStream(const std::string& AFileName)
    : FFileName(AFileName), FTempFileName(TempNameFor(AFileName)),
      FFile(std::make_unique<TFileStream>(FTempFileName, fmCreate)) {}

TReplacingFileStream::~TReplacingFileStream() {
  if (!FFile)
    return;
  FFile.reset();
  try {
    TFile::Delete(FTempFileName);
  } catch (...) {
    // A destructor must not raise; the temporary stays behind in the worst case.
  }
}

TFileStream& TReplacingFileStream::File() {
  if (!FFile)
    throw EStreamError("TReplacingFileStream: the stream is committed");
  return *FFile;
}

void TReplacingFileStream::Commit() {
  File();
  FFile.reset();
  try {
    TFile::Replace(FTempFileName, FFileName);
  } catch (...) {
    TFile::Delete(FTempFileName);
    throw;
  }
}

} // namespace rtl
