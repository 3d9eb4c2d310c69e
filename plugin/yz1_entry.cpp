// The plug-in's one entry, Yz1: runs the command "-x "ARCHIVE" "FOLDER\""
// and reports in the output buffer. On success the report reads
// "N files extracted."; on failure it begins with "Error: " and names the
// reason and the archive or entry. No exception leaves the entry.
// VelmZipReaderVersion tells tools such as fmix verify that this is our
// ZIP plug-in, whose reading they can predict, and which version of it.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "plugin/command_line.h"
#include "plugin/zip_extractor.h"
#include "plugin/zip_name_decoder.h"
#include "plugin/zip_reader.h"
#include "rtl/exception.h"
#include "rtl/text.h"

namespace {

// The folder must convert exactly: a near match would be another folder.
std::string Extract(const std::string& archive, const std::string& folder) {
  std::u16string target;
  if (!rtl::ToWideExact(folder, target)) throw Exception(u"no such folder: " + target);
  TZipReader reader(archive, TZipNameDecoder(GetACP(), GetOEMCP()));
  const int files = TZipExtractor(reader, target).ExtractAll();
  return std::to_string(files) + (files == 1 ? " file extracted." : " files extracted.");
}

std::string Run(const std::string& commandLine) {
  const std::vector<std::string> words = SplitCommandLine(commandLine);
  if (words.empty() || words[0] != "-x")
    throw Exception(u"unknown command: " + rtl::ToWide(commandLine));
  if (words.size() != 3 || words[1].empty() || words[2].empty())
    throw Exception(u"usage: -x \"ARCHIVE\" \"FOLDER\\\"");
  return Extract(words[1], words[2]);
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
  int result = 1;
  try {
    report = Run(commandLine ? commandLine : "");
    result = 0;
  } catch (const Exception& e) {
    report = "Error: " + rtl::ToAnsi(e.Message());
  } catch (const std::exception& e) {
    report = std::string("Error: ") + e.what();
  } catch (...) {
    report = "Error: unexpected failure";
  }
  WriteReport(report, output, size);
  return result;
}

extern "C" int WINAPI VelmZipReaderVersion() { return 1; }
