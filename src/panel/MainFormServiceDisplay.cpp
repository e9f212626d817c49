// The service display: which page is on show, the traffic light, and which service buttons are enabled, refreshed
// from the service control manager at start and on every tick. Runs on the window's (user-interface) thread.
#include "panel/MainForm.h"

#include "core/ServerContract.h"
#include "core/ServiceDisplay.h"
#include "service/ServiceInfo.h"
#include "service/ServiceWatch.h"

namespace tsm {

void TfrmMain::RefreshServiceStatus() {
  // No handle of the watch's may keep a service deleted from outside alive while the window asks.
  if (serviceWatch_) serviceWatch_->LetGo();
  TServiceInfo service;
  const auto display = DisplayForState(service.GetState(kServiceName));
  // The watch lets go of a service that has gone, and opens one that has come back.
  if (serviceWatch_) serviceWatch_->ServiceSeen(display.has_value());
  if (!display) {
    // Forget the picture too, so that a service registered again shows its page at once, whatever its state.
    ShowPage(tbUnregistered);
    light_ = StatusPicture::None;
    KeepFocusOnATabStop();
    return;
  }
  if (light_ == display->picture) return;

  light_ = display->picture;
  ShowPage(tbRegistered);
  imgStatus.SetPicture(LightFor(light_)->Bitmap.Get());
  // A screen reader reads the picture's window text as its name: the state in words.
  imgStatus.SetCaption(StatusPictureWords(display->picture));
  btnStartService.SetEnabled(display->startEnabled);
  btnStopService.SetEnabled(display->stopEnabled);
  KeepFocusOnATabStop();
}

void TfrmMain::ShowPage(const TPage& page) {
  const TPage& other = &page == &tbRegistered ? tbUnregistered : tbRegistered;
  page.SetVisible(true);
  other.SetVisible(false);
}

const TPicture* TfrmMain::LightFor(StatusPicture picture) const {
  switch (picture) {
  case StatusPicture::Stopped:
    return &imgStopped;
  case StatusPicture::Running:
    return &imgRunning;
  case StatusPicture::Pending:
    return &imgPending;
  case StatusPicture::None:
    break;
  }
  return nullptr;
}

const TPicture& TfrmMain::GlyphFor(RunMode mode) const { return mode == RunMode::StopServer ? imgStop : imgStart; }

} // namespace tsm
