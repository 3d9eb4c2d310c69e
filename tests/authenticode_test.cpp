// The Authenticode digest leaves out exactly the CheckSum field, the
// certificate table's directory entry and the table itself.
#include <gtest/gtest.h>

#include "fmix/image/authenticode.h"
#include "rtl/le_bytes.h"
#include "tests/test_files.h"

namespace {

constexpr std::uint32_t kPe = 0x80;
constexpr std::uint32_t kChecksum = kPe + 24 + 64;
constexpr std::uint32_t kCertificateEntry = kPe + 24 + 96 + 32;

// Image bytes with a certificate table of 16 bytes at 0x1000.
std::string SignedFile() {
  std::string file = testing_files::Bytes(0x1010, 7);
  SetLe<std::uint32_t>(file, 60, kPe);
  SetLe<std::uint32_t>(file, kCertificateEntry, 0x1000);
  SetLe<std::uint32_t>(file, kCertificateEntry + 4, 16);
  return file;
}

}  // namespace

TEST(Authenticode, DigestCoversAllButTheExcludedParts) {
  const std::string file = SignedFile();
  const std::string digest = TAuthenticode::Digest(file, "sha256");
  ASSERT_EQ(digest.size(), 32u);
  std::string excluded = file;
  for (std::uint32_t offset : {kChecksum, kChecksum + 3, 0x1000u, 0x100Fu}) excluded[offset] ^= 1;
  EXPECT_EQ(TAuthenticode::Digest(excluded, "sha256"), digest);
  for (std::uint32_t offset : {kChecksum - 1, kChecksum + 4, kCertificateEntry + 8, 0xFFFu, 0u}) {
    std::string covered = file;
    covered[offset] ^= 1;
    EXPECT_NE(TAuthenticode::Digest(covered, "sha256"), digest) << "byte " << offset;
  }
  std::string unsigned_file = file.substr(0, 0x1000);
  SetLe<std::uint64_t>(unsigned_file, kCertificateEntry, 0);
  EXPECT_EQ(TAuthenticode::Digest(unsigned_file, "sha256"), digest) << "as the signer computed it";
}
