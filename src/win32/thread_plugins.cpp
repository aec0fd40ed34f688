#include "thread_plugins.h"

#include <objbase.h>

#include <atomic>
#include <memory>
#include <new>
#include <utility>

#include "base/error.h"

namespace velmora::win32 {

namespace {

struct ThreadPlugin;
void ComLeft(ThreadPlugin* entry);

// Watches COM leave the thread: at the thread's last CoUninitialize, before COM frees the
// DLLs it loaded (whatever DllCanUnloadNow says), the thread's plug-in stops and goes, so
// nothing of it outlives COM there. COM holds the watch while it is registered; the
// plug-in's pin, kept after that teardown, keeps its code mapped for the calls still to come.
class UninitializeWatch final : public IInitializeSpy {
 public:
  UninitializeWatch() = default;
  UninitializeWatch(const UninitializeWatch&) = delete;
  UninitializeWatch& operator=(const UninitializeWatch&) = delete;

  // Registered on the calling thread; null where COM refuses.
  static UninitializeWatch* Start(ThreadPlugin* entry) {
    auto* watch = new (std::nothrow) UninitializeWatch;
    if (!watch) return nullptr;
    const bool registered = SUCCEEDED(::CoRegisterInitializeSpy(watch, &watch->cookie_));
    // From here COM's reference alone keeps the watch.
    watch->Release();
    if (!registered) return nullptr;
    watch->entry_ = entry;
    return watch;
  }

  // The plug-in goes while COM stays: the watch is revoked, and COM lets go of it.
  void Stop() {
    entry_ = nullptr;
    Revoke();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IInitializeSpy)) {
      *object = static_cast<IInitializeSpy*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const long left = --references_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  HRESULT STDMETHODCALLTYPE PreInitialize(DWORD, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE PostInitialize(HRESULT result, DWORD, DWORD) override { return result; }
  HRESULT STDMETHODCALLTYPE PreUninitialize(DWORD apartmentReferences) override {
    if (apartmentReferences == 1 && entry_) ComLeft(std::exchange(entry_, nullptr));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE PostUninitialize(DWORD apartmentReferences) override {
    if (apartmentReferences == 0 && !entry_) Revoke();
    return S_OK;
  }

 private:
  ~UninitializeWatch() = default;

  void Revoke() {
    if (!registered_) return;
    registered_ = false;
    // Revoking lets COM release its reference; this object lives to the end of the call.
    AddRef();
    ::CoRevokeInitializeSpy(cookie_);
    Release();
  }

  std::atomic<long> references_{1};
  // While COM may call the watch, DllCanUnloadNow (which Wine asks inside CoUninitialize)
  // says no.
  ModuleReference reference_;
  ULARGE_INTEGER cookie_{};
  bool registered_ = true;
  ThreadPlugin* entry_ = nullptr;
};

struct ThreadPlugin {
  ThreadPlugin();
  ~ThreadPlugin() {
    if (watch) watch->Stop();
  }
  ThreadPlugin(const ThreadPlugin&) = delete;
  ThreadPlugin& operator=(const ThreadPlugin&) = delete;

  UninitializeWatch* watch = nullptr;
  ThreadPorts ports;
  // After the ports, so it goes first: the plug-in's dialog and timers point into them.
  std::unique_ptr<Plugin> plugin;
  long objects = 0;
  int hostCalls = 0;  // host calls of this thread under way
  bool comLeft = false;
};

// Each thread's entry hangs off a TLS slot of this DLL: a new thread starts with none,
// whatever thread held its id before.
DWORD slot = TLS_OUT_OF_INDEXES;

ThreadPlugin* Find() {
  return slot == TLS_OUT_OF_INDEXES ? nullptr : static_cast<ThreadPlugin*>(::TlsGetValue(slot));
}

// On the entry's own thread, whose windows these are: the dialog and the timer window go,
// then the entry's pin of the DLL.
void TearDown(ThreadPlugin* entry, Unpin how) {
  ::TlsSetValue(slot, nullptr);
  delete entry;
  UnpinModule(how);
}

// Runs the teardown that is due, unless code of the plug-in is still on the stack; that code
// calls this again as it returns. `how` is how the caller's code may let go of the pin.
void Settle(ThreadPlugin* entry, Unpin how) {
  if (entry->hostCalls > 0 || entry->ports.timerWindow.Dispatching()) return;
  // After COM left, COM may have freed its own reference to the DLL: the pin stays.
  if (entry->comLeft) {
    TearDown(entry, Unpin::kNever);
  } else if (entry->objects == 0 && !entry->ports.timerWindow.Running()) {
    TearDown(entry, how);
  }
}

ThreadPlugin::ThreadPlugin() {
  // A resume or a new system time republishes a running counter.
  ports.timerWindow.SetClockJumpHandler([this] {
    if (plugin) plugin->ClockJumped();
  });
  // The last object may go inside a tick, when the teardown has to wait for it to end.
  ports.timerWindow.SetIdleHandler([this] { Settle(this, Unpin::kAtNextQuery); });
}

void ComLeft(ThreadPlugin* entry) {
  // The watch stays registered until COM is done with it, then revokes itself.
  entry->watch = nullptr;
  entry->comLeft = true;
  entry->ports.timerWindow.Close();
  entry->ports.nameChannel.Close();
  Settle(entry, Unpin::kNever);
}

ThreadPlugin& ThisThread() {
  if (ThreadPlugin* found = Find()) return *found;
  if (slot == TLS_OUT_OF_INDEXES || !PinModule()) throw VelmoraError(7, u"Out of memory");
  std::unique_ptr<ThreadPlugin> made(new (std::nothrow) ThreadPlugin);
  if (!made || !::TlsSetValue(slot, made.get())) {
    made.reset();
    UnpinModule(Unpin::kNow);
    throw VelmoraError(7, u"Out of memory");
  }
  made->watch = UninitializeWatch::Start(made.get());
  return *made.release();
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

HostCall::HostCall() { ++ThisThread().hostCalls; }

HostCall::~HostCall() {
  ThreadPlugin* entry = Find();
  if (entry && --entry->hostCalls == 0) Settle(entry, Unpin::kNow);
}

void ObjectMade() { ++ThisThread().objects; }

void ObjectReleased() {
  // Released on a thread other than its own (against the apartment's rules), an object
  // finds no count here: that thread's plug-in is not this thread's to destroy.
  ThreadPlugin* entry = Find();
  if (!entry || entry->objects == 0) return;
  if (--entry->objects == 0) Settle(entry, Unpin::kNow);
}

}  // namespace velmora::win32
