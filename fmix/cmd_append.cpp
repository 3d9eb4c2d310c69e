// fmix append STUB.exe PACK OUT.exe: the stub's bytes followed directly by
// the pack's.
#include <memory>

#include "fmix/cli_error.h"
#include "fmix/commands.h"
#include "fmix/output_file.h"
#include "fmix/pack_source.h"
#include "fmix/temp_file.h"
#include "os/os.h"
#include "rtl/exception.h"
#include "rtl/text.h"
#include "unit_pack_files/file_mix_records.h"
#include "unit_pack_files/pack_locator.h"
#include "velm_stream/tv_file_stream.h"
#include "velm_stream/tv_memory_stream.h"

namespace {

// Open mode: read access, others may read but not write.
constexpr std::uint16_t kOpenShareRead = 32;

std::unique_ptr<TVFileStream> OpenInput(const std::string& fileName) {
  if (!rtl::FileExists(rtl::ToWide(fileName))) throw FileError(fileName, "no such file");
  try {
    return std::make_unique<TVFileStream>(fileName, kOpenShareRead);
  } catch (const Exception&) {
    throw FileError(fileName, "cannot be opened for reading", os::LastFailure());
  }
}

// What the launcher would find if the stub carried a pack: the stub is
// copied with a bare "fMix" after it, and the locator must deliver exactly
// those 4 bytes. An image with anything after its last section (a symbol or
// string table) is refused, since the launcher would copy that in front.
void CheckStub(const std::string& stub) {
  TTempFile probe(".exe");
  {
    std::unique_ptr<TVFileStream> in = OpenInput(stub);
    TVFileStream out(probe.Name(), TVFileStream::kCreate);
    out.CopyFrom(*in, 0);
    out.WriteBuffer(kFileMixMagic, sizeof kFileMixMagic);
  }
  TVMemoryStream found;
  bool ok = false;
  try {
    ok = LoadAppendedPack(rtl::ToWide(probe.Name()), found, true);
  } catch (const EInOutError&) {
    // Too short for the header fields of an image.
  }
  if (!ok || found.Size() < static_cast<std::int32_t>(sizeof kFileMixMagic))
    throw FileError(stub, "no executable image after which the launcher finds its pack");
  if (found.Size() > static_cast<std::int32_t>(sizeof kFileMixMagic))
    throw FileError(stub, std::to_string(found.Size() - sizeof kFileMixMagic) +
                              " bytes follow the end of its last section, where the launcher "
                              "expects the pack (a symbol table? link the stub with -s; a "
                              "certificate? sign the finished setup, never the stub)");
}

void CopyInto(TOutputFile& out, const std::string& fileName) {
  std::unique_ptr<TVFileStream> in = OpenInput(fileName);
  const std::int64_t size = in->GetSize();
  std::unique_ptr<char[]> buffer(new char[TVStream::kCopyChunk]);
  std::int64_t copied = 0;
  while (std::int32_t n = in->Read(buffer.get(), TVStream::kCopyChunk)) {
    out.Write(buffer.get(), static_cast<std::size_t>(n));
    copied += n;
  }
  if (copied != size) throw FileError(fileName, "read failed");
}

}  // namespace

int RunAppend(const Args& args) {
  if (args.size() != 3) throw UsageError("usage: fmix append STUB.exe PACK OUT.exe");
  CheckStub(args[0]);
  const TPackSource pack(args[1]);
  TOutputFile out(args[2]);
  CopyInto(out, args[0]);
  pack.WriteTo(out);
  out.Commit();
  return 0;
}
