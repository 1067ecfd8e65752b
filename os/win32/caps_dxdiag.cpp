// DirectX version from the DirectX diagnostics provider (COM).
#include <windows.h>
#include <oleauto.h>
#include <dxdiag.h>

#include "os/caps.h"

namespace os {
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
