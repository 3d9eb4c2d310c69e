// The check with OpenSSL's libcrypto, which reads the PKCS#7 structure and
// computes the digest; the Windows build of fmix has authenticode_unchecked.cpp.
#include "fmix/image/authenticode.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "fmix/host/host_files.h"
#include "fmix/report/printable.h"
#include "rtl/le_bytes.h"
#include "velm_stream/tv_file_stream.h"

namespace {

constexpr std::size_t kCertificateHeader = 8;  // WIN_CERTIFICATE: length, revision, type
constexpr std::uint16_t kPkcsSignedData = 2;
constexpr std::uint32_t kHeadBytes = 4096;  // the image headers lie inside
const char kSpcIndirectData[] = "1.3.6.1.4.1.311.2.1.4";

using Ranges = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

// The parts of the file that the digest covers: all up to the certificate
// table but the CheckSum field and the certificate table's directory entry;
// none when the headers do not lie in front of the table.
Ranges Covered(const std::string& head, std::uint64_t certificateOffset) {
  std::uint32_t pe = 0;
  GetLe(head, 60, pe);
  const std::uint64_t checksum = pe + 24ull + 64, directory = pe + 24ull + 96 + 8 * 4;
  if (directory + 8 > certificateOffset) return {};
  return {{0, checksum}, {checksum + 4, directory}, {directory + 8, certificateOffset}};
}

struct DigestContext {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context{EVP_MD_CTX_new(), EVP_MD_CTX_free};
  explicit DigestContext(const EVP_MD* md) { EVP_DigestInit_ex(context.get(), md, nullptr); }
  void Update(const char* data, std::size_t size) { EVP_DigestUpdate(context.get(), data, size); }
  std::string Final() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_DigestFinal_ex(context.get(), digest, &size);
    return std::string(reinterpret_cast<char*>(digest), size);
  }
};

// The digest of the covered parts of the file, read in blocks.
bool FileDigest(const std::string& fileName, const Ranges& ranges, const EVP_MD* md, std::string& digest) {
  const std::unique_ptr<TVFileStream> file = OpenForReading(fileName);
  if (!file) return false;
  DigestContext context(md);
  std::string block;
  for (const auto& [begin, end] : ranges) {
    if (file->Seek(static_cast<std::int64_t>(begin), 0) != static_cast<std::int64_t>(begin)) return false;
    for (std::uint64_t left = end - begin; left > 0; left -= block.size()) {
      block.resize(static_cast<std::size_t>(std::min<std::uint64_t>(left, 1 << 20)));
      if (!ReadFully(*file, block)) return false;
      context.Update(block.data(), block.size());
    }
  }
  digest = context.Final();
  return true;
}

// The content of the DER element at p, which must carry the tag; p moves past it.
bool Element(const unsigned char*& p, const unsigned char* end, int tag, const unsigned char*& content,
             long& length) {
  int found = 0, cls = 0;
  const unsigned char* at = p;
  if (ASN1_get_object(&at, &length, &found, &cls, end - p) & 0x80 || found != tag) return false;
  content = at;
  p = at + length;
  return p <= end;
}

// SpcIndirectDataContent: SEQUENCE { data, DigestInfo SEQUENCE {
// AlgorithmIdentifier SEQUENCE { OID, ... }, OCTET STRING digest } }.
bool SignedDigest(const ASN1_STRING* content, const EVP_MD*& md, std::string& digest) {
  const unsigned char* p = content->data;
  const unsigned char* end = p + content->length;
  const unsigned char *inner = nullptr, *info = nullptr, *algorithm = nullptr, *value = nullptr;
  long length = 0;
  if (!Element(p, end, V_ASN1_SEQUENCE, inner, length)) return false;
  end = inner + length;
  if (!Element(inner, end, V_ASN1_SEQUENCE, p, length) || !Element(inner, end, V_ASN1_SEQUENCE, info, length))
    return false;
  end = info + length;
  if (!Element(info, end, V_ASN1_SEQUENCE, algorithm, length)) return false;
  const unsigned char* oid = algorithm;
  std::unique_ptr<ASN1_OBJECT, decltype(&ASN1_OBJECT_free)> object(d2i_ASN1_OBJECT(nullptr, &oid, length),
                                                                   ASN1_OBJECT_free);
  if (!object || !Element(info, end, V_ASN1_OCTET_STRING, value, length)) return false;
  md = EVP_get_digestbynid(OBJ_obj2nid(object.get()));
  digest.assign(reinterpret_cast<const char*>(value), static_cast<std::size_t>(length));
  return md != nullptr;
}

// "CN=..." of the signer's certificate, spelled out: whoever made the
// certificate chose its text.
std::string Signer(PKCS7* signature) {
  STACK_OF(X509)* signers = PKCS7_get0_signers(signature, nullptr, 0);
  std::string text = "an unknown signer";
  if (signers && sk_X509_num(signers) > 0) {
    X509_NAME* subject = X509_get_subject_name(sk_X509_value(signers, 0));
    const int index = X509_NAME_get_index_by_NID(subject, NID_commonName, -1);
    unsigned char* utf8 = nullptr;
    if (index >= 0 && ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index))) >= 0) {
      text = "CN=" + Printable(std::string(reinterpret_cast<char*>(utf8)));
      OPENSSL_free(utf8);
    }
  }
  sk_X509_free(signers);
  return text;
}

std::string LowerName(const EVP_MD* md) {
  std::string name = OBJ_nid2sn(EVP_MD_type(md));
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  return name;
}

std::string ReadRange(const std::string& fileName, std::uint64_t offset, std::uint32_t size) {
  std::string bytes;
  return ReadFilePart(fileName, offset, size, bytes) ? bytes : std::string();
}

using Pkcs7 = std::unique_ptr<PKCS7, decltype(&PKCS7_free)>;

// Whether the signer's signature holds over what it signed: the message
// digest attribute must be the digest of the SpcIndirectDataContent's
// contents (its DER without the outer tag and length), and the signature
// must verify with the signer's certificate. The certificate's chain is not
// followed, so a self-made certificate passes too.
bool SignatureHolds(PKCS7* signature) {
  const ASN1_STRING* content = signature->d.sign->contents->d.other->value.sequence;
  const unsigned char* p = content->data;
  const unsigned char* inner = nullptr;
  long length = 0;
  if (!Element(p, p + content->length, V_ASN1_SEQUENCE, inner, length)) return false;
  std::unique_ptr<BIO, decltype(&BIO_free)> data(BIO_new_mem_buf(inner, static_cast<int>(length)), BIO_free);
  const bool holds = data && PKCS7_verify(signature, nullptr, nullptr, data.get(), nullptr,
                                          PKCS7_NOVERIFY | PKCS7_BINARY) == 1;
  ERR_clear_error();
  return holds;
}

// The PKCS#7 signature of a certificate table (WIN_CERTIFICATE: length,
// revision, type, then the DER), its digest algorithm and the digest signed;
// empty, or why there is none.
std::string ReadSignature(const std::string& table, Pkcs7& signature, const EVP_MD*& md, std::string& digest) {
  std::uint32_t length = 0;
  std::uint16_t type = 0;
  if (!GetLe(table, 0, length) || !GetLe(table, 6, type) || type != kPkcsSignedData || length > table.size() ||
      length <= kCertificateHeader)
    return "the certificate table holds no PKCS#7 signature";
  const unsigned char* der = reinterpret_cast<const unsigned char*>(table.data()) + kCertificateHeader;
  signature.reset(d2i_PKCS7(nullptr, &der, length - kCertificateHeader));
  PKCS7* content = signature && PKCS7_type_is_signed(signature.get()) ? signature->d.sign->contents : nullptr;
  char oid[64] = "";
  if (content) OBJ_obj2txt(oid, sizeof oid, content->type, 1);
  if (!content || std::string(oid) != kSpcIndirectData || !content->d.other ||
      content->d.other->type != V_ASN1_SEQUENCE || !SignedDigest(content->d.other->value.sequence, md, digest))
    return "the certificate table holds no Authenticode signature that can be read";
  return std::string();
}

}  // namespace

TAuthenticode::TAuthenticode(const std::string& fileName, std::uint32_t certificateOffset,
                             std::uint32_t certificateSize) {
  state_ = State::kUnreadable;
  Pkcs7 signature(nullptr, PKCS7_free);
  const EVP_MD* md = nullptr;
  std::string expected, actual;
  message_ = ReadSignature(ReadRange(fileName, certificateOffset, certificateSize), signature, md, expected);
  if (!message_.empty()) return;
  const std::string head = ReadRange(fileName, 0, std::min<std::uint32_t>(certificateOffset, kHeadBytes));
  const Ranges covered = Covered(head, certificateOffset);
  if (covered.empty() || !FileDigest(fileName, covered, md, actual)) {
    message_ = covered.empty() ? "the certificate table lies inside the image headers" : "cannot read " + Printable(fileName);
    return;
  }
  if (actual != expected) {
    state_ = State::kMismatch;
    message_ = LowerName(md) + " digest does not match: the file was changed after it was signed";
  } else if (!SignatureHolds(signature.get())) {
    state_ = State::kMismatch;
    message_ = "the signature does not hold over the digest it carries: it was altered or forged";
  } else {
    state_ = State::kMatches;
    message_ = LowerName(md) + " digest matches; signed by " + Signer(signature.get()) +
               ", not checked against a trust store";
  }
}

std::string TAuthenticode::Digest(const std::string& file, const std::string& algorithm) {
  std::uint32_t pe = 0, certificateOffset = 0, certificateSize = 0;
  GetLe(file, 60, pe);
  GetLe(file, pe + 24ull + 96 + 8 * 4, certificateOffset);
  GetLe(file, pe + 24ull + 96 + 8 * 4 + 4, certificateSize);
  const EVP_MD* md = EVP_get_digestbyname(algorithm.c_str());
  if (!md) return std::string();
  const Ranges covered = Covered(file, certificateSize ? certificateOffset : file.size());
  if (covered.empty() || covered.back().second > file.size()) return std::string();
  DigestContext context(md);
  for (const auto& [begin, end] : covered)
    context.Update(file.data() + begin, static_cast<std::size_t>(end - begin));
  return context.Final();
}
