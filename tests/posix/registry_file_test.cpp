#include "posix/registry_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "base/text.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
constexpr RegistryRoot kHkcu = RegistryRoot::kCurrentUser;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in{path, std::ios::binary};
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteBytes(const fs::path& path, std::string_view bytes) {
  std::ofstream{path, std::ios::binary} << bytes;
}

std::string Show(const std::optional<RegistryValue>& value) {
  if (!value) return "nothing";
  return "type " + std::to_string(value->type) + " \"" + ToUtf8(value->data) + "\" (" +
         std::to_string(value->data.size()) + " units)";
}

// Runs `body` in a child process, as an ordinary user when the tests run as root, so that
// file permissions bind. Answers the child's exit code, or -1 when it could not start.
int RunInChild(bool unprivileged, const std::function<bool()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    _exit(body() ? 0 : 1);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

class RegistryFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = (fs::temp_directory_path() / "velmora-registry-XXXXXX").string();
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    dir_ = name;
    fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    store_.emplace(File());
  }
  void TearDown() override {
    for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
      if (entry.is_directory()) fs::permissions(entry.path(), fs::perms::owner_all);
    }
    fs::remove_all(dir_);
  }
  fs::path File() const { return dir_ / "velmora" / "registry.reg"; }

  fs::path dir_;
  std::optional<RegistryFile> store_;
};

TEST_F(RegistryFileTest, FirstWriteCreatesAReadableExportWithEveryParentSection) {
  EXPECT_EQ(store_->QueryValue(kHkcu, u"Software\\Tevrand", u"Nick"), std::nullopt);
  EXPECT_FALSE(fs::exists(File().parent_path())) << "a read created the store";

  store_->SetValue(kHkcu, u"Software\\Tevrand\\Pelmar2", u"Nick", {kRegSz, u"Up \"%d\" C:\\x"});
  store_->SetValue(kHkcu, u"Software\\Tevrand\\Pelmar2", u"Count", {kRegDword, u"10"});
  store_->SetValue(kHkcu, u"Software\\Tevrand\\Pelmar2", u"Path", {kRegExpandSz, u"%A%"});
  store_->SetValue(kHkcu, u"Software\\Tevrand\\Other", u"Memo", {kRegSz, u"a\nb"});
  store_->SetValue(kHkcu, u"Software\\Tevrand\\Pelmar2\\Sub", u"", {kRegSz, u"default"});

  EXPECT_EQ(ReadBytes(File()),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software]\n\n"
            "[HKEY_CURRENT_USER\\Software\\Tevrand]\n\n"
            "[HKEY_CURRENT_USER\\Software\\Tevrand\\Pelmar2]\n"
            "\"Nick\"=\"Up \\\"%d\\\" C:\\\\x\"\n"
            "\"Count\"=dword:0000000a\n"
            "\"Path\"=hex(2):25,00,41,00,25,00,00,00\n\n"
            "[HKEY_CURRENT_USER\\Software\\Tevrand\\Pelmar2\\Sub]\n"
            "@=\"default\"\n\n"
            "[HKEY_CURRENT_USER\\Software\\Tevrand\\Other]\n"
            "\"Memo\"=hex(1):61,00,0a,00,62,00,00,00\n\n");
}

TEST_F(RegistryFileTest, EveryKindOfValueReadsBackExactlyFromOneLine) {
  const std::u16string longText = [] {
    std::u16string text;
    for (int i = 0; i < 20'000; ++i) text += u"abc\"\\é😀 ";
    return text;
  }();
  const std::vector<RegistryValue> values = {
      {kRegSz, u"say \"hi\" to C:\\dir\\"},
      {kRegSz, u"Zoë – 日本語 😀 𝄞"},
      {kRegSz, u"lone \xD800 high, lone \xDC00 low"},
      {kRegSz, u"line1\nline2\r\n"},
      {kRegSz, u"tab\t DEL\x7F NEL\x85 LS\x2028"},
      {kRegSz, std::u16string{u"before\0after", 12}},
      {kRegSz, std::u16string{u"ends in NUL\0", 12}},
      {kRegSz, u""},
      {kRegSz, longText},
      {kRegExpandSz, u"%PATH%;C:\\x"},
      {kRegExpandSz, u"two\nlines"},
      {kRegDword, u"0"},
      {kRegDword, u"4294967295"},
      {3, u"\x0102\xFFFE"},
  };
  for (std::size_t i = 0; i < values.size(); ++i) {
    store_->SetValue(kHkcu, u"Software\\Tevrand", u"v" + DecimalText(int64_t(i)), values[i]);
  }
  const RegistryFile reopened{File()};
  for (std::size_t i = 0; i < values.size(); ++i) {
    const auto got =
        reopened.QueryValue(kHkcu, u"Software\\Tevrand", u"v" + DecimalText(int64_t(i)));
    EXPECT_EQ(got, values[i]) << "value " << i << " came back as " << Show(got);
  }
  std::istringstream lines{ReadBytes(File())};
  int valueLines = 0;
  for (std::string line; std::getline(lines, line);) valueLines += line.starts_with("\"v");
  EXPECT_EQ(valueLines, static_cast<int>(values.size())) << ReadBytes(File()).substr(0, 2000);
}

TEST_F(RegistryFileTest, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
  store_->SetValue(kHkcu, u"Software\\Tevrand", u"Nick", {kRegSz, u"first"});
  store_->SetValue(kHkcu, u"SOFTWARE\\\\tevrand\\New\\", u"x", {kRegSz, u"1"});
  store_->SetValue(kHkcu, u"software\\TEVRAND", u"NICK", {kRegSz, u"second"});

  EXPECT_EQ(Show(store_->QueryValue(kHkcu, u"sOfTwArE\\tevrand", u"nick")),
            Show({{kRegSz, u"second"}}));
  EXPECT_EQ(Show(store_->QueryValue(kHkcu, u"Software\\Tevrand\\NEW", u"X")),
            Show({{kRegSz, u"1"}}));
  const std::string text = ReadBytes(File());
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Tevrand\\New]\n\"x\"=\"1\""),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\"Nick\"=\"second\""), std::string::npos) << text;
  EXPECT_EQ(text.find("first"), std::string::npos) << text;
  EXPECT_EQ(text.find("SOFTWARE"), std::string::npos) << text;
}

TEST_F(RegistryFileTest, ReadsTheGoodPartsOfADamagedFileAndKeepsTheRestOnWrite) {
  const std::string damaged =
      "garbage first line\n"
      "\"Orphan\"=\"before any section\"\n"
      "[HKEY_CURRENT_USER\\Software\\Tevrand]\n"
      "\"Good\"=\"yes\"\n"
      "\"Bad escape\"=\"C:\\path\"\n"
      "; a comment\n"
      "\"Wrapped\"=hex(2):41,00,42,\\\n"
      "  00,00,00\n"
      "\"Odd\"=hex(1):41,00,42\n"
      "\"Big\"=dword:123456789\n"
      "\xFF\xFE\x00 binary \x01\x80\n"
      "\"Cut\"=hex(1):41,00,\\\n"
      "[HKEY_CURRENT_USER\\Software\\Tevrand\\Broken\n"
      "\"Hidden\"=\"below a broken header\"\n"
      "[HKEY_CURRENT_USER\\Software\\Tevrand\\Second]\n"
      "\"Num\"=dword:0000002A\n"
      "\"Truncated\"=\"no end"s;
  fs::create_directories(File().parent_path());
  WriteBytes(File(), damaged);

  const std::vector<std::pair<std::u16string, std::optional<RegistryValue>>> reads = {
      {u"Good", RegistryValue{kRegSz, u"yes"}},
      {u"Wrapped", RegistryValue{kRegExpandSz, u"AB"}},
      {u"Orphan", std::nullopt},
      {u"Bad escape", std::nullopt},
      {u"Odd", std::nullopt},
      {u"Big", std::nullopt},
      {u"Cut", std::nullopt},
      {u"Hidden", std::nullopt},
  };
  for (const auto& [name, expected] : reads) {
    const auto got = store_->QueryValue(kHkcu, u"Software\\Tevrand", name);
    EXPECT_EQ(got, expected) << ToUtf8(name) << " read as " << Show(got);
  }
  EXPECT_EQ(Show(store_->QueryValue(kHkcu, u"Software\\Tevrand\\Second", u"Num")),
            Show({{kRegDword, u"42"}}));
  EXPECT_EQ(store_->QueryValue(kHkcu, u"Software\\Tevrand\\Second", u"Truncated"), std::nullopt);

  store_->SetValue(kHkcu, u"Software\\Tevrand", u"Good", {kRegSz, u"new"});
  store_->SetValue(kHkcu, u"Software\\Tevrand", u"Added", {kRegSz, u"1"});
  store_->SetValue(kHkcu, u"Software\\Tevrand\\Second", u"Num", {kRegDword, u"7"});

  std::string expected = "Windows Registry Editor Version 5.00\n\n" + damaged + "\n";
  expected.replace(expected.find("\"Good\"=\"yes\""), 12, "\"Good\"=\"new\"");
  expected.insert(expected.find("[HKEY_CURRENT_USER\\Software\\Tevrand\\Broken"),
                  "\"Added\"=\"1\"\n");
  expected.replace(expected.find("\"Num\"=dword:0000002A"), 20, "\"Num\"=dword:00000007");
  EXPECT_EQ(ReadBytes(File()), expected);
}

TEST_F(RegistryFileTest, TakesAWindowsExportAndKeepsItsLineBreaks) {
  const std::u16string exported =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Tevrand]\r\n"
      u"\"Nick\"=\"Zoë\"\r\n";
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : exported) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  fs::create_directories(File().parent_path());
  WriteBytes(File(), bytes);

  EXPECT_EQ(Show(store_->QueryValue(kHkcu, u"Software\\Tevrand", u"Nick")),
            Show({{kRegSz, u"Zoë"}}));
  store_->SetValue(kHkcu, u"Software\\Tevrand", u"Count", {kRegDword, u"3"});
  EXPECT_EQ(ReadBytes(File()), ToUtf8(exported) + "\"Count\"=dword:00000003\r\n");
}

TEST_F(RegistryFileTest, AFailedWriteIsSilentAndLeavesTheOldFileWhole) {
  struct Case {
    const char* what;
    fs::perms dirMode;
    fs::perms fileMode;
    bool unprivileged;
    rlim_t fileSizeLimit;  // 0: none
  };
  using P = fs::perms;
  const Case cases[] = {
      {"read-only directory", P::owner_read | P::owner_exec | P::others_read | P::others_exec,
       P::all, true, 0},
      {"read-only file", P::all, P::owner_read | P::others_read, true, 0},
      {"file that cannot be read", P::all, P::owner_write | P::others_write, true, 0},
      {"disk full", P::owner_all, P::owner_read | P::owner_write, false, 200},
  };
  for (const Case& c : cases) {
    fs::remove_all(File().parent_path());
    store_->SetValue(kHkcu, u"Software\\Tevrand", u"Nick", {kRegSz, u"old"});
    const std::string before = ReadBytes(File());
    fs::permissions(File(), c.fileMode);
    fs::permissions(File().parent_path(), c.dirMode);

    const int status = RunInChild(c.unprivileged, [&] {
      if (c.fileSizeLimit != 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{c.fileSizeLimit, c.fileSizeLimit};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return false;
      }
      store_->SetValue(kHkcu, u"Software\\Tevrand", u"Nick", {kRegSz, std::u16string(1000, u'n')});
      return true;
    });
    fs::permissions(File().parent_path(), P::owner_all);
    fs::permissions(File(), P::owner_read | P::owner_write);
    EXPECT_EQ(status, 0) << c.what;
    EXPECT_EQ(ReadBytes(File()), before) << c.what;
    EXPECT_FALSE(fs::exists(fs::path{File()} += ".tmp"))
        << c.what << ": temporary file left behind";
  }

  // A store whose folder cannot be made, because a plain file stands in its place.
  WriteBytes(dir_ / "plain", "not a folder");
  RegistryFile blocked{dir_ / "plain" / "registry.reg"};
  blocked.SetValue(kHkcu, u"Software", u"Nick", {kRegSz, u"x"});
  EXPECT_EQ(blocked.QueryValue(kHkcu, u"Software", u"Nick"), std::nullopt);
  EXPECT_EQ(ReadBytes(dir_ / "plain"), "not a folder");
}

TEST_F(RegistryFileTest, ValuesThatCannotBeWrittenLeaveTheFileAlone) {
  store_->SetValue(kHkcu, u"Software", u"Nick", {kRegSz, u"kept"});
  const std::string before = ReadBytes(File());
  store_->SetValue(kHkcu, u"Software\\Line\nBreak", u"Nick", {kRegSz, u"x"});
  store_->SetValue(kHkcu, u"Software", u"Tab\tName", {kRegSz, u"x"});
  store_->SetValue(kHkcu, u"Software", u"Nick", {kRegDword, u"4294967296"});
  store_->SetValue(kHkcu, u"Software", u"Nick", {kRegDword, u"-1"});
  EXPECT_EQ(ReadBytes(File()), before);
}

// A relative link is resolved against the link's own folder, whatever the working directory.
TEST_F(RegistryFileTest, AWriteThroughALinkReplacesTheLinkedFile) {
  fs::create_directories(File().parent_path());
  fs::create_directories(dir_ / "cwd" / "deeper");
  const fs::path workingDirectory = fs::current_path();
  fs::current_path(dir_ / "cwd" / "deeper");
  for (const fs::path& link : {dir_ / "real.reg", fs::path{"../real.reg"}}) {
    fs::remove(File());
    WriteBytes(dir_ / "real.reg", "");
    fs::create_symlink(link, File());
    store_->SetValue(kHkcu, u"Software", u"Nick", {kRegSz, u"linked"});
    EXPECT_TRUE(fs::is_symlink(File())) << link;
    EXPECT_NE(ReadBytes(dir_ / "real.reg").find("\"Nick\"=\"linked\""), std::string::npos) << link;
    EXPECT_EQ(Show(RegistryFile{File()}.QueryValue(kHkcu, u"Software", u"Nick")), Show({{kRegSz, u"linked"}}));
  }
  fs::current_path(workingDirectory);
  EXPECT_FALSE(fs::exists(dir_ / "cwd" / "real.reg")) << "resolved against the working directory";
}

TEST_F(RegistryFileTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kWrites = 150;
  std::vector<pid_t> writers;
  for (int writer = 0; writer < 2; ++writer) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      RegistryFile own{File()};
      for (int i = 0; i < kWrites; ++i) {
        const std::u16string name = u"w" + DecimalText(writer) + u"-" + DecimalText(i);
        own.SetValue(kHkcu, u"Software\\Shared", name, {kRegSz, name});
        own.SetValue(kHkcu, u"Software\\Own" + DecimalText(writer), u"Last",
                     {kRegDword, DecimalText(i)});
      }
      _exit(0);
    }
    writers.push_back(pid);
  }
  // Meanwhile every read sees one whole version, and no version has fewer values than one before.
  std::size_t seen = 0;
  for (int running = 2; running > 0;) {
    const std::string text = ReadBytes(File());
    if (!text.empty()) {
      EXPECT_TRUE(text.starts_with("Windows Registry Editor Version 5.00\n"))
          << text.substr(0, 200);
      EXPECT_TRUE(text.ends_with("\n\n"))
          << "torn read ends in: " << text.substr(text.size() > 40 ? text.size() - 40 : 0);
      std::size_t count = 0;
      for (std::size_t at = text.find("\n\"w"); at != std::string::npos;
           at = text.find("\n\"w", at + 1))
        ++count;
      EXPECT_GE(count, seen) << "a write dropped another's values";
      seen = count;
    }
    int status = 0;
    for (const pid_t pid : writers) {
      if (waitpid(pid, &status, WNOHANG) == pid) {
        --running;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
      }
    }
    usleep(1000);
  }
  int lost = 0;
  for (int writer = 0; writer < 2; ++writer) {
    for (int i = 0; i < kWrites; ++i) {
      const std::u16string name = u"w" + DecimalText(writer) + u"-" + DecimalText(i);
      lost += store_->QueryValue(kHkcu, u"Software\\Shared", name) != RegistryValue{kRegSz, name};
    }
    EXPECT_EQ(Show(store_->QueryValue(kHkcu, u"Software\\Own" + DecimalText(writer), u"Last")),
              Show({{kRegDword, DecimalText(kWrites - 1)}}));
  }
  EXPECT_EQ(lost, 0) << "of " << 2 * kWrites << " values";
}

}  // namespace
}  // namespace velmora
