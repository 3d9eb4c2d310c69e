// Zipping a folder for the archiver plug-in: entries are named relative to
// the folder with forward slashes and come in byte-wise order of their UTF-8
// names; empty folders are recorded as "name/". The same tree always gives
// the same bytes, as a ZIP file or as an xz-compressed tar (solid).
#include "fmix/host/zip_folder.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "fmix/report/cli_error.h"
#include "fmix/host/host_files.h"
#include "fmix/host/output_file.h"
#include "fmix/report/progress.h"
#include "os/os.h"
#include "os/utf8.h"
#include "rtl/text.h"
#include "tar_xz/tar_writer.h"
#include "tar_xz/xz_compressor.h"
#include "zip/zip_writer.h"

namespace {

struct Item {
  std::string name;  // UTF-8, forward slashes; a folder's ends in "/"
  std::u16string path;
  std::uint64_t size = 0;
};

std::vector<os::FolderEntry> Entries(const std::u16string& folder) {
  std::vector<os::FolderEntry> entries;
  const os::Done listed = os::ListFolder(folder, entries);
  if (!listed) throw FileError(rtl::ToAnsi(folder), "cannot read the folder", os::FailureText(listed.failure));
  return entries;
}

// Why a symbolic link or special file is not shipped; empty for a plain
// file or folder. A link would ship whatever it points to (or leave a
// linked folder out), never the link.
std::string Refusal(os::EntryKind kind) {
  if (kind == os::EntryKind::kLink) return "a symbolic link: give the file or folder itself";
  if (kind == os::EntryKind::kFile || kind == os::EntryKind::kFolder) return {};
  return "a special file (device, pipe or socket): neither a file nor a folder";
}

// Every file and every empty folder under a folder, except the output itself
// (under its temporary name or its target name), depth first and each
// folder's entries in the system's order: the order refusals are reported
// in. Symbolic links and special files are refused, one line each.
class ItemWalk {
 public:
  explicit ItemWalk(const TOutputFile& out) : out_(out) {}
  // relative: the folder's name in the archive, "" or ending in "/".
  void Folder(const std::u16string& path, const std::u16string& relative,
              const std::vector<os::FolderEntry>& entries) {
    for (const os::FolderEntry& entry : entries) Entry(ChildName(path, entry.name), relative + entry.name, entry);
  }
  std::vector<Item>& Items() { return items_; }
  const std::string& Refused() const { return refused_; }

 private:
  void Entry(const std::u16string& path, const std::u16string& relative, const os::FolderEntry& entry);
  bool IsOutput(const std::u16string& path) const {
    return os::SameFile(path, rtl::ToWide(out_.TempName())) || os::SameFile(path, rtl::ToWide(out_.Target()));
  }

  const TOutputFile& out_;
  std::vector<Item> items_;
  std::string refused_;
};

void ItemWalk::Entry(const std::u16string& path, const std::u16string& relative, const os::FolderEntry& entry) {
  const std::string shown = rtl::ToAnsi(path);
  const std::string refusal = Refusal(entry.kind);
  if (!refusal.empty()) {
    refused_ += (refused_.empty() ? "" : "\n") + std::string(FileError(shown, refusal).what());
    return;
  }
  Item item{os::Utf16ToUtf8(relative), path, entry.size};
  if (entry.kind == os::EntryKind::kFolder) {
    const std::vector<os::FolderEntry> inside = Entries(path);
    if (!inside.empty()) return Folder(path, relative + u"/", inside);
    item.name += '/';
  } else if (IsOutput(path)) {
    return;
  } else if (entry.size > TZipWriter::kMaxSize) {
    throw FileError(shown, "4 GiB or larger, which a ZIP file without Zip64 cannot hold");
  }
  items_.push_back(std::move(item));
}

std::vector<Item> CollectItems(const std::u16string& dir, const TOutputFile& out) {
  ItemWalk walk(out);
  walk.Folder(dir, u"", Entries(dir));
  if (!walk.Refused().empty()) throw ECliError(1, walk.Refused());
  std::vector<Item>& items = walk.Items();
  std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.name < b.name; });
  return std::move(items);
}

// What a writer calls as it reads the files: progress, when shown.
std::function<void(std::uint64_t)> Advancing(TProgress* progress) {
  return [progress](std::uint64_t read) {
    if (progress) progress->Advance(read);
  };
}

// Adds the folders by name and the files through addFile.
template <class Writer, class AddFile>
void AddItems(Writer& writer, const std::vector<Item>& items, AddFile addFile) {
  for (const Item& item : items) {
    if (item.name.back() == '/')
      writer.AddFolder(item.name);
    else
      addFile(item);
  }
  writer.Finish();
}

// The items as a tar, which streams through the compressor: each file is
// read once, and the dictionary is sized to the tar.
void WriteSolid(const std::vector<Item>& items, TOutputFile& out, TProgress* progress) {
  std::uint64_t size = TTarWriter::kEndBytes;
  for (const Item& item : items) size += TTarWriter::EntryBytes(item.name, item.size);
  TXzCompressor xz([&out](const char* data, std::size_t n) { out.Write(data, n); }, size);
  TTarWriter tar([&xz](const char* data, std::size_t n) { xz.Write(data, n); }, Advancing(progress));
  AddItems(tar, items, [&tar](const Item& item) { tar.AddFile(item.name, item.path, item.size); });
  xz.Finish();
}

void WriteZip(const std::vector<Item>& items, TOutputFile& out, TProgress* progress) {
  TZipWriter zip([&out](const char* data, std::size_t size) { out.Write(data, size); }, Advancing(progress));
  AddItems(zip, items, [&zip](const Item& item) { zip.AddFile(item.name, item.path); });
}

}  // namespace

TZippedFolder ZipFolder(const std::string& dir, TOutputFile& out, TProgress* progress, bool solid) {
  const std::u16string root = rtl::ToWide(dir);
  if (!os::DirectoryExists(root)) throw FileError(dir, "no such folder");
  const std::vector<Item> items = CollectItems(root, out);
  if (items.size() > TZipWriter::kMaxEntries)
    throw FileError(dir, "holds " + std::to_string(items.size()) +
                             " entries; a ZIP file holds at most " +
                             std::to_string(TZipWriter::kMaxEntries));
  std::uint64_t bytes = 0;
  for (const Item& item : items) bytes += item.size;
  if (progress) progress->Start(bytes);
  if (solid)
    WriteSolid(items, out, progress);
  else
    WriteZip(items, out, progress);
  if (progress) progress->Finish();
  return {items.size(), bytes};
}

