// The narrow seam between the portable units and the platform. Everything the
// streams, the list and the pack unit need from the operating system goes
// through these functions; os_win.cpp implements them with Win32 calls and
// os_posix.cpp with POSIX calls, so the portable code reads the same on both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace os {

// A file handle as the streams keep it: negative means "no file open".
using FileHandle = std::intptr_t;
constexpr FileHandle kNoFile = -1;

// The separator of folder names: a backslash on Windows, a slash on POSIX;
// and every character that ends the folder part of a path (on Windows also
// a slash and a drive colon).
#ifdef _WIN32
constexpr char16_t kPathDelimiter = u'\\';
constexpr char16_t kFolderPartEnds[] = u"\\/:";
#else
constexpr char16_t kPathDelimiter = u'/';
constexpr char16_t kFolderPartEnds[] = u"/";
#endif

enum class Access { Read, Write, ReadWrite };
enum class Share { None, Read, Write, ReadWrite };

// What the calls that create or open a file give back: the handle, or kNoFile
// and the system's code for why (errno on POSIX, GetLastError on Windows),
// which FailureText spells out.
struct Opened {
  FileHandle handle;
  std::uint32_t failure;
};
// What the calls that make a folder or rename give back: whether they
// succeeded and, when not, the system's code for why (0 when the system was
// not asked).
struct Done {
  bool ok;
  std::uint32_t failure;
  explicit operator bool() const { return ok; }
};
// The system's words for a failure's code, as 8-bit text; empty for 0.
std::string FailureText(std::uint32_t failure);

// Creates (emptying an existing file) or opens an existing file.
Opened FileCreate(const std::u16string& name);
// Creates a new file for reading and writing, shared with no one, as mkstemp
// does: kNoFile when anything exists under the name (a hard link, a link
// elsewhere), which is never followed.
Opened FileCreateNew(const std::u16string& name);
Opened FileOpen(const std::u16string& name, Access access, Share share);
// One system call each; a failure reads or writes 0 bytes.
std::int32_t FileRead(FileHandle h, void* buffer, std::int32_t count);
std::int32_t FileWrite(FileHandle h, const void* buffer, std::int32_t count);
// Origin 0 begin, 1 current, 2 end. Returns the new position or -1.
std::int64_t FileSeek(FileHandle h, std::int64_t offset, int origin);
// Ends the file at its current position; the result is not reported.
void FileTruncate(FileHandle h);
void FileClose(FileHandle h);

// A movable block that stays locked (at a stable address) while held.
// Each returns nullptr when memory is exhausted; a failed resize keeps the
// old block valid and locked.
void* BlockAlloc(std::size_t size);
void* BlockResize(void* block, std::size_t size);
void BlockFree(void* block);

// Text in the process's 8-bit code page: the system's (UTF-8 on POSIX), read
// once, or UTF-8 everywhere after UseUtf8Text.
std::u16string AnsiToWide(const std::string& text);
std::string WideToAnsi(const std::u16string& text);
// Makes UTF-8 the process's 8-bit text on Windows too, so that a tool whose
// names come from the wide command line keeps every character of them.
void UseUtf8Text();
// The program's arguments after its name, as 8-bit text: on Windows read
// from the wide command line, not from the system code page's argv.
std::vector<std::string> CommandLineWords(int argc, char** argv);

// Text in a Windows code page named by its number, for names made here for
// another system. Strict: false when a character has no form of its own in
// the code page (no best-fit or default character) or when bytes are no
// valid text in it.
bool CodePageKnown(unsigned codePage);
bool WideToCodePage(unsigned codePage, const std::u16string& text, std::string& out);
bool CodePageToWide(unsigned codePage, const std::string& text, std::u16string& out);

// True only for an existing entry that is not a folder.
bool FileExists(const std::u16string& name);
bool DirectoryExists(const std::u16string& name);
// True when anything of that name exists, a link or a folder included, or
// may exist: the system cannot tell for another reason than its absence.
bool NameTaken(const std::u16string& name);
Done MakeDirectory(const std::u16string& name);
bool RemoveFile(const std::u16string& name);
// Removes an empty folder; false when it is not empty or cannot be removed.
bool RemoveFolder(const std::u16string& name);
// Renames from to to, replacing an existing file to.
Done RenameFile(const std::u16string& from, const std::u16string& to);
// What a folder's entry is in itself, a link not followed: kLink is a
// symbolic link on POSIX and any reparse point (a junction too) on Windows;
// kOther a device, pipe or socket.
enum class EntryKind { kFile, kFolder, kLink, kOther };
struct FolderEntry {
  std::u16string name;
  EntryKind kind;
  std::uint64_t size;  // a file's; 0 for the others
};
// The entries of a folder, without "." and "..", in the order the system
// gives them.
Done ListFolder(const std::u16string& folder, std::vector<FolderEntry>& entries);
// True when both names reach one file, links followed; false when either
// cannot be reached.
bool SameFile(const std::u16string& a, const std::u16string& b);
// The bytes this user may still write on the volume that holds folder
// (quotas counted); false when the system cannot tell.
bool FreeSpace(const std::u16string& folder, std::uint64_t& bytes);
// The system's temporary folder, as the system names it (on Windows with a
// trailing backslash); fails when that names no folder.
Done TemporaryFolder(std::u16string& folder);
// The running program's full path, however long; empty when the platform
// cannot tell it whole.
std::u16string ProgramPath();
// The folder of the files installed with the running program under name:
// share/NAME beside the program's bin folder on POSIX (the usual install
// layout), the program's own folder on Windows (a kit unpacked from a zip).
// Empty when the program's path is unknown.
std::u16string InstalledDataFolder(const std::u16string& name);
// True when the standard error stream is a terminal (a console on Windows).
bool StandardErrorIsTerminal();
// Writes 8-bit text to standard output or error, unbuffered. A Windows
// console shows every character; a file or pipe on Windows gets the system
// code page, with a near match or '?' for a character it lacks.
enum class Stream { kOutput, kError };
void WriteStandard(Stream stream, const std::string& text);

}  // namespace os
