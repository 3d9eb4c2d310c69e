// TResourceTree: the resources of a Windows image as the loader finds them,
// by type, name and language, read from and written as the bytes of a
// resource directory (IMAGE_RESOURCE_DIRECTORY tables, data entries, the
// names' text and the data).
//
//   TResourceTree tree(sectionBytes, sectionRva);
//   tree.Set(16, TResourceTree::Key(1), 0x0409, versionBytes);
//   const std::string rebuilt = tree.Write(newRva);
#pragma once

#include <cstdint>
#include <map>
#include <string>

class TResourceTree {
 public:
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
  struct Resource {
    std::string data;
    std::uint32_t codePage = 0;
  };
  using Languages = std::map<Key, Resource>;
  using Names = std::map<Key, Languages>;

  TResourceTree() = default;
  // Reads the directory that begins the bytes given, mapped at rva. Every
  // table, name and datum must lie inside those bytes; Failure() names the
  // first that does not (empty when the whole tree was read).
  TResourceTree(const std::string& directory, std::uint32_t rva);

  const std::string& Failure() const { return failure_; }
  // The resources of a type; null when there are none.
  const Names* Type(std::uint16_t type) const;
  void Set(std::uint16_t type, const Key& name, std::uint16_t language, std::string data);
  void RemoveType(std::uint16_t type);
  // The directory's bytes, its data addressed for a mapping at rva.
  std::string Write(std::uint32_t rva) const;

 private:
  bool ReadTable(const std::string& directory, std::uint32_t rva, std::uint32_t offset, int level, Key keys[3]);
  bool ReadKey(const std::string& directory, std::uint32_t field, Key& key);
  bool ReadData(const std::string& directory, std::uint32_t rva, std::uint32_t offset, const Key keys[3]);
  bool Fail(const std::string& failure);

  std::map<Key, Names> types_;
  std::string failure_;
  std::size_t read_ = 0;  // resources read, against a tree of endless shared tables
};
