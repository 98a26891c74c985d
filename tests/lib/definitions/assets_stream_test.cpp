// Stream assets: importing raw bytes, storing and reading them back, the save state, and the
// game-data components built from the bytes.

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include "assets_fixture.h"
#include "utils/Vantrel.Utils.Inventory.h"

using namespace vantrel;

namespace {

class AssetsStream : public vtest::TAssetsTest {
protected:
  static std::string Bytes(const TVantrelAsset* AAsset) {
    const rtl::TMemoryStream* stream = static_cast<const TVantrelStreamAsset*>(AAsset)->Stream();
    const auto* data = reinterpret_cast<const char*>(stream->Memory());
    return std::string(data, data + const_cast<rtl::TMemoryStream*>(stream)->GetSize());
  }
};

TEST_F(AssetsStream, ImportChecksTheNameAndTheKindsExtensions) {
  TVantrelAssetsPackage* package = NewPackage();
  TVantrelAsset* song = AddStreamAsset(*package, 2, "/music/SONG.MP3", "abc");
  EXPECT_EQ(song->Filename(), "SONG.MP3");
  EXPECT_EQ(song->Extension(), ".mp3");
  EXPECT_TRUE(song->Cached());
  EXPECT_EQ(song->State(), TAssetState::asStored);

  struct Case {
    int Group;
    const char* Name;
    const char* Message;
  } cases[] = {{3, "clip.mp3", "AssetsManager.AudioAsset - unsupported file format \".mp3\""},
               {4, "", "AssetsManager.AudioAsset - filename empty"},
               {4, "README", "AssetsManager.AudioAsset exception - invalid file extension"},
               {4, "dot.", "AssetsManager.AudioAsset exception - invalid file extension"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    try {
      AddStreamAsset(*package, c.Group, c.Name, "abc");
      ADD_FAILURE() << "no exception";
    } catch (const EVantrelAssetsException& e) {
      EXPECT_EQ(e.Message(), c.Message);
    }
    EXPECT_EQ(package->GetGroup(c.Group)->Count(), 0) << "a failed import adds nothing";
  }
}

TEST_F(AssetsStream, BytesSurviveSavingAndLoading) {
  TVantrelAssetsPackage* package = NewPackage();
  std::string binary(300, '\0');
  for (size_t i = 0; i < binary.size(); ++i)
    binary[i] = static_cast<char>(i * 7);
  TVantrelAsset* asset = AddStreamAsset(*package, 8, "thing.prefab", binary);
  const std::string file = Scratch("round.pak");
  package->SaveToFile(file);
  TVantrelAssetsPackage* loaded = Manager().LoadPackageFromFile(file);
  TVantrelAsset* copy = loaded->GetGroup(8)->GetAssetFromId(asset->Id());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(Bytes(copy), binary);
  EXPECT_EQ(copy->Filename(), "thing.prefab");
  EXPECT_EQ(copy->State(), TAssetState::asLoaded);
  EXPECT_EQ(copy->GetSize(), asset->GetSize());
}

TEST_F(AssetsStream, ReimportReplacesTheBytesFromTheSourcesPosition) {
  TVantrelAsset* asset = AddStreamAsset(*NewPackage(), 4, "a.txt", std::string(100, 'x'));
  rtl::TBytesStream shorter(rtl::TBytes{'-', '-', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9'});
  shorter.SetPosition(2);
  asset->ImportFromStream("a.txt", &shorter, {});
  EXPECT_EQ(Bytes(asset), "0123456789");
}

TEST_F(AssetsStream, GameDataIsBuiltFromTheBytesOnFirstUse) {
  TVantrelAssetsGroup* group = NewPackage()->GetGroup(6);
  auto* empty = static_cast<TVantrelInventoryAsset*>(group->AddEmptyAsset("empty.iff", false));
  EXPECT_EQ(empty->Inventory(), nullptr);

  rtl::TOwned<TVantrelInventory> inventory(rtl::New<TVantrelInventory>(nullptr));
  inventory->AddItemTemplate("sword");
  rtl::TBytesStream bytes;
  inventory->SaveToStream(&bytes);
  bytes.SetPosition(0);
  empty->ImportFromStream("bag.iff", &bytes, {});
  TVantrelInventory* built = empty->Inventory();
  ASSERT_NE(built, nullptr);
  EXPECT_NE(built->FindItemTemplate("sword"), nullptr);
  EXPECT_EQ(empty->Inventory(), built) << "built once";
  // Freed with the asset (the leak check would report it otherwise).
}

TEST_F(AssetsStream, AFailedSaveLeavesTheAssetSavable) {
  TVantrelAsset* asset = AddStreamAsset(*NewPackage(), 4, "a.txt", "abc");
  ASSERT_EQ(asset->State(), TAssetState::asStored);
  TVantrelArchiveReferences references(nullptr);
  TVantrelArchiveReference* broken = references.CreateArchiveByFilename(Scratch("no/such/folder/x.pak"));
  EXPECT_ANY_THROW(asset->SaveToArchive(broken, "MISC"));
  EXPECT_EQ(asset->State(), TAssetState::asStored);

  TVantrelArchiveReference* good = references.CreateArchiveInMemory("good");
  asset->SaveToArchive(good, "MISC");
  EXPECT_EQ(asset->State(), TAssetState::asStored);
  EXPECT_TRUE(good->FileExists(asset->GetArchivePath() + "/a.txt"));
}

TEST_F(AssetsStream, ImportingAFileOnlyReadsIt) {
  const std::string file = Scratch("notes.txt");
  rtl::TFile::WriteAllText(file, "some notes");
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, file.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE), 0);

  TVantrelAsset* asset = NewPackage()->GetGroup(4)->GetAssetFromFile(file, false);
  ASSERT_NE(asset, nullptr);
  EXPECT_EQ(Bytes(asset), "some notes");

  uint32_t seen = 0;
  alignas(inotify_event) char buffer[4096];
  for (ssize_t length; (length = read(watch, buffer, sizeof buffer)) > 0;)
    for (char* at = buffer; at < buffer + length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(at);
      seen |= event->mask;
      at += sizeof(inotify_event) + event->len;
    }
  close(watch);
  EXPECT_TRUE(seen & IN_CLOSE_NOWRITE);
  EXPECT_FALSE(seen & IN_CLOSE_WRITE) << "the file was opened for writing";
}

} // namespace
