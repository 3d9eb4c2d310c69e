// TFileMixReader: reads a pack's directory once and extracts entries,
// descrambled, by record or by name. The pack is a file, which stays open,
// with no sharing, for the reader's whole life, or a stream the reader owns.
#pragma once

#include <memory>
#include <string>

#include "unit_pack_files/file_mix_records.h"
#include "velm_stream/tv_stream.h"
#include "velm_types/tv_list.h"

class TVMemoryStream;

class TFileMixReader {
 public:
  // Raises EInOutError when the file cannot be opened or is not a complete
  // pack header and directory; nothing stays acquired then.
  explicit TFileMixReader(const std::string& fileName);
  // Reads the pack from the start of stream, which it keeps; name stands for
  // the pack in messages. Raises like the file constructor.
  TFileMixReader(std::unique_ptr<TVStream> stream, const std::string& name);
  virtual ~TFileMixReader();
  TFileMixReader(const TFileMixReader&) = delete;
  TFileMixReader& operator=(const TFileMixReader&) = delete;

  // Replaces stream's content by the entry's data, descrambled. Never raises:
  // after a failed copy the stream holds what was copied, not descrambled.
  void ExtractToStream(const TFileMixEntry* entry, TVMemoryStream& stream);
  // Writes every entry into folder + name (folder ends in a delimiter), each
  // through a buffer of at most TVStream::kCopyChunk bytes. Raises on a file
  // that cannot be written and on an entry whose data the pack lacks (before
  // creating its file), and refuses a name that could reach outside folder.
  void ExtractAll(const std::string& folder);
  // The two values of refuseMode2, named for the call sites.
  static constexpr bool kDecodeMode2 = false;
  static constexpr bool kRefuseMode2 = true;

  // Looks the entry up by name (ASCII letters in either case). When a record
  // matches, stream receives a new memory stream that the caller owns; it is
  // left untouched when none does. False when none matches, on any error, and
  // for a mode-2 entry when refuseMode2 is set (the data then stays scrambled).
  bool ExtractByName(const std::string& entryName, std::unique_ptr<TVMemoryStream>& stream,
                     bool refuseMode2);
  // The entry's bytes as 8-bit text; text is untouched when false. An entry
  // over kMaxTextSize bytes is refused before it is read.
  bool ExtractToString(const std::string& entryName, std::string& text, bool refuseMode2);
  // The largest text entry read: Windows' longest path, 32,767 characters of
  // up to two bytes in a double-byte code page, and its line end (CONFIG.TXT
  // names one path).
  static constexpr std::uint32_t kMaxTextSize = 65536;

  // The first record whose name matches (ASCII letters in either case), or
  // null.
  const TFileMixEntry* FindEntry(const std::string& entryName) const;
  // The directory records in file order.
  const TVList& Directory() const { return directory_; }
  const TFileMixEntry* Entry(std::int32_t index) const;

 private:
  void Load(const std::string& name);
  void LoadDirectory(const std::string& name);
  void FreeDirectory();
  bool ExtractEntry(const TFileMixEntry& entry, TVMemoryStream& stream, bool refuseMode2);
  void WriteEntry(const TFileMixEntry& entry, TVStream& out);

  TVList directory_;
  std::unique_ptr<TVStream> pack_;
};
