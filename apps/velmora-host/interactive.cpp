#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "base/text.h"
#include "modes.h"
#include "base/error.h"
#include "posix/clock_jump_watch.h"
#include "posix/event_loop.h"
#include "posix/fixed_regional.h"
#include "posix/system_clock.h"
#include "script/core_host.h"
#include "script/runner.h"

namespace velmora::host {

namespace {
constexpr char kPrompt[] = "velmora> ";
// The wall clock may drift from the monotonic one by a second between two looks (it is read
// in whole seconds); a jump is more than that.
constexpr std::chrono::seconds kJumpThreshold{3};
// How soon a jump is noticed when nothing else wakes the loop.
constexpr std::chrono::seconds kJumpLookEvery{5};

constexpr char kHelp[] =
    "Chat lines go to the plug-in as commands: /xcntenable, /xcntdisable, /xcntsetnick <template>.\n"
    "Host calls: Initialize <n> <email>, Configure, GetPublishInfo \"\" 0 0, ParseTag <tag> \"\" ...\n"
    "While Configure shows the dialog: Click cmdOk, SetText Text2 \"<template>\", Select Combo1 1,\n"
    "Select cmbDelay <row>, Select cmbRepeat 4, SetText txtDone \"<template>\", Type txtTime \"12\",\n"
    "Focus txtDate, Pick calDate 2027-01-01, Close ...\n"
    "Print state, Print <control>, Stored <key>; help; quit (or Ctrl-D, Ctrl-C).\n";

// Lines that arrive while the user types: the prompt is redrawn below them.
class Terminal {
 public:
  explicit Terminal(bool interactive) : interactive_(interactive) {}
  void Print(std::string_view line) {
    if (interactive_ && prompted_) std::fputs("\r\033[K", stdout);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    if (prompted_) Prompt();
    std::fflush(stdout);
  }
  void Prompt() {
    prompted_ = interactive_;
    if (interactive_) std::fputs(kPrompt, stdout);
    std::fflush(stdout);
  }
  void InputTaken() { prompted_ = false; }

 private:
  bool interactive_;
  bool prompted_ = false;
};

// Nicknames are shown as the messenger shows them, with the time they arrived.
class SessionOutput : public script::ScriptOutput {
 public:
  SessionOutput(Terminal& terminal, const Clock& clock)
      : ScriptOutput([&terminal](std::string_view line) { terminal.Print(line); }), clock_(clock) {}
  void SetName(std::u16string_view text) override {
    Line("[" + script::TimeText(clock_.Now()) + "] nickname: " + script::DisplayText(text));
  }

 private:
  const Clock& clock_;
};

script::Command Call(std::u16string_view operation, std::vector<std::u16string> arguments) {
  std::vector<script::Token> tokens{{std::u16string{operation}, false}};
  for (std::u16string& argument : arguments) tokens.push_back({std::move(argument), true});
  return script::ParseCommandLine(tokens);
}
}  // namespace

int RunInteractive(const Session& session) {
  EventLoop loop;
  SystemClock clock;
  FixedRegional regional;
  Terminal terminal(isatty(STDIN_FILENO) != 0 && isatty(STDOUT_FILENO) != 0);
  SessionOutput output(terminal, clock);
  script::CoreHost host(output, {&clock, &regional, session.registry, [&loop] { return loop.MakeTimer(); }, nullptr});
  script::ScriptRunner runner(host, output);

  // A Windows host's plug-in hears of a resume from sleep or a new system time from the
  // system; here the loop looks for the jump itself.
  ClockJumpWatch jumps(kJumpThreshold);
  loop.WatchWakeUps(kJumpLookEvery, [&] {
    if (!jumps.Jumped(clock.Now(), std::chrono::steady_clock::now())) return;
    try {
      host.plugin().ClockJumped();
    } catch (const VelmoraError& error) {
      output.Failed("ClockJumped", error);
    }
  });

  if (!session.banner.empty()) terminal.Print(session.banner);
  // A messenger initialises its plug-ins when the user signs in.
  runner.Execute(Call(u"Initialize", {u"1", session.email}));

  loop.WatchInput(
      STDIN_FILENO,
      [&](std::string_view line) {
        terminal.InputTaken();
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::u16string text = FromUtf8(line);
        if (text.starts_with(u'/')) {
          // A chat command: the word is the command, the rest of the line after the first
          // blank its argument.
          const auto blank = text.find(u' ');
          const std::u16string command = text.substr(0, blank);
          const std::u16string argument = blank == std::u16string::npos ? u"" : text.substr(blank + 1);
          runner.Execute(Call(u"ParseCommand", {command, argument, u""}));
        } else if (line == "quit" || line == "exit") {
          loop.Stop();
          return;
        } else if (line == "help" || line == "?") {
          terminal.Print(std::string_view(kHelp, sizeof kHelp - 2));
        } else {
          try {
            if (auto command = script::ParseLine(line)) runner.Execute(*command);
          } catch (const script::SyntaxError& error) {
            terminal.Print(std::string("? ") + error.what() + " (help lists the commands)");
          }
        }
        terminal.Prompt();
      },
      [&] {
        terminal.InputTaken();
        if (!session.runFor) loop.Stop();
      });
  if (session.runFor) {
    loop.StopAt(std::chrono::steady_clock::now() +
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                    std::chrono::duration<double>(*session.runFor)));
  }
  terminal.Prompt();
  loop.Run();
  terminal.InputTaken();
  std::fputc('\n', stdout);
  runner.Execute(Call(u"Uninitialize", {}));
  return 0;
}

}  // namespace velmora::host
