// Archive references: the shared, locked access of packages to their zip archives.
#include "definitions/Vantrel.AssetsManager.h"

#include <algorithm>
#include <exception>
#include "rtl/ioutils.h"
#include "rtl/sync.h"
#include "utils/Vantrel.Utils.Zip.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelArchiveReference, "Vantrel.AssetsManager")
RTL_DEFINE_CLASS(TVantrelFileArchiveReference, "Vantrel.AssetsManager")
RTL_DEFINE_CLASS(TVantrelInMemoryArchiveReference, "Vantrel.AssetsManager")
RTL_DEFINE_CLASS(TVantrelArchiveReferences, "Vantrel.AssetsManager")

namespace {

// One archive operation: the reference locked and opened for its whole length, closed and
// unlocked on every exit.
class TArchiveOperation {
public:
  explicit TArchiveOperation(TVantrelArchiveReference& AReference) : FLock(&AReference), FReference(AReference) {
    FReference.Open();
  }
  ~TArchiveOperation() noexcept(false) {
    // A close that fails while an exception is already on its way must not end the process.
    if (std::uncaught_exceptions() > FUncaught) {
      try {
        FReference.Close();
      } catch (...) {
      }
    } else {
      FReference.Close();
    }
  }
  TArchiveOperation(const TArchiveOperation&) = delete;
  TArchiveOperation& operator=(const TArchiveOperation&) = delete;

private:
  rtl::TMonitorLock FLock;
  TVantrelArchiveReference& FReference;
  int FUncaught = std::uncaught_exceptions();
};

} // namespace

// A write closes a zip that a read scope keeps (nothing changed in it, so nothing is written),
// and its own Close then really closes, so the archive on disk is complete after it.
class TVantrelArchiveReference::TWriteScope {
public:
  explicit TWriteScope(TVantrelArchiveReference& AReference) : FReference(AReference) {
    if (FReference.FWriteDepth++ == 0 && FReference.FReadDepth > 0)
      FReference.CloseZip();
  }
  ~TWriteScope() { --FReference.FWriteDepth; }
  TWriteScope(const TWriteScope&) = delete;
  TWriteScope& operator=(const TWriteScope&) = delete;

private:
  TVantrelArchiveReference& FReference;
};

// --- TVantrelArchiveReference --------------------------------------------------------------------

TVantrelArchiveReference::TVantrelArchiveReference(TVantrelAssetsManager* AMngr, const std::string& AId)
    : FManager(AMngr), FId(AId) {}

TVantrelArchiveReference::~TVantrelArchiveReference() {
  // The kinds close in their own destructors, while their stream exists; this only drops a zip
  // that is left.
  FArchive.reset();
}

bool TVantrelArchiveReference::IsOpened() const {
  rtl::TMonitorLock lock(this);
  return FArchive && FArchive->GetMode() != rtl::TZipMode::zmClosed;
}

void TVantrelArchiveReference::IncRef() {
  ++FRefCount;
}

void TVantrelArchiveReference::DecRef() {
  if (--FRefCount > 0 || !FReferences)
    return;
  // The id is copied: closing frees this reference, and its own id with it.
  const std::string id = FId;
  FReferences->CloseArchive(id);
}

void TVantrelArchiveReference::Open() {
  rtl::TMonitorLock lock(this);
  ++FOpenCount;
  if (IsOpened())
    return;
  try {
    OpenArchive();
  } catch (...) {
    --FOpenCount;
    throw;
  }
}

void TVantrelArchiveReference::Close() {
  rtl::TMonitorLock lock(this);
  --FOpenCount;
  if (KeptByReadScope())
    return;
  CloseZip();
}

void TVantrelArchiveReference::CloseZip() {
  if (!FArchive)
    return;
  // The zip is dropped and the stream let go even when writing the directory fails.
  struct TRelease {
    TVantrelArchiveReference& Reference;
    ~TRelease() {
      Reference.FArchive.reset();
      Reference.ArchiveClosed();
    }
  } release{*this};
  FArchive->Close();
}

void TVantrelArchiveReference::OpenZipOn(rtl::TStream* AStream) {
  if (!FArchive)
    FArchive.reset(rtl::New<rtl::TZipFile>());
  FArchive->Open(AStream, rtl::TZipMode::zmReadWrite);
  ++FZipOpenCount;
}

bool TVantrelArchiveReference::FileExists(const std::string& AFile) {
  TArchiveOperation operation(*this);
  return IsOpened() && FArchive->IndexOf(AFile) >= 0;
}

void TVantrelArchiveReference::AddFromStream(rtl::TStream* AStream, const std::string& APath) {
  rtl::TMonitorLock lock(this);
  TWriteScope write(*this);
  TArchiveOperation operation(*this);
  FArchive->Add(AStream, APath, rtl::TZipCompression::zcDeflate);
}

void TVantrelArchiveReference::ReadToStream(const std::string& APath, rtl::TStream* AStream,
                                            rtl::TZipHeader& AHeader) {
  if (!AStream)
    return;
  TArchiveOperation operation(*this);
  AHeader = rtl::TZipHeader();
  rtl::TOwned<rtl::TStream> entry;
  FArchive->Read(APath, entry, AHeader);
  CopyChunks(*entry, *AStream, entry->GetSize());
  AStream->SetPosition(0);
}

void TVantrelArchiveReference::DeleteFile(const std::string& AFile) {
  rtl::TMonitorLock lock(this);
  TWriteScope write(*this);
  TArchiveOperation operation(*this);
  if (FArchive->IndexOf(AFile) >= 0)
    RemoveZipEntry(*FArchive, AFile);
}

std::vector<std::string> TVantrelArchiveReference::GetFileNames() {
  TArchiveOperation operation(*this);
  return FArchive->GetFileNames();
}

void TVantrelArchiveReference::SaveToFile(IVantrelArchiveContent* APckg, const std::string& /*AFilename*/) {
  rtl::TMonitorLock lock(this);
  TWriteScope write(*this);
  if (APckg)
    APckg->SaveToArchive(*this);
}

void TVantrelArchiveReference::SaveToStream(IVantrelArchiveContent* APckg, rtl::TStream* /*AStream*/) {
  rtl::TMonitorLock lock(this);
  TWriteScope write(*this);
  if (APckg)
    APckg->SaveToArchive(*this);
}

void TVantrelArchiveReference::BeginRead() {
  rtl::TMonitor::Enter(this);
  if (FReadDepth++ > 0 || IsOpened())
    return;
  // The scope's own open, not counted as an operation's; the outermost EndRead closes it.
  try {
    OpenArchive();
  } catch (...) {
    --FReadDepth;
    rtl::TMonitor::Exit(this);
    throw;
  }
}

void TVantrelArchiveReference::EndRead() {
  // Locked first, so a stray EndRead on another thread waits and then finds no scope of its own.
  rtl::TMonitorLock lock(this);
  if (FReadDepth <= 0)
    return;
  // The scope's own hold ends also when closing the zip fails.
  struct TUnlock {
    const TVantrelArchiveReference* Reference;
    ~TUnlock() { rtl::TMonitor::Exit(Reference); }
  } unlock{this};
  if (--FReadDepth == 0)
    CloseZip();
}

void TVantrelArchiveReference::CopyChunks(rtl::TStream& ASource, rtl::TStream& ADest, int64_t ACount) {
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min(ACount, ChunkSize)));
  while (ACount > 0) {
    const int64_t piece = std::min(ACount, ChunkSize);
    ASource.ReadBuffer(buffer.data(), piece);
    ADest.WriteBuffer(buffer.data(), piece);
    ACount -= piece;
  }
}

void TVantrelArchiveReference::CopyToFile(rtl::TStream& ASource, const std::string& AFilename) {
  const std::string temporary =
      rtl::TPath::Combine(rtl::TPath::GetDirectoryName(AFilename),
                          "." + rtl::TPath::GetFileName(AFilename) + "." + rtl::TPath::GetRandomFileName());
  try {
    {
      rtl::TFileStream target(temporary, rtl::fmCreate);
      ASource.SetPosition(0);
      CopyChunks(ASource, target, ASource.GetSize());
    }
    rtl::TFile::Replace(temporary, AFilename);
  } catch (...) {
    rtl::TFile::Delete(temporary);
    throw;
  }
}

// --- TVantrelFileArchiveReference ----------------------------------------------------------------

TVantrelFileArchiveReference::~TVantrelFileArchiveReference() {
  try {
    rtl::TMonitorLock lock(this);
    CloseZip();
  } catch (...) {
    // Destructors cannot report; a failed directory write leaves the file as it was.
  }
}

rtl::TOwned<rtl::TFileStream> TVantrelFileArchiveReference::OpenFile() const {
  const rtl::TFileMode mode =
      rtl::TFile::Exists(Id()) ? rtl::fmOpenReadWrite | rtl::fmShareDenyNone : rtl::fmCreate;
  return rtl::TOwned<rtl::TFileStream>(rtl::New<rtl::TFileStream>(Id(), mode));
}

void TVantrelFileArchiveReference::OpenArchive() {
  if (!FStream)
    FStream = OpenFile();
  try {
    OpenZipOn(FStream.get());
  } catch (...) {
    FStream.reset();
    throw;
  }
}

void TVantrelFileArchiveReference::SaveToFile(IVantrelArchiveContent* APckg, const std::string& AFilename) {
  rtl::TMonitorLock lock(this);
  TWriteScope write(*this);
  inherited::SaveToFile(APckg, AFilename);
  if (AFilename == Id())
    return;
  rtl::TOwned<rtl::TFileStream> source = OpenFile();
  CopyToFile(*source, AFilename);
}

void TVantrelFileArchiveReference::SaveToStream(IVantrelArchiveContent* APckg, rtl::TStream* AStream) {
  rtl::TMonitorLock lock(this);
  TWriteScope write(*this);
  inherited::SaveToStream(APckg, AStream);
  if (!AStream)
    return;
  rtl::TOwned<rtl::TFileStream> source = OpenFile();
  CopyChunks(*source, *AStream, source->GetSize());
}

// --- TVantrelInMemoryArchiveReference ------------------------------------------------------------

TVantrelInMemoryArchiveReference::~TVantrelInMemoryArchiveReference() {
  try {
    rtl::TMonitorLock lock(this);
    CloseZip();
  } catch (...) {
    // Destructors cannot report.
  }
}

void TVantrelInMemoryArchiveReference::OpenArchive() {
  if (!FStream)
    FStream.reset(rtl::New<rtl::TMemoryStream>());
  OpenZipOn(FStream.get());
}

void TVantrelInMemoryArchiveReference::ArchiveClosed() {
  if (FStream)
    FStream->SetPosition(0);
}

void TVantrelInMemoryArchiveReference::ApplyStream(rtl::TStream* AStream) {
  if (!AStream)
    return;
  rtl::TMonitorLock lock(this);
  TWriteScope write(*this);
  if (!FStream)
    FStream.reset(rtl::New<rtl::TMemoryStream>());
  // The old bytes go first, so a shorter archive leaves no tail of the longer one; the copy runs
  // from the source's position to its end.
  FStream->SetSize(0);
  FStream->SetPosition(0);
  CopyChunks(*AStream, *FStream, std::max<int64_t>(0, AStream->GetSize() - AStream->GetPosition()));
  FStream->SetPosition(0);
}

void TVantrelInMemoryArchiveReference::SaveToFile(IVantrelArchiveContent* APckg, const std::string& AFilename) {
  rtl::TMonitorLock lock(this);
  TWriteScope write(*this);
  inherited::SaveToFile(APckg, AFilename);
  if (!FStream)
    return;
  struct TRewind {
    rtl::TStream& Stream;
    ~TRewind() { Stream.SetPosition(0); }
  } rewind{*FStream};
  CopyToFile(*FStream, AFilename);
}

void TVantrelInMemoryArchiveReference::SaveToStream(IVantrelArchiveContent* APckg, rtl::TStream* AStream) {
  rtl::TMonitorLock lock(this);
  TWriteScope write(*this);
  inherited::SaveToStream(APckg, AStream);
  if (!FStream || !AStream)
    return;
  struct TRewind {
    rtl::TStream& Stream;
    ~TRewind() { Stream.SetPosition(0); }
  } rewind{*FStream};
  FStream->SetPosition(0);
  CopyChunks(*FStream, *AStream, FStream->GetSize());
}

// --- TVantrelArchiveReferences -------------------------------------------------------------------

TVantrelArchiveReferences::TVantrelArchiveReferences(TVantrelAssetsManager* AMngr) : FManager(AMngr) {}

TVantrelArchiveReferences::~TVantrelArchiveReferences() {
  ClearArchives();
}

int TVantrelArchiveReferences::Count() const {
  rtl::TMonitorLock lock(this);
  return FItems.Count();
}

std::vector<std::string> TVantrelArchiveReferences::Ids() const {
  rtl::TMonitorLock lock(this);
  std::vector<std::string> ids;
  for (const std::string& id : FItems.Keys())
    ids.push_back(id);
  return ids;
}

template <class TMake>
TVantrelArchiveReference* TVantrelArchiveReferences::Acquire(const std::string& AId, TMake AMake) {
  rtl::TMonitorLock lock(this);
  TVantrelArchiveReference* reference = nullptr;
  if (!FItems.TryGetValue(AId, reference)) {
    rtl::TOwned<TVantrelArchiveReference> made(AMake());
    made->FReferences = this;
    FItems.Add(AId, made.get());
    reference = made.release();
  }
  reference->IncRef();
  return reference;
}

TVantrelArchiveReference* TVantrelArchiveReferences::CreateArchiveByFilename(const std::string& AFileName) {
  return Acquire(AFileName, [&]() -> TVantrelArchiveReference* {
    return rtl::New<TVantrelFileArchiveReference>(FManager, AFileName);
  });
}

TVantrelArchiveReference* TVantrelArchiveReferences::CreateArchiveByStream(const std::string& AId,
                                                                          rtl::TStream* AStream) {
  return Acquire(AId, [&]() -> TVantrelArchiveReference* {
    rtl::TOwned<TVantrelInMemoryArchiveReference> reference(rtl::New<TVantrelInMemoryArchiveReference>(FManager, AId));
    reference->ApplyStream(AStream);
    return reference.release();
  });
}

TVantrelArchiveReference* TVantrelArchiveReferences::CreateArchiveInMemory(const std::string& AId) {
  return Acquire(AId, [&]() -> TVantrelArchiveReference* {
    return rtl::New<TVantrelInMemoryArchiveReference>(FManager, AId);
  });
}

bool TVantrelArchiveReferences::ArchiveExists(const std::string& AId) const {
  rtl::TMonitorLock lock(this);
  return FItems.ContainsKey(AId);
}

TVantrelArchiveReference* TVantrelArchiveReferences::GetArchive(const std::string& AId) const {
  rtl::TMonitorLock lock(this);
  TVantrelArchiveReference* reference = nullptr;
  FItems.TryGetValue(AId, reference);
  return reference;
}

void TVantrelArchiveReferences::CloseArchive(const std::string& AId) {
  rtl::TMonitorLock lock(this);
  FItems.Remove(AId);
}

void TVantrelArchiveReferences::ClearArchives() {
  rtl::TMonitorLock lock(this);
  FItems.Clear();
}

} // namespace vantrel
