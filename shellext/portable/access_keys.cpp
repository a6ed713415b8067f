#include "shellext/portable/access_keys.h"

#include <set>

namespace framewise {

namespace {

// Letters and digits: what a menu key can be. Punctuation, spaces and "&" never are.
bool CanBeKey(wchar_t c) {
  if ((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z')) return true;
  return c >= 0xC0 && c != 0xD7 && c != 0xF7;  // Latin-1 letters and every later script
}

struct Word {
  size_t start;
  std::wstring folded;
};

std::vector<Word> WordsOf(const std::wstring& text) {
  std::vector<Word> words;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!CanBeKey(text[i])) continue;
    if (i == 0 || !CanBeKey(text[i - 1])) words.push_back(Word{i, std::wstring()});
    words.back().folded += FoldAccessKey(text[i]);
  }
  return words;
}

}  // namespace

wchar_t FoldAccessKey(wchar_t c) {
  if (c >= L'a' && c <= L'z') return static_cast<wchar_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<wchar_t>(c - 0x20);  // Latin-1
  // Greek alpha to upsilon with dialytika; final sigma has no capital of its own.
  if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return static_cast<wchar_t>(c - 0x20);
  if (c >= 0x430 && c <= 0x44F) return static_cast<wchar_t>(c - 0x20);  // Cyrillic
  if (c >= 0x450 && c <= 0x45F) return static_cast<wchar_t>(c - 0x50);
  return c;
}

std::vector<size_t> ChooseAccessKeys(const std::vector<std::wstring>& texts) {
  std::vector<std::vector<Word>> words;
  for (const std::wstring& text : texts) words.push_back(WordsOf(text));
  // A word that another item also has does not tell the items apart.
  auto sharedWord = [&](size_t item, const std::wstring& word) {
    for (size_t other = 0; other < words.size(); ++other) {
      if (other == item) continue;
      for (const Word& w : words[other]) {
        if (w.folded == word) return true;
      }
    }
    return false;
  };

  std::set<wchar_t> taken;
  std::vector<size_t> keys;
  for (size_t item = 0; item < texts.size(); ++item) {
    const std::wstring& text = texts[item];
    std::vector<size_t> candidates;
    for (const Word& w : words[item]) {
      if (!sharedWord(item, w.folded)) candidates.push_back(w.start);
    }
    for (const Word& w : words[item]) candidates.push_back(w.start);
    for (size_t i = 0; i < text.size(); ++i) {
      if (CanBeKey(text[i])) candidates.push_back(i);
    }
    size_t key = kNoAccessKey;
    for (size_t at : candidates) {
      if (taken.count(FoldAccessKey(text[at])) == 0) {
        key = at;
        taken.insert(FoldAccessKey(text[at]));
        break;
      }
    }
    keys.push_back(key);
  }
  return keys;
}

std::wstring MenuString(const std::wstring& text, size_t key) {
  std::wstring out;
  out.reserve(text.size() + 4);
  for (size_t i = 0; i < text.size(); ++i) {
    if (i == key) out += L'&';
    if (text[i] == L'&') out += L'&';
    out += text[i];
  }
  return out;
}

}  // namespace framewise
