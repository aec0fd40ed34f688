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
void TearDown(ThreadPlugin* entry, Unpin how);

// Watches COM leave the thread: at the thread's last CoUninitialize, before COM frees the
// DLLs it loaded (whatever DllCanUnloadNow says), the thread's plug-in goes with its
// windows and timers, so nothing of it outlives COM there. The watch keeps the DLL mapped
// until COM is done with it (PostUninitialize), and lets go after that call returns.
class UninitializeWatch final : public IInitializeSpy {
 public:
  UninitializeWatch() { PinModule(); }
  UninitializeWatch(const UninitializeWatch&) = delete;
  UninitializeWatch& operator=(const UninitializeWatch&) = delete;

  // Registered on the calling thread; null where COM refuses.
  static UninitializeWatch* Start(ThreadPlugin* entry) {
    auto* watch = new (std::nothrow) UninitializeWatch;
    if (!watch) return nullptr;
    if (FAILED(::CoRegisterInitializeSpy(watch, &watch->cookie_))) {
      watch->registered_ = false;
      watch->Finish(Unpin::kNow);
      return nullptr;
    }
    watch->entry_ = entry;
    return watch;
  }

  // The plug-in goes first; its own pin, let go after this one, decides how the DLL is.
  void Stop() {
    entry_ = nullptr;
    Finish(Unpin::kNow);
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
  HRESULT STDMETHODCALLTYPE PreUninitialize(DWORD apartmentReferences) override;
  HRESULT STDMETHODCALLTYPE PostUninitialize(DWORD apartmentReferences) override {
    if (apartmentReferences == 0 && !entry_ && registered_) Finish(Unpin::kAfterReturn);
    return S_OK;
  }

 private:
  ~UninitializeWatch() = default;

  void Finish(Unpin how) {
    // Revoking lets COM release its reference; this object lives to the end of the call.
    AddRef();
    if (registered_) ::CoRevokeInitializeSpy(cookie_);
    registered_ = false;
    UnpinModule(how);
    Release();
  }

  std::atomic<long> references_{1};
  ULARGE_INTEGER cookie_{};
  bool registered_ = true;
  ThreadPlugin* entry_ = nullptr;
};

struct ThreadPlugin {
  ThreadPlugin() {
    PinModule();
    // A resume or a new system time republishes a running counter.
    ports.timerWindow.SetClockJumpHandler([this] {
      if (plugin) plugin->ClockJumped();
    });
    // The last object may go inside a tick, when the teardown has to wait for it to end.
    ports.timerWindow.SetIdleHandler([this] {
      if (objects == 0) TearDown(this, Unpin::kAfterReturn);
    });
  }
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
};

HRESULT UninitializeWatch::PreUninitialize(DWORD apartmentReferences) {
  if (apartmentReferences != 1 || !entry_) return S_OK;
  ThreadPlugin* entry = std::exchange(entry_, nullptr);
  // The watch stays registered until COM is done; its pin keeps the DLL mapped meanwhile,
  // so the plug-in's own pin lets go at once.
  entry->watch = nullptr;
  TearDown(entry, Unpin::kNow);
  return S_OK;
}

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
  if (!::TlsSetValue(slot, made.get())) {
    made.reset();
    UnpinModule(Unpin::kNow);
    throw VelmoraError(7, u"Out of memory");
  }
  made->watch = UninitializeWatch::Start(made.get());
  return *made.release();
}

// On the entry's own thread, whose windows these are. The dialog and the timer window go
// with their window classes (the last window of each class removes it), then the entry's
// pin of the DLL.
void TearDown(ThreadPlugin* entry, Unpin how) {
  ::TlsSetValue(slot, nullptr);
  delete entry;
  UnpinModule(how);
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
  // Inside a tick the timer window still runs: its idle handler tears down when the tick ends.
  if (--entry->objects == 0 && !entry->ports.timerWindow.Running()) TearDown(entry, Unpin::kNow);
}

}  // namespace velmora::win32
