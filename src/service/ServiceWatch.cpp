// The watch's thread. Notifications of the service manager arrive as asynchronous procedure calls on the thread that
// asked for them, and only while it waits alertably, so the thread spends its life in one alertable wait, which its
// stop event also ends.
#include "service/ServiceWatch.h"

#include <array>
#include <atomic>
#include <memory>
#include <utility>

#include "win32/ServiceHandle.h"
#include "win32/Thread.h"
#include "win32/WideText.h"

namespace tsm {

struct TServiceWatch::Shared {
  std::wstring Name;
  HWND Window;
  UINT Message;
  UniqueHandle Stop{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  UniqueHandle Poke{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  // The window is about to look: the thread closes the service's handle and says so.
  UniqueHandle LetGo{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  UniqueHandle LetGone{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  std::atomic<bool> Registered{true};
  // Whether the thread may hold the service's handle, and so a notification the manager keeps for it: Wine's
  // manager, for one, keeps a pending notification of a process that ended without closing the handle, and the
  // service can then never be removed. Set before the handle is asked for, cleared once it is closed.
  std::atomic<bool> MayHoldService{false};
};

namespace {

// Long enough for a call to the manager in flight on the thread to return, when the thread holds the service; the
// window does not wait beyond it, and does not wait at all for a thread that holds none.
constexpr DWORD kStopWaitMs = 5000;
// How long the window waits for the thread to close the service's handle before its look. The thread is almost always
// in its wait, and answers at once; one inside a call to the manager answers when the call returns.
constexpr DWORD kLetGoWaitMs = 1000;

// ERROR_SERVICE_NOTIFY_CLIENT_LAGGING, which this mingw-w64's winerror.h lacks.
constexpr DWORD kClientLagging = 1294;

constexpr DWORD kEveryState = SERVICE_NOTIFY_STOPPED | SERVICE_NOTIFY_START_PENDING | SERVICE_NOTIFY_STOP_PENDING |
                              SERVICE_NOTIFY_RUNNING | SERVICE_NOTIFY_CONTINUE_PENDING | SERVICE_NOTIFY_PAUSE_PENDING |
                              SERVICE_NOTIFY_PAUSED | SERVICE_NOTIFY_DELETE_PENDING;

// The notification bit of a state (SERVICE_STOPPED 1 is SERVICE_NOTIFY_STOPPED 1, RUNNING 4 is 8, ...); 0 for none.
[[nodiscard]] DWORD StateBit(DWORD state) { return state >= 1 && state <= 7 ? DWORD{1} << (state - 1) : 0; }

// Lives on the thread's stack for the thread's whole life: the notification buffers must stay where they are while
// a notification is pending, and closing the handles (which cancels what is pending) is the last thing it does.
class Watcher {
public:
  explicit Watcher(TServiceWatch::Shared& shared) : shared_(shared) {}
  Watcher(const Watcher&) = delete;
  Watcher& operator=(const Watcher&) = delete;
  ~Watcher() {
    CloseService();
    manager_.Reset();
  }

  void Run() {
    OpenService();
    const HANDLE events[] = {shared_.Stop.Get(), shared_.Poke.Get(), shared_.LetGo.Get()};
    for (;;) {
      // The manager's own functions may wait alertably, and a callback that ran inside one of them has set the
      // flag with no wait of ours returning WAIT_IO_COMPLETION: the flag is looked at before every wait.
      HandleNotifications();
      const DWORD woken = ::WaitForMultipleObjectsEx(3, events, FALSE, INFINITE, TRUE);
      if (woken == WAIT_OBJECT_0 + 1) {
        FollowTheWindow();
      } else if (woken == WAIT_OBJECT_0 + 2) {
        CloseService();
        ::SetEvent(shared_.LetGone.Get());
      } else if (woken != WAIT_IO_COMPLETION) {
        return; // stop, or a wait that failed
      }
    }
  }

private:
  static void CALLBACK ServiceChanged(void* parameter) {
    auto* notify = static_cast<SERVICE_NOTIFYW*>(parameter);
    auto* self = static_cast<Watcher*>(notify->pContext);
    // One for a handle closed since is stale: the handle open now has a request of its own.
    if (notify == &self->changes_[self->current_]) self->serviceChanged_ = true;
  }
  void CloseService() {
    service_.Reset();
    shared_.MayHoldService = false;
  }

  void Post() const { ::PostMessageW(shared_.Window, shared_.Message, 0, 0); }

  // Without a connection to the manager (none yet, or one it gave up on) the window's poll finds what there is to
  // find, and its next look brings the watch here again.
  void OpenService() {
    if (!manager_) {
      manager_.Reset(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE));
      if (!manager_) return;
    }
    shared_.MayHoldService = true;
    // Looked at only now that the flag is up: a destructor that stopped the thread before this read the flag as
    // false and did not wait, so the handle must not be taken; one that stops it after this sees the flag and waits.
    if (::WaitForSingleObject(shared_.Stop.Get(), 0) != WAIT_TIMEOUT) {
      shared_.MayHoldService = false;
      return;
    }
    service_.Reset(::OpenServiceW(manager_.Get(), shared_.Name.c_str(), SERVICE_QUERY_STATUS));
    if (service_)
      WatchState();
    else
      shared_.MayHoldService = false;
  }

  // Asks for the next change: every state but the one last reported (none at first), since a state the service is
  // already in is reported at once. Each request has a buffer of its own: a handle closed with a request pending may
  // still see its callback queued, and that must not read, or be read as, the request of the handle open now.
  void WatchState() {
    current_ = (current_ + 1) % changes_.size();
    SERVICE_NOTIFYW& change = changes_[current_];
    change = SERVICE_NOTIFYW{};
    change.dwVersion = SERVICE_NOTIFY_STATUS_CHANGE;
    change.pfnNotifyCallback = ServiceChanged;
    change.pContext = this;
    const DWORD result = ::NotifyServiceStatusChangeW(service_.Get(), kEveryState & ~StateBit(lastState_), &change);
    if (result != ERROR_SUCCESS) LetGo(result);
  }

  // Marked for deletion, or the manager fell behind with its notifications: the service's handle goes (and the
  // manager's too when it fell behind, as the manager asks). The window's next look decides whether to open again.
  void LetGo(DWORD why) {
    CloseService();
    if (why == kClientLagging) manager_.Reset();
  }

  void HandleNotifications() {
    if (std::exchange(serviceChanged_, false)) {
      Post();
      const SERVICE_NOTIFYW& change = changes_[current_];
      if (change.dwNotificationStatus != ERROR_SUCCESS) {
        LetGo(change.dwNotificationStatus);
      } else if (change.dwNotificationTriggered & SERVICE_NOTIFY_DELETE_PENDING) {
        LetGo(ERROR_SERVICE_MARKED_FOR_DELETE);
      } else {
        lastState_ = change.ServiceStatus.dwCurrentState;
        WatchState();
      }
    }
  }

  // The window has looked at the service, with the handle closed before it looked (LetGo), so that it is never the one
  // that keeps a service marked for deletion in the manager's books (Wine reports no DELETE_PENDING, and shows such a
  // service as it was while any handle holds it): the handle is taken afresh, and a service registered again is
  // watched again. The state last reported stays out
  // of the new request, so that only a change made meanwhile is reported.
  void FollowTheWindow() {
    CloseService();
    if (shared_.Registered) OpenService();
  }

  TServiceWatch::Shared& shared_;
  ServiceHandle manager_;
  ServiceHandle service_;
  std::array<SERVICE_NOTIFYW, 4> changes_{}; // the requests on the service's handles, the last four of them
  std::size_t current_ = 0;                  // the one of the handle open now
  DWORD lastState_ = 0;                      // as last reported; 0 until then
  bool serviceChanged_ = false;              // set by the callbacks, which run on this thread inside its wait
};

} // namespace

TServiceWatch::TServiceWatch(std::string name, HWND window, UINT message) {
  try {
    shared_ = std::make_shared<Shared>();
    shared_->Name = WideFromAnsi(name);
    shared_->Window = window;
    shared_->Message = message;
    if (!shared_->Stop || !shared_->Poke || !shared_->LetGo || !shared_->LetGone) return;
    thread_ = StartThread([shared = shared_] {
      try {
        Watcher watcher(*shared);
        watcher.Run();
      } catch (...) {
      }
    });
  } catch (...) {
  }
}

TServiceWatch::~TServiceWatch() {
  if (!thread_) return;
  ::SetEvent(shared_->Stop.Get());
  if (shared_->MayHoldService) ::WaitForSingleObject(thread_.Get(), kStopWaitMs);
}

void TServiceWatch::LetGo() {
  if (!thread_ || !shared_->LetGo || !shared_->LetGone) return;
  ::SetEvent(shared_->LetGo.Get());
  // A thread that has ended answers nothing, and is not waited for.
  const HANDLE answers[] = {shared_->LetGone.Get(), thread_.Get()};
  (void)::WaitForMultipleObjects(2, answers, FALSE, kLetGoWaitMs);
}

void TServiceWatch::ServiceSeen(bool registered) {
  if (!thread_) return;
  shared_->Registered = registered;
  ::SetEvent(shared_->Poke.Get());
}

} // namespace tsm
