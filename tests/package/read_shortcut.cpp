// read_shortcut LINK.lnk: what a shortcut starts, as the Windows shell reads it
// (IShellLinkW): its program on the first line, its working folder ("Start in") on the
// second, in UTF-8. Exit status 1 when the shortcut cannot be read.

#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return "";
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
  utf8.resize(static_cast<std::size_t>(size - 1));
  return utf8;
}

// The COM library of this thread, for as long as the object lives.
struct ComLibrary {
  HRESULT status = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ~ComLibrary() {
    if (SUCCEEDED(status)) CoUninitialize();
  }
};

// A COM interface pointer, released when it goes.
template <typename T>
struct Released {
  T* p = nullptr;
  ~Released() {
    if (p) p->Release();
  }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("uso: read_shortcut ACCESO.lnk\n", stderr);
    return 2;
  }
  ComLibrary com;
  Released<IShellLinkW> link;
  Released<IPersistFile> file;
  wchar_t program[MAX_PATH] = {};
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(com.status) ||
      FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link.p))) ||
      FAILED(link.p->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p))) ||
      FAILED(file.p->Load(argv[1], STGM_READ)) ||
      FAILED(link.p->GetPath(program, MAX_PATH, nullptr, SLGP_RAWPATH)) ||
      FAILED(link.p->GetWorkingDirectory(folder, MAX_PATH))) {
    std::fprintf(stderr, "read_shortcut: cannot read %s\n", Utf8(argv[1]).c_str());
    return 1;
  }
  std::printf("%s\n%s\n", Utf8(program).c_str(), Utf8(folder).c_str());
  return 0;
}
