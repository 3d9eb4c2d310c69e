#include "launcher/program_image.h"

#include <windows.h>

#include "rtl/exception.h"
#include "rtl/text.h"
#include "velm_stream/tv_file_stream.h"

namespace {

// NtAreMappedFilesTheSame(image view, file view): 0 when both views map the
// same file. Windows (since NT 4.0) and Wine compare the files themselves,
// not their names, which Wine keeps from the time the image was mapped.
using AreMappedFilesTheSameFunction = LONG(NTAPI*)(PVOID, PVOID);

AreMappedFilesTheSameFunction FindAreMappedFilesTheSame() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (!ntdll) return nullptr;
  return reinterpret_cast<AreMappedFilesTheSameFunction>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "NtAreMappedFilesTheSame")));
}

// True when the open file is the one mapped as the program's image: a view
// of its first page is compared with the image.
bool IsProgramImage(HANDLE file) {
  const AreMappedFilesTheSameFunction same = FindAreMappedFilesTheSame();
  if (!same) return false;
  const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (!mapping) return false;
  void* const view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 1);
  const bool result = view && same(GetModuleHandleW(nullptr), view) == 0;
  if (view) UnmapViewOfFile(view);
  CloseHandle(mapping);
  return result;
}

}  // namespace

std::unique_ptr<TVFileStream> OpenProgramImage() {
  const std::u16string path = rtl::ProgramPath();
  if (path.empty()) throw EInOutError(u"the program's name is unknown");
  auto file = std::make_unique<TVFileStream>(path, TVFileStream::kOpenShareRead);
  if (!IsProgramImage(reinterpret_cast<HANDLE>(file->Handle())))
    throw EInOutError(u"the program's file is not its image: " + path);
  return file;
}
