// POSIX implementation of the platform seam. File names are UTF-8 bytes and
// the 8-bit code page is UTF-8. There are no share modes on POSIX: a share
// request is accepted and not enforced.
#include "os/os.h"
#include "os/utf8.h"

#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>

namespace os {
namespace {

// A call's result, with errno when it failed.
Opened OpenResult(int fd) { return {fd < 0 ? kNoFile : fd, fd < 0 ? static_cast<std::uint32_t>(errno) : 0}; }
Done CallResult(bool ok) { return {ok, ok ? 0 : static_cast<std::uint32_t>(errno)}; }

std::string Path(const std::u16string& name) { return WideToAnsi(name); }

EntryKind KindOf(mode_t mode) {
  if (S_ISLNK(mode)) return EntryKind::kLink;
  if (S_ISDIR(mode)) return EntryKind::kFolder;
  return S_ISREG(mode) ? EntryKind::kFile : EntryKind::kOther;
}

// iconv's name of a Windows code page: "CP932", "CP1252"; 65001 is UTF-8.
std::string IconvName(unsigned codePage) {
  return codePage == 65001 ? "UTF-8" : "CP" + std::to_string(codePage);
}

// iconv's converter between two encodings, opened once and kept open for
// the process: opening one costs far more than converting a name, and a pack
// holds up to 65,535 names.
iconv_t Converter(const std::string& to, const std::string& from) {
  static auto* const converters = new std::map<std::pair<std::string, std::string>, iconv_t>;
  const auto key = std::make_pair(to, from);
  auto found = converters->find(key);
  if (found == converters->end())
    found = converters->emplace(key, iconv_open(to.c_str(), from.c_str())).first;
  return found->second;
}

// The whole of in converted by iconv; false on any byte or character that
// has no form in the target, or when iconv knows neither encoding.
bool Iconv(const std::string& to, const std::string& from, const std::string& in, std::string& out) {
  out.clear();
  iconv_t cd = Converter(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // the initial state
  std::string buffer(in.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  std::size_t srcLeft = in.size();
  char* dst = &buffer[0];
  std::size_t dstLeft = buffer.size();
  bool ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1) &&
            iconv(cd, nullptr, nullptr, &dst, &dstLeft) != static_cast<std::size_t>(-1);
  if (ok) out.assign(buffer.data(), buffer.size() - dstLeft);
  return ok;
}

}  // namespace

Opened FileCreate(const std::u16string& name) {
  return OpenResult(::open(Path(name).c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644));
}

Opened FileCreateNew(const std::u16string& name) {
  return OpenResult(::open(Path(name).c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
}

Opened FileOpen(const std::u16string& name, Access access, Share) {
  static const int kFlags[] = {O_RDONLY, O_WRONLY, O_RDWR};
  const Opened opened = OpenResult(::open(Path(name).c_str(), kFlags[static_cast<int>(access)]));
  if (opened.handle == kNoFile) return opened;
  struct stat st;
  if (::fstat(static_cast<int>(opened.handle), &st) != 0 || S_ISDIR(st.st_mode)) {  // Windows opens no folders
    ::close(static_cast<int>(opened.handle));
    return {kNoFile, EISDIR};
  }
  return opened;
}

std::int32_t FileRead(FileHandle h, void* buffer, std::int32_t count) {
  if (count <= 0) return 0;
  ssize_t n = ::read(static_cast<int>(h), buffer, static_cast<std::size_t>(count));
  return n < 0 ? 0 : static_cast<std::int32_t>(n);
}

std::int32_t FileWrite(FileHandle h, const void* buffer, std::int32_t count) {
  if (count <= 0) return 0;
  ssize_t n = ::write(static_cast<int>(h), buffer, static_cast<std::size_t>(count));
  return n < 0 ? 0 : static_cast<std::int32_t>(n);
}

std::int64_t FileSeek(FileHandle h, std::int64_t offset, int origin) {
  static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (origin < 0 || origin > 2) return -1;
  off_t pos = ::lseek(static_cast<int>(h), static_cast<off_t>(offset), kWhence[origin]);
  return pos < 0 ? -1 : static_cast<std::int64_t>(pos);
}

void FileTruncate(FileHandle h) {
  off_t pos = ::lseek(static_cast<int>(h), 0, SEEK_CUR);
  if (pos >= 0) (void)::ftruncate(static_cast<int>(h), pos);
}

void FileClose(FileHandle h) { ::close(static_cast<int>(h)); }

void* BlockAlloc(std::size_t size) { return std::malloc(size); }

void* BlockResize(void* block, std::size_t size) { return std::realloc(block, size); }

void BlockFree(void* block) { std::free(block); }

std::u16string AnsiToWide(const std::string& text) {
  std::u16string out;
  Utf8ToUtf16(text, out);
  return out;
}

std::string WideToAnsi(const std::u16string& text) { return Utf16ToUtf8(text); }

bool CodePageKnown(unsigned codePage) {
  iconv_t cd = iconv_open("UTF-16LE", IconvName(codePage).c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

bool WideToCodePage(unsigned codePage, const std::u16string& text, std::string& out) {
  std::string utf16;
  for (char16_t c : text) {
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  return Iconv(IconvName(codePage), "UTF-16LE", utf16, out);
}

bool CodePageToWide(unsigned codePage, const std::string& text, std::u16string& out) {
  std::string utf16;
  out.clear();
  if (!Iconv("UTF-16LE", IconvName(codePage), text, utf16)) return false;
  for (std::size_t i = 0; i + 1 < utf16.size(); i += 2)
    out += static_cast<char16_t>(static_cast<unsigned char>(utf16[i]) |
                                 static_cast<unsigned char>(utf16[i + 1]) << 8);
  return true;
}

bool FileExists(const std::u16string& name) {
  struct stat st;
  return ::stat(Path(name).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::u16string& name) {
  struct stat st;
  return ::stat(Path(name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool NameTaken(const std::u16string& name) {
  struct stat st;
  return ::lstat(Path(name).c_str(), &st) == 0 || (errno != ENOENT && errno != ENOTDIR);
}

Done MakeDirectory(const std::u16string& name) {
  return CallResult(::mkdir(Path(name).c_str(), 0755) == 0);
}

bool RemoveFile(const std::u16string& name) { return ::unlink(Path(name).c_str()) == 0; }

bool RemoveFolder(const std::u16string& name) { return ::rmdir(Path(name).c_str()) == 0; }

// What an unprivileged user may write: the blocks left less the reserve.
bool FreeSpace(const std::u16string& folder, std::uint64_t& bytes) {
  struct statvfs volume;
  if (::statvfs(Path(folder).c_str(), &volume) != 0) return false;
  bytes = static_cast<std::uint64_t>(volume.f_bavail) * volume.f_frsize;
  return true;
}

Done RenameFile(const std::u16string& from, const std::u16string& to) {
  return CallResult(::rename(Path(from).c_str(), Path(to).c_str()) == 0);
}

// An entry that goes between the listing and its lstat fails the listing.
Done ListFolder(const std::u16string& folder, std::vector<FolderEntry>& entries) {
  entries.clear();
  DIR* const dir = ::opendir(Path(folder).c_str());
  if (!dir) return CallResult(false);
  bool ok = true;
  errno = 0;
  while (const dirent* found = ::readdir(dir)) {
    const std::string name = found->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    ok = ::fstatat(::dirfd(dir), found->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (!ok) break;
    const EntryKind kind = KindOf(st.st_mode);
    entries.push_back({AnsiToWide(name), kind, kind == EntryKind::kFile ? static_cast<std::uint64_t>(st.st_size) : 0});
    errno = 0;
  }
  const Done done = CallResult(ok && errno == 0);
  ::closedir(dir);
  return done;
}

bool SameFile(const std::u16string& a, const std::u16string& b) {
  struct stat first, second;
  return ::stat(Path(a).c_str(), &first) == 0 && ::stat(Path(b).c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// The first of the variables that is set, as the C++ library reads them.
Done TemporaryFolder(std::u16string& folder) {
  const char* name = "/tmp";
  for (const char* variable : {"TMPDIR", "TMP", "TEMP", "TEMPDIR"})
    if (const char* value = std::getenv(variable)) {
      name = value;
      break;
    }
  folder = AnsiToWide(name);
  struct stat st;
  if (::stat(name, &st) != 0) return CallResult(false);
  return {S_ISDIR(st.st_mode), S_ISDIR(st.st_mode) ? 0u : static_cast<std::uint32_t>(ENOTDIR)};
}

std::string FailureText(std::uint32_t failure) {
  return failure ? std::strerror(static_cast<int>(failure)) : "";
}

std::u16string ProgramPath() {
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n < 0 ? std::u16string() : AnsiToWide(std::string(buffer, static_cast<std::size_t>(n)));
}

std::u16string InstalledDataFolder(const std::u16string& name) {
  std::u16string folder = ProgramPath();
  for (int up = 0; up < 2; ++up) {
    const std::size_t slash = folder.rfind(u'/');
    if (slash == std::u16string::npos) return std::u16string();
    folder.resize(slash);
  }
  return folder + u"/share/" + name;
}

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void UseUtf8Text() {}

}  // namespace os
