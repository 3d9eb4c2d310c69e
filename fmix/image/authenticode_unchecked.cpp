// The Windows build of fmix has no libcrypto: it says that it does not check.
#include "fmix/image/authenticode.h"

TAuthenticode::TAuthenticode(const std::string&, std::uint32_t, std::uint32_t)
    : message_("not checked by fmix.exe (no crypto library there); check it with fmix on Linux or "
               "signtool verify /pa") {}

std::string TAuthenticode::Digest(const std::string&, const std::string&) { return std::string(); }
