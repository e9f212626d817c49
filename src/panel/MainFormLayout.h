// The main window's layout in 96-DPI pixels: every control with its parent, place, texts, picture and font.
// The code creates the controls in this order, which is also the tab order.
#pragma once

#include "res/resource.h"

namespace tsm {

inline constexpr int kClientWidth = 369;
inline constexpr int kClientHeight = 295;
inline constexpr int kPageInset = 4; // pages sit inside the page control's frame

enum class ControlKind { Panel, PageControl, Page, Label, WrappedLabel, Button, Image, StatusBar };
enum class ControlFont { Default, Title, Explanation, Notice };

struct ControlBounds {
  int left, top, width, height;
};

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
};

inline constexpr LayoutRow kMainFormLayout[] = {
    {IDC_PANEL1,
     0,
     ControlKind::Panel,
     {0, 0, 369, 41},
     "    Torvale Service Manager",
     nullptr,
     0,
     ControlFont::Title,
     true},
    {IDC_PGMAIN, 0, ControlKind::PageControl, {0, 41, 369, 230}, nullptr, nullptr, 0, ControlFont::Default, true},
    {IDC_TBUNREGISTERED,
     IDC_PGMAIN,
     ControlKind::Page,
     {kPageInset, kPageInset, 369 - 2 * kPageInset, 230 - 2 * kPageInset},
     nullptr,
     nullptr,
     0,
     ControlFont::Default,
     true},
    {IDC_TBREGISTERED,
     IDC_PGMAIN,
     ControlKind::Page,
     {kPageInset, kPageInset, 369 - 2 * kPageInset, 230 - 2 * kPageInset},
     nullptr,
     nullptr,
     0,
     ControlFont::Default,
     false},

    {IDC_LABEL1,
     IDC_TBUNREGISTERED,
     ControlKind::WrappedLabel,
     {10, 15, 171, 191},
     "",
     nullptr,
     0,
     ControlFont::Explanation,
     true},
    {IDC_BTNREGISTER,
     IDC_TBUNREGISTERED,
     ControlKind::Button,
     {215, 15, 136, 61},
     "Register Service",
     "Click here to register Torvale as a service",
     IDB_GLYPH_REGISTER,
     ControlFont::Default,
     true},
    {IDC_BTNRUNFERRIX,
     IDC_TBUNREGISTERED,
     ControlKind::Button,
     {215, 90, 136, 61},
     "Run Torvale",
     "Run Torvale as a regular application",
     IDB_GLYPH_START,
     ControlFont::Default,
     true},
    {IDC_LBLSTATUS,
     IDC_TBUNREGISTERED,
     ControlKind::Label,
     {197, 165, 154, 13},
     "Request sent. Please wait...",
     nullptr,
     0,
     ControlFont::Notice,
     true},

    {IDC_BTNSTARTSERVICE,
     IDC_TBREGISTERED,
     ControlKind::Button,
     {215, 15, 136, 61},
     "Start Service",
     "Start Torvale's service",
     IDB_GLYPH_START_SERVICE,
     ControlFont::Default,
     true},
    {IDC_BTNSTOPSERVICE,
     IDC_TBREGISTERED,
     ControlKind::Button,
     {215, 90, 136, 61},
     "Stop Service",
     "Stop Torvale's service",
     IDB_GLYPH_STOP_SERVICE,
     ControlFont::Default,
     true},
    {IDC_IMGSTATUS,
     IDC_TBREGISTERED,
     ControlKind::Image,
     {20, 3, 141, 216},
     nullptr,
     nullptr,
     0,
     ControlFont::Default,
     true},
    {IDC_LBLSTATUS2,
     IDC_TBREGISTERED,
     ControlKind::Label,
     {197, 165, 154, 13},
     "Request sent. Please wait...",
     nullptr,
     0,
     ControlFont::Notice,
     true},

    {IDC_STBMAIN, 0, ControlKind::StatusBar, {0, 271, 369, 24}, nullptr, nullptr, 0, ControlFont::Default, true},
};

} // namespace tsm
