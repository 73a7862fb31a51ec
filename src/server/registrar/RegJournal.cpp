#include "RegJournal.h"

namespace {

std::u16string Parent(const std::u16string& path) {
  const size_t slash = path.rfind(u'\\');
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

std::u16string Join(const std::u16string& parent, const std::u16string& name) {
  return parent.empty() ? name : parent + u'\\' + name;
}

}  // namespace

uint32_t RegJournal::BeforeCreateKey(const std::u16string& path) {
  // The topmost key that the create will make; nothing when the key is there.
  std::u16string top;
  for (std::u16string at = path; !at.empty(); at = Parent(at)) {
    const uint32_t error = m_store.CheckKey(at);
    if (error == kRegSuccess) break;
    if (error != kRegNotFound) return error;
    top = at;
  }
  if (!top.empty()) m_entries.push_back({Entry::Kind::Created, top, {}, false, {}, {}});
  return kRegSuccess;
}

uint32_t RegJournal::BeforeSetValue(const std::u16string& path, const std::u16string& name) {
  Entry entry{Entry::Kind::Value, path, name, true, {}, {}};
  const uint32_t error = m_store.GetValue(path, name, entry.old);
  if (error == kRegNotFound)
    entry.existed = false;
  else if (error != kRegSuccess)
    return error;
  m_entries.push_back(std::move(entry));
  return kRegSuccess;
}

uint32_t RegJournal::BeforeDeleteTree(const std::u16string& path) {
  Entry entry{Entry::Kind::Deleted, path, {}, false, {}, {}};
  const uint32_t error = Read(path, entry.tree);
  if (error == kRegNotFound) return kRegSuccess;
  if (error != kRegSuccess) return error;
  m_entries.push_back(std::move(entry));
  return kRegSuccess;
}

uint32_t RegJournal::Read(const std::u16string& path, Tree& tree) {
  std::vector<std::u16string> subkeys, values;
  if (uint32_t error = m_store.ListKey(path, subkeys, values)) return error;
  for (const std::u16string& name : values) {
    RegValue value;
    if (uint32_t error = m_store.GetValue(path, name, value)) return error;
    tree.values.emplace_back(name, std::move(value));
  }
  for (const std::u16string& name : subkeys) {
    Tree sub;
    sub.name = name;
    if (uint32_t error = Read(Join(path, name), sub)) return error;
    tree.subkeys.push_back(std::move(sub));
  }
  return kRegSuccess;
}

void RegJournal::Write(const std::u16string& path, const Tree& tree) {
  m_store.CreateKey(path);
  for (const auto& value : tree.values) m_store.SetValue(path, value.first, value.second);
  for (const Tree& sub : tree.subkeys) Write(Join(path, sub.name), sub);
}

void RegJournal::Undo() {
  for (auto entry = m_entries.rbegin(); entry != m_entries.rend(); ++entry) {
    switch (entry->kind) {
      case Entry::Kind::Created: m_store.DeleteTree(entry->path); break;
      case Entry::Kind::Value:
        if (entry->existed)
          m_store.SetValue(entry->path, entry->name, entry->old);
        else
          m_store.DeleteValue(entry->path, entry->name);
        break;
      case Entry::Kind::Deleted: Write(entry->path, entry->tree); break;
    }
  }
  m_entries.clear();
}
