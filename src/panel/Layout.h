// The units the window's layout is written in: 96-DPI pixels, the kinds of control and the fonts.
#pragma once

namespace tsm {

inline constexpr int kClientWidth = 369;
inline constexpr int kClientHeight = 295;
inline constexpr int kPageInset = 4; // pages sit inside the page frame

enum class ControlKind { Panel, PageFrame, Page, Label, WrappedLabel, Button, Image, StatusBar };
enum class ControlFont { Default, Title, Explanation, Notice };

struct ControlBounds {
  int left, top, width, height;
};

} // namespace tsm
