#pragma once
// Files and paths on POSIX: path text helpers, the user's special folders, whole-file reads and
// writes, and directory basics. File-system failures raise EInOutError with the path and the
// system's reason; opening and creating files raise the stream errors of TFileStream.

#include <string>
#include <string_view>
#include <vector>

#include "rtl/exceptions.h"
#include "rtl/streams.h"

namespace rtl {

RTL_DECLARE_EXCEPTION(EInOutError, Exception);

inline constexpr char PathDelim = '/';

// Adds a "/" unless the path ends with one; an empty path stays empty (it means the current
// folder, which a bare "/" would turn into the root).
std::string IncludeTrailingPathDelimiter(const std::string& APath);
// Removes one trailing "/", except from the root "/" itself.
std::string ExcludeTrailingPathDelimiter(const std::string& APath);

// The folders TPath reports, each of which tests can redirect.
enum class TSpecialFolder {
  Home = 0,
  Documents = 1,
  Downloads = 2,
  SharedDocuments = 3,
  SharedDownloads = 4,
  Public = 5,
  Temp = 6,
  Executable = 7
};

class TPath {
public:
  // APath2 alone when it is absolute or APath1 is empty; else the two joined by one delimiter.
  static std::string Combine(const std::string& APath1, const std::string& APath2);
  static std::string Combine(const std::string& APath1, const std::string& APath2, const std::string& APath3);

  // The part after the last delimiter.
  static std::string GetFileName(const std::string& APath);
  // From the file name's last dot, dot included ("a.tar.gz" -> ".gz", "a." -> "."). A dot that
  // starts the name (".profile") marks a hidden file, not an extension.
  static std::string GetExtension(const std::string& APath);
  static std::string GetFileNameWithoutExtension(const std::string& APath);
  // Replaces or adds the extension; AExtension may start with a dot or not, and "" removes it.
  static std::string ChangeExtension(const std::string& APath, const std::string& AExtension);
  // Everything before the last delimiter, without it ("/" for a file in the root, "" for none).
  static std::string GetDirectoryName(const std::string& APath);

  // The temporary folder ($TMPDIR, else /tmp), with a trailing delimiter.
  static std::string GetTempPath();
  // Creates a new empty file with a unique name in the temporary folder and returns its name.
  static std::string GetTempFileName();
  // Eight and three random lower-case letters or digits around a dot ("k3v0q8zt.d2a").
  static std::string GetRandomFileName();

  // $HOME, else the account's home folder.
  static std::string GetHomePath();
  // $XDG_DOCUMENTS_DIR, else <home>/Documents.
  static std::string GetDocumentsPath();
  // $XDG_DOWNLOAD_DIR, else <home>/Downloads.
  static std::string GetDownloadsPath();
  // Linux has no folders shared by all users; the shared documents and downloads folders are the
  // public folder, the one folder meant for other users.
  static std::string GetSharedDocumentsPath();
  static std::string GetSharedDownloadsPath();
  // $XDG_PUBLICSHARE_DIR, else <home>/Public.
  static std::string GetPublicPath();
  // The folder of the running executable (/proc/self/exe), without a trailing delimiter.
  static std::string GetExecutablePath();
  // None of these folders is created; callers check or create what they write to.

  // Redirects a folder for the whole process (tests point them at scratch folders); an empty
  // path restores the normal lookup.
  static void SetFolderOverride(TSpecialFolder AFolder, const std::string& APath);
};

// True when the file name AName matches AMask: '*' matches any run of characters (none too),
// '?' exactly one, and other characters compare with ASCII letters upper-cased.
bool MatchesMask(std::string_view AName, std::string_view AMask);

class TFile {
public:
  // True for an existing regular file (or a link to one), false for folders.
  static bool Exists(const std::string& APath);
  // Deleting a missing file does nothing.
  static void Delete(const std::string& APath);
  static void Copy(const std::string& ASource, const std::string& ADest, bool AOverwrite = false);
  // Renames, or copies and deletes across file systems; an existing ADest raises.
  static void Move(const std::string& ASource, const std::string& ADest);
  // Renames over ADest, which may exist: atomic on one file system. Failures raise EInOutError.
  static void Replace(const std::string& ASource, const std::string& ADest);
  static TBytes ReadAllBytes(const std::string& APath);
  // Creates or truncates the file and writes all bytes.
  static void WriteAllBytes(const std::string& APath, const TBytes& ABytes);
  // UTF-8 text; a leading UTF-8 byte-order mark is dropped.
  static std::string ReadAllText(const std::string& APath);
  // Replaces the file with the UTF-8 text, without byte-order mark.
  static void WriteAllText(const std::string& APath, const std::string& AText);
  static int64_t GetSize(const std::string& APath);
  // Whether a new file APath can be created here: creates it exclusively (O_CREAT | O_EXCL |
  // O_RDWR), then closes and removes it at once. False when it exists already or cannot be made.
  static bool CreateProbe(const std::string& APath);
};

class TDirectory {
public:
  static bool Exists(const std::string& APath);
  // Creates the folder and any missing parents; an existing folder is fine.
  static void CreateDirectory(const std::string& APath);
  // Deletes an empty folder, or with ARecursive the folder and its content. A missing folder
  // does nothing.
  static void Delete(const std::string& APath, bool ARecursive = false);
  // The full paths of the regular files in APath (not its subfolders) whose names match the
  // shell pattern (*, ?, [...]; "*" includes hidden names), sorted by byte order.
  static std::vector<std::string> GetFiles(const std::string& APath, const std::string& APattern = "*");
};

} // namespace rtl
