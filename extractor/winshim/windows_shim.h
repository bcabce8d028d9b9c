// The few Win32 window, message, thread and registry operations the
// extractor uses, for systems without Win32. Dialogs are objects with
// controls and texts; each thread has its own message queue; message boxes
// go through the platform layer (standard error, or a test's hook); the
// registry is a REGEDIT4 text file: $ORVOBF_REGISTRY, else
// $HOME/.config/orvobf/registry.reg. When standard error is a terminal the
// main window is drawn there as one status line.
#ifndef ORVOBF_WINDOWS_SHIM_H
#define ORVOBF_WINDOWS_SHIM_H

#include <cstdint>
#include <string>

struct ShimWindow;
struct ShimKey;
using HWND = ShimWindow*;
using HINSTANCE = void*;
using HKEY = ShimKey*;
using UINT = unsigned;
using DWORD = uint32_t;
using LONG = int32_t;
using BOOL = int;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using INT_PTR = intptr_t;
using LPCSTR = const char*;
using LPSTR = char*;
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

#define WINAPI
#define CALLBACK
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(i)))
#define LOWORD(w) (static_cast<unsigned>(w) & 0xFFFFu)
#define HIWORD(w) ((static_cast<unsigned>(w) >> 16) & 0xFFFFu)

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;
constexpr int IDOK = 1;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_INITDIALOG = 272;
constexpr UINT WM_COMMAND = 273;
constexpr UINT PM_NOREMOVE = 0;
constexpr UINT MB_OK = 0;
constexpr DWORD QS_ALLINPUT = 0x04FF;
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_MORE_DATA = 234;
extern const HKEY HKEY_LOCAL_MACHINE;

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// The layouts of the extractor's dialogs.h (IDD_MAIN, IDD_ABOUT) with
// their controls' ids and texts.
HWND CreateDialogParamA(HINSTANCE instance, LPCSTR layout, HWND owner, DLGPROC proc, LPARAM param);
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR layout, HWND owner, DLGPROC proc, LPARAM param);
BOOL EndDialog(HWND dialog, INT_PTR result);
BOOL DestroyWindow(HWND window);
HWND GetDlgItem(HWND dialog, int id);
BOOL SetWindowTextA(HWND window, LPCSTR text);  // any thread
int GetWindowTextA(HWND window, LPSTR text, int size);
HWND SetFocus(HWND window);

BOOL PeekMessageA(MSG* msg, HWND window, UINT first, UINT last, UINT remove);
BOOL GetMessageA(MSG* msg, HWND window, UINT first, UINT last);
BOOL TranslateMessage(const MSG* msg);
INT_PTR DispatchMessageA(const MSG* msg);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
// Waits up to `milliseconds` for a message to arrive for this thread.
DWORD MsgWaitForMultipleObjects(DWORD count, const void* handles, BOOL all, DWORD milliseconds, DWORD mask);
void Sleep(DWORD milliseconds);

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
uintptr_t _beginthread(void (*start)(void*), unsigned stackSize, void* argument);

LONG RegOpenKeyA(HKEY parent, LPCSTR subKey, HKEY* result);
LONG RegQueryValueExA(HKEY key, LPCSTR name, DWORD* reserved, DWORD* type, unsigned char* data, DWORD* size);
LONG RegCloseKey(HKEY key);

namespace orvobf::winshim {
// Extra text drawn after the main window's texts on the status line.
void SetStatusSource(std::string (*source)(void* user), void* user);
// Called on the dialog's thread whenever a dialog has been created.
void SetDialogHook(void (*hook)(HWND dialog, int layout, void* user), void* user);
// Caption of a window.
std::string Caption(HWND window);
}  // namespace orvobf::winshim

#endif
