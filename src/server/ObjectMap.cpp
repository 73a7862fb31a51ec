#include "ObjectMap.h"

#include "CComClassFactory.h"
#include "CComObjectCached.h"
#include "CTvdFile.h"
#include "CTvdFormat.h"
#include "CTvdPreview.h"
#include "Globals.h"
#include "RegistryScript.h"

namespace {

template <class T>
HRESULT WINAPI UpdateRegistryOf(BOOL doRegister) {
  return RunRegistryScript(g_module.instance(), T::kRegistryScript, T::GetObjectCLSID(),
                           doRegister);
}

const wchar_t* WINAPI NoDescription() { return nullptr; }
const void* WINAPI NoCategories() { return nullptr; }

// Every class object is the same cached factory over the class's creator.
HRESULT WINAPI CreateClassObject(void* createInstance, REFIID iid, void** out) {
  return CComCreator<CComObjectCached<CComClassFactory>>::CreateInstance(createInstance, iid, out);
}

template <class T>
ObjectMapEntry EntryOf() {
  return {
      &T::GetObjectCLSID(), UpdateRegistryOf<T>, CreateClassObject, T::CreateInstance, nullptr, 0,
      NoDescription,        NoCategories,        T::ObjectMain};
}

}  // namespace

ObjectMapEntry g_objectMap[] = {
    EntryOf<CTvdFormat>(),
    EntryOf<CTvdFile>(),
    EntryOf<CTvdPreview>(),
    {nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr},
};
