#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "Vantrel.Units.h"
#include "definitions/Vantrel.Loader.h"
#include "definitions/Vantrel.V3D.Exporter.h"
#include "rtl/ioutils.h"
#include "support/error_of.h"

namespace vantrel {
namespace {

using vtest::ClassAndErrorOf;

// A small model as .v3d bytes (compact JSON).
TBytes V3DBytes(const std::string& AId) {
  TOwned<TModelDef> model = MakeOwned<TModelDef>();
  model->SetId(AId);
  TOwned<TVantrelV3DExporter> exporter = MakeOwned<TVantrelV3DExporter>();
  exporter->SetOptions({});
  TBytesStream stream;
  exporter->SaveToStream(model.get(), &stream);
  return stream.Bytes();
}

// Records the options it was called with and answers an empty model.
class TRecordingLoader : public TVantrelLoader {
public:
  TModelDef* LoadModelDefFromStream(TStream* AStream, const TVantrelLoadOptions& AOptions) override {
    Stream = AStream;
    Options = AOptions;
    return New<TModelDef>();
  }
  using TVantrelLoader::LoadModelDefFromStream;
  TStream* Stream = nullptr;
  TVantrelLoadOptions Options;
};

class LoaderTest : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeUnits();
    FFolder = std::filesystem::temp_directory_path() / ("loader_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(FFolder);
  }
  void TearDown() override {
    std::filesystem::remove_all(FFolder);
    FinalizeUnits();
  }
  std::string WriteFile(const std::string& AName, const TBytes& ABytes) const {
    const std::string path = (FFolder / AName).string();
    TFile::WriteAllBytes(path, ABytes);
    return path;
  }

  std::filesystem::path FFolder;
};

TEST_F(LoaderTest, EntryPointsChooseTheLoaderByExtension) {
  TOwned<TRecordingLoader> loader = MakeOwned<TRecordingLoader>();
  TVantrelLoader::GetLoaderRegistry().Add(".tst", loader.get());
  const std::string file = WriteFile("m.TST", {1, 2, 3});
  TMemoryStream stream;
  struct TCase {
    const char* Name;
    std::function<TModelDef*()> Load;
    std::string Path, Ext;
  };
  const TCase cases[] = {
      {"undefined from file", [&] { return TVantrelLoader::LoadUndefinedModelDefFromFile(nullptr, file); }, file,
       ".TST"},
      {"undefined from stream",
       [&] { return TVantrelLoader::LoadUndefinedModelDefFromStream(&stream, nullptr, "a.v3d", ".tst"); }, "a.v3d",
       ".tst"},
      {"instance from file", [&] { return loader->LoadModelDefFromFile(nullptr, file); }, file, ""},
      {"instance from stream", [&] { return loader->LoadModelDefFromStream(&stream, nullptr, "s.tst"); }, "s.tst",
       ""},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    TOwned<TModelDef> def(test.Load());
    EXPECT_NE(def, nullptr);
    EXPECT_NE(loader->Stream, nullptr);
    EXPECT_EQ(loader->Options.FileInfo.PathOrUID, test.Path);
    // The undefined forms hand the loader the extension they chose it by.
    EXPECT_EQ(loader->Options.FileInfo.Ext, test.Ext);
    EXPECT_EQ(loader->Options.Package, nullptr);
    EXPECT_EQ(loader->Options.Asset, nullptr);
  }
  TVantrelLoader::GetLoaderRegistry().Remove(".tst");
}

TEST_F(LoaderTest, NoLoaderAndTheAbstractBase) {
  TMemoryStream stream;
  EXPECT_EQ(ClassAndErrorOf(
                [&] { TVantrelLoader::LoadUndefinedModelDefFromStream(&stream, nullptr, "m.obj", ""); }),
            "EVantrelLoaderException: model format not supported: m.obj - check if unit is included "
            "\"Vantrel.obj.Loader");
  EXPECT_EQ(ClassAndErrorOf([&] { TVantrelLoader::LoadUndefinedModelDefFromFile(nullptr, "m.obj"); }),
            "EVantrelLoaderException: model format not supported: m.obj");
  TOwned<TVantrelLoader> bare = MakeOwned<TVantrelLoader>();
  EXPECT_EQ(
      ClassAndErrorOf([&] { bare->LoadModelDefFromStream(&stream, TVantrelLoadOptions::Create("m.v3d")); }),
      "EAbstractError: Abstract Error");
}

// fofDownload reads an empty stream (the .v3d reader fails on its short header); an unknown open
// format names the operation.
TEST_F(LoaderTest, OpenFormats) {
  TVantrelLoader& reader = *TVantrelLoader::GetLoaderByExtension(".v3d");
  TVantrelLoadOptions download = TVantrelLoadOptions::Create("missing.v3d");
  download.FileInfo.OpenFormat = TVantrelFileOpenFormat::fofDownload;
  TVantrelLoadOptions unknown = TVantrelLoadOptions::Create("missing.v3d");
  unknown.FileInfo.OpenFormat = static_cast<TVantrelFileOpenFormat>(7);
  struct TCase {
    const char* Name;
    std::function<void()> Load;
    std::string Expect;
  };
  const TCase cases[] = {
      {"undefined, download", [&] { TVantrelLoader::LoadUndefinedModelDefFromFile(download); }, "EReadError: "},
      {"instance, download", [&] { reader.LoadModelDefFromFile(download); }, "EReadError: "},
      {"undefined, unknown", [&] { TVantrelLoader::LoadUndefinedModelDefFromFile(unknown); },
       "Exception: TVantrelLoader.LoadUndefinedModelDefFromFile : open format not supported"},
      {"instance, unknown", [&] { reader.LoadModelDefFromFile(unknown); },
       "Exception: TVantrelLoader.LoadModelDefFromFile : open format not supported"},
      {"missing file", [&] { TVantrelLoader::LoadUndefinedModelDefFromFile(nullptr, "/nonexistent/m.v3d"); },
       "EFOpenError: "},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    const std::string error = ClassAndErrorOf(test.Load);
    EXPECT_EQ(error.substr(0, test.Expect.size()), test.Expect) << error;
  }
}

// A file is only read: inotify sees it closed without writing (file modes would not show it, as
// root ignores them).
TEST_F(LoaderTest, FilesAreOpenedReadOnly) {
  const std::string file = WriteFile("ro.v3d", V3DBytes("ReadOnly"));
  TVantrelLoader& reader = *TVantrelLoader::GetLoaderByExtension(".v3d");
  const std::function<TModelDef*()> loads[] = {
      [&] { return TVantrelLoader::LoadUndefinedModelDefFromFile(nullptr, file); },
      [&] { return reader.LoadModelDefFromFile(nullptr, file); },
  };
  for (const auto& load : loads) {
    const int watcher = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(watcher, 0);
    ASSERT_GE(inotify_add_watch(watcher, file.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE), 0);
    TOwned<TModelDef> def(load());
    EXPECT_EQ(def->GetId(), "ReadOnly");
    uint32_t events = 0;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t size; (size = ::read(watcher, buffer, sizeof(buffer))) > 0;)
      for (ssize_t at = 0; at < size;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        events |= event->mask;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    ::close(watcher);
    EXPECT_TRUE(events & IN_CLOSE_NOWRITE);
    EXPECT_FALSE(events & IN_CLOSE_WRITE);
  }
}

TEST_F(LoaderTest, ThreadRecordOfANewThreadIsEmpty) {
  TVantrelLoader::SetCurrentThreadLoader(TVantrelLoader::GetLoaderByExtension(".v3d"),
                                         TVantrelLoadOptions::Create("here.v3d"));
  TVantrelLoaderThreadInfo seen;
  seen.Loader = TVantrelLoader::GetLoaderByExtension(".v3d");
  std::thread([&] { seen = TVantrelLoader::GetCurrentLoaderThreadInfo(); }).join();
  EXPECT_EQ(seen.Loader, nullptr);
  EXPECT_EQ(seen.Options.FileInfo.PathOrUID, "");
  TVantrelLoader::UnsetCurrentThreadLoader();
  const TVantrelLoaderThreadInfo here = TVantrelLoader::GetCurrentLoaderThreadInfo();
  EXPECT_EQ(here.Loader, nullptr);
  EXPECT_EQ(here.Options.FileInfo.PathOrUID, "here.v3d");
}

// Runs a .v3d load inside its own and notes the record the inner load left.
class TNestingLoader : public TVantrelLoader {
public:
  TModelDef* LoadModelDefFromStream(TStream*, const TVantrelLoadOptions& AOptions) override {
    const TVantrelLoaderScope scope(this, AOptions);
    TBytesStream inner(V3DBytes("Inner"));
    TModelDef* result = TVantrelLoader::LoadUndefinedModelDefFromStream(&inner, nullptr, "inner.v3d", "");
    AfterInner = GetCurrentLoaderThreadInfo();
    return result;
  }
  using TVantrelLoader::LoadModelDefFromStream;
  TVantrelLoaderThreadInfo AfterInner;
};

TEST_F(LoaderTest, ThreadRecordAfterPlainAndNestedLoads) {
  TBytesStream stream(V3DBytes("Plain"));
  TOwned<TModelDef> plain(TVantrelLoader::LoadUndefinedModelDefFromStream(&stream, nullptr, "plain.v3d", ""));
  TVantrelLoaderThreadInfo info = TVantrelLoader::GetCurrentLoaderThreadInfo();
  EXPECT_EQ(info.Loader, nullptr);
  EXPECT_EQ(info.Options.FileInfo.PathOrUID, "plain.v3d");
  EXPECT_EQ(info.Options.FileInfo.Ext, ".v3d");

  TOwned<TNestingLoader> outer = MakeOwned<TNestingLoader>();
  TVantrelLoadOptions options = TVantrelLoadOptions::Create("outer.pkg");
  options.TextureLimits = {256, 256};
  TMemoryStream none;
  TOwned<TModelDef> inner(outer->LoadModelDefFromStream(&none, options));
  EXPECT_EQ(inner->GetId(), "Inner");
  // The inner load put the outer record back, limits included.
  EXPECT_EQ(outer->AfterInner.Loader, outer.get());
  EXPECT_EQ(outer->AfterInner.Options.FileInfo.PathOrUID, "outer.pkg");
  EXPECT_EQ(outer->AfterInner.Options.TextureLimits, (TPoint{256, 256}));
  info = TVantrelLoader::GetCurrentLoaderThreadInfo();
  EXPECT_EQ(info.Loader, nullptr);
  EXPECT_EQ(info.Options.FileInfo.PathOrUID, "outer.pkg");
}

TEST_F(LoaderTest, AnimationFromStreamChoosesByTheModelsFilename) {
  TOwned<TModelDef> model = MakeOwned<TModelDef>();
  model->SetFilename("a.v3d");
  TMemoryStream stream;
  // The .v3d reader reads no animations.
  EXPECT_EQ(TVantrelLoader::LoadUndefinedAnimationDefFromStream(model.get(), &stream, "b.xyz"), nullptr);
  model->SetFilename("a.xyz");
  EXPECT_EQ(ClassAndErrorOf(
                [&] { TVantrelLoader::LoadUndefinedAnimationDefFromStream(model.get(), &stream, "b.v3d"); }),
            "EVantrelLoaderException: model format not supported: b.v3d");
  EXPECT_EQ(ClassAndErrorOf(
                [&] { TVantrelLoader::LoadUndefinedAnimationDefFromStream(nullptr, &stream, "b.v3d"); }),
            "EVantrelLoaderException: model format not supported: b.v3d");
}

// A cache whose default material is "Default" of the mesh's model, referenced by the mesh.
class TMaterialCache : public TVertexCache {
public:
  explicit TMaterialCache(TModelDef* AModel) : FModel(AModel) {}
  TMaterialDef* DoOnCreateDefaultMaterial(TMeshDef*) override { return New<TMaterialDef>(FModel, std::string("Default")); }
  TMaterialRefDef* DoOnCreateMaterialRef(TMeshDef* AMesh, TMaterialDef* AMaterial) override {
    AMesh->SetMaterialReference(AMaterial);
    return AMesh->GetMaterial();
  }

private:
  TModelDef* FModel;
};

TEST_F(LoaderTest, LoadDefFromDataComputesWhatTheCacheLacks) {
  TOwned<TModelDef> model = MakeOwned<TModelDef>();
  auto* mesh = New<TMeshDef>(model.get());
  model->AddMesh(mesh);
  TOwned<TMaterialCache> cache = MakeOwned<TMaterialCache>(model.get());
  const TPoint3D corners[] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  for (const TPoint3D& corner : corners) {
    TVertexData vertex;
    vertex.Position = corner;
    // Texture coordinates the tangents can be computed from; they are then recomputed.
    vertex.TexCoords = {{corner.X, corner.Y}};
    vertex.Flags = {TVertexDataFlag::CalcNormals, TVertexDataFlag::CalcTangents, TVertexDataFlag::CalcTexCoords};
    cache->Vertices.push_back(vertex);
  }
  cache->Indices.push_back({0, 1, 2});
  TVantrelLoader::LoadDefFromData(mesh, cache.get());

  const TVertexBuffer& vertices = *mesh->GetVertexSource();
  ASSERT_EQ(vertices.Length(), 3);
  EXPECT_EQ(mesh->GetIndexSource()->Length(), 3);
  for (int32_t v = 0; v < 3; ++v) {
    SCOPED_TRACE(v);
    // Unit normals across the triangle's plane.
    EXPECT_NEAR(std::abs(vertices.GetNormals(v).Z), 1, 1e-5);
    EXPECT_GT(vertices.GetTangents(v).Length(), 0.5f);
  }
  // Projected from the centre of the bounding box: the first corner lies at -45 degrees on both axes.
  EXPECT_NEAR(vertices.GetTexCoord(0, 0).X, 0.25f, 1e-5);
  EXPECT_NEAR(vertices.GetTexCoord(0, 0).Y, 0.25f, 1e-5);
  ASSERT_NE(mesh->GetMaterial(), nullptr);
  EXPECT_EQ(mesh->GetMaterial()->GetId(), "Default");
  // Nothing for missing arguments.
  TVantrelLoader::LoadDefFromData(nullptr, cache.get());
  TVantrelLoader::LoadDefFromData(mesh, nullptr);
}

TEST_F(LoaderTest, RegistryLooksUpTheLowerCaseExtension) {
  TOwned<TVantrelLoader> loader = MakeOwned<TVantrelLoader>();
  TVantrelLoader::GetLoaderRegistry().Add(".tst", loader.get());
  EXPECT_EQ(TVantrelLoader::GetLoaderByExtension(".TST"), loader.get());
  EXPECT_EQ(TVantrelLoader::GetLoaderByExtension(".tst "), nullptr);
  // A second loader for an extension, the .v3d reader's included, is refused.
  for (const char* ext : {".tst", ".v3d"}) {
    SCOPED_TRACE(ext);
    EXPECT_EQ(ClassAndErrorOf([&] { TVantrelLoader::GetLoaderRegistry().Add(ext, loader.get()); }),
              "EListError: Duplicates not allowed");
  }
  EXPECT_NE(TVantrelLoader::GetLoaderByExtension(".v3d"), loader.get());
  TVantrelLoader::GetLoaderRegistry().Remove(".tst");
}

TEST_F(LoaderTest, AnimationFromFileEntryPoints) {
  TOwned<TVantrelLoader> loader = MakeOwned<TVantrelLoader>();
  TMemoryStream stream;
  EXPECT_EQ(loader->LoadAnimationDefFromStream(nullptr, &stream, "a.tst"), nullptr);
  try {
    TVantrelLoader::LoadUndefinedAnimationDefFromFile(nullptr, "m.xyz");
    FAIL() << "no exception";
  } catch (const EVantrelLoaderException& error) {
    EXPECT_EQ(error.Message(), "model format not supported: m.xyz");
  }
  // A registered loader gets the file opened for reading; the base reads nothing from it.
  const std::string file = (std::filesystem::temp_directory_path() / ("anim_" + std::to_string(::getpid()) + ".tst")).string();
  TFile::WriteAllText(file, "x");
  TVantrelLoader::GetLoaderRegistry().Add(".tst", loader.get());
  EXPECT_EQ(TVantrelLoader::LoadUndefinedAnimationDefFromFile(nullptr, file), nullptr);
  TVantrelLoader::GetLoaderRegistry().Remove(".tst");
  TFile::Delete(file);
}

TEST_F(LoaderTest, LimitTextureSizeOfBitmaps) {
  struct TCase {
    TPoint Size, Limits, Expect;
    bool Resized;
  };
  const TCase cases[] = {
      {{2048, 1024}, {512, 512}, {512, 256}, true},
      {{100, 100}, {512, 512}, {100, 100}, false},
      {{300, 1000}, {512, 512}, {153, 512}, true},
      // One side per call.
      {{2048, 8192}, {1024, 1024}, {1024, 4096}, true},
      // A limit <= 0 does not limit its side.
      {{300, 1000}, {0, 0}, {300, 1000}, false},
      {{300, 1000}, {0, 512}, {153, 512}, true},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(testing::Message() << test.Size.X << "x" << test.Size.Y << " limits " << test.Limits.X << ","
                                    << test.Limits.Y);
    TOwned<TBitmap> bitmap = MakeOwned<TBitmap>(test.Size.X, test.Size.Y);
    EXPECT_EQ(TVantrelLoader::LimitTextureSize(bitmap.get(), test.Limits), test.Resized);
    EXPECT_EQ(bitmap->Width(), test.Expect.X);
    EXPECT_EQ(bitmap->Height(), test.Expect.Y);
  }
  EXPECT_FALSE(TVantrelLoader::LimitTextureSize(static_cast<TBitmap*>(nullptr), {1, 1}));
}

TEST_F(LoaderTest, LimitTextureSizesOfAFolderTree) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("limit_textures_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder / "a");
  auto write = [](const std::filesystem::path& APath, int32_t AWidth, int32_t AHeight) {
    TOwned<TBitmap> bitmap = MakeOwned<TBitmap>(AWidth, AHeight);
    bitmap->Clear(0xFF336699);
    bitmap->SaveToFile(APath.string());
  };
  write(folder / "a" / "B.PNG", 2048, 1024);
  write(folder / "c.jpeg", 600, 100);
  write(folder / "small.png", 100, 100);
  TFile::WriteAllText((folder / "d.txt").string(), "text");
  const TBytes small = TFile::ReadAllBytes((folder / "small.png").string());
  const auto smallTime = std::filesystem::last_write_time(folder / "small.png");

  TVantrelLoader::LimitTextureSizes(folder.string(), {512, 512});

  auto sizeOf = [](const std::filesystem::path& APath) {
    TOwned<TBitmap> bitmap = MakeOwned<TBitmap>();
    bitmap->LoadFromFile(APath.string());
    return TPoint{bitmap->Width(), bitmap->Height()};
  };
  EXPECT_EQ(sizeOf(folder / "a" / "B.PNG"), (TPoint{512, 256}));
  // Still a PNG picture.
  EXPECT_EQ(TFile::ReadAllBytes((folder / "a" / "B.PNG").string())[1], 'P');
  EXPECT_EQ(sizeOf(folder / "c.jpeg"), (TPoint{512, 85}));
  EXPECT_EQ(TFile::ReadAllBytes((folder / "small.png").string()), small);
  EXPECT_EQ(std::filesystem::last_write_time(folder / "small.png"), smallTime);
  EXPECT_EQ(TFile::ReadAllText((folder / "d.txt").string()), "text");
  int entries = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 5); // no temporaries left
  std::filesystem::remove_all(folder);
}

} // namespace
} // namespace vantrel
