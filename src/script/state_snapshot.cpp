#include "script/state_snapshot.h"

namespace velmora::script {

StateSnapshot SnapshotOf(Plugin& plugin) {
  const PluginState& state = plugin.State();
  StateSnapshot snapshot;
  snapshot.sNick = state.sNick;
  snapshot.nCountType = state.nCountType;
  snapshot.bEnabled = state.bEnabled;
  snapshot.sDelayCode = state.sDelayCode;
  snapshot.nDelaySeconds = state.nDelaySeconds;
  if (plugin.DialogExists()) {
    Form1& form = plugin.Dialog();
    snapshot.dTargetDate = form.dTargetDate;
    snapshot.dTargetTime = form.dTargetTime;
    snapshot.nFullTicks = form.Schedule().nFullTicks;
    snapshot.nRestSeconds = form.Schedule().nRestSeconds;
    snapshot.nTicksLeft = form.Schedule().nTicksLeft;
    snapshot.interval = form.timCount().Interval();
    snapshot.timerOn = form.timCount().Enabled();
  }
  return snapshot;
}

}  // namespace velmora::script
