// Names of pack entries: reading one out of its record and deciding whether
// it is safe to join to a folder.
#pragma once

#include <string>

struct TFileMixEntry;

// The record's name: its bytes up to the first NUL, at most 256.
std::string EntryName(const TFileMixEntry& entry);

// False for a name that could reach outside the folder it is joined to:
// an absolute name, one holding a drive colon, or one with a ".." component,
// with either slash. Checked on UTF-16 text, so that a trail byte 0x5C of a
// double-byte character is never taken for a backslash.
bool IsSafeEntryName(const std::u16string& name);
