// The harness's own checks: what the other tests take on trust from their support code, proven under Wine. The
// scriptable server lets a new server take a fixed port at once, and the message-box inspection sees the buttons and
// the icon of boxes whose style is known. The rest of the harness is exercised by every test that uses it.
#include "http/HttpClient.h"
#include "core/ServerContract.h"
#include "support/LocalHttpServer.h"
#include "support/PanelDriver.h"
#include "support/CaseName.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace {

using tsm::test::PrintTo; // cases print as their names (support/CaseName.h)
using namespace tsm::test;

// ---- The scriptable server ----------------------------------------------------------------------------------------

// Panel tests stop the server and start another where the panel already knows to look.
TEST(LocalHttpServer, ANewServerTakesAFixedPortAtOnce) {
  std::int32_t port = 0;
  {
    LocalHttpServer first(AnswerAndClose(HttpAnswer("first")));
    port = first.Port();
    std::string response;
    ASSERT_TRUE(tsm::HttpGet("localhost", tsm::kStatusPath, port, response));
    EXPECT_EQ(response, HttpAnswer("first"));
  }
  std::string response;
  EXPECT_FALSE(tsm::HttpGet("localhost", tsm::kStatusPath, port, response));
  for (const char* body : {"second", "third"}) {
    LocalHttpServer next(AnswerAndClose(HttpAnswer(body)), static_cast<std::uint16_t>(port));
    EXPECT_EQ(next.Port(), port);
    ASSERT_TRUE(tsm::HttpGet("localhost", tsm::kStatusPath, port, response));
    EXPECT_EQ(response, HttpAnswer(body));
  }
}

// ---- The message-box inspection -----------------------------------------------------------------------------------

// On boxes of this process whose style is known: a blind inspection would let an icon or a second button through
// unnoticed. These boxes open on the shared screen, so their cases hold the panel lock (harness.cmake).

constexpr char kOwnBoxCaption[] = "tsm box inspection";

// A message box of this test's own process, open on a thread of its own until the object goes.
class OwnMessageBox {
public:
  explicit OwnMessageBox(UINT type)
      : thread_([this, type] {
          threadId_ = GetCurrentThreadId();
          MessageBoxA(nullptr, "inspected", kOwnBoxCaption, type);
          done_ = true;
        }) {}
  ~OwnMessageBox() {
    // The box's loop ends on WM_QUIT as on a button; keep asking until the thread is out of it.
    (void)WaitUntil([&] {
      if (threadId_ != 0) PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
      return done_.load();
    });
    thread_.join();
  }
  OwnMessageBox(const OwnMessageBox&) = delete;
  OwnMessageBox& operator=(const OwnMessageBox&) = delete;

  [[nodiscard]] HWND Wait() const {
    HWND box = nullptr;
    (void)WaitUntil([&] { return (box = FindWindowA("#32770", kOwnBoxCaption)) != nullptr && IsWindowVisible(box); });
    return box;
  }

private:
  std::atomic<DWORD> threadId_{0};
  std::atomic<bool> done_{false};
  std::thread thread_;
};

struct KnownBox {
  const char* name;
  UINT type;
  std::vector<int> buttonIds;
  bool icon;
};

class MessageBoxInspection : public ::testing::TestWithParam<KnownBox> {};

TEST_P(MessageBoxInspection, SeesTheButtonsAndTheIcon) {
  const OwnMessageBox own(GetParam().type);
  const HWND box = own.Wait();
  ASSERT_NE(box, nullptr);
  MessageBoxLook look = InspectMessageBox(box);
  std::sort(look.buttonIds.begin(), look.buttonIds.end());
  EXPECT_EQ(look.buttonIds, GetParam().buttonIds);
  EXPECT_EQ(look.icon, GetParam().icon);
}

INSTANTIATE_TEST_SUITE_P(OwnBoxes, MessageBoxInspection,
                         ::testing::Values(KnownBox{"Plain", MB_OK, {IDOK}, false},
                                           KnownBox{"ErrorIcon", MB_OK | MB_ICONERROR, {IDOK}, true},
                                           KnownBox{"InformationIcon", MB_OK | MB_ICONINFORMATION, {IDOK}, true},
                                           KnownBox{"OkCancel", MB_OKCANCEL, {IDOK, IDCANCEL}, false}),
                         tsm::test::CaseName());

} // namespace
