// The plug-in's one entry, Yz1: runs the command "-x "ARCHIVE" "FOLDER\""
// and reports in the output buffer. On success the report reads
// "N files extracted."; on failure it begins with "Error: " and names the
// reason and the archive or entry. The plug-in is built without exceptions:
// every failure comes back as a result, except an exhausted heap, which
// raises a Windows exception (library_failure.cpp) that ends the call; the
// bridge's guard reports that as a failed call.
// VelmZipReaderVersion tells tools such as fmix verify that this is our
// plug-in, whose reading they can predict, and which version of it;
// VelmSolidReader that it reads the solid format (xz-compressed tar) too.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "plugin/command_line.h"
#include "plugin/zip_extractor.h"
#include "tar_xz/archive_format.h"
#include "rtl/entry_name.h"
#include "zip/zip_file_source.h"
#include "zip/zip_name_decoder.h"
#include "rtl/text.h"

using namespace rtl::literals;

namespace {

bool Fail(const std::u16string& reason, std::string& report) {
  report = "Error: " + rtl::ToAnsi(reason);
  return false;
}

// The folder as a full path with the \\?\ prefix (\\?\UNC\ for a share),
// so that the files below it may pass MAX_PATH. The prefix also turns off
// the system's reading of "." and ".." and of forward slashes, which the
// entries' paths never hold (TEntryName drops or refuses them); the
// folder's own are resolved here. Empty when the path cannot be resolved.
std::u16string LongPath(const std::u16string& folder) {
  const auto* name = reinterpret_cast<const wchar_t*>(folder.c_str());
  std::u16string full(GetFullPathNameW(name, 0, nullptr, nullptr), u'\0');
  if (full.empty()) return full;
  full.resize(GetFullPathNameW(name, static_cast<DWORD>(full.size()), reinterpret_cast<wchar_t*>(&full[0]), nullptr));
  if (full.rfind(u"\\\\?\\", 0) == 0 || full.rfind(u"\\\\.\\", 0) == 0) return full;
  if (full.rfind(u"\\\\", 0) == 0) return "\\\\?\\UNC\\"_w + full.substr(2);
  return "\\\\?\\"_w + full;
}

// The folder must convert exactly: a near match would be another folder.
bool Extract(const std::string& archive, const std::string& folder, std::string& report) {
  std::u16string target;
  if (!rtl::ToWideExact(folder, target)) return Fail("no such folder: "_w + target, report);
  const std::u16string longTarget = LongPath(target);
  if (longTarget.empty()) return Fail("no such folder: "_w + target, report);
  TZipFileSource source(archive);
  std::u16string reason;
  if (!source.Open(reason)) return Fail(reason + ": "_w + TEntryName::Shown(source.Name()), report);
  const std::unique_ptr<TArchiveReader> reader = MakeArchiveReader(source);
  if (!reader->Open(source, TZipNameDecoder(GetACP(), GetOEMCP()))) return Fail(reader->Failure(), report);
  TZipExtractor extractor(*reader, longTarget);
  if (!extractor.ExtractAll()) return Fail(extractor.Failure(), report);
  const int files = extractor.Files();
  report = std::to_string(files) + (files == 1 ? " file extracted." : " files extracted.");
  return true;
}

bool Run(const std::string& commandLine, std::string& report) {
  std::vector<std::string> words;
  if (!SplitCommandLine(commandLine, words)) return Fail("unclosed quote in the command line"_w, report);
  if (words.empty() || words[0] != "-x") return Fail("unknown command: "_w + rtl::ToWide(commandLine), report);
  if (words.size() != 3 || words[1].empty() || words[2].empty())
    return Fail("usage: -x \"ARCHIVE\" \"FOLDER\\\""_w, report);
  return Extract(words[1], words[2], report);
}

// The report goes into the buffer cut to size - 1 bytes, so that it and its
// terminating NUL stay within the size bytes the caller allows.
void WriteReport(const std::string& report, LPSTR output, DWORD size) {
  if (!output || size == 0) return;
  const std::size_t length = std::min<std::size_t>(report.size(), size - 1);
  std::memcpy(output, report.data(), length);
  output[length] = '\0';
}

}  // namespace

extern "C" int WINAPI Yz1(HWND, LPCSTR commandLine, LPSTR output, DWORD size) {
  std::string report;
  const bool extracted = Run(commandLine ? commandLine : "", report);
  WriteReport(report, output, size);
  return extracted ? 0 : 1;
}

extern "C" int WINAPI VelmZipReaderVersion() { return 2; }

extern "C" int WINAPI VelmSolidReader() { return 1; }
