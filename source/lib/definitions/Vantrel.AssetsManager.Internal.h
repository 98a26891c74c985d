#pragma once
// Helpers shared by the sources of the assets unit; not part of its public header.

#include <cstdint>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "definitions/Vantrel.AssetsManager.h"
#include "rtl/ioutils.h"
#include "rtl/sync.h"
#include "rtl/sysutils.h"

namespace vantrel::detail {

// The non-empty parts of an entry name split at "/" and "\".
std::vector<std::string> SplitPath(const std::string& APath);
// The first ACount parts joined by "/".
std::string JoinPath(const std::vector<std::string>& AParts, size_t ACount);
// The name after the last "/" or "\".
std::string BareName(const std::string& AFilename);
// ASCII lower case.
std::string LowerExt(const std::string& AExt);

// The first group of ACollection whose asset class lists the lower-case AExt; groups without a
// class are passed over.
TVantrelAssetsGroup* GroupByExtension(const TVantrelAssetsGroupCollection& ACollection, const std::string& AExt);
// A registered asset class by plain or qualified name, or nullptr.
const TVantrelAssetClass* AssetClassByName(const std::string& AName);

// The entry's bytes as text.
std::string ReadEntryText(TVantrelArchiveReference& AArchive, const std::string& APath);
// The entry parsed as a JSON object; nullptr when it is not one.
std::unique_ptr<rtl::TJSONObject> ReadEntryObject(TVantrelArchiveReference& AArchive, const std::string& APath);
// Deletes the entry and adds AText under its name.
void ReplaceEntryText(TVantrelArchiveReference& AArchive, const std::string& APath, const std::string& AText);
// Empties ADest and copies ASource from its position to its end, in 1 MiB pieces.
void ReplaceStreamContent(rtl::TStream& ASource, rtl::TStream& ADest);

// The entry names of an archive in archive order, with a sorted index for prefix lookups, so a
// scan does not walk every name for every asset.
class TEntryNames {
public:
  explicit TEntryNames(std::vector<std::string> ANames);
  const std::vector<std::string>& InArchiveOrder() const { return FNames; }
  // The names that begin with APrefix (exact case), in archive order.
  std::vector<const std::string*> WithPrefix(const std::string& APrefix) const;

private:
  std::vector<std::string> FNames;
  std::vector<uint32_t> FSorted;
};

// Locks and opens an archive reference for the scope; closes and unlocks also on failure (a close
// that fails while another exception is on its way is dropped).
class TArchiveOpen {
public:
  explicit TArchiveOpen(TVantrelArchiveReference& AArchive) : FLock(&AArchive), FArchive(AArchive) {
    FArchive.Open();
  }
  ~TArchiveOpen() noexcept(false) {
    if (std::uncaught_exceptions() > FUncaught) {
      try {
        FArchive.Close();
      } catch (...) {
      }
    } else {
      FArchive.Close();
    }
  }
  TArchiveOpen(const TArchiveOpen&) = delete;
  TArchiveOpen& operator=(const TArchiveOpen&) = delete;

private:
  rtl::TMonitorLock FLock;
  TVantrelArchiveReference& FArchive;
  int FUncaught = std::uncaught_exceptions();
};

// A read scope of an archive reference (EndRead also on failure).
class TArchiveReadScope {
public:
  explicit TArchiveReadScope(TVantrelArchiveReference& AArchive) : FArchive(AArchive) { FArchive.BeginRead(); }
  ~TArchiveReadScope() noexcept(false) {
    if (std::uncaught_exceptions() > FUncaught) {
      try {
        FArchive.EndRead();
      } catch (...) {
      }
    } else {
      FArchive.EndRead();
    }
  }
  TArchiveReadScope(const TArchiveReadScope&) = delete;
  TArchiveReadScope& operator=(const TArchiveReadScope&) = delete;

private:
  TVantrelArchiveReference& FArchive;
  int FUncaught = std::uncaught_exceptions();
};

} // namespace vantrel::detail
