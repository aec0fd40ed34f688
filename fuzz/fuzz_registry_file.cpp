// The development host's registry file: any bytes parse, an unchanged document writes back
// every line it was given, and a write keeps every line it does not replace, understood or
// not, and reads back as written.
//
// Input: the file's bytes. A line ";fuzz-set" ends them; after it come the write: one type
// byte, the key path (UTF-8) and a line break, the value name (UTF-8) and a line break, and
// the data as raw UTF-16LE units (for a number, its low four bytes). Without that line the
// write is Nick under the plug-in's key.
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "posix/registry_file.h"

namespace velmora::fuzz {
namespace {

constexpr std::string_view kSetMarker = "\n;fuzz-set\n";
constexpr RegistryRoot kRoot = RegistryRoot::kCurrentUser;

struct Write {
  std::u16string keyPath = u"Software\\Tevrand\\Pelmar2\\fuzz@example.com\\Preferences\\Plugins\\Velmora.dll";
  std::u16string name = u"Nick";
  RegistryValue value{kRegSz, u"%d day[ds] left"};
};

Write ReadWrite(std::string_view bytes) {
  Write write;
  if (bytes.empty()) return write;
  constexpr std::uint32_t kTypes[] = {kRegSz, kRegExpandSz, kRegDword, 3, 0, 7, 11, 0x12345678};
  write.value.type = kTypes[static_cast<unsigned char>(bytes[0]) % std::size(kTypes)];
  bytes.remove_prefix(1);
  const std::size_t keyEnd = std::min(bytes.find('\n'), bytes.size());
  write.keyPath = FromUtf8(bytes.substr(0, keyEnd));
  bytes.remove_prefix(std::min(keyEnd + 1, bytes.size()));
  const std::size_t nameEnd = std::min(bytes.find('\n'), bytes.size());
  write.name = FromUtf8(bytes.substr(0, nameEnd));
  bytes.remove_prefix(std::min(nameEnd + 1, bytes.size()));
  if (write.value.type == kRegDword) {
    std::uint32_t number = 0;
    std::memcpy(&number, bytes.data(), std::min(bytes.size(), sizeof number));
    write.value.data = DecimalText(number);
  } else {
    write.value.data = UnitsFromBytes(bytes);
  }
  return write;
}

// What the parser sees: a UTF-16 export converted to UTF-8, a UTF-8 signature dropped.
std::string AsStored(std::string_view bytes) {
  if (bytes.starts_with("\xFF\xFE")) {
    std::u16string units;
    for (std::size_t i = 2; i < bytes.size(); i += 2) {
      const auto low = static_cast<unsigned char>(bytes[i]);
      const auto high = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0u;
      units += static_cast<char16_t>(low | (high << 8));
    }
    return ToUtf8(units);
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  return std::string{bytes};
}

// A file whose first line break is CRLF has CRLF breaks.
bool HasCrlf(std::string_view text) {
  const std::size_t firstBreak = text.find('\n');
  return firstBreak != std::string_view::npos && firstBreak > 0 && text[firstBreak - 1] == '\r';
}

// Lines without their breaks.
std::vector<std::string> Lines(std::string_view text, bool crlf) {
  std::vector<std::string> lines;
  for (std::size_t from = 0; from < text.size();) {
    const std::size_t to = std::min(text.find('\n', from), text.size());
    std::string_view line = text.substr(from, to - from);
    if (crlf && line.ends_with('\r')) line.remove_suffix(1);
    lines.emplace_back(line);
    from = to + 1;
  }
  return lines;
}

// The first line of `before` that is missing from `after` in order; -1 when none is.
long FirstLost(const std::vector<std::string>& before, const std::vector<std::string>& after) {
  std::size_t at = 0;
  for (std::size_t i = 0; i < before.size(); ++i) {
    while (at < after.size() && after[at] != before[i]) ++at;
    if (at == after.size()) return static_cast<long>(i);
    ++at;
  }
  return -1;
}

std::string ShownValue(const std::optional<RegistryValue>& value) {
  if (!value) return "missing";
  return "type " + std::to_string(value->type) + " " + Shown(value->data);
}

}  // namespace
}  // namespace velmora::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  using namespace velmora::fuzz;
  std::string_view bytes{reinterpret_cast<const char*>(data), size};
  Write write;
  if (const std::size_t marker = bytes.find(kSetMarker); marker != std::string_view::npos) {
    write = ReadWrite(bytes.substr(marker + kSetMarker.size()));
    bytes = bytes.substr(0, marker + 1);
  }

  RegistryDocument document = RegistryDocument::Parse(bytes);
  const std::string text = document.Text();
  const std::string stored = AsStored(bytes);
  const bool crlf = HasCrlf(stored);
  const std::vector<std::string> given = Lines(stored, crlf);
  const std::vector<std::string> written = Lines(AsStored(text), crlf);  // as the reader takes it
  FUZZ_CHECK(written == given, "an unchanged document wrote " + std::to_string(written.size()) + " lines for " +
                                   std::to_string(given.size()) + ":\n" + Shown(text));
  const std::string again = RegistryDocument::Parse(text).Text();
  FUZZ_CHECK(again == text, "a written document changed when read again:\n  " + Shown(text.substr(0, 120)) +
                                "\n  read and written again:\n  " + Shown(again.substr(0, 120)));

  const std::optional<RegistryValue> before = document.Find(kRoot, write.keyPath, write.name);
  const std::string what = Shown(write.keyPath) + " " + Shown(write.name) + " = " + ShownValue(write.value);
  if (!document.Set(kRoot, write.keyPath, write.name, write.value)) {
    FUZZ_CHECK(document.Text() == text, "a refused write of " + what + " changed the document");
    return 0;
  }
  const std::string changed = document.Text();
  FUZZ_CHECK(document.Find(kRoot, write.keyPath, write.name) == write.value,
             what + " reads " + ShownValue(document.Find(kRoot, write.keyPath, write.name)));
  const RegistryDocument reread = RegistryDocument::Parse(changed);
  FUZZ_CHECK(reread.Find(kRoot, write.keyPath, write.name) == write.value,
             what + " reads back from the file as " + ShownValue(reread.Find(kRoot, write.keyPath, write.name)) +
                 "\n" + Shown(changed));
  FUZZ_CHECK(reread.Text() == changed, "the file written for " + what + " changed when read again");
  if (!before) {
    // A new value adds lines and takes none away.
    const long lost = FirstLost(written, Lines(changed, crlf));
    FUZZ_CHECK(lost < 0, "adding " + what + " lost line " + std::to_string(lost + 1) + " " +
                             Shown(written[static_cast<std::size_t>(std::max(lost, 0L))]) + "\n" + Shown(changed));
  }
  return 0;
}
