#include "tar_xz/archive_format.h"

#include "tar_xz/tar_reader.h"
#include "zip/zip_reader.h"

std::unique_ptr<TArchiveReader> MakeArchiveReader(TZipSource& source) {
  if (TTarReader::Recognises(source)) return std::make_unique<TTarReader>();
  return std::make_unique<TZipReader>();
}
