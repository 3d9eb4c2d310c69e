#include "fmix/verify/record_overlap.h"

#include <algorithm>
#include <cstdint>

namespace {

std::uint64_t End(const TFileMixEntry& entry) { return std::uint64_t{entry.DataOffset} + entry.DataSize; }

}  // namespace

TRecordOverlap FindOverlap(std::vector<const TFileMixEntry*> records) {
  records.erase(std::remove_if(records.begin(), records.end(),
                               [](const TFileMixEntry* entry) { return entry->DataSize == 0; }),
                records.end());
  std::stable_sort(records.begin(), records.end(), [](const TFileMixEntry* a, const TFileMixEntry* b) {
    return a->DataOffset < b->DataOffset;
  });
  TRecordOverlap overlap;
  const TFileMixEntry* furthest = nullptr;  // of the records before, the one that ends last
  for (const TFileMixEntry* entry : records) {
    if (furthest && entry->DataOffset < End(*furthest)) {
      if (overlap.records++ == 0) {
        overlap.first = furthest;
        overlap.second = entry;
      }
    }
    if (!furthest || End(*entry) > End(*furthest)) furthest = entry;
  }
  return overlap;
}
