// TSetupVerifier's checks of the image: a 32-bit PE image with the pack right
// behind its last section, the signature behind the pack, the icon and version.

#include "fmix/verify/setup_verifier.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "fmix/host/host_files.h"
#include "fmix/image/authenticode.h"
#include "fmix/image/image_identity.h"
#include "fmix/image/pe_image.h"
#include "fmix/report/hex_bytes.h"
#include "fmix/report/printable.h"
#include "rtl/exception.h"
#include "rtl/text.h"
#include "unit_pack_files/pack_locator.h"
#include "velm_stream/tv_file_stream.h"

namespace {

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

// The image headers lie in the first pages of the file; the pack behind
// them is read once, by the launcher's locator.
constexpr std::size_t kHeadBytes = 64 * 1024;

// The first kHeadBytes of the file (all of a smaller one) and its size.
bool ReadHead(const std::string& name, std::string& head, std::uint64_t& size) {
  const std::unique_ptr<TVFileStream> file = OpenForReading(name);
  const std::int64_t length = file ? file->GetSize() : -1;
  if (length < 0) return false;
  size = static_cast<std::uint64_t>(length);
  head.assign(static_cast<std::size_t>(std::min<std::uint64_t>(size, kHeadBytes)), '\0');
  return ReadFully(*file, head);
}

}  // namespace

// The image must be a 32-bit PE image, and the launcher's locator must find
// the pack's "fMix" right where the last section's raw data ends.
bool TSetupVerifier::CheckImage() {
  std::string head;
  if (!ReadHead(fileName_, head, fileSize_) || head.empty()) {
    Add(Kind::kFail, "image", "cannot read " + Printable(fileName_));
    return false;
  }
  const TPeImage image(head);
  if (!image.Valid() || !image.Is32Bit()) {
    Add(Kind::kFail, "image", "not a 32-bit Windows executable");
    return false;
  }
  packStart_ = image.EndOfSections();
  certificateOffset_ = image.CertificateOffset();
  certificateSize_ = image.CertificateSize();
  return StagePack() && CheckPackStart();
}

// Copies out what the launcher copies, with the launcher's own locator.
bool TSetupVerifier::StagePack() {
  bool found = false;
  try {
    found = LoadAppendedPack(rtl::ToWide(fileName_), packCopy_, true);
  } catch (const EOutOfMemory&) {
    // verify holds the pack in memory, which a 32-bit fmix.exe may not have
    // room for; the launcher streams it and is not at fault.
    Add(Kind::kFail, "image", "fmix cannot hold the pack's " + std::to_string(fileSize_ - packStart_) +
                                  " bytes in memory to check them: verify this setup with a 64-bit fmix");
    return false;
  } catch (const Exception& e) {
    Add(Kind::kFail, "image", "the launcher cannot read it: " + Printable(e.Message()));
    return false;
  }
  pack_ = std::string_view(packCopy_.Memory(), static_cast<std::size_t>(packCopy_.Size()));
  if (!found || packStart_ >= fileSize_) {
    Add(Kind::kFail, "image", "nothing the launcher takes for a pack follows the last section (ends at " +
                                  Hex(packStart_) + "; the file has " + std::to_string(fileSize_) + " bytes)");
    return false;
  }
  if (pack_.size() != fileSize_ - packStart_) {
    Add(Kind::kFail, "image", "the launcher reads the section table at a fixed place and finds a different "
                              "end of the sections than " + Hex(packStart_));
    return false;
  }
  return true;
}

bool TSetupVerifier::CheckPackStart() {
  if (pack_.compare(0, 4, "fMix", 4) == 0) {
    Add(Kind::kOk, "image", "32-bit PE image; the pack follows its last section at " + Hex(packStart_));
    return true;
  }
  const std::size_t magic = pack_.find("fMix");
  Add(Kind::kFail, "image",
      magic == std::string_view::npos
          ? "the data after the last section begins " + HexBytes(pack_.data(), std::min<std::size_t>(pack_.size(), 8)) + ", not \"fMix\""
          : std::to_string(magic) + " bytes lie between the last section's end (" +
                Hex(packStart_) + ") and the pack (a symbol table? link the stub with -s)");
  return false;
}

// A certificate table of a signed setup lies behind the pack; the launcher
// copies it along with the pack and the reader never reaches it.
void TSetupVerifier::CheckSignature() {
  std::uint64_t packEnd = sizeof(TFileMixHeader) + sizeof(TFileMixEntry) * entries_.size();
  for (const TFileMixEntry& entry : entries_)
    packEnd = std::max(packEnd, std::uint64_t{entry.DataOffset} + entry.DataSize);
  packEnd += packStart_;
  const std::string where = "certificate table of " + std::to_string(certificateSize_) + " bytes at " +
                            Hex(certificateOffset_);
  if (certificateOffset_ < packEnd || certificateOffset_ + std::uint64_t{certificateSize_} > fileSize_) {
    Add(Kind::kFail, "signature", where + " overlaps the pack or passes the end of the file");
    return;
  }
  Add(Kind::kNote, "signature", where + ", after the pack (a signed setup)");
  const TAuthenticode signature(fileName_, certificateOffset_, certificateSize_);
  static const Kind kKinds[] = {Kind::kOk, Kind::kFail, Kind::kFail, Kind::kNote};
  Add(kKinds[static_cast<int>(signature.Result())], "signature", signature.Message());
}

// The icon and version information Explorer shows, when the image has any.
void TSetupVerifier::CheckIdentity() {
  const TImageIdentity identity(fileName_, packStart_);
  const Kind kind = !identity.Checked() ? Kind::kWarn : identity.Valid() ? Kind::kOk : Kind::kFail;
  if (!identity.Message().empty()) Add(kind, "identity", identity.Message());
}
