// Machine probes through the Windows version, system, memory, registry and
// INI-file functions, and the DirectX diagnostics provider (COM).
#include "os/caps.h"

#include <windows.h>
#include <oleauto.h>
#include <dxdiag.h>

#include <cpuid.h>
#include <x86intrin.h>

#include <cwchar>
#include <initializer_list>

namespace os {
namespace {

wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

template <typename Function>
Function Lookup(const wchar_t* module, const char* name) {
  HMODULE handle = GetModuleHandleW(module);
  return handle ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(handle, name)))
                : nullptr;
}

void Fill(const OSVERSIONINFOEXW& info, OsVersion* out) {
  out->platform = info.dwPlatformId;
  out->major = info.dwMajorVersion;
  out->minor = info.dwMinorVersion;
  out->build = info.dwBuildNumber;
  out->service_pack_major = info.wServicePackMajor;
  out->service_pack_minor = info.wServicePackMinor;
  static_assert(sizeof(info.szCSDVersion) / sizeof(wchar_t) == 128);
  for (int i = 0; i < 127 && info.szCSDVersion[i]; ++i)
    out->service_pack[i] = static_cast<char16_t>(info.szCSDVersion[i]);
}

}  // namespace

bool QueryOsVersion(OsVersion* out) {
  *out = OsVersion{};
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  auto get_version = Lookup<RtlGetVersionFn>(L"ntdll.dll", "RtlGetVersion");
  if (!get_version) return false;
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof info;
  if (get_version(&info) != 0) return false;
  Fill(info, out);
  return true;
}

bool QueryClassicOsVersion(OsVersion* out) {
  *out = OsVersion{};
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return false;
#pragma GCC diagnostic pop
  Fill(info, out);
  return true;
}

bool QueryProductType(const OsVersion& version, std::uint32_t* type) {
  using GetProductInfoFn = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, DWORD*);
  auto get_product = Lookup<GetProductInfoFn>(L"Kernel32.dll", "GetProductInfo");
  DWORD product = 0;
  if (!get_product || !get_product(version.major, version.minor, version.service_pack_major,
                                   version.service_pack_minor, &product))
    return false;
  *type = product;
  return true;
}

bool IsSystem64Bit() {
  if (sizeof(void*) == 8) return true;
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, BOOL*);
  auto is_wow64 = Lookup<IsWow64ProcessFn>(L"Kernel32.dll", "IsWow64Process");
  BOOL wow64 = FALSE;
  return is_wow64 && is_wow64(GetCurrentProcess(), &wow64) && wow64;
}

bool QueryCpuId(std::uint32_t leaf, std::uint32_t registers[4]) {
  const unsigned highest = __get_cpuid_max(leaf & 0x80000000u, nullptr);
  if (highest == 0 || leaf > highest) return false;
  __cpuid(leaf, registers[0], registers[1], registers[2], registers[3]);
  return true;
}

bool CanToggleAlignmentCheck() { return true; }

std::uint32_t GetProcessorCount() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors;
}

bool QueryProcessorDescription(std::uint32_t* mhz, char16_t* name, std::uint32_t capacity) {
  *mhz = 0;
  if (capacity) name[0] = 0;
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", 0,
                    KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  for (const wchar_t* value : {L"~MHz", L"~Mhz", L"~mhz"}) {
    DWORD clock = 0, size = sizeof clock;
    if (RegQueryValueExW(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(&clock), &size) ==
        ERROR_SUCCESS) {
      *mhz = clock;
      break;
    }
  }
  wchar_t text[129] = {};
  DWORD size = 256;  // bytes
  if (capacity && RegQueryValueExW(key, L"ProcessorNameString", nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS) {
    std::uint32_t i = 0;
    for (; i + 1 < capacity && i < 128 && text[i]; ++i) name[i] = static_cast<char16_t>(text[i]);
    name[i] = 0;
  }
  RegCloseKey(key);
  return true;
}

bool QueryPerformanceFrequency(std::uint64_t* frequency) {
  LARGE_INTEGER value;
  if (!::QueryPerformanceFrequency(&value) || value.QuadPart <= 0) return false;
  *frequency = static_cast<std::uint64_t>(value.QuadPart);
  return true;
}

bool QueryPerformanceCounter(std::uint64_t* counter) {
  LARGE_INTEGER value;
  if (!::QueryPerformanceCounter(&value)) return false;
  *counter = static_cast<std::uint64_t>(value.QuadPart);
  return true;
}

std::uint64_t ReadCycleCounter() {
  unsigned a, b, c, d;
  __cpuid(0, a, b, c, d);
  return __rdtsc();
}

bool QueryMemoryStatus(MemoryStatus* out) {
  *out = MemoryStatus{};
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return false;
  out->available_physical = status.ullAvailPhys;
  out->total_physical = status.ullTotalPhys;
  out->available_page_file = status.ullAvailPageFile;
  out->total_page_file = status.ullTotalPageFile;
  return true;
}

bool QueryOemValue(const char16_t* windows_folder, const char16_t* key, char16_t* out,
                   std::uint32_t capacity) {
  if (capacity == 0) return false;
  out[0] = 0;
  for (const wchar_t* file : {L"%ls\\Oeminfo.ini", L"%ls\\system\\Oeminfo.ini",
                              L"%ls\\system32\\Oeminfo.ini"}) {
    wchar_t path[MAX_PATH + 32];
    if (swprintf(path, MAX_PATH + 32, file, Wide(windows_folder)) < 0) continue;
    if (GetPrivateProfileStringW(L"General", Wide(key), L"", Wide(out), capacity, path) > 0)
      return true;
  }
  out[0] = 0;
  return false;
}

bool QuerySystemFileVersion(const char16_t* file_name, std::uint32_t* ms, std::uint32_t* ls) {
  wchar_t path[MAX_PATH + 64];
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  if (swprintf(path + length, 64, L"\\%ls", Wide(file_name)) < 0) return false;
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &handle);
  if (size == 0) return false;
  void* block = HeapAlloc(GetProcessHeap(), 0, size);
  if (!block) return false;
  bool ok = false;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  if (GetFileVersionInfoW(path, 0, size, block) &&
      VerQueryValueW(block, L"\\", reinterpret_cast<void**>(&fixed), &fixed_size) && fixed &&
      fixed_size >= sizeof(VS_FIXEDFILEINFO)) {
    *ms = fixed->dwFileVersionMS;
    *ls = fixed->dwFileVersionLS;
    ok = true;
  }
  HeapFree(GetProcessHeap(), 0, block);
  return ok;
}

bool CanLoadSystemLibrary(const char16_t* name) {
  HMODULE module = LoadLibraryW(Wide(name));
  if (!module) return false;
  FreeLibrary(module);
  return true;
}

// DirectX version from the DirectX diagnostics provider.
namespace {

const CLSID kDxDiagProvider = {
    0xA65B8071, 0x3BFE, 0x4213, {0x9A, 0x5B, 0x49, 0x1D, 0xA4, 0x46, 0x1C, 0xA7}};
const IID kDxDiagProviderInterface = {
    0x9C6B4CB0, 0x23F8, 0x49CC, {0xA3, 0xED, 0x45, 0xA5, 0x50, 0x00, 0xA6, 0xD2}};

bool ReadNumber(IDxDiagContainer* container, const wchar_t* name, std::uint32_t* out) {
  VARIANT value;
  VariantInit(&value);
  const bool ok = SUCCEEDED(container->GetProp(name, &value)) && value.vt == VT_UI4;
  if (ok) *out = value.ulVal;
  VariantClear(&value);
  return ok;
}

bool ReadLetter(IDxDiagContainer* container, const wchar_t* name, char16_t* out) {
  VARIANT value;
  VariantInit(&value);
  const bool ok = SUCCEEDED(container->GetProp(name, &value)) && value.vt == VT_BSTR &&
                  value.bstrVal && SysStringLen(value.bstrVal) > 0;
  if (ok) *out = static_cast<char16_t>(value.bstrVal[0]);
  VariantClear(&value);
  return ok;
}

}  // namespace

bool QueryDxDiagVersion(std::uint32_t* major, std::uint32_t* minor, char16_t* letter) {
  const HRESULT com = CoInitialize(nullptr);
  IDxDiagProvider* provider = nullptr;
  IDxDiagContainer* root = nullptr;
  IDxDiagContainer* system = nullptr;
  bool ok = false;
  if (SUCCEEDED(CoCreateInstance(kDxDiagProvider, nullptr, CLSCTX_INPROC_SERVER,
                                 kDxDiagProviderInterface, reinterpret_cast<void**>(&provider)))) {
    DXDIAG_INIT_PARAMS params = {};
    params.dwSize = sizeof params;
    params.dwDxDiagHeaderVersion = 111;
    params.bAllowWHQLChecks = FALSE;
    if (SUCCEEDED(provider->Initialize(&params)) &&
        SUCCEEDED(provider->GetRootContainer(&root)) &&
        SUCCEEDED(root->GetChildContainer(L"DxDiag_SystemInfo", &system))) {
      std::uint32_t found_major = 0, found_minor = 0;
      char16_t found_letter = 0;
      ok = ReadNumber(system, L"dwDirectXVersionMajor", &found_major) &&
           ReadNumber(system, L"dwDirectXVersionMinor", &found_minor) &&
           ReadLetter(system, L"szDirectXVersionLetter", &found_letter);
      if (ok) {
        *major = found_major;
        *minor = found_minor;
        *letter = found_letter;
      }
    }
  }
  if (system) system->Release();
  if (root) root->Release();
  if (provider) provider->Release();
  if (SUCCEEDED(com)) CoUninitialize();
  return ok;
}

}  // namespace os
