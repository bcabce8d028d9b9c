/* The extractor's two dialog layouts, defined once for both builds: the
 * resource compiler reads them through extractor.rc, the window layer of
 * systems without Win32 (orvobf::winshim) builds its table from them. Positions
 * and sizes are in dialog units. Each control list calls
 * X(kind, text, id, x, y, width, height, style) once per control, in tab
 * order; the kinds are the resource statements PUSHBUTTON, DEFPUSHBUTTON,
 * EDITTEXT (its text is unused), LTEXT, CTEXT, and PICTURE (a static
 * bitmap control whose text is the bitmap's id). */
#ifndef ORVOBF_EXTRACTOR_DIALOGS_H
#define ORVOBF_EXTRACTOR_DIALOGS_H

#include "resource.h"

#define DIALOG_FONT_SIZE 8
#define DIALOG_FONT_NAME "MS Sans Serif"

/* IDD_MAIN: no system menu, so no close box. */
#define MAIN_CAPTION "Orvo BigFile Extractor"
#define MAIN_WIDTH 250
#define MAIN_HEIGHT 63
#define MAIN_STYLE DS_MODALFRAME | DS_3DLOOK | DS_CENTER | DS_SETFOREGROUND | WS_POPUP | WS_VISIBLE | WS_CAPTION
#define MAIN_PROGRESS_LABEL "Extracting File "
#define MAIN_EDIT_STYLE ES_CENTER | ES_AUTOHSCROLL | ES_READONLY | NOT WS_BORDER | WS_TABSTOP
#define MAIN_CONTROLS(X)                                               \
    X(PUSHBUTTON, "About", IDC_ABOUT, 99, 43, 50, 14, WS_TABSTOP)      \
    X(EDITTEXT, "", IDC_VERSION, 9, 7, 234, 14, MAIN_EDIT_STYLE)       \
    X(EDITTEXT, "", IDC_PROGRESS, 62, 24, 181, 14, MAIN_EDIT_STYLE)    \
    X(LTEXT, MAIN_PROGRESS_LABEL, -1, 7, 23, 47, 8, WS_GROUP)

/* IDD_ABOUT */
#define ABOUT_CAPTION "About Orvo BigFile Sample"
#define ABOUT_WIDTH 252
#define ABOUT_HEIGHT 105
#define ABOUT_STYLE DS_MODALFRAME | DS_CENTER | DS_SETFOREGROUND | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU
#define ABOUT_CONTROLS(X)                                                               \
    X(DEFPUSHBUTTON, "OK", IDOK, 127, 84, 50, 14, WS_TABSTOP)                           \
    X(PICTURE, IDB_PICTURE, -1, 14, 13, 45, 63, SS_BITMAP | SS_SUNKEN | WS_BORDER)      \
    X(CTEXT, "Orvo BigFile Extractor", -1, 58, 20, 187, 8, WS_GROUP)                    \
    X(CTEXT, "BigFile Version 2.0 Client", -1, 59, 34, 186, 8, WS_GROUP)                \
    X(CTEXT, "Archive library and extractor", -1, 59, 49, 186, 8, WS_GROUP)             \
    X(CTEXT, "written by the Orvo tools team", -1, 59, 63, 186, 8, WS_GROUP)

#endif
