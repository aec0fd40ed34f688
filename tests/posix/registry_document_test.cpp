// Our key among other programs' keys: names in other code pages, keys beside, above and
// below ours, broken headers. Reading and writing our values never reaches another key.
#include "posix/registry_document.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "base/text.h"

namespace velmora {
namespace {

constexpr RegistryRoot kHkcu = RegistryRoot::kCurrentUser;
constexpr std::u16string_view kOurKey =
    u"Software\\Tevrand\\Pelmar2\\ann@example.com\\Preferences\\Plugins\\Velmora.dll";
const std::string kOurSection = "[HKEY_CURRENT_USER\\" + ToUtf8(kOurKey) + "]";
const char* const kNames[] = {"Nick", "Enable", "ToDate", "Interval"};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Shown(const std::optional<RegistryValue>& value) {
  return value ? "\"" + ToUtf8(value->data) + "\"" : "missing";
}

// A random file: sections of ours and of other keys, each with values and lines no reader
// understands, and what reading our values must give.
struct RandomFile {
  struct Block {
    bool ours = false;
    std::vector<std::string> lines;
  };
  std::vector<Block> blocks;
  std::map<std::string, std::string> ours;  // lower-case value name: its last text in our key

  std::string Text() const {
    std::string text;
    for (const Block& block : blocks) {
      for (const std::string& line : block.lines) text += line + "\n";
    }
    return text;
  }
};

RandomFile MakeRandomFile(std::mt19937& random) {
  const auto pick = [&](int count) { return static_cast<int>(random() % static_cast<unsigned>(count)); };
  const auto bytes = [&](int count, char first) {
    std::string text(1, first);
    for (int i = 1; i < count; ++i) {
      char byte = static_cast<char>(random() % 256);
      text += byte == '\n' || byte == '\r' ? 'x' : byte;
    }
    return text;
  };
  const std::string ourPath = ToUtf8(kOurKey);
  const std::string root = "[HKEY_CURRENT_USER\\";
  RandomFile file;
  if (pick(4) != 0) file.blocks.push_back({false, {"Windows Registry Editor Version 5.00", ""}});
  int serial = 0;
  for (int count = 1 + pick(7); count > 0; --count) {
    RandomFile::Block block;
    block.ours = pick(3) == 0;
    if (block.ours) {
      std::string header = kOurSection;
      if (pick(2) == 0) {  // key names ignore case
        for (char& c : header) c = static_cast<char>(pick(2) ? std::toupper(static_cast<unsigned char>(c)) : std::tolower(static_cast<unsigned char>(c)));
      }
      block.lines.push_back(header);
    } else {
      std::string damaged = ourPath;
      damaged[static_cast<std::size_t>(pick(static_cast<int>(damaged.size())))] =
          static_cast<char>(0x80 + pick(0x80));
      const std::string headers[] = {
          root + "Software\\Caf\xE9]",
          root + ourPath + "\xE9]",
          root + damaged + "]",
          root + ourPath + "\\Sub]",
          root + "Software\\Tevrand\\Pelmar2\\ann@example.com\\Preferences\\Plugins]",
          root + "Software\\Tevrand\\Pelmar2\\ann\xE9@example.com\\Preferences\\Plugins\\Velmora.dll]",
          root + ourPath,  // no closing bracket
          bytes(1 + pick(20), '['),
      };
      block.lines.push_back(headers[pick(std::size(headers))]);
    }
    for (int values = pick(5); values > 0; --values) {
      std::string name = kNames[pick(std::size(kNames))];
      if (pick(3) == 0) name = Lower(name);
      const std::string text = (block.ours ? "ours" : "theirs") + std::to_string(++serial);
      switch (pick(5)) {
        case 0:
          block.lines.push_back(bytes(1 + pick(12), pick(2) ? ';' : '\xE9'));
          break;
        case 1:  // a value this store cannot read is no value of ours
          block.lines.push_back("\"" + name + "\"=\"" + text + "\xE9\"");
          break;
        case 2:
          block.lines.emplace_back();
          break;
        default:
          block.lines.push_back("\"" + name + "\"=\"" + text + "\"");
          if (block.ours) file.ours[Lower(name)] = text;
      }
    }
    file.blocks.push_back(std::move(block));
  }
  return file;
}

TEST(RegistryDocument, OurValuesNeverReadOrWriteAnotherKey) {
  for (unsigned seed = 1; seed <= 1000; ++seed) {
    std::mt19937 random{seed};
    const RandomFile file = MakeRandomFile(random);
    const std::string before = file.Text();
    SCOPED_TRACE("seed " + std::to_string(seed) + ", file:\n" + before);
    RegistryDocument document = RegistryDocument::Parse(before);
    const auto expectOurs = [&](const RegistryDocument& read, const char* name) {
      const auto it = file.ours.find(Lower(name));
      const std::string expected = it == file.ours.end() ? "missing" : "\"" + it->second + "\"";
      EXPECT_EQ(Shown(read.Find(kHkcu, kOurKey, FromUtf8(name))), expected) << "reading " << name;
    };
    for (const char* name : kNames) expectOurs(document, name);

    const char* written = kNames[random() % std::size(kNames)];
    ASSERT_TRUE(document.Set(kHkcu, kOurKey, FromUtf8(written), {kRegSz, u"written"}));
    const std::string after = document.Text();
    const RegistryDocument reread = RegistryDocument::Parse(after);
    EXPECT_EQ(Shown(reread.Find(kHkcu, kOurKey, FromUtf8(written))), "\"written\"") << "after:\n" << after;
    for (const char* name : kNames) {
      if (Lower(name) != Lower(written)) expectOurs(reread, name);
    }

    // Every other key's lines stand in the written file as they stood, together and in order.
    std::vector<std::string> lines;
    for (std::size_t from = 0; from < after.size();) {
      const std::size_t to = after.find('\n', from);
      lines.push_back(after.substr(from, to - from));
      from = to + 1;
    }
    std::size_t at = 0;
    for (const RandomFile::Block& block : file.blocks) {
      if (block.ours) continue;
      while (at + block.lines.size() <= lines.size() &&
             !std::equal(block.lines.begin(), block.lines.end(), lines.begin() + static_cast<std::ptrdiff_t>(at))) {
        ++at;
      }
      ASSERT_LE(at + block.lines.size(), lines.size())
          << "the block of " << block.lines.front() << " changed in the written file:\n" << after;
      at += block.lines.size();
    }
    if (HasFailure()) return;  // one file is enough to see what went wrong
  }
}

}  // namespace
}  // namespace velmora
