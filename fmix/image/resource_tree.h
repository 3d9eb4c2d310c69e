// TResourceTree: the resources of a Windows image as the loader finds them,
// by type, name and language, read from and written as the bytes of a
// resource directory (IMAGE_RESOURCE_DIRECTORY tables, data entries, the
// names' text and the data).
// The directory may be hostile. Each resource is a view of the bytes read,
// never a copy, and the walk reads no more bytes than the directory holds:
// in a tree that linkers write every table, name and datum has bytes of its
// own, so a table, name or datum reached twice soon passes that bound (a root
// of 65,535 entries that all lead to one table of 65,535 would otherwise cost
// 65,535² steps). At most kMaxResources resources are read.
//
//   TResourceTree tree(sectionBytes, sectionRva);
//   tree.Set(16, TResourceTree::Key(1), 0x0409, versionBytes);
//   const std::string rebuilt = tree.Write(newRva);
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

class TResourceTree {
 public:
  static constexpr std::size_t kMaxResources = 65536;

  // A type, name or language: a number, or a name when text is not empty.
  struct Key {
    Key(std::uint16_t number = 0) : id(number) {}
    explicit Key(std::u16string name) : text(std::move(name)) {}
    std::u16string text;
    std::uint16_t id = 0;
    // Named keys first, by their upper-case text, then numbers: the order in
    // which the loader searches a table.
    bool operator<(const Key& other) const;
  };
  // A datum: size bytes at offset of bytes, which every copy of the tree
  // shares (the directory read, or the bytes that Set was given).
  struct Resource {
    std::shared_ptr<const std::string> bytes;
    std::size_t offset = 0;
    std::size_t size = 0;
    std::uint32_t codePage = 0;
    std::string_view Data() const { return std::string_view(*bytes).substr(offset, size); }
  };
  using Languages = std::map<Key, Resource>;
  using Names = std::map<Key, Languages>;

  TResourceTree() = default;
  // Reads the directory that begins the bytes given, mapped at rva. Every
  // table, name and datum must lie inside those bytes; Failure() names the
  // first that does not (empty when the whole tree was read).
  TResourceTree(std::string directory, std::uint32_t rva);

  const std::string& Failure() const { return failure_; }
  // Whether the failure is one of the bounds above, which Windows does not
  // set, rather than a fault that keeps Windows from reading the tree too.
  bool PastBounds() const { return pastBounds_; }
  // The resources of a type; null when there are none.
  const Names* Type(std::uint16_t type) const;
  void Set(std::uint16_t type, const Key& name, std::uint16_t language, std::string data);
  void RemoveType(std::uint16_t type);
  // The directory's bytes, its data addressed for a mapping at rva.
  std::string Write(std::uint32_t rva) const;

 private:
  bool ReadTable(std::uint32_t offset, int level, Key keys[3]);
  bool ReadKey(std::uint32_t field, Key& key);
  bool ReadData(std::uint32_t offset, const Key keys[3]);
  bool Spend(std::uint64_t bytes);
  bool Fail(const std::string& failure, bool pastBounds = false);

  std::map<Key, Names> types_;
  std::shared_ptr<const std::string> directory_;  // the bytes read, which the resources view
  std::uint32_t rva_ = 0;
  std::uint64_t unread_ = 0;  // how many more bytes the walk may read
  std::size_t read_ = 0;      // resources read
  std::string failure_;
  bool pastBounds_ = false;
};
