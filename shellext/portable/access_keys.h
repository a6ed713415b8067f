// Access keys for the submenu's items: which character of each item's text the keyboard
// picks it by, and the menu string that marks it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace framewise {

constexpr size_t kNoAccessKey = static_cast<size_t>(-1);

// The character a typed key and an item's key are compared by: Latin, Greek and Cyrillic
// letters folded to upper case, everything else as it is.
wchar_t FoldAccessKey(wchar_t character);

// For each text, the index of its access-key character, or kNoAccessKey when every
// character it has is taken already. Keys are distinct after folding. Earlier texts
// choose first; each prefers the first letter of a word only it has, then of any word,
// then any letter or digit.
std::vector<size_t> ChooseAccessKeys(const std::vector<std::wstring>& texts);

// The menu string of a text: every "&" doubled, and one "&" before the key character.
std::wstring MenuString(const std::wstring& text, size_t key);

}  // namespace framewise
