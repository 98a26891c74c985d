#include "rtl/ioutils.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

#include <fcntl.h>
#include <fnmatch.h>
#include <pwd.h>
#include <unistd.h>

#include "rtl/random.h"

namespace rtl {

namespace fs = std::filesystem;

namespace {

std::mutex gOverridesLock;
std::array<std::string, 8> gOverrides;

std::string FolderOverride(TSpecialFolder AFolder) {
  std::lock_guard lock(gOverridesLock);
  return gOverrides[static_cast<size_t>(AFolder)];
}

// An environment variable's value, or "" when it is unset or not an absolute path (relative
// values are invalid for the XDG folder variables and would depend on the current folder).
std::string AbsoluteFromEnvironment(const char* AName) {
  const char* value = std::getenv(AName);
  return value && value[0] == PathDelim ? std::string(value) : std::string();
}

// The override, else the XDG variable, else <home>/AFallback.
std::string UserFolder(TSpecialFolder AFolder, const char* AVariable, const char* AFallback) {
  if (std::string path = FolderOverride(AFolder); !path.empty())
    return path;
  if (std::string path = AbsoluteFromEnvironment(AVariable); !path.empty())
    return path;
  return TPath::Combine(TPath::GetHomePath(), AFallback);
}

EInOutError Failure(const std::string& AWhat, const std::string& APath, const std::error_code& AError) {
  return EInOutError(AWhat + " \"" + APath + "\". " + AError.message());
}

EInOutError Failure(const std::string& AWhat, const std::string& APath, std::errc AError) {
  return Failure(AWhat, APath, std::make_error_code(AError));
}

// The position of the extension's dot in a file name, or npos.
size_t ExtensionDot(const std::string& AFileName) {
  const size_t dot = AFileName.rfind('.');
  return dot == 0 ? std::string::npos : dot;
}

// The length of the folder part of APath, delimiter included.
size_t FileNameStart(const std::string& APath) {
  const size_t delimiter = APath.rfind(PathDelim);
  return delimiter == std::string::npos ? 0 : delimiter + 1;
}

} // namespace

std::string IncludeTrailingPathDelimiter(const std::string& APath) {
  return APath.empty() || APath.back() == PathDelim ? APath : APath + PathDelim;
}

std::string ExcludeTrailingPathDelimiter(const std::string& APath) {
  return APath.size() > 1 && APath.back() == PathDelim ? APath.substr(0, APath.size() - 1) : APath;
}

// TPath

std::string TPath::Combine(const std::string& APath1, const std::string& APath2) {
  if (APath2.empty())
    return APath1;
  if (APath1.empty() || APath2.front() == PathDelim)
    return APath2;
  return IncludeTrailingPathDelimiter(APath1) + APath2;
}

std::string TPath::Combine(const std::string& APath1, const std::string& APath2, const std::string& APath3) {
  return Combine(Combine(APath1, APath2), APath3);
}

// Iterative, with one backtrack point: the last '*' seen and the name position it stood at.
bool MatchesMask(std::string_view AName, std::string_view AMask) {
  const auto upper = [](char AChar) {
    return AChar >= 'a' && AChar <= 'z' ? static_cast<char>(AChar - 32) : AChar;
  };
  constexpr size_t None = std::string_view::npos;
  size_t name = 0, mask = 0, star = None, resume = 0;
  while (name < AName.size()) {
    if (mask < AMask.size() && AMask[mask] == '*') {
      star = mask++;
      resume = name;
    } else if (mask < AMask.size() && (AMask[mask] == '?' || upper(AMask[mask]) == upper(AName[name]))) {
      ++name;
      ++mask;
    } else if (star != None) {
      mask = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (mask < AMask.size() && AMask[mask] == '*')
    ++mask;
  return mask == AMask.size();
}

std::string TPath::GetFileName(const std::string& APath) {
  return APath.substr(FileNameStart(APath));
}

std::string TPath::GetExtension(const std::string& APath) {
  const std::string name = GetFileName(APath);
  const size_t dot = ExtensionDot(name);
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string TPath::GetFileNameWithoutExtension(const std::string& APath) {
  const std::string name = GetFileName(APath);
  return name.substr(0, ExtensionDot(name));
}

std::string TPath::ChangeExtension(const std::string& APath, const std::string& AExtension) {
  std::string result = APath.substr(0, FileNameStart(APath)) + GetFileNameWithoutExtension(APath);
  if (AExtension.empty())
    return result;
  return result + (AExtension.front() == '.' ? AExtension : "." + AExtension);
}

std::string TPath::GetDirectoryName(const std::string& APath) {
  const size_t start = FileNameStart(APath);
  if (start <= 1)
    return APath.substr(0, start);
  return APath.substr(0, start - 1);
}

std::string TPath::GetTempPath() {
  std::string path = FolderOverride(TSpecialFolder::Temp);
  if (path.empty())
    path = AbsoluteFromEnvironment("TMPDIR");
  return IncludeTrailingPathDelimiter(path.empty() ? "/tmp" : path);
}

std::string TPath::GetTempFileName() {
  std::string name = GetTempPath() + "tmpXXXXXX";
  const int handle = ::mkostemp(name.data(), O_CLOEXEC);
  if (handle < 0)
    throw Failure("Cannot create a temporary file in", GetTempPath(),
                  std::error_code(errno, std::generic_category()));
  ::close(handle);
  return name;
}

std::string TPath::GetRandomFileName() {
  static constexpr char Alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  // Bytes at or above 252 are skipped so that every character is equally likely (252 = 7 * 36).
  std::string name;
  while (name.size() < 12) {
    uint8_t bytes[16];
    SystemRandomBytes(bytes, sizeof bytes);
    for (const uint8_t byte : bytes) {
      if (name.size() == 8)
        name += '.';
      if (byte < 252 && name.size() < 12)
        name += Alphabet[byte % 36];
    }
  }
  return name;
}

std::string TPath::GetHomePath() {
  if (std::string path = FolderOverride(TSpecialFolder::Home); !path.empty())
    return path;
  if (std::string path = AbsoluteFromEnvironment("HOME"); !path.empty())
    return path;
  if (const passwd* account = ::getpwuid(::getuid()); account && account->pw_dir)
    return account->pw_dir;
  throw EInOutError("Cannot find the home folder");
}

std::string TPath::GetDocumentsPath() {
  return UserFolder(TSpecialFolder::Documents, "XDG_DOCUMENTS_DIR", "Documents");
}

std::string TPath::GetDownloadsPath() {
  return UserFolder(TSpecialFolder::Downloads, "XDG_DOWNLOAD_DIR", "Downloads");
}

std::string TPath::GetSharedDocumentsPath() {
  std::string path = FolderOverride(TSpecialFolder::SharedDocuments);
  return path.empty() ? GetPublicPath() : path;
}

std::string TPath::GetSharedDownloadsPath() {
  std::string path = FolderOverride(TSpecialFolder::SharedDownloads);
  return path.empty() ? GetPublicPath() : path;
}

std::string TPath::GetPublicPath() {
  return UserFolder(TSpecialFolder::Public, "XDG_PUBLICSHARE_DIR", "Public");
}

std::string TPath::GetExecutablePath() {
  if (std::string path = FolderOverride(TSpecialFolder::Executable); !path.empty())
    return path;
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/self/exe", error);
  if (error)
    throw Failure("Cannot find the executable", "/proc/self/exe", error);
  return exe.parent_path().string();
}

void TPath::SetFolderOverride(TSpecialFolder AFolder, const std::string& APath) {
  std::lock_guard lock(gOverridesLock);
  gOverrides.at(static_cast<size_t>(AFolder)) = APath;
}

// TFile

bool TFile::CreateProbe(const std::string& APath) {
  const int handle = ::open(APath.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
  if (handle < 0)
    return false;
  ::close(handle);
  ::unlink(APath.c_str());
  return true;
}

bool TFile::Exists(const std::string& APath) {
  std::error_code error;
  return fs::is_regular_file(APath, error);
}

void TFile::Delete(const std::string& APath) {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(APath, error);
  if (!fs::exists(status))
    return;
  if (fs::is_directory(status))
    throw Failure("Cannot delete file", APath, std::errc::is_a_directory);
  if (!fs::remove(APath, error) && error)
    throw Failure("Cannot delete file", APath, error);
}

void TFile::Copy(const std::string& ASource, const std::string& ADest, bool AOverwrite) {
  std::error_code error;
  const auto options = AOverwrite ? fs::copy_options::overwrite_existing : fs::copy_options::none;
  if (!fs::copy_file(ASource, ADest, options, error) || error)
    throw Failure("Cannot copy file", ASource + "\" to \"" + ADest, error);
}

void TFile::Move(const std::string& ASource, const std::string& ADest) {
  std::error_code error;
  if (fs::exists(fs::symlink_status(ADest, error)))
    throw Failure("Cannot move file", ASource + "\" to \"" + ADest, std::errc::file_exists);
  fs::rename(ASource, ADest, error);
  if (error == std::errc::cross_device_link) {
    Copy(ASource, ADest);
    Delete(ASource);
    return;
  }
  if (error)
    throw Failure("Cannot move file", ASource + "\" to \"" + ADest, error);
}

void TFile::Replace(const std::string& ASource, const std::string& ADest) {
  std::error_code error;
  fs::rename(ASource, ADest, error);
  if (error)
    throw Failure("Cannot replace file", ASource + "\" with \"" + ADest, error);
}

TBytes TFile::ReadAllBytes(const std::string& APath) {
  auto stream = MakeOwned<TFileStream>(APath, fmOpenRead | fmShareDenyWrite);
  TBytes bytes(static_cast<size_t>(stream->GetSize()));
  bytes.resize(static_cast<size_t>(stream->Read(bytes.data(), static_cast<int64_t>(bytes.size()))));
  // Files of the kernel's pseudo file systems report size 0 and still have content; a file may
  // also have grown since its size was taken.
  uint8_t chunk[4096];
  while (const int64_t count = stream->Read(chunk, sizeof chunk))
    bytes.insert(bytes.end(), chunk, chunk + count);
  return bytes;
}

void TFile::WriteAllBytes(const std::string& APath, const TBytes& ABytes) {
  MakeOwned<TFileStream>(APath, fmCreate)->WriteBuffer(ABytes.data(), static_cast<int64_t>(ABytes.size()));
}

std::string TFile::ReadAllText(const std::string& APath) {
  const TBytes bytes = ReadAllBytes(APath);
  const bool bom = bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
  return std::string(bytes.begin() + (bom ? 3 : 0), bytes.end());
}

void TFile::WriteAllText(const std::string& APath, const std::string& AText) {
  MakeOwned<TFileStream>(APath, fmCreate)->WriteBuffer(AText.data(), static_cast<int64_t>(AText.size()));
}

int64_t TFile::GetSize(const std::string& APath) {
  std::error_code error;
  const uintmax_t size = fs::file_size(APath, error);
  if (error)
    throw Failure("Cannot get the size of file", APath, error);
  return static_cast<int64_t>(size);
}

// TDirectory

bool TDirectory::Exists(const std::string& APath) {
  std::error_code error;
  return fs::is_directory(APath, error);
}

void TDirectory::CreateDirectory(const std::string& APath) {
  std::error_code error;
  fs::create_directories(APath, error);
  if (error)
    throw Failure("Cannot create directory", APath, error);
  if (!Exists(APath))
    throw Failure("Cannot create directory", APath, std::errc::not_a_directory);
}

void TDirectory::Delete(const std::string& APath, bool ARecursive) {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(APath, error);
  if (!fs::exists(status))
    return;
  if (!fs::is_directory(status))
    throw Failure("Cannot delete directory", APath, std::errc::not_a_directory);
  if (ARecursive)
    fs::remove_all(APath, error);
  else
    fs::remove(APath, error);
  if (error)
    throw Failure("Cannot delete directory", APath, error);
}

std::vector<std::string> TDirectory::GetFiles(const std::string& APath, const std::string& APattern) {
  std::error_code error;
  fs::directory_iterator entries(APath, error);
  if (error)
    throw Failure("Cannot list directory", APath, error);
  std::vector<std::string> files;
  for (const fs::directory_entry& entry : entries) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file(error) && ::fnmatch(APattern.c_str(), name.c_str(), 0) == 0)
      files.push_back(TPath::Combine(APath, name));
  }
  std::sort(files.begin(), files.end());
  return files;
}

} // namespace rtl
