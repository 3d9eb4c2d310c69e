// TResourceSection: the resources of a 32-bit PE image held in memory, found
// through its resource data directory, and the image rebuilt with another
// resource tree in a new last section. The rebuilt image still ends where its
// last section's raw data ends (where the launcher looks for its pack), and
// its size fields and checksum are recomputed.
#pragma once

#include <cstdint>
#include <string>

#include "fmix/image/resource_tree.h"

class TResourceSection {
 public:
  // Reads the resource tree of image; an image without resources has an
  // empty tree. Failure() says why a tree could not be read whole.
  explicit TResourceSection(const std::string& image);

  const TResourceTree& Tree() const { return tree_; }
  const std::string& Failure() const { return failure_; }

  // image with tree as its resources: a new last section holds the tree and
  // the resource directory entry points at it. Raises ECliError naming
  // imageName when the headers have no room for another section record.
  static std::string Rebuild(const std::string& image, const TResourceTree& tree, const std::string& imageName);
  // The PE checksum of image, its own CheckSum field taken as zero.
  static std::uint32_t Checksum(const std::string& image);

 private:
  TResourceTree tree_;
  std::string failure_;
};
