// TAuthenticode: the Authenticode signature of a signed image file, checked
// as far as the file itself can tell: the digest that the signature holds
// (its SpcIndirectDataContent) must be the digest of the file without its
// CheckSum field, its certificate table entry and the certificate table, and
// the signer's signature must hold over that digest. Whom the signer's
// certificate chains to is not checked.
//
//   TAuthenticode signature("app_setup.exe", certificateOffset, certificateSize);
//   if (signature.Result() == TAuthenticode::State::kMismatch) ...
#pragma once

#include <cstdint>
#include <string>

class TAuthenticode {
 public:
  // kUnchecked: this build of fmix cannot check signatures.
  enum class State { kMatches, kMismatch, kUnreadable, kUnchecked };

  // Reads the file named, whose certificate table lies as given.
  TAuthenticode(const std::string& fileName, std::uint32_t certificateOffset, std::uint32_t certificateSize);

  State Result() const { return state_; }
  // What was found, for a report line.
  const std::string& Message() const { return message_; }

  // The digest by the named algorithm ("sha256") of a whole image file held
  // in memory, its certificate table excluded; empty when the build cannot
  // compute it.
  static std::string Digest(const std::string& file, const std::string& algorithm);

 private:
  State state_ = State::kUnchecked;
  std::string message_;
};
