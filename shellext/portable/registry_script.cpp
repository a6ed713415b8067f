#include "shellext/portable/registry_script.h"

namespace framewise {
namespace {

bool IsSpace(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f';
}

bool IsVariableNameChar(wchar_t c) {
  return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') ||
         c == L'_';
}

// ASCII-only case folding: keywords and root names are plain ASCII.
bool EqualsNoCase(const std::wstring& a, const wchar_t* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != L'\0'; ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'a' && x <= L'z') x = static_cast<wchar_t>(x - L'a' + L'A');
    if (y >= L'a' && y <= L'z') y = static_cast<wchar_t>(y - L'a' + L'A');
    if (x != y) return false;
  }
  return i == a.size() && b[i] == L'\0';
}

struct Token {
  std::wstring text;
  bool quoted = false;
  size_t offset = 0;
  size_t end = 0;  // just past the token, its closing quote included
};

bool Fail(ScriptError* error, size_t offset, const wchar_t* message) {
  if (error) {
    error->message = message;
    error->offset = offset;
  }
  return false;
}

bool Tokenize(const std::wstring& text, std::vector<Token>* tokens, ScriptError* error) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    if (IsSpace(text[i])) {
      ++i;
      continue;
    }
    Token token;
    token.offset = i;
    if (text[i] == L'\'') {
      token.quoted = true;
      ++i;
      for (;;) {
        if (i >= n) return Fail(error, token.offset, L"unterminated string");
        if (text[i] == L'\'') {
          if (i + 1 < n && text[i + 1] == L'\'') {
            token.text.push_back(L'\'');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        token.text.push_back(text[i++]);
      }
      if (i < n && !IsSpace(text[i])) return Fail(error, i, L"text right after a closing quote");
    } else {
      while (i < n && !IsSpace(text[i])) {
        if (text[i] == L'\'') return Fail(error, i, L"quote inside an unquoted name");
        token.text.push_back(text[i++]);
      }
    }
    token.end = i;
    tokens->push_back(std::move(token));
  }
  return true;
}

class Parser {
 public:
  Parser(const std::vector<Token>& tokens, ScriptError* error) : tokens_(tokens), error_(error) {}

  bool ParseScript(RegistryScript* script) {
    while (pos_ < tokens_.size()) {
      const Token& rootToken = tokens_[pos_++];
      ScriptBlock block;
      if (!ParseRootName(rootToken, &block.root)) {
        return Fail(error_, rootToken.offset, L"unknown root key");
      }
      if (!AtBrace(L"{")) return Fail(error_, EndOffset(), L"missing '{' after the root key");
      ++pos_;
      if (!ParseBody(&block.children, 1)) return false;
      script->blocks.push_back(std::move(block));
    }
    return true;
  }

 private:
  static bool ParseRootName(const Token& token, ScriptRoot* root) {
    if (token.quoted) return false;
    if (EqualsNoCase(token.text, L"HKCR") || EqualsNoCase(token.text, L"HKEY_CLASSES_ROOT")) {
      *root = ScriptRoot::ClassesRoot;
      return true;
    }
    if (EqualsNoCase(token.text, L"HKLM") || EqualsNoCase(token.text, L"HKEY_LOCAL_MACHINE")) {
      *root = ScriptRoot::LocalMachine;
      return true;
    }
    return false;
  }

  bool AtEnd() const { return pos_ >= tokens_.size(); }

  // The offset to report for a token that should be at pos_.
  size_t EndOffset() const {
    if (!AtEnd()) return tokens_[pos_].offset;
    return tokens_.empty() ? 0 : tokens_.back().end;
  }

  bool AtBrace(const wchar_t* brace) const {
    return !AtEnd() && !tokens_[pos_].quoted && tokens_[pos_].text == brace;
  }

  bool AtKeyword(const wchar_t* keyword) const {
    return !AtEnd() && !tokens_[pos_].quoted && EqualsNoCase(tokens_[pos_].text, keyword);
  }

  // A name or text: quoted, or unquoted and not a brace or "=".
  bool TakeName(std::wstring* name) {
    if (AtEnd()) return false;
    const Token& token = tokens_[pos_];
    if (!token.quoted && (token.text == L"{" || token.text == L"}" || token.text == L"=")) {
      return false;
    }
    *name = token.text;
    ++pos_;
    return true;
  }

  // "= s 'text'" after a key or value name.
  bool ParseData(std::wstring* data) {
    if (!AtBrace(L"=")) return Fail(error_, EndOffset(), L"missing '=' after a value name");
    ++pos_;
    if (!AtKeyword(L"s")) return Fail(error_, EndOffset(), L"only string values ('s') are supported");
    ++pos_;
    if (!TakeName(data)) return Fail(error_, EndOffset(), L"missing value text");
    return true;
  }

  // Items up to and including the closing brace of a block.
  bool ParseBody(std::vector<ScriptNode>* children, int depth) {
    for (;;) {
      if (AtEnd()) return Fail(error_, EndOffset(), L"unbalanced braces: missing '}'");
      if (AtBrace(L"}")) {
        ++pos_;
        return true;
      }
      ScriptNode node;
      if (!ParseItem(&node, depth)) return false;
      children->push_back(std::move(node));
    }
  }

  bool ParseItem(ScriptNode* node, int depth) {
    bool marked = false;
    while (AtKeyword(L"NoRemove") || AtKeyword(L"ForceRemove")) {
      if (marked) return Fail(error_, tokens_[pos_].offset, L"more than one marker");
      node->marker = AtKeyword(L"NoRemove") ? ScriptMarker::NoRemove : ScriptMarker::ForceRemove;
      marked = true;
      ++pos_;
    }
    if (AtKeyword(L"val")) {
      const size_t at = tokens_[pos_++].offset;
      if (node->marker == ScriptMarker::ForceRemove) {
        return Fail(error_, at, L"ForceRemove on a value");
      }
      node->kind = ScriptNode::Kind::Value;
      if (!TakeName(&node->name) || node->name.empty()) {
        return Fail(error_, EndOffset(), L"missing value name");
      }
      node->hasData = true;
      return ParseData(&node->data);
    }
    const size_t at = EndOffset();
    if (!TakeName(&node->name)) {
      return Fail(error_, at, AtBrace(L"{") ? L"unbalanced braces: '{' without a key name"
                                            : L"missing key name");
    }
    if (node->name.empty()) return Fail(error_, at, L"empty key name");
    if (node->name.find(L'\\') != std::wstring::npos) {
      return Fail(error_, at, L"key name contains '\\'");
    }
    if (AtBrace(L"=")) {
      node->hasData = true;
      if (!ParseData(&node->data)) return false;
    }
    if (AtBrace(L"{")) {
      if (depth >= kMaxScriptDepth) return Fail(error_, EndOffset(), L"keys nested too deep");
      ++pos_;
      return ParseBody(&node->children, depth + 1);
    }
    return true;
  }

  const std::vector<Token>& tokens_;
  ScriptError* error_;
  size_t pos_ = 0;
};

}  // namespace

bool SubstituteScriptVariables(const std::wstring& text, const ScriptVariables& variables,
                               std::wstring* out, ScriptError* error) {
  std::wstring result;
  result.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const wchar_t c = text[i];
    if (c != L'%') {
      result.push_back(c);
      ++i;
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == L'%') {
      result.push_back(L'%');
      i += 2;
      continue;
    }
    size_t end = i + 1;
    while (end < text.size() && IsVariableNameChar(text[end])) ++end;
    if (end >= text.size() || text[end] != L'%' || end == i + 1) {
      return Fail(error, i, L"unterminated variable");
    }
    const std::wstring name = text.substr(i + 1, end - i - 1);
    const std::wstring* value = nullptr;
    for (const auto& variable : variables) {
      if (variable.first == name) {
        value = &variable.second;
        break;
      }
    }
    if (!value) return Fail(error, i, L"unknown variable");
    result += *value;
    i = end + 1;
  }
  *out = std::move(result);
  return true;
}

bool ParseRegistryScript(const std::wstring& text, const ScriptVariables& variables,
                         RegistryScript* script, ScriptError* error) {
  script->blocks.clear();
  std::wstring substituted;
  if (!SubstituteScriptVariables(text, variables, &substituted, error)) return false;
  std::vector<Token> tokens;
  if (!Tokenize(substituted, &tokens, error)) return false;
  RegistryScript result;
  if (!Parser(tokens, error).ParseScript(&result)) return false;
  *script = std::move(result);
  return true;
}

}  // namespace framewise
