#include "script/commands.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "base/text.h"

namespace velmora::script {

namespace {
constexpr Parameter In(std::string_view name, ParameterKind kind) { return {name, kind, false}; }
constexpr Parameter InOut(std::string_view name, ParameterKind kind) { return {name, kind, true}; }
constexpr auto kInt = ParameterKind::kInt32;
constexpr auto kStr = ParameterKind::kString;
constexpr auto kObj = ParameterKind::kObject;

[[noreturn]] void Fail(const std::string& message) { throw SyntaxError(message); }

std::string Utf8(const Token& token) { return ToUtf8(token.text); }

std::optional<std::int64_t> WholeNumber(std::u16string_view text) {
  const std::string digits = ToUtf8(text);
  std::int64_t value = 0;
  const char* begin = digits.data();
  const char* end = digits.data() + digits.size();
  if (begin != end && *begin == '+') ++begin;
  const auto [stop, error] = std::from_chars(begin, end, value);
  if (error != std::errc{} || stop != end || begin == end) return std::nullopt;
  return value;
}

std::int32_t Int32(const Token& token, std::string_view what) {
  const auto value = WholeNumber(token.text);
  if (!value || *value < std::numeric_limits<std::int32_t>::min() ||
      *value > std::numeric_limits<std::int32_t>::max()) {
    Fail(std::string(what) + " must be a whole number, not " + Quote(token.text));
  }
  return static_cast<std::int32_t>(*value);
}

DateTime Date(const Token& token) {
  const auto date = ParseIsoDate(token.text);
  if (!date) Fail("expected a date YYYY-MM-DD, not " + Quote(token.text));
  return *date;
}

DateTime Time(const Token& token) {
  const auto time = ParseIsoTime(token.text);
  if (!time) Fail("expected a time HH:MM:SS, not " + Quote(token.text));
  return *time;
}

std::int64_t Duration(const Token& token) {
  std::u16string_view text = token.text;
  if (text.size() < 2) Fail("expected a duration such as 30s, 5m, 2h or 1d, not " + Quote(text));
  std::int64_t unit = 0;
  switch (text.back()) {
    case u's': unit = 1000; break;
    case u'm': unit = 60'000; break;
    case u'h': unit = 3'600'000; break;
    case u'd': unit = 86'400'000; break;
    default: Fail("a duration ends in s, m, h or d, not " + Quote(text));
  }
  text.remove_suffix(1);
  const bool digitsOnly =
      std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
  const auto count = digitsOnly ? WholeNumber(text) : std::nullopt;
  // A century of virtual time is more than any script needs and keeps milliseconds in range.
  if (!count || *count > 36'500LL * 86'400'000 / unit) Fail("not a duration: " + Quote(token.text));
  return *count * unit;
}

ControlId AnyControl(const Token& token) {
  const auto control = ControlByName(token.text);
  if (!control) Fail("no control named " + Quote(token.text));
  return *control;
}

bool IsOneOf(ControlId control, std::initializer_list<ControlId> allowed) {
  return std::find(allowed.begin(), allowed.end(), control) != allowed.end();
}

// Controls that take typed characters: text boxes, locked or not, the editable lists and the
// calendar (Enter and Space).
bool TakesKeys(ControlId control) {
  const ControlKind kind = Info(control).kind;
  return kind == ControlKind::kTextBox || kind == ControlKind::kLockedTextBox || kind == ControlKind::kList ||
         kind == ControlKind::kCalendar;
}

bool IsList(ControlId control) {
  const ControlKind kind = Info(control).kind;
  return kind == ControlKind::kList || kind == ControlKind::kDropList;
}

ControlId ControlFor(const Token& token, std::string_view verb, bool allowed) {
  if (!allowed) Fail(std::string(verb) + " does not act on " + Utf8(token));
  return AnyControl(token);
}

void Count(std::span<const Token> tokens, std::size_t least, std::size_t most, std::string_view usage) {
  if (tokens.size() < least || tokens.size() > most) Fail("usage: " + std::string(usage));
}

Command ParseCall(const Operation& operation, std::span<const Token> tokens) {
  Command command;
  command.verb = Verb::kCall;
  command.operation = &operation;
  std::string usage{operation.name};
  std::size_t written = 0;
  for (const Parameter& parameter : operation.parameters) {
    if (parameter.kind != ParameterKind::kObject) {
      ++written;
      usage += " <" + std::string(parameter.name) + ">";
    }
  }
  Count(tokens, written + 1, written + 1, usage);
  std::size_t next = 1;
  for (const Parameter& parameter : operation.parameters) {
    switch (parameter.kind) {
      case ParameterKind::kObject: command.arguments.emplace_back(std::monostate{}); break;
      case ParameterKind::kInt32: command.arguments.emplace_back(Int32(tokens[next++], parameter.name)); break;
      case ParameterKind::kString: command.arguments.emplace_back(tokens[next++].text); break;
    }
  }
  return command;
}
}  // namespace

const std::vector<Operation>& Operations() {
  static const std::vector<Operation> operations = {
      {"Initialize", AnswerKind::kBoolean, {In("nVersion", kInt), In("sUserEmail", kStr), In("oMessenger", kObj)}},
      {"Uninitialize", AnswerKind::kVariant, {}},
      {"Configure", AnswerKind::kVariant, {}},
      {"GetPublishInfo",
       AnswerKind::kBoolean,
       {InOut("sPluginName", kStr), InOut("nCommandCount", kInt), InOut("nTagCount", kInt)}},
      {"GetPublishCommandInfo",
       AnswerKind::kVariant,
       {In("nCommandIdx", kInt), InOut("sName", kStr), InOut("sValue", kStr), InOut("sHelp", kStr)}},
      {"GetPublishTagInfo", AnswerKind::kVariant, {In("nTagIdx", kInt), InOut("sName", kStr), InOut("sValue", kStr)}},
      {"ParseCommand",
       AnswerKind::kBoolean,
       {In("sCommand", kStr), In("sCommandArg", kStr), In("oConversationWnd", kObj), InOut("sResult", kStr)}},
      {"ParseTag", AnswerKind::kBoolean, {In("sTag", kStr), In("oConversationWnd", kObj), InOut("sResult", kStr)}},
      {"ReceiveNotify",
       AnswerKind::kBoolean,
       {In("sNotifyCode", kStr), In("sText", kStr), In("sContactName", kStr), In("oConversationWnd", kObj),
        InOut("sTextToSend", kStr)}},
  };
  return operations;
}

const Operation* FindOperation(std::string_view name) {
  for (const Operation& operation : Operations()) {
    if (operation.name == name) return &operation;
  }
  return nullptr;
}

Command ParseCommandLine(std::span<const Token> tokens) {
  if (tokens.empty()) Fail("no command");
  if (tokens[0].quoted) Fail("a command name is not quoted");
  const std::string verb = Utf8(tokens[0]);
  if (const Operation* operation = FindOperation(verb)) {
    Command command = ParseCall(*operation, tokens);
    command.name = verb;
    return command;
  }

  Command command;
  command.name = verb;
  if (verb == "Clock" || verb == "SystemTimeChange") {
    Count(tokens, 3, 3, verb + " <YYYY-MM-DD> <HH:MM:SS>");
    command.verb = verb == "Clock" ? Verb::kClock : Verb::kSystemTimeChange;
    command.when = DateTime::Combine(Date(tokens[1]), Time(tokens[2]));
  } else if (verb == "Advance" || verb == "Resume") {
    Count(tokens, 2, 2, verb + " <N><s|m|h|d>");
    command.verb = verb == "Advance" ? Verb::kAdvance : Verb::kResume;
    command.milliseconds = Duration(tokens[1]);
  } else if (verb == "Click") {
    Count(tokens, 2, 3, "Click <control> [<caret>]");
    command.verb = Verb::kClick;
    const auto control = AnyControl(tokens[1]);
    const bool withCaret = control == ControlId::txtTime;
    command.control = ControlFor(tokens[1], verb,
                                 withCaret || IsOneOf(control, {ControlId::cmdEnable, ControlId::cmdOk,
                                                                ControlId::cmdCancel, ControlId::Label2}));
    if (tokens.size() == 3) {
      if (!withCaret) Fail("only a click in txtTime has a caret position");
      command.number = Int32(tokens[2], "the caret position");
    }
  } else if (verb == "Focus") {
    Count(tokens, 2, 2, "Focus <control>");
    command.verb = Verb::kFocus;
    const auto control = AnyControl(tokens[1]);
    const auto& order = TabOrder();
    command.control = ControlFor(tokens[1], verb, std::find(order.begin(), order.end(), control) != order.end());
  } else if (verb == "SetText") {
    Count(tokens, 3, 3, "SetText <control> \"<text>\"");
    command.verb = Verb::kSetText;
    command.control = ControlFor(tokens[1], verb, Info(AnyControl(tokens[1])).kind == ControlKind::kTextBox ||
                                                      Info(AnyControl(tokens[1])).kind == ControlKind::kList);
    command.text = tokens[2].text;
  } else if (verb == "Select") {
    Count(tokens, 3, 3, "Select <control> <row>");
    command.verb = Verb::kSelect;
    command.control = ControlFor(tokens[1], verb, IsList(AnyControl(tokens[1])));
    command.number = Int32(tokens[2], "the row");
  } else if (verb == "Type") {
    Count(tokens, 3, 3, "Type <control> \"<chars>\"");
    command.verb = Verb::kType;
    command.control = ControlFor(tokens[1], verb, TakesKeys(AnyControl(tokens[1])));
    command.text = tokens[2].text;
  } else if (verb == "KeyDown") {
    Count(tokens, 3, 3, "KeyDown <control> <code>");
    command.verb = Verb::kKeyDown;
    // A drop list moves its row with Up and Down.
    command.control = ControlFor(tokens[1], verb, TakesKeys(AnyControl(tokens[1])) || IsList(AnyControl(tokens[1])));
    command.number = Int32(tokens[2], "the key code");
  } else if (verb == "Spin") {
    Count(tokens, 3, 3, "Spin <udTime|udDate> <up|down>");
    command.verb = Verb::kSpin;
    command.control = ControlFor(tokens[1], verb, Info(AnyControl(tokens[1])).kind == ControlKind::kSpin);
    if (tokens[2].text != u"up" && tokens[2].text != u"down") Fail("Spin takes up or down");
    command.up = tokens[2].text == u"up";
  } else if (verb == "Pick") {
    Count(tokens, 3, 3, "Pick calDate <YYYY-MM-DD>");
    command.verb = Verb::kPick;
    command.control = ControlFor(tokens[1], verb, AnyControl(tokens[1]) == ControlId::calDate);
    command.when = Date(tokens[2]);
  } else if (verb == "Close") {
    Count(tokens, 1, 1, "Close");
    command.verb = Verb::kClose;
  } else if (verb == "Print") {
    Count(tokens, 2, 2, "Print state | Print <control>");
    if (tokens[1].text == u"state") {
      command.verb = Verb::kPrintState;
    } else if (tokens[1].text == u"Form1") {
      command.verb = Verb::kPrintForm;
    } else {
      command.verb = Verb::kPrintControl;
      command.control = ControlFor(tokens[1], verb, HasControlLine(AnyControl(tokens[1])));
    }
  } else if (verb == "Stored") {
    Count(tokens, 2, 2, "Stored <key>");
    command.verb = Verb::kStored;
    command.key = tokens[1].text;
  } else if (verb == "SetStored") {
    Count(tokens, 3, 3, "SetStored <key> \"<text>\"");
    command.verb = Verb::kSetStored;
    command.key = tokens[1].text;
    command.text = tokens[2].text;
  } else if (verb == "SetStoredType") {
    Count(tokens, 4, 4, "SetStoredType <key> <type> \"<text>\"");
    command.verb = Verb::kSetStoredType;
    command.key = tokens[1].text;
    command.number = Int32(tokens[2], "the value type");
    if (*command.number < 0) Fail("a value type is not negative");
    command.text = tokens[3].text;
  } else {
    Fail("unknown command " + Quote(tokens[0].text));
  }
  return command;
}

}  // namespace velmora::script
