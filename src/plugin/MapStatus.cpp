#include "MapStatus.h"

#include "KivHost.h"

HRESULT MapStatus(DocStatus status) {
  switch (status) {
    case DocStatus::Ok: return S_OK;
    case DocStatus::CannotOpen: return KIV_E_CANNOT_OPEN;
    case DocStatus::WriteFailed: return KIV_E_WRITE_FAILED;
    case DocStatus::BadFormat: return KIV_E_BAD_FORMAT;
  }
  return E_FAIL;
}
