#include "HResultFromCaughtException.h"

#include <new>

HRESULT HResultFromCaughtException(HRESULT otherwise) noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return otherwise;
  }
}
