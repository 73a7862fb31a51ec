// One entry of a parsed registration script: a key with its default value
// and its entries, or a named value ("val") of the key that holds it.
#pragma once

#include <string>
#include <vector>

struct RegNode {
  enum class Flag { None, NoRemove, ForceRemove };

  bool isValue = false;  // a named value: name and data only
  std::u16string name;
  Flag flag = Flag::None;
  bool hasData = false;  // a key's default value, always set for a named value
  std::u16string data;
  std::vector<RegNode> children;  // a key's named values and subkeys, in script order
};
