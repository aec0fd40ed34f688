#include "posix/registry_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <utility>

#include "base/text.h"

namespace velmora {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::uint32_t kRegBinary = 3;

// ---- Text -----------------------------------------------------------------------------------

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

// Bytes that are not UTF-8 come back changed from a decode and encode.
bool IsUtf8(std::string_view text) { return ToUtf8(FromUtf8(text)) == text; }


// Text that a line shows as it is: no line breaks, no other control characters, no lone
// surrogates (UTF-8 cannot carry them).
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

std::optional<std::string> Quote(std::u16string_view text) {
  if (!IsPlain(text)) return std::nullopt;
  std::string out = "\"";
  for (const char c : ToUtf8(text)) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

// Reads a quoted text at the start of `text`, where only \\ and \" are escapes, and moves
// past it.
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

// UTF-16LE; an odd last byte stands as a unit of its own.
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

std::u16string_view RootName(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kCurrentUser:
      return u"HKEY_CURRENT_USER";
  }
  return u"";
}

// Root and key names. Empty names from doubled, leading or trailing backslashes are dropped.
std::vector<std::u16string> SplitPath(std::u16string_view root, std::u16string_view keyPath) {
  std::vector<std::u16string> path{std::u16string{root}};
  std::size_t from = 0;
  while (from <= keyPath.size()) {
    std::size_t to = keyPath.find(u'\\', from);
    if (to == std::u16string_view::npos) to = keyPath.size();
    if (to > from) path.emplace_back(keyPath.substr(from, to - from));
    from = to + 1;
  }
  return path;
}

bool SamePath(const std::vector<std::u16string>& a, const std::vector<std::u16string>& b,
              std::size_t count) {
  if (a.size() < count || b.size() < count) return false;
  for (std::size_t i = 0; i < count; ++i) {
    if (!EqualsIgnoringAsciiCase(a[i], b[i])) return false;
  }
  return true;
}

std::string SectionText(const std::vector<std::u16string>& path) {
  std::u16string joined;
  for (const std::u16string& name : path) {
    if (!joined.empty()) joined += u'\\';
    joined += name;
  }
  return "[" + ToUtf8(joined) + "]";
}

// ---- Values ---------------------------------------------------------------------------------

std::optional<std::string> ValueData(const RegistryValue& value) {
  switch (value.type) {
    case kRegSz:
      if (auto quoted = Quote(value.data)) return quoted;
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

// A line that goes on with hex bytes. Anything else, a section header above all, is never
// swallowed by a value cut short before it.
bool IsHexContinuation(std::string_view line) {
  line = Trim(line);
  if (line.ends_with('\\')) line.remove_suffix(1);
  return !line.empty() && std::all_of(line.begin(), line.end(), [](char c) {
    return c == ',' || IsSpace(c) || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
           (c >= 'A' && c <= 'F');
  });
}

// Splits a value line into its name token and the data after "=".
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

}  // namespace

// ---- Document -------------------------------------------------------------------------------

RegistryDocument::Line RegistryDocument::MakeLine(Kind kind, std::string raw) {
  Line line;
  line.kind = kind;
  line.raw.push_back(std::move(raw));
  return line;
}

RegistryDocument RegistryDocument::Parse(std::string_view fileBytes) {
  RegistryDocument document;
  std::string converted;
  if (fileBytes.starts_with("\xFF\xFE")) {
    // An export saved by the Windows editor is UTF-16LE; later writes store it as UTF-8.
    converted = ToUtf8(Utf16FromBytes(fileBytes.substr(2)));
    fileBytes = converted;
  } else if (fileBytes.starts_with("\xEF\xBB\xBF")) {
    fileBytes.remove_prefix(3);
  }
  const std::size_t firstBreak = fileBytes.find('\n');
  document.crlf_ =
      firstBreak != std::string_view::npos && firstBreak > 0 && fileBytes[firstBreak - 1] == '\r';

  std::vector<std::string> physical;
  for (std::size_t from = 0; from < fileBytes.size();) {
    std::size_t to = fileBytes.find('\n', from);
    if (to == std::string_view::npos) to = fileBytes.size();
    std::string_view line = fileBytes.substr(from, to - from);
    if (document.crlf_ && line.ends_with('\r')) line.remove_suffix(1);
    physical.emplace_back(line);
    from = to + 1;
  }

  for (std::size_t i = 0; i < physical.size(); ++i) {
    Line line;
    line.raw.push_back(physical[i]);
    const std::string_view text = Trim(physical[i]);
    if (i == 0 && text == kHeader) {
      line.kind = Kind::kHeader;
    } else if (text.empty()) {
      line.kind = Kind::kBlank;
    } else if (!IsUtf8(physical[i])) {
      line.kind = Kind::kOther;
    } else if (text.starts_with('[')) {
      // Any bracket line ends the section before it, so that values below a header this
      // store cannot read are never taken for values of the key above.
      line.kind = Kind::kSection;
      if (text.size() >= 2 && text.back() == ']') {
        const std::u16string inner = FromUtf8(text.substr(1, text.size() - 2));
        const std::size_t slash = inner.find(u'\\');
        line.path =
            SplitPath(std::u16string_view{inner}.substr(0, slash),
                      slash == std::u16string::npos ? std::u16string_view{}
                                                    : std::u16string_view{inner}.substr(slash + 1));
        if (line.path.front().empty()) line.path.clear();
      }
    } else if (text.starts_with('"') || text.starts_with('@')) {
      std::string_view data;
      if (SplitValueLine(text, line.nameToken, line.name, data)) {
        // Long hex data may go on over lines that end in a backslash.
        std::string joined;
        if (StartsWithIgnoringCase(data, "hex") && data.ends_with('\\')) {
          joined = std::string{data.substr(0, data.size() - 1)};
          bool more = true;
          while (more && i + 1 < physical.size() && IsHexContinuation(physical[i + 1])) {
            ++i;
            line.raw.push_back(physical[i]);
            std::string_view piece = Trim(physical[i]);
            more = piece.ends_with('\\');
            if (more) piece.remove_suffix(1);
            joined += piece;
          }
          data = joined;
        }
        bool readable = true;
        for (const std::string& raw : line.raw) readable = readable && IsUtf8(raw);
        if (auto value = readable ? ParseData(data) : std::nullopt) {
          line.kind = Kind::kValue;
          line.value = std::move(*value);
        }
      }
    }
    document.lines_.push_back(std::move(line));
  }
  return document;
}

std::optional<RegistryValue> RegistryDocument::Find(RegistryRoot root, std::u16string_view keyPath,
                                                    std::u16string_view name) const {
  const std::vector<std::u16string> path = SplitPath(RootName(root), keyPath);
  std::optional<RegistryValue> found;
  bool inKey = false;
  for (const Line& line : lines_) {
    if (line.kind == Kind::kSection) {
      inKey = line.path.size() == path.size() && SamePath(line.path, path, path.size());
    } else if (inKey && line.kind == Kind::kValue && EqualsIgnoringAsciiCase(line.name, name)) {
      found = line.value;
    }
  }
  return found;
}

std::optional<std::size_t> RegistryDocument::FindSection(
    const std::vector<std::u16string>& path) const {
  std::optional<std::size_t> found;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == Kind::kSection && lines_[i].path.size() == path.size() &&
        SamePath(lines_[i].path, path, path.size())) {
      found = i;
    }
  }
  return found;
}

std::size_t RegistryDocument::BlockEnd(std::size_t section) const {
  std::size_t end = section + 1;
  while (end < lines_.size() && lines_[end].kind != Kind::kSection) ++end;
  return end;
}

// A new key gets a section for every missing key below its nearest existing ancestor,
// parents first, each after the last section of its parent's subtree, so a fresh file reads
// like an export of the tree. An existing section is not completed with parents it lacks:
// importing the file creates them anyway.
std::size_t RegistryDocument::EnsureSection(const std::vector<std::u16string>& path) {
  // The root itself gets a section only when a value goes straight into it.
  const std::size_t top = path.size() == 1 ? 1 : 2;
  std::size_t depth = path.size();
  std::optional<std::size_t> section;
  while (
      !(section = FindSection({path.begin(), path.begin() + static_cast<std::ptrdiff_t>(depth)})) &&
      depth > top) {
    --depth;
  }
  if (section && depth == path.size()) return *section;
  std::vector<std::u16string> spelled =
      section ? lines_[*section].path
              : std::vector<std::u16string>{path.begin(),
                                            path.begin() + static_cast<std::ptrdiff_t>(top - 1)};
  for (depth = spelled.size() + 1; depth <= path.size(); ++depth) {
    spelled.push_back(path[depth - 1]);
    std::size_t at = lines_.size();
    for (std::size_t i = lines_.size(); i-- > 0;) {
      if (depth > 1 && lines_[i].kind == Kind::kSection &&
          SamePath(lines_[i].path, spelled, depth - 1)) {
        at = BlockEnd(i);
        break;
      }
    }
    if (at > 0 && lines_[at - 1].kind != Kind::kBlank) {
      lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), MakeLine(Kind::kBlank, ""));
      ++at;
    }
    Line header = MakeLine(Kind::kSection, SectionText(spelled));
    header.path = spelled;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(header));
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at + 1), MakeLine(Kind::kBlank, ""));
    section = at;
  }
  return *section;
}

bool RegistryDocument::Set(RegistryRoot root, std::u16string_view keyPath, std::u16string_view name,
                           const RegistryValue& value) {
  const std::vector<std::u16string> path = SplitPath(RootName(root), keyPath);
  for (const std::u16string& key : path) {
    if (!IsPlain(key)) return false;
  }
  const std::optional<std::string> data = ValueData(value);
  if (!data) return false;

  std::optional<std::size_t> existing;
  bool inKey = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == Kind::kSection) {
      inKey = lines_[i].path.size() == path.size() && SamePath(lines_[i].path, path, path.size());
    } else if (inKey && lines_[i].kind == Kind::kValue &&
               EqualsIgnoringAsciiCase(lines_[i].name, name)) {
      existing = i;
    }
  }
  if (existing) {
    // The name keeps the spelling it was first written with.
    Line& line = lines_[*existing];
    line.raw = {line.nameToken + "=" + *data};
    line.value = value;
    return true;
  }

  Line line = MakeLine(Kind::kValue, "");
  if (name.empty()) {
    line.nameToken = "@";
  } else if (auto quoted = Quote(name)) {
    line.nameToken = std::move(*quoted);
  } else {
    return false;
  }
  line.raw.front() = line.nameToken + "=" + *data;
  line.name = name;
  line.value = value;

  if (lines_.empty() || lines_.front().kind != Kind::kHeader) {
    lines_.insert(lines_.begin(),
                  {MakeLine(Kind::kHeader, std::string{kHeader}), MakeLine(Kind::kBlank, "")});
  }
  const std::size_t section = EnsureSection(path);
  std::size_t at = BlockEnd(section);
  while (at > section + 1 && lines_[at - 1].kind == Kind::kBlank) --at;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
  return true;
}

std::string RegistryDocument::Text() const {
  const std::string_view lineBreak = crlf_ ? "\r\n" : "\n";
  std::string text;
  for (const Line& line : lines_) {
    for (const std::string& raw : line.raw) {
      text += raw;
      text += lineBreak;
    }
  }
  // Text that itself begins like a byte-order mark would be taken for one when read back;
  // a UTF-8 mark in front makes the reader take the rest as it stands.
  if (text.starts_with("\xFF\xFE") || text.starts_with("\xEF\xBB\xBF")) text.insert(0, "\xEF\xBB\xBF");
  return text;
}

// ---- File -----------------------------------------------------------------------------------

namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  [[nodiscard]] int get() const { return fd_; }
  [[nodiscard]] bool valid() const { return fd_ >= 0; }
  // Close errors are where delayed write errors surface on some file systems.
  bool Close() {
    const int fd = std::exchange(fd_, -1);
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

enum class ReadResult { kRead, kMissing, kFailed };

ReadResult ReadWholeFile(const std::filesystem::path& path, std::string& out) {
  Fd fd{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (!fd.valid()) {
    return errno == ENOENT || errno == ENOTDIR ? ReadResult::kMissing : ReadResult::kFailed;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return ReadResult::kFailed;
  out.clear();
  char buffer[65536];
  while (true) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got == 0) return ReadResult::kRead;
    if (got < 0) {
      if (errno == EINTR) continue;
      return ReadResult::kFailed;
    }
    out.append(buffer, static_cast<std::size_t>(got));
  }
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t wrote = ::write(fd, text.data(), text.size());
    if (wrote < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(wrote));
  }
  return true;
}

// A settings file linked in from elsewhere (a dotfiles checkout) stays a link: the target
// is replaced, not the link.
std::filesystem::path FollowLinks(std::filesystem::path path) {
  for (int hops = 0; hops < 16; ++hops) {
    std::error_code error;
    if (!std::filesystem::is_symlink(path, error)) break;
    const std::filesystem::path target = std::filesystem::read_symlink(path, error);
    if (error) break;
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  return path;
}

void SyncDirectory(const std::filesystem::path& directory) {
  Fd fd{::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (fd.valid()) ::fsync(fd.get());
}

// Writes `text` beside `path` and renames it over, so the file is always one whole version.
bool ReplaceFile(const std::filesystem::path& path, std::string_view text,
                 std::optional<mode_t> mode) {
  std::filesystem::path temporary = path;
  temporary += ".tmp";
  Fd fd{::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666)};
  if (!fd.valid()) return false;
  bool written = (!mode || ::fchmod(fd.get(), *mode) == 0) && WriteAll(fd.get(), text) &&
                 ::fsync(fd.get()) == 0;
  written = fd.Close() && written;
  if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  SyncDirectory(path.parent_path());
  return true;
}

}  // namespace

void RegistryFile::SetValue(RegistryRoot root, std::u16string_view keyPath,
                            std::u16string_view name, const RegistryValue& value) {
  try {
    const std::filesystem::path path = FollowLinks(path_);
    if (path.has_parent_path()) {
      std::error_code ignored;
      std::filesystem::create_directories(path.parent_path(), ignored);
    }
    std::filesystem::path lockPath = path;
    lockPath += ".lock";
    // Read access is enough for flock, so a lock file made by another user still serves.
    Fd lock{::open(lockPath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644)};
    if (!lock.valid()) return;
    while (::flock(lock.get(), LOCK_EX) != 0) {
      if (errno != EINTR) return;
    }

    std::string before;
    const ReadResult read = ReadWholeFile(path, before);
    // A file that exists but cannot be read is never replaced: its values would be lost.
    if (read == ReadResult::kFailed) return;
    std::optional<mode_t> mode;
    if (read == ReadResult::kRead) {
      // Renaming ignores the file's own write permission; a file made read-only stays as it is.
      if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return;
      struct stat info {};
      if (::stat(path.c_str(), &info) == 0) mode = info.st_mode & 07777;
    }

    RegistryDocument document = RegistryDocument::Parse(before);
    if (!document.Set(root, keyPath, name, value)) return;
    const std::string after = document.Text();
    if (read == ReadResult::kRead && after == before) return;
    ReplaceFile(path, after, mode);
  } catch (const std::exception&) {
    // Out of memory on a huge value, or a path the library refuses: the write is dropped.
  }
}

std::optional<RegistryValue> RegistryFile::QueryValue(RegistryRoot root,
                                                      std::u16string_view keyPath,
                                                      std::u16string_view name) const {
  try {
    std::string text;
    if (ReadWholeFile(path_, text) != ReadResult::kRead) return std::nullopt;
    return RegistryDocument::Parse(text).Find(root, keyPath, name);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::filesystem::path DefaultRegistryFilePath() {
  std::filesystem::path base;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') {
    base = config;
  } else if (const char* home = std::getenv("HOME"); home && home[0] != '\0') {
    base = std::filesystem::path{home} / ".config";
  }
  return base / "velmora" / "registry.reg";
}

}  // namespace velmora
