#include "script/lexer.h"

#include "base/text.h"

namespace velmora::script {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted token starting at the opening quote; `at` ends past the closing quote.
std::u16string ReadQuoted(std::string_view line, std::size_t& at) {
  std::u16string text;
  std::string pending;  // raw UTF-8 between escapes, converted in one piece
  auto flush = [&] {
    text += FromUtf8(pending);
    pending.clear();
  };
  for (++at; at < line.size(); ++at) {
    const char c = line[at];
    if (c == '"') {
      flush();
      ++at;
      if (at < line.size() && !IsBlank(line[at])) {
        throw SyntaxError("a quoted text must be followed by a blank");
      }
      return text;
    }
    if (c != '\\') {
      pending += c;
      continue;
    }
    if (++at == line.size()) break;
    flush();
    switch (line[at]) {
      case '"': text += u'"'; break;
      case '\\': text += u'\\'; break;
      case 'r': text += u'\r'; break;
      case 'n': text += u'\n'; break;
      case 't': text += u'\t'; break;
      case 'b': text += u'\b'; break;
      case 'u': {
        unsigned unit = 0;
        for (int k = 1; k <= 4; ++k) {
          const int digit = at + k < line.size() ? HexValue(line[at + k]) : -1;
          if (digit < 0) throw SyntaxError("\\u needs four hexadecimal digits");
          unit = unit * 16 + static_cast<unsigned>(digit);
        }
        text += static_cast<char16_t>(unit);
        at += 4;
        break;
      }
      default:
        throw SyntaxError(std::string("unknown escape \\") + line[at]);
    }
  }
  throw SyntaxError("a quoted text is not closed");
}
}  // namespace

std::vector<Token> Tokenize(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  std::vector<Token> tokens;
  std::size_t at = 0;
  for (;;) {
    while (at < line.size() && IsBlank(line[at])) ++at;
    if (at == line.size()) break;
    if (tokens.empty() && line[at] == '#') break;
    if (line[at] == '"') {
      tokens.push_back({ReadQuoted(line, at), true});
      continue;
    }
    const std::size_t start = at;
    while (at < line.size() && !IsBlank(line[at])) {
      if (line[at] == '"') throw SyntaxError("a quote inside an unquoted word");
      ++at;
    }
    tokens.push_back({FromUtf8(line.substr(start, at - start)), false});
  }
  return tokens;
}

}  // namespace velmora::script
