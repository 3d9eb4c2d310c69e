// TArchiveNames: the names of all entries of an archive, checked together
// before anything is extracted: every name must be safe and creatable on
// Windows (TEntryName), and no two may end up as one file on a file system
// that ignores case, nor may a file stand where a folder must be. yz1.dll
// refuses an archive that fails; fmix verify reports the same problem. Time
// and memory grow with the total length of the names, however deep the
// paths; names in a problem are cut to 128 units.
#pragma once

#include <string>
#include <vector>

struct TZipEntry;

class TArchiveNames {
 public:
  explicit TArchiveNames(const std::vector<TZipEntry>& entries);

  // The first problem as one line naming the entry or entries, or empty.
  const std::u16string& Problem() const { return problem_; }

 private:
  void CheckEach(const std::vector<TZipEntry>& entries);
  void CheckCollisions(const std::vector<TZipEntry>& entries);

  std::u16string problem_;
};
