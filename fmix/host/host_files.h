// fmix's files through the runtime's file stream and the os:: seam: its
// inputs (icons, stubs, plug-ins, images and their signatures) read whole or
// in part, and names in folders. Names are 8-bit text in the system code
// page, like every name the streams take; files are opened for reading,
// others may read them too.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class TVFileStream;

// The file open for reading; null when it cannot be opened, failure then
// the system's code for why.
std::unique_ptr<TVFileStream> OpenForReading(const std::string& name, std::uint32_t* failure = nullptr);
// Fills bytes from the stream's position; false when the file ends or a
// read fails first.
bool ReadFully(TVFileStream& file, std::string& bytes);
// The whole file; raises FileError "NAME: cannot be read" with the system's
// reason when it cannot be opened or read whole.
std::string ReadWholeFile(const std::string& name);
// size bytes from offset; false when the file cannot be opened or holds fewer.
bool ReadFilePart(const std::string& name, std::uint64_t offset, std::size_t size, std::string& bytes);
// A folder's name and an entry's joined by the platform's delimiter, none
// after an empty folder name or one that ends a folder part ("a/", "C:").
std::u16string ChildName(const std::u16string& folder, const std::u16string& name);
