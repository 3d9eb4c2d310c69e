// TEntryName: the one rule for names that are joined to a folder and written
// there: pack entries (the launcher's reader, fmix's writer and verify),
// archive entries (the plug-in) and the installer path. Either slash
// separates components; empty and "." components are harmless and dropped
// ("./a//b" is "a/b"); a folder entry that is left with no component ("./")
// names the folder itself. Header-only, so that the plug-in, built without
// exceptions, compiles it as the stub and the tool do.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "os/os.h"
#include "rtl/text.h"

class TEntryName {
 public:
  // Why a name is refused, first match in this order.
  enum class Fault {
    kNone,
    // Reaching outside the folder, or naming no entry:
    kEmpty,
    kAbsolute,
    kColon,
    kDotsOnly,
    kNoComponent,
    // Not created by Windows under that very name:
    kBadCharacter,
    kTrailingDotOrBlank,
    kDeviceName,
    kPartTooLong,
    kPathTooLong,
  };

  // The longest component a Windows volume takes, and the longest path this
  // rule lets an entry have: Windows creates paths of up to 32,767 UTF-16
  // units (with the \\?\ prefix), of which 512 are left for the folder that
  // the entry is joined to (a user's unpack folder takes about 65). Both are
  // counted in UTF-16 units of Path().
  static constexpr std::size_t kLongestPart = 255;
  static constexpr std::size_t kLongestPath = 32767 - 512;

  // What is wrong, to follow "the name" in a message.
  static const char* FaultText(Fault fault) {
    switch (fault) {
      case Fault::kNone: return "is fine";
      case Fault::kEmpty: return "is empty";
      case Fault::kAbsolute: return "starts with a slash";
      case Fault::kColon: return "holds a colon (a drive or a stream)";
      case Fault::kDotsOnly: return "holds \"..\" or another part of dots only";
      case Fault::kNoComponent: return "names no file";
      case Fault::kBadCharacter: return "holds a control character or one of <>\"|?*";
      case Fault::kTrailingDotOrBlank: return "has a part ending in a dot or blank, which Windows drops";
      case Fault::kDeviceName: return "holds a Windows device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9)";
      case Fault::kPartTooLong: return "has a part longer than 255 characters, the most that Windows allows";
      case Fault::kPathTooLong:
        return "is longer than 32,255 characters: with the unpack folder it passes the 32,767 that Windows allows";
    }
    return "";
  }

  explicit TEntryName(std::u16string name) : name_(std::move(name)) {
    for (const std::u16string& component : Components(name_)) {
      if (component.empty() || component == u".") continue;
      if (!path_.empty()) path_ += u'/';
      path_ += component;
    }
  }

  const std::u16string& Text() const { return name_; }

  // name for a message: control characters spelled out ("\r", "\n",
  // "\x01"), as fmix shows names, so that a message stays one line and
  // shows them (a macOS "Icon\r").
  static std::u16string Shown(const std::u16string& name) {
    static const char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string shown;
    for (char16_t c : name) {
      if (c >= 0x20)
        shown += c;
      else if (c == u'\r' || c == u'\n')
        shown += c == u'\r' ? u"\\r" : u"\\n";
      else
        shown += std::u16string{u'\\', u'x', kHex[c >> 4], kHex[c & 0xF]};
    }
    return shown;
  }

  // Why the name could reach outside its folder or names no entry: empty,
  // absolute, holding a colon, with a component of two or more dots only
  // ("..", "...": Windows drops trailing dots), or a file name that is left
  // with no component.
  Fault SafetyFault() const {
    if (name_.empty()) return Fault::kEmpty;
    if (IsSlash(name_.front())) return Fault::kAbsolute;
    if (name_.find(u':') != std::u16string::npos) return Fault::kColon;
    if (path_.empty() && !IsFolder()) return Fault::kNoComponent;
    const std::vector<std::u16string> components = Components(path_);
    return std::any_of(components.begin(), components.end(), IsDotsOnly) ? Fault::kDotsOnly : Fault::kNone;
  }
  bool IsSafe() const { return SafetyFault() == Fault::kNone; }

  // SafetyFault(), else why Windows would not create a component under that
  // very name: a control character or one of <>"|?*, a trailing dot or
  // blank, a device name such as CON or LPT1, with any extension, or a
  // component longer than kLongestPart; else a path longer than kLongestPath.
  Fault WriteFault() const {
    const Fault safety = SafetyFault();
    if (safety != Fault::kNone || path_.empty()) return safety;
    for (const std::u16string& component : Components(path_)) {
      const Fault fault = ComponentFault(component);
      if (fault != Fault::kNone) return fault;
    }
    return path_.size() > kLongestPath ? Fault::kPathTooLong : Fault::kNone;
  }

  // A name ending in a slash stands for a folder.
  bool IsFolder() const { return !name_.empty() && IsSlash(name_.back()); }
  // The name without empty and "." components, with forward slashes.
  const std::u16string& Path() const { return path_; }
  // Path() with the platform's folder delimiter.
  std::u16string LocalPath() const {
    std::u16string path = path_;
    std::replace(path.begin(), path.end(), u'/', os::kPathDelimiter);
    return path;
  }

 private:
  static bool IsSlash(char16_t c) { return c == u'/' || c == u'\\'; }

  static std::vector<std::u16string> Components(const std::u16string& name) {
    std::vector<std::u16string> components(1);
    for (char16_t c : name) {
      if (IsSlash(c))
        components.emplace_back();
      else
        components.back() += c;
    }
    return components;
  }

  static bool IsDotsOnly(const std::u16string& component) {
    return component.size() > 1 && component.find_first_not_of(u'.') == std::u16string::npos;
  }

  // CON, PRN, AUX, NUL, COM1-9 and LPT1-9, alone or before a dot, name
  // devices in every folder of Windows.
  static bool IsDeviceName(const std::u16string& component) {
    const std::u16string stem = rtl::UpperCase(component.substr(0, component.find(u'.')));
    if (stem == u"CON" || stem == u"PRN" || stem == u"AUX" || stem == u"NUL") return true;
    return stem.size() == 4 && (stem.compare(0, 3, u"COM") == 0 || stem.compare(0, 3, u"LPT") == 0) &&
           stem[3] >= u'1' && stem[3] <= u'9';
  }

  static Fault ComponentFault(const std::u16string& component) {
    const bool badCharacter = std::any_of(component.begin(), component.end(), [](char16_t c) {
      return c < 0x20 || std::u16string(u"<>\"|?*").find(c) != std::u16string::npos;
    });
    if (badCharacter) return Fault::kBadCharacter;
    if (component.back() == u'.' || component.back() == u' ') return Fault::kTrailingDotOrBlank;
    if (IsDeviceName(component)) return Fault::kDeviceName;
    return component.size() > kLongestPart ? Fault::kPartTooLong : Fault::kNone;
  }

  std::u16string name_;
  std::u16string path_;
};
