#include "ImportHook.h"

#include <cstring>

ImportHook::ImportHook(const char* library, const char* function, void* replacement,
                       HMODULE module) {
  BYTE* base = reinterpret_cast<BYTE*>(module ? module : ::GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return;
  for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       entry->Name != 0; ++entry) {
    if (::_stricmp(reinterpret_cast<const char*>(base + entry->Name), library) != 0) continue;
    const DWORD namesAt = entry->OriginalFirstThunk ? entry->OriginalFirstThunk : entry->FirstThunk;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + namesAt);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
      void** slot = reinterpret_cast<void**>(&slots->u1.Function);
      m_original = *slot;
      m_slots.push_back(slot);
      Write(slot, replacement);
    }
  }
}

ImportHook::~ImportHook() {
  for (void** slot : m_slots) Write(slot, m_original);
}

void ImportHook::Write(void** slot, void* value) {
  DWORD previous = 0;
  ::VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &previous);
  *slot = value;
  ::VirtualProtect(slot, sizeof *slot, previous, &previous);
}
