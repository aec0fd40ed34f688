#include <gtest/gtest.h>

#include <sstream>

#include "base/text.h"
#include "script/commands.h"
#include "script/format.h"
#include "script/key_codes.h"
#include "script/lexer.h"
#include "script/runner.h"

namespace velmora::script {
namespace {

std::vector<std::string> Texts(std::string_view line) {
  std::vector<std::string> texts;
  for (const Token& token : Tokenize(line)) texts.push_back((token.quoted ? "q:" : "w:") + ToUtf8(token.text));
  return texts;
}

TEST(ScriptTokenizer, SplitsWordsAndQuotedTextsWithTheirEscapes) {
  struct Case {
    std::string_view line;
    std::vector<std::string> tokens;
  };
  const Case cases[] = {
      {"Click cmdOk", {"w:Click", "w:cmdOk"}},
      {"  \tSetText   Text2 \"a b\"  ", {"w:SetText", "w:Text2", "q:a b"}},
      {R"(SetText Text2 "say \"hi\" \\ now")", {"w:SetText", "w:Text2", R"(q:say "hi" \ now)"}},
      {R"(x "\r\n\t\b")", {"w:x", "q:\r\n\t\b"}},
      {R"(x "\u0041\u00e9")", {"w:x", "q:A\xC3\xA9"}},
      {"x \"\"", {"w:x", "q:"}},
      {"x \"caf\xC3\xA9 \xF0\x9F\x98\x80\"", {"w:x", "q:caf\xC3\xA9 \xF0\x9F\x98\x80"}},
      {"Close\r", {"w:Close"}},
      {"Stored Nick # not a comment here", {"w:Stored", "w:Nick", "w:#", "w:not", "w:a", "w:comment", "w:here"}},
      {"", {}},
      {"   ", {}},
      {"# a comment", {}},
      {"   # indented comment \"unclosed", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Texts(c.line), c.tokens) << "line: " << c.line;
}

TEST(ScriptTokenizer, RejectsBrokenQuotingAndEscapes) {
  const std::string_view malformed[] = {
      R"(x "open)",         R"(x "bad \q escape")", R"(x "\u12")",   R"(x "\u12G4")",
      R"(x "ends in \)",    R"(x "a"b)",            R"(x ab"c")",    R"(x "a""b")",
  };
  for (std::string_view line : malformed) EXPECT_THROW(Tokenize(line), SyntaxError) << "line: " << line;
}

Command Parse(std::string_view line) { return ParseCommandLine(Tokenize(line)); }

TEST(ScriptCommands, PlacesCallArgumentsInInterfaceOrderWithObjectsAsNothing) {
  const Command command = Parse(R"(ParseCommand "/xcntsetnick" "%d days" "keep")");
  ASSERT_EQ(command.verb, Verb::kCall);
  ASSERT_EQ(command.arguments.size(), 4u);
  EXPECT_EQ(std::get<std::u16string>(command.arguments[0]), u"/xcntsetnick");
  EXPECT_EQ(std::get<std::u16string>(command.arguments[1]), u"%d days");
  EXPECT_TRUE(std::holds_alternative<std::monostate>(command.arguments[2]));
  EXPECT_EQ(std::get<std::u16string>(command.arguments[3]), u"keep");

  const Command publish = Parse("GetPublishInfo x -7 +5");
  EXPECT_EQ(std::get<std::int32_t>(publish.arguments[1]), -7);
  EXPECT_EQ(std::get<std::int32_t>(publish.arguments[2]), 5);
}

TEST(ScriptCommands, ReadsClockDurationsDatesAndControls) {
  const struct {
    std::string_view line;
    Verb verb;
    std::int64_t milliseconds;
    std::optional<ControlId> control;
    std::optional<std::int32_t> number;
  } cases[] = {
      {"Advance 90s", Verb::kAdvance, 90'000, {}, {}},
      {"Advance 2m", Verb::kAdvance, 120'000, {}, {}},
      {"Advance 3h", Verb::kAdvance, 3 * 3'600'000LL, {}, {}},
      {"Advance 400d", Verb::kAdvance, 400 * 86'400'000LL, {}, {}},
      {"Resume 8h", Verb::kResume, 8 * 3'600'000LL, {}, {}},
      {"Click txtTime 5", Verb::kClick, 0, ControlId::txtTime, 5},
      {"Select cmbRepeat 4", Verb::kSelect, 0, ControlId::cmbRepeat, 4},
      {"KeyDown cmbRepeat 40", Verb::kKeyDown, 0, ControlId::cmbRepeat, 40},
      {"SetText txtDone \"x\"", Verb::kSetText, 0, ControlId::txtDone, {}},
      {"SetStoredType Type 4 \"5\"", Verb::kSetStoredType, 0, {}, 4},
      {"Print state", Verb::kPrintState, 0, {}, {}},
      {"Print Form1", Verb::kPrintForm, 0, {}, {}},
  };
  for (const auto& c : cases) {
    const Command command = Parse(c.line);
    EXPECT_EQ(command.verb, c.verb) << c.line;
    EXPECT_EQ(command.milliseconds, c.milliseconds) << c.line;
    EXPECT_EQ(c.control.value_or(command.control), command.control) << c.line;
    EXPECT_EQ(command.number, c.number) << c.line;
  }
  EXPECT_FALSE(Parse("Spin udDate down").up);
  const DateTime when = DateTime::Combine(DateTime::FromDate(std::chrono::year{2024} / 2 / 29),
                                          DateTime::FromTimeOfDay(23, 59, 58));
  EXPECT_EQ(Parse("Clock 2024-02-29 23:59:58").when, when);
  EXPECT_EQ(Parse("SystemTimeChange 2024-02-29 23:59:58").when, when);
}

TEST(ScriptCommands, RejectsMalformedLines) {
  // Unknown or miscased words, wrong counts, numbers, dates, durations and controls.
  const std::string_view malformed[] = {
      "Frobnicate", "click cmdOk", "\"Click\" cmdOk", "Initialize 1", "Initialize 1 a@b extra",
      "Initialize one a@b", "Initialize 2147483648 a@b", "Uninitialize now", "Clock 2026-02-30 00:00:00",
      "Clock 2026-01-01 24:00:00", "Clock 2026-1-01 00:00:00", "Advance 10", "Advance 10w", "Advance -5s",
      "Advance 1.5s", "Resume", "Resume 8", "Resume -1h", "SystemTimeChange 2026-03-01",
      "SystemTimeChange 2026-03-01 9:00:00", "Click Text9", "Click cmdOk 3", "Click txtTime x", "Click cmdok",
      "Focus Label2", "SetText txtTime \"12:00:00\"", "SetText Text2", "Select Text2 1",
      "Select cmbDelay first", "SetText cmbRepeat \"Every day\"", "Type cmbRepeat \"E\"", "Type cmdOk \"x\"",
      "KeyDown txtTime Left", "Spin txtTime up", "Spin udTime sideways", "Pick txtDate 2026-01-01",
      "Pick calDate 01/01/2026", "Close now", "Print", "Print udTime", "Print State", "Stored",
      "SetStored Nick", "SetStoredType Type x \"1\"", "SetStoredType Type -1 \"1\"",
  };
  for (std::string_view line : malformed) EXPECT_THROW(Parse(line), SyntaxError) << "line: " << line;
}

// A malformed line stopping the script is the malformed_line script's; here what the lines
// around the commands may hold.
TEST(ScriptParse, SkipsASignatureBlankLinesCommentsAndCarriageReturns) {
  std::istringstream good("\xEF\xBB\xBFInitialize 1 x\r\n\r\n  # c\r\nClose\r\n");
  std::vector<ParsedLine> lines;
  ScriptError error;
  ASSERT_TRUE(ParseScript(good, lines, error)) << error.message;
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].lineNumber, 1u);
  EXPECT_EQ(lines[1].lineNumber, 4u);
}

TEST(ScriptFormat, QuotesTextsWithEscapesUtf8AndLoneSurrogates) {
  struct Case {
    std::u16string text;
    std::string quoted;
  };
  const Case cases[] = {
      {u"plain", "\"plain\""},
      {u"a\"b\\c", R"("a\"b\\c")"},
      {u"\r\n\t", R"("\r\n\t")"},
      {std::u16string{u'x', u'\0', u'\b', char16_t{0x7F}}, R"("x\u0000\u0008\u007F")"},
      {u"\u00e9\u20ac", "\"\xC3\xA9\xE2\x82\xAC\""},
      {u"\U0001F600", "\"\xF0\x9F\x98\x80\""},
      {std::u16string{char16_t{0xD83D}}, R"("\uD83D")"},
      {std::u16string{char16_t{0xDE00}, u'a'}, R"("\uDE00a")"},
      {std::u16string{char16_t{0xDE00}, char16_t{0xD83D}}, R"("\uDE00\uD83D")"},
  };
  for (const Case& c : cases) EXPECT_EQ(Quote(c.text), c.quoted);
}

TEST(ScriptKeyCodes, TypedCharactersNeverPassForEditingKeys) {
  for (char16_t c = 0x20; c < 0x7F; ++c) {
    const std::int32_t code = KeyCodeFor(c);
    EXPECT_FALSE(code >= 33 && code <= 46) << "'" << static_cast<char>(c) << "' gives " << code;
  }
  const std::pair<char16_t, std::int32_t> codes[] = {{u'7', 55}, {u'q', 81}, {u'Q', 81}, {u'\r', kKeyEnter},
      {u'\b', kKeyBackspace}, {u' ', 32}, {u'%', 53}, {u'\u00e9', kKeyPacket}};
  for (const auto& [c, code] : codes) EXPECT_EQ(KeyCodeFor(c), code) << static_cast<int>(c);
}

}  // namespace
}  // namespace velmora::script
