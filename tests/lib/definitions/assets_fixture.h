#pragma once
// The assets tests' fixture: the units started, every special folder (home, documents, the
// executable's folder...) pointed into a scratch folder, one manager, a package event recorder and
// helpers that read archives back.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "Vantrel.Units.h"
#include "definitions/Vantrel.AssetsManager.h"
#include "rtl/ioutils.h"
#include "rtl/streams.h"
#include "rtl/zip.h"

namespace vtest {

// One fired package event.
struct TPackageEventRow {
  vantrel::TVantrelPackageEvent Event;
  bool Before;
  const rtl::TObject* Item;
  bool operator==(const TPackageEventRow&) const = default;
};

inline std::ostream& operator<<(std::ostream& AOut, const TPackageEventRow& ARow) {
  return AOut << "(" << static_cast<int>(ARow.Event) << (ARow.Before ? ", before, " : ", after, ") << ARow.Item << ")";
}

// Records every event of the packages it is attached to.
class TPackageEventRecorder {
public:
  void Attach(vantrel::TVantrelAssetsPackage& APackage) {
    APackage.SetOnModifyBefore([this](vantrel::TVantrelAssetsPackage*, vantrel::TVantrelPackageEvent AEvent,
                                      rtl::TObject* AItem) { Rows.push_back({AEvent, true, AItem}); });
    APackage.SetOnModifyAfter([this](vantrel::TVantrelAssetsPackage*, vantrel::TVantrelPackageEvent AEvent,
                                     rtl::TObject* AItem) { Rows.push_back({AEvent, false, AItem}); });
  }
  std::vector<TPackageEventRow> Rows;
};

class TAssetsTest : public ::testing::Test {
protected:
  void SetUp() override {
    vantrel::InitializeUnits();
    FScratch = rtl::TPath::Combine(rtl::TPath::GetTempPath(), "assets-" + rtl::TPath::GetRandomFileName());
    FHome = rtl::TPath::Combine(FScratch, "home");
    FExe = rtl::TPath::Combine(FScratch, "bin");
    rtl::TDirectory::CreateDirectory(FHome);
    rtl::TDirectory::CreateDirectory(FExe);
    for (rtl::TSpecialFolder folder : Folders())
      rtl::TPath::SetFolderOverride(folder, folder == rtl::TSpecialFolder::Executable ? FExe : FHome);
    FManager.reset(rtl::New<vantrel::TVantrelAssetsManager>(nullptr));
  }
  void TearDown() override {
    FManager.reset();
    for (rtl::TSpecialFolder folder : Folders())
      rtl::TPath::SetFolderOverride(folder, "");
    rtl::TDirectory::Delete(FScratch, true);
    vantrel::FinalizeUnits();
  }

  std::string Scratch(const std::string& AName) const { return rtl::TPath::Combine(FScratch, AName); }
  vantrel::TVantrelAssetsManager& Manager() { return *FManager; }
  vantrel::TVantrelAssetsPackage* NewPackage(const std::string& AName = "pkg") {
    return FManager->AddEmptyPackage(AName);
  }

  // A stream asset of group AGroup made from AText under AName.
  static vantrel::TVantrelAsset* AddStreamAsset(vantrel::TVantrelAssetsPackage& APackage, int AGroup,
                                                const std::string& AName, const std::string& AText) {
    rtl::TBytesStream stream(rtl::TBytes(AText.begin(), AText.end()));
    return APackage.GetAssetFromStream(AGroup, AName, &stream);
  }

  // The package's archive as entry name -> content, through a saved copy.
  static std::map<std::string, std::string> Entries(vantrel::TVantrelAssetsPackage& APackage) {
    rtl::TBytesStream copy;
    APackage.SaveToStream(&copy);
    copy.SetPosition(0);
    return EntriesOf(copy);
  }
  static std::map<std::string, std::string> EntriesOf(rtl::TStream& AStream) {
    rtl::TZipFile zip;
    zip.Open(&AStream, rtl::TZipMode::zmRead);
    std::map<std::string, std::string> entries;
    for (const std::string& name : zip.GetFileNames()) {
      rtl::TBytes content;
      zip.Read(name, content);
      entries[name] = std::string(content.begin(), content.end());
    }
    return entries;
  }
  // A zip made of (name, content) pairs, in order.
  static rtl::TBytes MakeZip(const std::vector<std::pair<std::string, std::string>>& AEntries) {
    rtl::TBytesStream stream;
    {
      rtl::TZipFile zip;
      zip.Open(&stream, rtl::TZipMode::zmWrite);
      for (const auto& [name, content] : AEntries)
        zip.Add(rtl::TBytes(content.begin(), content.end()), name);
      zip.Close();
    }
    return rtl::TBytes(stream.Bytes().begin(), stream.Bytes().begin() + stream.GetSize());
  }

  std::string FScratch;
  std::string FHome;
  std::string FExe;

private:
  rtl::TOwned<vantrel::TVantrelAssetsManager> FManager;

  static std::vector<rtl::TSpecialFolder> Folders() {
    using F = rtl::TSpecialFolder;
    return {F::Home, F::Documents, F::Downloads, F::SharedDocuments, F::SharedDownloads, F::Public, F::Executable};
  }
};

} // namespace vtest
