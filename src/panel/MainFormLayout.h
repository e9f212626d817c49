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

struct LayoutRow {
  int id;
  int parent; // 0: the window itself
  ControlKind kind;
  ControlBounds bounds;
  const char* caption;
  const char* hint;
  int picture; // bitmap resource, 0 for none
  ControlFont font;
  bool visible;
  TControl* (*control)(TfrmMain&);
  void (TfrmMain::*click)(); // a button's handler; null for the rest
};

inline constexpr LayoutRow kMainFormLayout[] = {
    {IDC_PNLHEADER,
     0,
     ControlKind::Panel,
     {0, 0, 369, 41},
     "    Torvale Service Manager",
     nullptr,
     0,
     ControlFont::Title,
     true,
     ControlOf<&TfrmMain::pnlHeader>,
     nullptr},
    {IDC_PGMAIN,
     0,
     ControlKind::PageFrame,
     {0, 41, 369, 230},
     nullptr,
     nullptr,
     0,
     ControlFont::Default,
     true,
     ControlOf<&TfrmMain::pgMain>,
     nullptr},
    {IDC_TBUNREGISTERED,
     IDC_PGMAIN,
     ControlKind::Page,
     {kPageInset, kPageInset, 369 - 2 * kPageInset, 230 - 2 * kPageInset},
     nullptr,
     nullptr,
     0,
     ControlFont::Default,
     true,
     ControlOf<&TfrmMain::tbUnregistered>,
     nullptr},
    {IDC_TBREGISTERED,
     IDC_PGMAIN,
     ControlKind::Page,
     {kPageInset, kPageInset, 369 - 2 * kPageInset, 230 - 2 * kPageInset},
     nullptr,
     nullptr,
     0,
     ControlFont::Default,
     false,
     ControlOf<&TfrmMain::tbRegistered>,
     nullptr},

    {IDC_LBLNOTREGISTERED,
     IDC_TBUNREGISTERED,
     ControlKind::WrappedLabel,
     {10, 15, 171, 191},
     "",
     nullptr,
     0,
     ControlFont::Explanation,
     true,
     ControlOf<&TfrmMain::lblNotRegistered>,
     nullptr},
    {IDC_BTNREGISTER,
     IDC_TBUNREGISTERED,
     ControlKind::Button,
     {215, 15, 136, 61},
     "Register Service",
     "Click here to register Torvale as a service",
     IDB_GLYPH_REGISTER,
     ControlFont::Default,
     true,
     ControlOf<&TfrmMain::btnRegister>,
     &TfrmMain::btnRegisterClick},
    {IDC_BTNSERVERSTARTSTOP,
     IDC_TBUNREGISTERED,
     ControlKind::Button,
     {215, 90, 136, 61},
     "Run Torvale",
     "Run Torvale as a regular application",
     IDB_GLYPH_START,
     ControlFont::Default,
     true,
     ControlOf<&TfrmMain::btnServerStartStop>,
     &TfrmMain::btnServerStartStopClick},
    {IDC_LBLREQUESTSENTUNREGISTERED,
     IDC_TBUNREGISTERED,
     ControlKind::Label,
     {197, 165, 154, 13},
     "Request sent. Please wait...",
     nullptr,
     0,
     ControlFont::Notice,
     true,
     ControlOf<&TfrmMain::lblRequestSentUnregistered>,
     nullptr},

    {IDC_BTNSTARTSERVICE,
     IDC_TBREGISTERED,
     ControlKind::Button,
     {215, 15, 136, 61},
     "Start Service",
     "Start Torvale's service",
     IDB_GLYPH_START_SERVICE,
     ControlFont::Default,
     true,
     ControlOf<&TfrmMain::btnStartService>,
     &TfrmMain::btnStartServiceClick},
    {IDC_BTNSTOPSERVICE,
     IDC_TBREGISTERED,
     ControlKind::Button,
     {215, 90, 136, 61},
     "Stop Service",
     "Stop Torvale's service",
     IDB_GLYPH_STOP_SERVICE,
     ControlFont::Default,
     true,
     ControlOf<&TfrmMain::btnStopService>,
     &TfrmMain::btnStopServiceClick},
    {IDC_IMGSTATUS,
     IDC_TBREGISTERED,
     ControlKind::Image,
     {20, 3, 141, 216},
     nullptr,
     nullptr,
     0,
     ControlFont::Default,
     true,
     ControlOf<&TfrmMain::imgStatus>,
     nullptr},
    {IDC_LBLREQUESTSENTREGISTERED,
     IDC_TBREGISTERED,
     ControlKind::Label,
     {197, 165, 154, 13},
     "Request sent. Please wait...",
     nullptr,
     0,
     ControlFont::Notice,
     true,
     ControlOf<&TfrmMain::lblRequestSentRegistered>,
     nullptr},

    {IDC_STBMAIN,
     0,
     ControlKind::StatusBar,
     {0, 271, 369, 24},
     nullptr,
     nullptr,
     0,
     ControlFont::Default,
     true,
     ControlOf<&TfrmMain::stbMain>,
     nullptr},
};

// Each control answers to its own id, and every button does something.
constexpr bool IdsAreUnique() {
  for (const LayoutRow& a : kMainFormLayout) {
    int same = 0;
    for (const LayoutRow& b : kMainFormLayout) same += a.id == b.id;
    if (same != 1) return false;
  }
  return true;
}
constexpr bool EveryButtonHasAHandler() {
  for (const LayoutRow& row : kMainFormLayout)
    if ((row.kind == ControlKind::Button) != (row.click != nullptr)) return false;
  return true;
}
static_assert(IdsAreUnique(), "two controls of the layout share an id");
static_assert(EveryButtonHasAHandler(), "a button of the layout has no handler, or another control has one");

// The row of the control with this id, or null.
constexpr const LayoutRow* LayoutRowOf(int id) {
  for (const LayoutRow& row : kMainFormLayout)
    if (row.id == id) return &row;
  return nullptr;
}

} // namespace tsm
