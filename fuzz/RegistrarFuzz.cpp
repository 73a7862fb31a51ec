// Any text as a registration script: the registrar must not crash or hang;
// a script it refuses must write nothing; one it accepts must give the same
// registry when run twice, and must run in removal mode afterwards. The
// first byte picks a write to fail, so rollback runs on odd scripts too.
#include <cstdlib>
#include <string>

#include "CRegObject.h"
#include "FaultyStore.h"
#include "MemoryRegistry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int failAt = data[0] < 0x80 ? data[0] : -1;
  std::u16string script;
  for (size_t i = 1; i < size; ++i) script += static_cast<char16_t>(data[i]);

  MemoryRegistry registry;
  registry.CreateKey(u"CLSID\\{00000000-1111-2222-3333-444444444444}");
  const auto seeded = registry.Lines();
  auto run = [&](RegistryStore& store, bool doRegister) {
    CRegObject registrar(store);
    registrar.AddReplacement(u"APPID", u"");
    registrar.AddReplacement(u"Module", u"C:\\it''s\\Vellisto.dll");
    registrar.AddReplacement(u"Module_Raw", u"C:\\it''s\\Vellisto.dll");
    return registrar.RunScript(script, doRegister);
  };

  FaultyStore first(registry, failAt);
  const RegResult result = run(first, true);
  if (result.fault != RegFault::None && result.fault != RegFault::Registry) {
    if (first.writes() != 0 || registry.Lines() != seeded) std::abort();
    return 0;
  }
  if (!result.ok()) {
    run(registry, false);
    return 0;
  }
  const auto once = registry.Lines();
  if (!run(registry, true).ok() || registry.Lines() != once) std::abort();
  if (!run(registry, false).ok()) std::abort();
  return 0;
}
