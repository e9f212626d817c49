// The program's own numbers, in one place: the ids the resource script and the code share (controls numbered by
// kind, pictures by role), and the window's own messages and its timer, which the tests send as well.
#pragma once

#define IDI_APP 1

// Pictures: the three traffic lights and the five 24 x 24 glyphs.
#define IDB_RUNNING 101
#define IDB_STOPPED 102
#define IDB_PENDING 103
#define IDB_GLYPH_REGISTER 111
#define IDB_GLYPH_START 112
#define IDB_GLYPH_STOP 113
#define IDB_GLYPH_START_SERVICE 114
#define IDB_GLYPH_STOP_SERVICE 115
// Each picture is also drawn for 125, 150 and 200 % display scales, under its id plus one, two or three steps.
#define IDB_SCALE_STEP 1000

// Controls of the main window.
#define IDC_PNLHEADER 1001
#define IDC_PGMAIN 1002
#define IDC_TBUNREGISTERED 1003
#define IDC_TBREGISTERED 1004
#define IDC_LBLNOTREGISTERED 1101
#define IDC_LBLREQUESTSENTUNREGISTERED 1102
#define IDC_LBLREQUESTSENTREGISTERED 1103
#define IDC_BTNREGISTER 1201
#define IDC_BTNSERVERSTARTSTOP 1202
#define IDC_BTNSTARTSERVICE 1203
#define IDC_BTNSTOPSERVICE 1204
#define IDC_IMGSTATUS 1301
#define IDC_STBMAIN 1401

// The window's own messages.
// A probe's result, sent synchronously from the probe's worker: lParam points to a TProbeResult the worker keeps alive
// (panel/ProbeLink.h).
#define WM_STATUS_UPDATE (WM_USER + 100)
// Posted by the service watch whenever the service changes: the window looks at the service again.
#define WM_SERVICE_CHANGED (WM_USER + 101)

// The window's 10-second refresh.
#define IDT_TMRMAIN 1
