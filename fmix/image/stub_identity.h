// TStubIdentity: the icon and version information a publisher gives fmix
// setup, checked at once and written into the resources of the setup's copy
// of the stub. The stub's own resources (its manifest) are kept; an icon or
// version information of its own is replaced.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fmix/image/icon_file.h"
#include "fmix/image/version_resource.h"

class TStubIdentity {
 public:
  struct Options {
    std::string icon;  // an .ico file
    std::string fileVersion, productVersion;  // "A.B.C.D"
    std::vector<std::string> strings;  // "KEY=VALUE", the value in the host's encoding
    std::string language;  // a LANGID, "0x0409" or decimal
  };

  // Reads the icon file and checks the versions and strings; raises
  // ECliError (a usage error for a malformed option) when one is wrong.
  explicit TStubIdentity(const Options& options);

  // stub with the icon and version information in its resources; stub itself
  // when none was given. Raises ECliError naming stubName when it cannot be done.
  std::string Apply(const std::string& stub, const std::string& stubName) const;

 private:
  void ReadIcon(const std::string& iconName);
  void TakeVersion(const Options& options);

  std::uint16_t language_ = 0x0409;
  std::optional<TIconFile> icon_;
  std::optional<TVersionResource> version_;
};
