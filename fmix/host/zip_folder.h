// ZipFolder: a folder's content as an archive for the archiver plug-in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class TOutputFile;
class TProgress;

// Writes dir's content into out (not committed). The folder is read whole
// first, so that a missing folder, an oversized file or too many entries are
// refused before anything is written. The output file itself is left out.
// progress, when given, counts the bytes read. solid writes an xz-compressed
// tar in place of the ZIP file. Returns what went in.
struct TZippedFolder {
  std::size_t entries;
  std::uint64_t bytes;  // the files' sizes, added up
};
TZippedFolder ZipFolder(const std::string& dir, TOutputFile& out, TProgress* progress = nullptr, bool solid = false);
