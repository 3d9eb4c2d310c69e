#include "unit_pack_files/file_mix_directory.h"

#include <cstring>

#include "velm_stream/tv_stream.h"

TFileMixDirectory::TFileMixDirectory(TVStream& pack) : pack_(pack) {
  pack_.SetPosition(0);
  if (pack_.Read(&header_, sizeof header_) != sizeof header_)
    state_ = State::kHeaderCut;
  else if (std::memcmp(header_.Magic, kFileMixMagic, sizeof kFileMixMagic) != 0)
    state_ = State::kNoMagic;
}

bool TFileMixDirectory::Next(TFileMixEntry& record) {
  if (state_ != State::kReading || Complete()) return false;
  if (pack_.Read(&record, sizeof record) != sizeof record) {
    state_ = State::kRecordsCut;
    return false;
  }
  ++records_;
  return true;
}
