// TFileMixDirectory: the one reading of a pack's header and directory, from
// the start of a stream: the header with one Read, then, record by record as
// the caller asks, each record with one Read, up to the count the header
// declares or the first record that falls short. It says what it found; the
// caller keeps the records as it needs (the launcher's reader in its list,
// fmix's verify in a vector) or drops them (fmix's check of a pack file).
//
//   TFileMixDirectory directory(stream);
//   for (TFileMixEntry record; directory.Next(record);) records.push_back(record);
//   if (!directory.Complete()) ...
#pragma once

#include <cstdint>

#include "unit_pack_files/file_mix_records.h"

class TVStream;

class TFileMixDirectory {
 public:
  enum class State {
    kReading,     // records are still to be read with Next
    kComplete,    // the header and every record it declares
    kHeaderCut,   // fewer bytes than a header
    kNoMagic,     // a whole header that does not begin with "fMix"
    kRecordsCut,  // Records() complete records of Declared(), then one cut off
  };

  // Reads the header from pack's start, which stays the caller's.
  explicit TFileMixDirectory(TVStream& pack);
  // Reads the next record into record; false, reading nothing, once the
  // directory is complete or found damaged, and when the record falls short.
  bool Next(TFileMixEntry& record);

  State Found() const { return Complete() ? State::kComplete : state_; }
  bool Complete() const { return state_ == State::kReading && records_ == header_.EntryCount; }
  // The count of records the header declares; 0 when the header is cut off.
  std::uint16_t Declared() const { return state_ == State::kHeaderCut ? 0 : header_.EntryCount; }
  // The count of complete records read so far.
  std::uint32_t Records() const { return records_; }

 private:
  TVStream& pack_;
  TFileMixHeader header_;  // read whole, or cut off
  std::uint32_t records_ = 0;
  State state_ = State::kReading;
};
