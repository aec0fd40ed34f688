#pragma once
// Every thread's plug-in, owned in one place. Each thread that uses the component (the
// apartment model) gets its own plug-in, built on the thread's own Windows ports and timer
// window. It is made at the thread's first operation and torn down on that thread when the
// last object of the thread is released while no counter timer runs, so DllCanUnloadNow can
// answer S_OK and nothing is left for the loader to destroy: no thread-exit destructor and
// no window or class outlives the last use. A counter still running when the last object
// goes keeps the plug-in, as its ticks need it, and with it the DLL, pinned against forced
// unloads, until the thread's last CoUninitialize: from then on no timer runs and nothing
// is published, and the plug-in goes.
//
// A teardown never frees what code on the thread's stack still uses: while a host's call or
// a tick or notice runs, the last Release or CoUninitialize inside it (from the host's
// handler of a nickname, or of a message Configure's loop dispatches) only marks it, and it
// runs once that code has returned.
#include "clock_win32.h"
#include "name_channel_win32.h"
#include "plugin/plugin.h"
#include "regional_win32.h"
#include "registry_win32.h"
#include "timer_win32.h"

namespace velmora::win32 {

// The real ports of one thread; they outlive the plug-in built on them.
struct ThreadPorts {
  LocalClock clock;
  UserRegional regional;
  WindowsRegistry registry;
  BroadcastNameChannel nameChannel;
  TimerWindow timerWindow;
};

// The platform a thread's plug-in is made with: `ports` as they are in the product. The
// DLL's test build links a version of its own (test_seam.cpp) that can swap in virtual
// time and failing names.
Platform MakeThreadPlatform(ThreadPorts& ports);

// From DllMain, which may call nothing beyond kernel32: the TLS slot of the entries.
void ThreadPluginsAttach();
void ThreadPluginsDetach();

// The calling thread's plug-in, made at its first use.
Plugin& PluginOfThisThread();
// Null while the calling thread has none.
Plugin* ExistingPluginOfThisThread();

// Held for the length of a host's call into an object, on the thread's plug-in (made here
// if need be, which may throw).
class HostCall {
 public:
  HostCall();
  ~HostCall();
  HostCall(const HostCall&) = delete;
  HostCall& operator=(const HostCall&) = delete;
};

// Objects count per thread: the last one released on its own thread tears the thread's
// plug-in down, unless its counter timer runs.
void ObjectMade();
void ObjectReleased();

}  // namespace velmora::win32
