// Zipping a folder for the archiver plug-in: entries are named relative to
// the folder with forward slashes and come in byte-wise order of their UTF-8
// names; empty folders are recorded as "name/". The same tree always gives
// the same bytes, as a ZIP file or as an xz-compressed tar (solid).
#include "fmix/zip_folder.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <vector>

#include "fmix/cli_error.h"
#include "fmix/host_path.h"
#include "fmix/output_file.h"
#include "fmix/progress.h"
#include "tar_xz/tar_writer.h"
#include "tar_xz/xz_compressor.h"
#include "zip/zip_writer.h"

namespace fs = std::filesystem;

namespace {

struct Item {
  std::string name;  // UTF-8, forward slashes; a folder's ends in "/"
  fs::path path;
  std::uint64_t size = 0;
};

bool IsEmptyFolder(const fs::path& path, const std::string& shownName) {
  std::error_code error;
  const bool empty = fs::is_empty(path, error);
  if (error) throw FileError(shownName, "cannot read the folder: " + error.message());
  return empty;
}

bool IsSameFile(const fs::path& a, const fs::path& b) {
  std::error_code ignored;
  return fs::equivalent(a, b, ignored);
}

// Why a symbolic link or special file is not shipped; empty for a plain
// file or folder. A link would ship whatever it points to (or leave a
// linked folder out), never the link.
std::string Refusal(fs::file_type type) {
  if (type == fs::file_type::symlink) return "a symbolic link: give the file or folder itself";
  if (type == fs::file_type::regular || type == fs::file_type::directory) return {};
  return "a special file (device, pipe or socket): neither a file nor a folder";
}

// Every file and every empty folder under dir, except the output itself
// (under its temporary name or its target name). Symbolic links and special
// files are refused, one line each.
std::vector<Item> CollectItems(const fs::path& dir, const TOutputFile& out) {
  std::vector<Item> items;
  std::string refused;
  std::error_code error;
  for (fs::recursive_directory_iterator it(dir, error), end; !error && it != end;
       it.increment(error)) {
    const fs::path& path = it->path();
    const std::string shown = HostName(path);
    Item item{path.lexically_relative(dir).generic_u8string(), path};
    const std::string refusal = Refusal(it->symlink_status().type());
    if (!refusal.empty()) {
      refused += (refused.empty() ? "" : "\n") + std::string(FileError(shown, refusal).what());
    } else if (it->is_directory()) {
      if (!IsEmptyFolder(path, shown)) continue;
      item.name += '/';
    } else if (IsSameFile(path, HostPath(out.TempName())) ||
               IsSameFile(path, HostPath(out.Target()))) {
      continue;
    } else if (it->file_size() > TZipWriter::kMaxSize) {
      throw FileError(shown, "4 GiB or larger, which a ZIP file without Zip64 cannot hold");
    } else {
      item.size = it->file_size();
    }
    if (refusal.empty()) items.push_back(std::move(item));
  }
  if (error) throw FileError(HostName(dir), "cannot read the folder: " + error.message());
  if (!refused.empty()) throw ECliError(1, refused);
  std::sort(items.begin(), items.end(),
            [](const Item& a, const Item& b) { return a.name < b.name; });
  return items;
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
  const fs::path root = HostPath(dir);
  std::error_code error;
  if (!fs::is_directory(root, error)) throw FileError(dir, "no such folder");
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

