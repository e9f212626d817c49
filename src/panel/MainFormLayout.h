// The main window's layout in 96-DPI pixels: every control with its member, parent, place, texts, picture, font and,
// for a button, what a click does. The window creates the controls in this order, which is also the tab order, and
// finds each control, its picture and its handler here. A new button takes a row here, its member and handler in
// MainForm.h (and the handler's body), its control id and picture id in res/resource.h, and its picture: a line in
// res/pictures/pictures.txt and a drawing in make-pictures.py.
#pragma once

#include "panel/Layout.h"
#include "panel/MainForm.h"
#include "res/resource.h"

namespace tsm {

// The row's control in a window: a plain function, so that rows of every kind of control fit one table.
template <auto Member> TControl* ControlOf(TfrmMain& form) { return &(form.*Member); }

// One control. A row names what it sets; what most rows leave out is on the right: a child of the window itself, no
// texts, no picture, the default font, visible, no handler.
struct LayoutRow {
  int id;
  int parent = 0; // 0: the window itself
  ControlKind kind;
  ControlBounds bounds;
  const char* caption = nullptr;
  const char* hint = nullptr;
  int picture = 0; // bitmap resource, 0 for none
  ControlFont font = ControlFont::Default;
  bool visible = true;
  TControl* (*control)(TfrmMain&) = nullptr;
  void (TfrmMain::*click)() = nullptr; // a button's handler; null for the rest
};

// The table is the window's friend: its rows name the window's private controls and handlers.
struct MainFormLayout {
  static constexpr LayoutRow Rows[] = {
      {.id = IDC_PNLHEADER,
       .kind = ControlKind::Panel,
       .bounds = {0, 0, 369, 41},
       .caption = "    Torvale Service Manager",
       .font = ControlFont::Title,
       .control = ControlOf<&TfrmMain::pnlHeader>},
      {.id = IDC_PGMAIN,
       .kind = ControlKind::PageFrame,
       .bounds = {0, 41, 369, 230},
       .control = ControlOf<&TfrmMain::pgMain>},
      {.id = IDC_TBUNREGISTERED,
       .parent = IDC_PGMAIN,
       .kind = ControlKind::Page,
       .bounds = {kPageInset, kPageInset, 369 - 2 * kPageInset, 230 - 2 * kPageInset},
       .control = ControlOf<&TfrmMain::tbUnregistered>},
      {.id = IDC_TBREGISTERED,
       .parent = IDC_PGMAIN,
       .kind = ControlKind::Page,
       .bounds = {kPageInset, kPageInset, 369 - 2 * kPageInset, 230 - 2 * kPageInset},
       .visible = false,
       .control = ControlOf<&TfrmMain::tbRegistered>},

      {.id = IDC_LBLNOTREGISTERED,
       .parent = IDC_TBUNREGISTERED,
       .kind = ControlKind::WrappedLabel,
       .bounds = {10, 15, 171, 191},
       .caption = "",
       .font = ControlFont::Explanation,
       .control = ControlOf<&TfrmMain::lblNotRegistered>},
      {.id = IDC_BTNREGISTER,
       .parent = IDC_TBUNREGISTERED,
       .kind = ControlKind::Button,
       .bounds = {215, 15, 136, 61},
       .caption = "Register Service",
       .hint = "Click here to register Torvale as a service",
       .picture = IDB_GLYPH_REGISTER,
       .control = ControlOf<&TfrmMain::btnRegister>,
       .click = &TfrmMain::btnRegisterClick},
      {.id = IDC_BTNSERVERSTARTSTOP,
       .parent = IDC_TBUNREGISTERED,
       .kind = ControlKind::Button,
       .bounds = {215, 90, 136, 61},
       .caption = "Run Torvale",
       .hint = "Run Torvale as a regular application",
       .picture = IDB_GLYPH_START,
       .control = ControlOf<&TfrmMain::btnServerStartStop>,
       .click = &TfrmMain::btnServerStartStopClick},
      {.id = IDC_LBLREQUESTSENTUNREGISTERED,
       .parent = IDC_TBUNREGISTERED,
       .kind = ControlKind::Label,
       .bounds = {197, 165, 154, 13},
       .caption = "Request sent. Please wait...",
       .font = ControlFont::Notice,
       .control = ControlOf<&TfrmMain::lblRequestSentUnregistered>},

      {.id = IDC_BTNSTARTSERVICE,
       .parent = IDC_TBREGISTERED,
       .kind = ControlKind::Button,
       .bounds = {215, 15, 136, 61},
       .caption = "Start Service",
       .hint = "Start Torvale's service",
       .picture = IDB_GLYPH_START_SERVICE,
       .control = ControlOf<&TfrmMain::btnStartService>,
       .click = &TfrmMain::btnStartServiceClick},
      {.id = IDC_BTNSTOPSERVICE,
       .parent = IDC_TBREGISTERED,
       .kind = ControlKind::Button,
       .bounds = {215, 90, 136, 61},
       .caption = "Stop Service",
       .hint = "Stop Torvale's service",
       .picture = IDB_GLYPH_STOP_SERVICE,
       .control = ControlOf<&TfrmMain::btnStopService>,
       .click = &TfrmMain::btnStopServiceClick},
      {.id = IDC_IMGSTATUS,
       .parent = IDC_TBREGISTERED,
       .kind = ControlKind::Image,
       .bounds = {20, 3, 141, 216},
       .control = ControlOf<&TfrmMain::imgStatus>},
      {.id = IDC_LBLREQUESTSENTREGISTERED,
       .parent = IDC_TBREGISTERED,
       .kind = ControlKind::Label,
       .bounds = {197, 165, 154, 13},
       .caption = "Request sent. Please wait...",
       .font = ControlFont::Notice,
       .control = ControlOf<&TfrmMain::lblRequestSentRegistered>},

      {.id = IDC_STBMAIN,
       .kind = ControlKind::StatusBar,
       .bounds = {0, 271, 369, 24},
       .control = ControlOf<&TfrmMain::stbMain>},
  };
};

inline constexpr const auto& kMainFormLayout = MainFormLayout::Rows;

// Each control answers to its own id, and every button does something.
constexpr bool IdsAreUnique() {
  for (const LayoutRow& a : kMainFormLayout) {
    int same = 0;
    for (const LayoutRow& b : kMainFormLayout) same += a.id == b.id;
    if (same != 1) return false;
  }
  return true;
}
constexpr bool EveryRowHasItsControl() {
  for (const LayoutRow& row : kMainFormLayout)
    if (!row.control) return false;
  return true;
}
constexpr bool EveryButtonHasAHandler() {
  for (const LayoutRow& row : kMainFormLayout)
    if ((row.kind == ControlKind::Button) != (row.click != nullptr)) return false;
  return true;
}
static_assert(IdsAreUnique(), "two controls of the layout share an id");
static_assert(EveryRowHasItsControl(), "a row of the layout names no control");
static_assert(EveryButtonHasAHandler(), "a button of the layout has no handler, or another control has one");

// The row of the control with this id, or null.
constexpr const LayoutRow* LayoutRowOf(int id) {
  for (const LayoutRow& row : kMainFormLayout)
    if (row.id == id) return &row;
  return nullptr;
}

} // namespace tsm
