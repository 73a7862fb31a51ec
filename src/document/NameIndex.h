// Finds the first item of a list whose name equals a given one under
// NamesEqual, in about constant time, so that a batch of N lookups costs
// about N lookups rather than N scans of the list.
//
// The index is made at the first lookup and follows the list from then on:
// items are only ever appended at the tail (it indexes the new tail at the
// next lookup) or all removed (it starts again). It maps the hash of each
// name's key (see NameKey) to the first item with that hash, in one open
// table (a lookup touches one slot, then the item), and confirms a hit with
// the real comparison; when two keys share a hash, or the system cannot make
// a key, it falls back to scanning the list in order.
#pragma once

#include "Automation.h"
#include "NameMatch.h"

#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

template <class Item>
class NameIndex {
 public:
  // Forgets everything: for a list that was emptied.
  void Reset() { m_table.reset(); }

  // The first item of list (whose items have a `name` with c_str()) equal
  // to name, or null.
  template <class List>
  Item* Find(List& list, const OLECHAR* name) {
    if (!name) name = OLESTR("");
    if (!Follow(list) || !NameKey(name, m_table->key)) return Scan(list, name);
    Item* found = m_table->Find(Hash(m_table->key));
    if (!found) return nullptr;
    if (NamesEqual(found->name.c_str(), name)) return found;
    return Scan(list, name);  // two keys share a hash
  }

 private:
  struct Slot {
    size_t hash;
    Item* item;  // borrowed from the list; null for a free slot
  };

  struct Table {
    std::vector<Slot> slots;  // at most three quarters in use
    size_t used = 0;
    size_t count = 0;  // how many of the list's items it has seen
    uint32_t context = 0;
    bool usable = true;  // false once a name had no key: then every lookup scans
    std::string key;     // reused for every key made

    // The first item added with this hash, or null.
    Item* Find(size_t hash) const {
      if (slots.empty()) return nullptr;
      for (size_t i = hash % slots.size();; i = i + 1 == slots.size() ? 0 : i + 1) {
        if (!slots[i].item) return nullptr;
        if (slots[i].hash == hash) return slots[i].item;
      }
    }
    // Adds item unless an earlier one has the same hash.
    void Add(size_t hash, Item* item) {
      if (4 * (used + 1) > 3 * slots.size()) Grow(2 * slots.size() + 16);
      size_t i = hash % slots.size();
      for (; slots[i].item; i = i + 1 == slots.size() ? 0 : i + 1)
        if (slots[i].hash == hash) return;
      slots[i] = {hash, item};
      ++used;
    }
    // Room for least slots, rehashing only when there is too little. No
    // more than that: the table of a large block is fresh memory, and
    // touching fresh memory is what its making costs most on some machines.
    void Grow(size_t least) {
      if (slots.size() >= least) return;
      std::vector<Slot> old(least, Slot{0, nullptr});
      old.swap(slots);
      used = 0;
      for (const Slot& slot : old)
        if (slot.item) Add(slot.hash, slot.item);
    }
  };

  static size_t Hash(const std::string& key) { return std::hash<std::string_view>()(key); }

  template <class List>
  static Item* Scan(List& list, const OLECHAR* name) {
    for (Item& item : list)
      if (NamesEqual(item.name.c_str(), name)) return &item;
    return nullptr;
  }

  // The first of the last `added` items: a list that links forward only is
  // walked from its head.
  template <class List>
  static auto FirstAdded(List& list, size_t added) {
    using Category = typename std::iterator_traits<decltype(list.begin())>::iterator_category;
    if constexpr (std::is_base_of_v<std::bidirectional_iterator_tag, Category>)
      return std::prev(list.end(), static_cast<std::ptrdiff_t>(added));
    else
      return std::next(list.begin(), static_cast<std::ptrdiff_t>(list.size() - added));
  }

  // Brings the table up to date with list; false when lookups must scan.
  template <class List>
  bool Follow(List& list) {
    const uint32_t context = NameKeyContext();
    if (!m_table || list.size() < m_table->count || m_table->context != context) {
      m_table.reset(new Table);
      m_table->context = context;
    }
    Table& table = *m_table;
    if (!table.usable) return false;
    const size_t added = list.size() - table.count;
    if (added == 0) return true;
    table.Grow(list.size() / 3 * 4 + 16);
    for (auto it = FirstAdded(list, added); it != list.end(); ++it) {
      if (!NameKey(it->name.c_str(), table.key)) {
        table.usable = false;
        table.slots.clear();
        return false;
      }
      table.Add(Hash(table.key), &*it);
    }
    table.count = list.size();
    return true;
  }

  std::unique_ptr<Table> m_table;  // owned; null until the first lookup
};
