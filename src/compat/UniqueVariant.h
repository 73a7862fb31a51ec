// Owner of the automation runtime's VARIANT, in both builds.
#pragma once

#include "Automation.h"

// A VARIANT that is cleared when it goes. It is a VARIANT, so it passes
// wherever one is asked for (&v, or v as VARIANT&).
struct UniqueVariant : VARIANT {
  UniqueVariant() { VariantInit(this); }
  ~UniqueVariant() { VariantClear(this); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;

  // Clears what is held and returns the VARIANT for an out parameter.
  VARIANT* put() {
    VariantClear(this);
    return this;
  }
  // Hands the value to dest (which must be empty or cleared) and leaves this
  // one empty.
  void MoveTo(VARIANT& dest) {
    dest = *this;
    VariantInit(this);
  }
};
