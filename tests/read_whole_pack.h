// Everything TFileMixReader offers, on one file of any content: only the
// errors it defines (EInOutError, EOutOfMemory) may escape its calls, and
// they are caught here. Shared by the mutation test and the fuzz target.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "rtl/exception.h"
#include "unit_pack_files/file_mix_records.h"
#include "unit_pack_files/file_mix_reader.h"
#include "velm_stream/tv_memory_stream.h"

// refuse: whether the look-ups by name refuse scrambling mode 2.
inline void ReadWholePack(const std::string& fileName, const std::string& folder, bool refuse) {
  try {
    TFileMixReader reader(fileName);
    for (std::int32_t i = 0; i < reader.Directory().Count; ++i) {
      TVMemoryStream stream;
      reader.ExtractToStream(reader.Entry(i), stream);
      std::unique_ptr<TVMemoryStream> byName;
      reader.ExtractByName(EntryName(*reader.Entry(i)), byName, refuse);
    }
    std::string text;
    reader.ExtractToString("config.txt", text, refuse);
    reader.ExtractAll(folder);
  } catch (const EInOutError&) {
  } catch (const EOutOfMemory&) {
  }
}
