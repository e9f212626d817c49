// The main window's layout in 96-DPI pixels: every control with its parent, place, texts, picture and font.
// The code creates the controls in this order, which is also the tab order.
#pragma once

#include "res/resource.h"

namespace tsm::layout {

inline constexpr int kClientWidth = 369;
inline constexpr int kClientHeight = 295;
inline constexpr int kPageInset = 4; // pages sit inside the page control's frame

enum class Kind { Panel, PageControl, Page, Label, WrappedLabel, Button, Image, StatusBar };
enum class Font { Default, Title, Explanation, Notice };

struct Bounds {
  int left, top, width, height;
};

struct Control {
  int id;
  int parent; // 0: the window itself
  Kind kind;
  Bounds bounds;
  const char* caption;
  const char* hint;
  int picture; // bitmap resource, 0 for none
  Font font;
  bool visible;
};

inline constexpr Control kMainForm[] = {
    {IDC_PANEL1, 0, Kind::Panel, {0, 0, 369, 41}, "    Torvale Service Manager", nullptr, 0, Font::Title, true},
    {IDC_PGMAIN, 0, Kind::PageControl, {0, 41, 369, 230}, nullptr, nullptr, 0, Font::Default, true},
    {IDC_TBUNREGISTERED, IDC_PGMAIN, Kind::Page, {kPageInset, kPageInset, 369 - 2 * kPageInset, 230 - 2 * kPageInset},
     nullptr, nullptr, 0, Font::Default, true},
    {IDC_TBREGISTERED, IDC_PGMAIN, Kind::Page, {kPageInset, kPageInset, 369 - 2 * kPageInset, 230 - 2 * kPageInset},
     nullptr, nullptr, 0, Font::Default, false},

    {IDC_LABEL1, IDC_TBUNREGISTERED, Kind::WrappedLabel, {10, 15, 171, 191}, "", nullptr, 0, Font::Explanation, true},
    {IDC_BTNREGISTER, IDC_TBUNREGISTERED, Kind::Button, {215, 15, 136, 61}, "Register Service",
     "Click here to register Torvale as a service", IDB_GLYPH_REGISTER, Font::Default, true},
    {IDC_BTNRUNFERRIX, IDC_TBUNREGISTERED, Kind::Button, {215, 90, 136, 61}, "Run Torvale",
     "Run Torvale as a regular application", IDB_GLYPH_START, Font::Default, true},
    {IDC_IMGSTOP, IDC_TBUNREGISTERED, Kind::Image, {10, 160, 26, 31}, nullptr, nullptr, IDB_GLYPH_STOP, Font::Default,
     false},
    {IDC_IMGSTART, IDC_TBUNREGISTERED, Kind::Image, {80, 160, 26, 31}, nullptr, nullptr, IDB_GLYPH_START,
     Font::Default, false},
    {IDC_LBLSTATUS, IDC_TBUNREGISTERED, Kind::Label, {197, 165, 154, 13}, "Request sent. Please wait...", nullptr, 0,
     Font::Notice, true},

    {IDC_BTNSTARTSERVICE, IDC_TBREGISTERED, Kind::Button, {215, 15, 136, 61}, "Start Service",
     "Start Torvale's service", IDB_GLYPH_START_SERVICE, Font::Default, true},
    {IDC_BTNSTOPSERVICE, IDC_TBREGISTERED, Kind::Button, {215, 90, 136, 61}, "Stop Service", "Stop Torvale's service",
     IDB_GLYPH_STOP_SERVICE, Font::Default, true},
    {IDC_IMGSTATUS, IDC_TBREGISTERED, Kind::Image, {20, 3, 141, 216}, nullptr, nullptr, 0, Font::Default, true},
    {IDC_IMGRUNNING, IDC_TBREGISTERED, Kind::Image, {167, 45, 26, 31}, nullptr, nullptr, IDB_RUNNING, Font::Default,
     false},
    {IDC_IMGSTOPPED, IDC_TBREGISTERED, Kind::Image, {167, 90, 26, 31}, nullptr, nullptr, IDB_STOPPED, Font::Default,
     false},
    {IDC_IMGCOMINGUP, IDC_TBREGISTERED, Kind::Image, {167, 127, 26, 31}, nullptr, nullptr, IDB_COMINGUP,
     Font::Default, false},
    {IDC_LBLSTATUS2, IDC_TBREGISTERED, Kind::Label, {197, 165, 154, 13}, "Request sent. Please wait...", nullptr, 0,
     Font::Notice, true},

    {IDC_STBMAIN, 0, Kind::StatusBar, {0, 271, 369, 24}, nullptr, nullptr, 0, Font::Default, true},
};

} // namespace tsm::layout
