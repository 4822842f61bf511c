// Replaces, for this test executable only, a system function it imports (its import
// table slot), to stage what Windows or another drive does and Wine here does not: a
// refused rename, no hard links, no recycle bin, the 260-character path limit.
#pragma once

#include <windows.h>

#include <cstring>

template <typename F>
class TImportShim {
 public:
  TImportShim(const char* name, F* replacement) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); dll->Name; ++dll) {
      auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
      auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
      for (; names->u1.AddressOfData; ++names, ++slots)
        if (!IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) &&
            !std::strcmp(
                reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name,
                name))
          FSlot = reinterpret_cast<void**>(&slots->u1.Function);
    }
    DWORD was;
    VirtualProtect(FSlot, sizeof(void*), PAGE_READWRITE, &was);  // left writable
    Original = reinterpret_cast<F*>(*FSlot);
    *FSlot = reinterpret_cast<void*>(replacement);
  }
  ~TImportShim() { *FSlot = reinterpret_cast<void*>(Original); }
  static inline F* Original = nullptr;
  void** FSlot = nullptr;
};
