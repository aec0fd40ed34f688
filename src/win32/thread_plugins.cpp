#include "thread_plugins.h"

#include <memory>

#include "base/error.h"

namespace velmora::win32 {

namespace {

struct ThreadPlugin {
  ThreadPlugin() {
    // A resume or a new system time republishes a running counter.
    ports.timerWindow.SetClockJumpHandler([this] {
      if (plugin) plugin->ClockJumped();
    });
  }
  ThreadPlugin(const ThreadPlugin&) = delete;
  ThreadPlugin& operator=(const ThreadPlugin&) = delete;

  ThreadPorts ports;
  // After the ports, so it goes first: the plug-in's dialog and timers point into them.
  std::unique_ptr<Plugin> plugin;
  long objects = 0;
};

// Each thread's entry hangs off a TLS slot of this DLL: a new thread starts with none,
// whatever thread held its id before.
DWORD slot = TLS_OUT_OF_INDEXES;

ThreadPlugin* Find() {
  return slot == TLS_OUT_OF_INDEXES ? nullptr : static_cast<ThreadPlugin*>(::TlsGetValue(slot));
}

ThreadPlugin& ThisThread() {
  if (ThreadPlugin* found = Find()) return *found;
  if (slot == TLS_OUT_OF_INDEXES) throw VelmoraError(7, u"Out of memory");
  auto made = std::make_unique<ThreadPlugin>();
  if (!::TlsSetValue(slot, made.get())) throw VelmoraError(7, u"Out of memory");
  return *made.release();
}

// On the entry's own thread, whose windows these are. The dialog and the timer window go
// with their window classes (the last window of each class removes it).
void TearDown(ThreadPlugin* entry) {
  ::TlsSetValue(slot, nullptr);
  delete entry;
}

}  // namespace

void ThreadPluginsAttach() { slot = ::TlsAlloc(); }

void ThreadPluginsDetach() {
  if (slot != TLS_OUT_OF_INDEXES) ::TlsFree(slot);
  slot = TLS_OUT_OF_INDEXES;
}

Plugin& PluginOfThisThread() {
  ThreadPlugin& entry = ThisThread();
  if (!entry.plugin) entry.plugin = std::make_unique<Plugin>(MakeThreadPlatform(entry.ports));
  return *entry.plugin;
}

Plugin* ExistingPluginOfThisThread() {
  ThreadPlugin* entry = Find();
  return entry ? entry->plugin.get() : nullptr;
}

void ObjectMade() { ++ThisThread().objects; }

void ObjectReleased() {
  // Released on a thread other than its own (against the apartment's rules), an object
  // finds no count here: that thread's plug-in is not this thread's to destroy.
  ThreadPlugin* entry = Find();
  if (!entry || entry->objects == 0) return;
  if (--entry->objects == 0 && !entry->ports.timerWindow.Running()) TearDown(entry);
}

}  // namespace velmora::win32
