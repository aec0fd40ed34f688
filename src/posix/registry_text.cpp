#include "posix/registry_text.h"

#include <algorithm>
#include <cstdio>

#include "base/text.h"

namespace velmora::reg_text {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const char c =
        text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    if (c != prefix[i]) return false;
  }
  return true;
}

bool IsUtf8(std::string_view text) { return ToUtf8(FromUtf8(text)) == text; }

bool IsPlain(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit < 0x20 || (unit >= 0x7F && unit <= 0x9F) || unit == 0x2028 || unit == 0x2029) {
      return false;
    }
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      ++i;
    } else if (IsSurrogate(unit)) {
      return false;
    }
  }
  return true;
}

std::optional<std::string> QuotedText(std::u16string_view text) {
  if (!IsPlain(text)) return std::nullopt;
  std::string out = "\"";
  for (const char c : ToUtf8(text)) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

std::optional<std::u16string> Unquote(std::string_view& text) {
  if (text.empty() || text.front() != '"') return std::nullopt;
  std::string bytes;
  for (std::size_t i = 1; i < text.size(); ++i) {
    if (text[i] == '"') {
      text.remove_prefix(i + 1);
      return FromUtf8(bytes);
    }
    if (text[i] == '\\') {
      if (i + 1 == text.size() || (text[i + 1] != '\\' && text[i + 1] != '"')) return std::nullopt;
      ++i;
    }
    bytes += text[i];
  }
  return std::nullopt;
}

namespace {

std::optional<std::uint32_t> ParseHex(std::string_view digits, std::size_t maxDigits) {
  if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
  std::uint32_t out = 0;
  for (const char c : digits) {
    std::uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<std::uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<std::uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<std::uint32_t>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    out = out * 16 + digit;
  }
  return out;
}

std::optional<std::string> ParseHexBytes(std::string_view list) {
  std::string bytes;
  if (Trim(list).empty()) return bytes;
  while (true) {
    const std::size_t comma = list.find(',');
    const auto byte = ParseHex(Trim(list.substr(0, comma)), 2);
    if (!byte) return std::nullopt;
    bytes += static_cast<char>(*byte);
    if (comma == std::string_view::npos) return bytes;
    list.remove_prefix(comma + 1);
  }
}

std::string HexBytes(std::u16string_view units) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(units.size() * 6);
  for (const char16_t unit : units) {
    const auto both = static_cast<unsigned>(unit);
    for (const unsigned byte : {both & 0xFFu, both >> 8u}) {
      if (!out.empty()) out += ',';
      out += kDigits[byte >> 4];
      out += kDigits[byte & 0xF];
    }
  }
  return out;
}

}  // namespace

std::u16string Utf16FromBytes(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size() / 2 + 1);
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    const auto low = static_cast<unsigned char>(bytes[i]);
    const auto high = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0u;
    out += static_cast<char16_t>(low | (high << 8));
  }
  return out;
}


std::optional<std::string> ValueData(const RegistryValue& value) {
  switch (value.type) {
    case kRegSz:
      if (auto quoted = QuotedText(value.data)) return quoted;
      return "hex(1):" + HexBytes(value.data + u'\0');
    case kRegExpandSz:
      return "hex(2):" + HexBytes(value.data + u'\0');
    case kRegDword: {
      if (value.data.empty() || value.data.size() > 10) return std::nullopt;
      std::uint64_t number = 0;
      for (const char16_t unit : value.data) {
        if (unit < u'0' || unit > u'9') return std::nullopt;
        number = number * 10 + static_cast<std::uint64_t>(unit - u'0');
      }
      if (number > 0xFFFFFFFFu) return std::nullopt;
      char digits[9];
      std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(number));
      return std::string{"dword:"} + digits;
    }
    case kRegBinary:
      return "hex:" + HexBytes(value.data);
    default: {
      char type[16];
      std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(value.type));
      return type + HexBytes(value.data);
    }
  }
}

std::optional<RegistryValue> ParseData(std::string_view data) {
  if (data.starts_with('"')) {
    auto text = Unquote(data);
    if (!text || !data.empty()) return std::nullopt;
    return RegistryValue{kRegSz, std::move(*text)};
  }
  if (StartsWithIgnoringCase(data, "dword:")) {
    const auto number = ParseHex(data.substr(6), 8);
    if (!number) return std::nullopt;
    return RegistryValue{kRegDword, DecimalText(*number)};
  }
  std::uint32_t type;
  if (StartsWithIgnoringCase(data, "hex:")) {
    type = kRegBinary;
    data.remove_prefix(4);
  } else if (StartsWithIgnoringCase(data, "hex(")) {
    const std::size_t close = data.find("):");
    if (close == std::string_view::npos) return std::nullopt;
    const auto number = ParseHex(data.substr(4, close - 4), 8);
    if (!number) return std::nullopt;
    type = *number;
    data.remove_prefix(close + 2);
  } else {
    return std::nullopt;
  }
  const auto bytes = ParseHexBytes(data);
  if (!bytes) return std::nullopt;
  RegistryValue value{type, Utf16FromBytes(*bytes)};
  if (type == kRegSz || type == kRegExpandSz) {
    // Exports end string data with a NUL that the string itself does not hold.
    if (bytes->size() % 2 != 0) return std::nullopt;
    if (!value.data.empty() && value.data.back() == u'\0') value.data.pop_back();
  }
  return value;
}

bool IsHexContinuation(std::string_view line) {
  line = Trim(line);
  if (line.ends_with('\\')) line.remove_suffix(1);
  return !line.empty() && std::all_of(line.begin(), line.end(), [](char c) {
    return c == ',' || IsSpace(c) || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
           (c >= 'A' && c <= 'F');
  });
}

bool SplitValueLine(std::string_view line, std::string& nameToken, std::u16string& name,
                    std::string_view& data) {
  std::string_view rest = line;
  if (rest.starts_with('@')) {
    rest.remove_prefix(1);
    name.clear();
  } else {
    auto unquoted = Unquote(rest);
    if (!unquoted) return false;
    name = std::move(*unquoted);
  }
  nameToken = std::string{line.substr(0, line.size() - rest.size())};
  rest = Trim(rest);
  if (!rest.starts_with('=')) return false;
  data = Trim(rest.substr(1));
  return true;
}

}  // namespace velmora::reg_text
