// Pack records whose data share bytes. fmix writes each entry's data apart;
// records that point into one another's data make a small pack unpack into
// many times its size (500 records on one range of 1 MB write 500 MB), so
// fmix verify fails them and fmix extract refuses them unless asked.
#pragma once

#include <cstddef>
#include <vector>

#include "unit_pack_files/file_mix_records.h"

struct TRecordOverlap {
  // The first two records found sharing bytes, in the order of their data;
  // null when none do.
  const TFileMixEntry* first = nullptr;
  const TFileMixEntry* second = nullptr;
  // How many records begin inside the data of an earlier one.
  std::size_t records = 0;
};

// Empty records share nothing. Sorts a copy of the list: n log n.
TRecordOverlap FindOverlap(std::vector<const TFileMixEntry*> records);
