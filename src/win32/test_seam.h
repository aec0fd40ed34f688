#pragma once
// The seam of VelmoraTest.dll, the test build of Velmora.dll, for velmora-testhost.exe and
// the Windows tests. The shipped Velmora.dll has none of it.
//
// Plain C exports, absent from the type library and from every interface. They act on the
// calling thread's plug-in only:
//
//   VelmoraSeamUseVirtualTime(start)  the thread's clock and timers become virtual, the
//                                     clock at `start`; only before the thread's first
//                                     operation (E_ILLEGAL_METHOD_CALL after it).
//   VelmoraSeamSetClock(now)          sets the virtual clock; no tick fires.
//   VelmoraSeamAdvance(ms)            moves the virtual clock forward, firing every due tick
//                                     at its own instant (SetName is sent from inside).
//   VelmoraSeamSleep(ms)              moves the virtual clock forward as a machine's sleep
//                                     does: the timers' countdowns stand still, no tick fires.
//   VelmoraSeamGetState(state)        the plug-in state, the dialog's fields and the timer,
//                                     as `Print state` shows them; the dialog is not loaded
//                                     by asking. The caller frees the two BSTRs.
//   VelmoraSeamDialogShown(shown)     whether the dialog is shown (for `Configure -> Empty`).
//   VelmoraSeamGetControl(name, c)    a dialog control's state as the dialog model holds it
//                                     (for `Print <control>`); loads the dialog, as any use
//                                     of a control would. The caller frees the BSTR.
//   VelmoraSeamFailNextName(n, text)  the next nickname this thread's plug-in hands over
//                                     fails with error number n and description `text`
//                                     instead, so tests see how a failure reaches the host,
//                                     the user (in the window) and the debugger (in a tick).
//
// The three clock functions answer E_ILLEGAL_METHOD_CALL while the clock is the real one.
#include <windows.h>
#include <oleauto.h>

#ifndef E_ILLEGAL_METHOD_CALL
#define E_ILLEGAL_METHOD_CALL static_cast<HRESULT>(0x8000000EL)
#endif

struct VelmoraSeamState {
  BSTR sNick;
  LONG nCountType;
  VARIANT_BOOL bEnabled;
  BSTR sDelayCode;
  LONG nDelaySeconds;
  DATE dTargetDate;
  DATE dTargetTime;
  LONG nFullTicks;
  LONG nRestSeconds;
  LONG nTicksLeft;
  LONG interval;
  VARIANT_BOOL timerOn;
  DATE calendarSelection;  // the day the calendar selects
};

struct VelmoraSeamControl {
  BSTR text;
  LONG selStart;
  LONG selLength;
  LONG row;
  VARIANT_BOOL visible;
};

extern "C" {
HRESULT WINAPI VelmoraSeamUseVirtualTime(DATE start);
HRESULT WINAPI VelmoraSeamSetClock(DATE now);
HRESULT WINAPI VelmoraSeamAdvance(LONGLONG milliseconds);
HRESULT WINAPI VelmoraSeamSleep(LONGLONG milliseconds);
HRESULT WINAPI VelmoraSeamGetState(VelmoraSeamState* state);
HRESULT WINAPI VelmoraSeamDialogShown(VARIANT_BOOL* shown);
HRESULT WINAPI VelmoraSeamGetControl(LPCWSTR name, VelmoraSeamControl* control);
HRESULT WINAPI VelmoraSeamFailNextName(LONG number, LPCWSTR description);

typedef HRESULT(WINAPI* VelmoraSeamUseVirtualTimeFn)(DATE);
typedef HRESULT(WINAPI* VelmoraSeamSetClockFn)(DATE);
typedef HRESULT(WINAPI* VelmoraSeamAdvanceFn)(LONGLONG);
typedef HRESULT(WINAPI* VelmoraSeamSleepFn)(LONGLONG);
typedef HRESULT(WINAPI* VelmoraSeamGetStateFn)(VelmoraSeamState*);
typedef HRESULT(WINAPI* VelmoraSeamDialogShownFn)(VARIANT_BOOL*);
typedef HRESULT(WINAPI* VelmoraSeamGetControlFn)(LPCWSTR, VelmoraSeamControl*);
typedef HRESULT(WINAPI* VelmoraSeamFailNextNameFn)(LONG, LPCWSTR);
}
