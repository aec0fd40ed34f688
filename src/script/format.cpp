#include "script/format.h"

#include <cstdio>

#include "base/text.h"

namespace velmora::script {

namespace {
std::string HexEscape(char16_t unit) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(unit));
  return buffer;
}


std::string Name(ControlId control) { return ToUtf8(Info(control).name); }
}  // namespace

std::string Quote(std::u16string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    switch (unit) {
      case u'"': out += "\\\""; continue;
      case u'\\': out += "\\\\"; continue;
      case u'\r': out += "\\r"; continue;
      case u'\n': out += "\\n"; continue;
      case u'\t': out += "\\t"; continue;
      default: break;
    }
    if (unit < 0x20 || unit == 0x7F) {
      out += HexEscape(unit);
    } else if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      out += ToUtf8(text.substr(i, 2));
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      out += HexEscape(unit);
    } else {
      out += ToUtf8(text.substr(i, 1));
    }
  }
  return out + "\"";
}

std::string DisplayText(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      out += ToUtf8(text.substr(i++, 2));
    } else if (unit < 0x20 || unit == 0x7F || IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      out += HexEscape(unit);
    } else {
      out += ToUtf8(text.substr(i, 1));
    }
  }
  return out;
}

std::string BoolText(bool value) { return value ? "True" : "False"; }

std::string DateText(DateTime value) { return ToUtf8(IsoDateText(value)); }

std::string TimeText(DateTime value) { return ToUtf8(IsoTimeText(value)); }

std::string IconText(MessageIcon icon) { return icon == MessageIcon::kInformation ? "information" : "none"; }

std::string AnswerText(const Answer& answer) {
  if (const auto* flag = std::get_if<bool>(&answer)) return BoolText(*flag);
  if (const auto* number = std::get_if<std::int32_t>(&answer)) return std::to_string(*number);
  if (const auto* text = std::get_if<std::u16string>(&answer)) return Quote(*text);
  return "Empty";
}

std::string ArgumentText(const Argument& argument) {
  if (const auto* number = std::get_if<std::int32_t>(&argument)) return std::to_string(*number);
  if (const auto* text = std::get_if<std::u16string>(&argument)) return Quote(*text);
  return "Nothing";
}

std::string StateLine(const StateSnapshot& s) {
  return "state sNick=" + Quote(s.sNick) + " nCountType=" + std::to_string(s.nCountType) +
         " bEnabled=" + BoolText(s.bEnabled) + " sDelayCode=" + Quote(s.sDelayCode) +
         " nDelaySeconds=" + std::to_string(s.nDelaySeconds) + " dTargetDate=" + DateText(s.dTargetDate) +
         " dTargetTime=" + TimeText(s.dTargetTime) + " nFullTicks=" + std::to_string(s.nFullTicks) +
         " nRestSeconds=" + std::to_string(s.nRestSeconds) + " nTicksLeft=" + std::to_string(s.nTicksLeft) +
         " interval=" + std::to_string(s.interval) + " timer=" + (s.timerOn ? "on" : "off");
}

bool HasControlLine(ControlId control) { return Info(control).kind != ControlKind::kSpin; }

std::string ControlLine(ControlId control, const ControlState& state) {
  const std::string name = Name(control);
  if (control == ControlId::txtTime) {
    return name + " text=" + Quote(state.text) + " sel=" + std::to_string(state.selStart) + "," +
           std::to_string(state.selLength);
  }
  switch (Info(control).kind) {
    case ControlKind::kTextBox:
    case ControlKind::kLockedTextBox:
      return name + " text=" + Quote(state.text);
    case ControlKind::kList:
    case ControlKind::kDropList:
      return name + " text=" + Quote(state.text) + " row=" + std::to_string(state.row);
    case ControlKind::kButton:
    case ControlKind::kLabel:
      return name + " caption=" + Quote(state.text);
    case ControlKind::kCalendar:
    case ControlKind::kSpin:
      break;
  }
  return name + " visible=" + BoolText(state.visible);
}

std::string FormLine(bool visible) { return "Form1 visible=" + BoolText(visible); }

}  // namespace velmora::script
