#include "posix/registry_document.h"

#include "base/text.h"
#include "posix/registry_text.h"

namespace velmora {

using namespace reg_text;

namespace {

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

}  // namespace

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
    } else if (text.starts_with('[')) {
      // Any bracket line ends the section before it, whatever its bytes, so that values
      // below a header this store cannot read are never taken for values of the key above.
      // A key name that is not UTF-8 (another program's, in its own code page) keeps no
      // path, so it never matches a key of ours; its line stays byte for byte.
      line.kind = Kind::kSection;
      if (text.size() >= 2 && text.back() == ']' && IsUtf8(physical[i])) {
        const std::u16string inner = FromUtf8(text.substr(1, text.size() - 2));
        const std::size_t slash = inner.find(u'\\');
        line.path =
            SplitPath(std::u16string_view{inner}.substr(0, slash),
                      slash == std::u16string::npos ? std::u16string_view{}
                                                    : std::u16string_view{inner}.substr(slash + 1));
        if (line.path.front().empty()) line.path.clear();
      }
    } else if (!IsUtf8(physical[i])) {
      line.kind = Kind::kOther;
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
  } else if (auto quoted = QuotedText(name)) {
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

}  // namespace velmora
