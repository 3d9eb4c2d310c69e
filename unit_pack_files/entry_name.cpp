#include "unit_pack_files/entry_name.h"

#include "rtl/text.h"
#include "unit_pack_files/file_mix_records.h"

std::string EntryName(const TFileMixEntry& entry) {
  return rtl::FromBuffer(entry.Name, sizeof entry.Name);
}

bool IsSafeEntryName(const std::u16string& name) {
  if (name.empty() || name[0] == u'\\' || name[0] == u'/') return false;
  if (name.find(u':') != std::u16string::npos) return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find_first_of(u"\\/", start);
    if (end == std::u16string::npos) end = name.size();
    if (name.compare(start, end - start, u"..") == 0) return false;
    start = end + 1;
  }
  return true;
}
