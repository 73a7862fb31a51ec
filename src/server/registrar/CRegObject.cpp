#include "CRegObject.h"

#include "RegParser.h"

namespace {

std::u16string Join(const std::u16string& parent, const std::u16string& name) {
  return parent.empty() ? name : parent + u'\\' + name;
}

}  // namespace

RegResult CRegObject::RunScript(const std::u16string& script, bool doRegister) {
  std::u16string text;
  RegResult result = m_replacements.Expand(script, text);
  if (!result.ok()) return result;
  std::vector<RegNode> keys;
  if (!(result = RegParser(text).Parse(keys)).ok()) return result;
  if (!doRegister) return Remove(u"", keys);
  RegJournal journal(m_store);
  result = Register(u"", keys, journal);
  if (!result.ok()) journal.Undo();  // the registration's own failure is what counts
  return result;
}

RegResult CRegObject::Failed(uint32_t error, const std::u16string& path, const char* what) const {
  RegResult result;
  result.fault = RegFault::Registry;
  result.systemError = error;
  result.message = what;
  result.message += " failed at ";
  for (char16_t c : path) result.message += c < 0x80 ? static_cast<char>(c) : '?';
  return result;
}

RegResult CRegObject::Register(const std::u16string& parent, const std::vector<RegNode>& entries,
                               RegJournal& journal) {
  for (const RegNode& node : entries) {
    if (node.isValue) {
      uint32_t error = journal.BeforeSetValue(parent, node.name);
      if (!error) error = m_store.SetString(parent, node.name, node.data);
      if (error) return Failed(error, parent, "setting a value");
      continue;
    }
    const std::u16string path = Join(parent, node.name);
    if (node.flag == RegNode::Flag::ForceRemove) {
      uint32_t error = journal.BeforeDeleteTree(path);
      if (!error) error = m_store.DeleteTree(path);
      if (error != kRegSuccess && error != kRegNotFound)
        return Failed(error, path, "deleting a key");
    }
    uint32_t error = journal.BeforeCreateKey(path);
    if (!error) error = m_store.CreateKey(path);
    if (error) return Failed(error, path, "creating a key");
    if (node.hasData) {
      error = journal.BeforeSetValue(path, u"");
      if (!error) error = m_store.SetString(path, u"", node.data);
      if (error) return Failed(error, path, "setting a default value");
    }
    RegResult result = Register(path, node.children, journal);
    if (!result.ok()) return result;
  }
  return RegResult();
}

RegResult CRegObject::Remove(const std::u16string& parent, const std::vector<RegNode>& entries) {
  RegResult first;
  auto keep = [&first](RegResult result) {
    if (first.ok() && !result.ok()) first = std::move(result);
  };
  for (const RegNode& node : entries) {
    if (node.isValue) {
      const uint32_t error = m_store.DeleteValue(parent, node.name);
      if (error != kRegSuccess && error != kRegNotFound)
        keep(Failed(error, parent, "deleting a value"));
      continue;
    }
    const std::u16string path = Join(parent, node.name);
    const uint32_t exists = m_store.CheckKey(path);
    if (exists == kRegNotFound) continue;
    if (exists != kRegSuccess) {
      keep(Failed(exists, path, "opening a key"));
      continue;
    }
    keep(Remove(path, node.children));
    if (node.flag == RegNode::Flag::NoRemove) continue;
    uint32_t subkeys = 0;
    if (uint32_t error = m_store.CountSubkeys(path, subkeys)) {
      keep(Failed(error, path, "reading a key"));
      continue;
    }
    if (subkeys != 0) continue;
    const uint32_t error = m_store.DeleteKey(path);
    if (error != kRegSuccess && error != kRegNotFound) keep(Failed(error, path, "deleting a key"));
  }
  return first;
}
