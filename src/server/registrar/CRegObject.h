// The registrar: runs a registration script against a registry in register
// or removal mode. The whole script is read first (replacements, then the
// parse) and applied second, so a malformed script writes nothing.
//
// Registration creates or opens each key and sets its listed values; a
// "ForceRemove" key is deleted with everything below it first. Removal
// deletes the listed named values, and deletes each listed key that has no
// subkeys left once its own entries are done (its unlisted values with it);
// "NoRemove" keys are never deleted and missing keys are skipped. Removal
// goes on past a failure and reports the first. A registration that fails
// part-way puts back every key and value it touched as it was before (its
// RegJournal) and then reports the failure.
#pragma once

#include <string>
#include <vector>

#include "RegJournal.h"
#include "RegNode.h"
#include "RegReplacements.h"
#include "RegResult.h"
#include "RegistryStore.h"

class CRegObject {
 public:
  explicit CRegObject(RegistryStore& store) : m_store(store) {}

  void AddReplacement(const std::u16string& name, const std::u16string& text) {
    m_replacements.Add(name, text);
  }
  void ClearReplacements() { m_replacements.Clear(); }

  RegResult RunScript(const std::u16string& script, bool doRegister);

 private:
  RegResult Register(const std::u16string& parent, const std::vector<RegNode>& entries,
                     RegJournal& journal);
  RegResult Remove(const std::u16string& parent, const std::vector<RegNode>& entries);
  RegResult Failed(uint32_t error, const std::u16string& path, const char* what) const;

  RegistryStore& m_store;  // borrowed
  RegReplacements m_replacements;
};
