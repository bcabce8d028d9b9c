#include "windows_shim.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "dialogs.h"
#include <orvobf/name_rules.h>
#include <orvobf/platform.h>

struct ShimWindow {
    int layout = 0;  // 0 for a control
    int id = 0;
    std::string caption;
    std::string text;
    DLGPROC proc = nullptr;
    ShimWindow* parent = nullptr;
    std::vector<std::unique_ptr<ShimWindow>> controls;
    std::thread::id thread;
    bool ended = false;
    INT_PTR result = 0;
};

namespace {

std::mutex g_mutex;  // windows' texts and every queue
std::condition_variable g_posted;
std::map<std::thread::id, std::deque<MSG>> g_queues;
std::string (*g_statusSource)(void*) = nullptr;
void* g_statusUser = nullptr;
void (*g_dialogHook)(HWND, int, void*) = nullptr;
void* g_dialogUser = nullptr;
HWND g_statusWindow = nullptr;
bool g_statusDrawn = false;

struct Layout {
    int layout;
    const char* caption;
    std::vector<std::pair<int, const char*>> controls;
};
// The controls' ids and texts from the layouts the resource compiler reads.
#define SHIM_TEXT_PUSHBUTTON(text) text
#define SHIM_TEXT_DEFPUSHBUTTON(text) text
#define SHIM_TEXT_EDITTEXT(text) text
#define SHIM_TEXT_LTEXT(text) text
#define SHIM_TEXT_CTEXT(text) text
#define SHIM_TEXT_PICTURE(bitmap) ""
#define SHIM_CONTROL(kind, text, id, x, y, width, height, style) {id, SHIM_TEXT_##kind(text)},
const Layout kLayouts[] = {
    {IDD_MAIN, MAIN_CAPTION, {MAIN_CONTROLS(SHIM_CONTROL)}},
    {IDD_ABOUT, ABOUT_CAPTION, {ABOUT_CONTROLS(SHIM_CONTROL)}},
};

HWND Make(LPCSTR layoutName, HWND owner, DLGPROC proc) {
    const int layout = static_cast<int>(reinterpret_cast<uintptr_t>(layoutName));
    for (const Layout& l : kLayouts) {
        if (l.layout != layout) continue;
        auto* window = new ShimWindow;
        window->layout = layout;
        window->caption = l.caption;
        window->proc = proc;
        window->parent = owner;
        window->thread = std::this_thread::get_id();
        for (const auto& [id, text] : l.controls) {
            auto control = std::make_unique<ShimWindow>();
            control->id = id;
            control->text = text;
            control->parent = window;
            control->thread = window->thread;
            window->controls.push_back(std::move(control));
        }
        return window;
    }
    return nullptr;
}

std::string Text(HWND dialog, int id) {
    for (auto& c : dialog->controls)
        if (c->id == id) return c->text;
    return {};
}

// The main window as one line on a terminal; called with g_mutex held.
void DrawStatus() {
    if (!g_statusWindow || !isatty(fileno(stderr))) return;
    // The texts are the window's exact texts (names as the archive stores
    // them); the terminal gets them without control characters.
    std::string line = orvobf::PrintableName(Text(g_statusWindow, IDC_VERSION)) + " | " MAIN_PROGRESS_LABEL +
                       orvobf::PrintableName(Text(g_statusWindow, IDC_PROGRESS));
    if (g_statusSource) line += "  " + g_statusSource(g_statusUser);
    if (line.size() > 100) line.resize(100);
    std::fprintf(stderr, "\r%-100s", line.c_str());
    std::fflush(stderr);
    g_statusDrawn = true;
}

void Post(std::thread::id thread, const MSG& msg) {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_queues[thread].push_back(msg);
    }
    g_posted.notify_all();
}

}  // namespace

HWND CreateDialogParamA(HINSTANCE, LPCSTR layout, HWND owner, DLGPROC proc, LPARAM param) {
    HWND window = Make(layout, owner, proc);
    if (!window) return nullptr;
    if (window->layout == IDD_MAIN) {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_statusWindow = window;
    }
    if (proc) proc(window, WM_INITDIALOG, 0, param);
    if (g_dialogHook) g_dialogHook(window, window->layout, g_dialogUser);
    return window;
}

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR layout, HWND owner, DLGPROC proc, LPARAM param) {
    HWND dialog = Make(layout, owner, proc);
    if (!dialog) return -1;
    if (proc) proc(dialog, WM_INITDIALOG, 0, param);
    if (g_dialogHook) g_dialogHook(dialog, dialog->layout, g_dialogUser);
    // The modal loop serves every window of the thread until EndDialog.
    MSG msg;
    while (!dialog->ended) {
        if (!GetMessageA(&msg, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // for the outer loop
            break;
        }
        DispatchMessageA(&msg);
    }
    const INT_PTR result = dialog->result;
    delete dialog;
    return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    if (!dialog) return 0;
    dialog->ended = true;
    dialog->result = result;
    return 1;
}

BOOL DestroyWindow(HWND window) {
    if (!window) return 0;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_statusWindow == window) {
            g_statusWindow = nullptr;
            if (g_statusDrawn) std::fprintf(stderr, "\r%-100s\r", "");
            g_statusDrawn = false;
        }
        // Messages still queued for it must never reach a freed window.
        for (auto& [thread, queue] : g_queues)
            for (MSG& m : queue)
                if (m.hwnd == window) m.hwnd = nullptr;
    }
    delete window;
    return 1;
}

HWND GetDlgItem(HWND dialog, int id) {
    if (!dialog) return nullptr;
    for (auto& c : dialog->controls)
        if (c->id == id) return c.get();
    return nullptr;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
    if (!window) return 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    (window->layout ? window->caption : window->text) = text ? text : "";
    if (window->parent && window->parent == g_statusWindow) DrawStatus();
    return 1;
}

int GetWindowTextA(HWND window, LPSTR text, int size) {
    if (!window || size <= 0) return 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    const std::string& s = window->layout ? window->caption : window->text;
    const size_t n = std::min(s.size(), static_cast<size_t>(size - 1));
    std::memcpy(text, s.data(), n);
    text[n] = '\0';
    return static_cast<int>(n);
}

HWND SetFocus(HWND window) { return window; }

BOOL PeekMessageA(MSG* msg, HWND, UINT, UINT, UINT) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto& queue = g_queues[std::this_thread::get_id()];
    if (queue.empty()) return 0;
    *msg = queue.front();
    return 1;
}

BOOL GetMessageA(MSG* msg, HWND, UINT, UINT) {
    std::unique_lock<std::mutex> lock(g_mutex);
    auto& queue = g_queues[std::this_thread::get_id()];
    g_posted.wait(lock, [&] { return !queue.empty(); });
    *msg = queue.front();
    queue.pop_front();
    return msg->message == WM_QUIT ? 0 : 1;
}

BOOL TranslateMessage(const MSG*) { return 0; }

INT_PTR DispatchMessageA(const MSG* msg) {
    if (!msg->hwnd || !msg->hwnd->proc) return 0;
    return msg->hwnd->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!window) return 0;
    Post(window->thread, MSG{window, message, wParam, lParam});
    return 1;
}

void PostQuitMessage(int exitCode) {
    Post(std::this_thread::get_id(), MSG{nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0});
}

DWORD MsgWaitForMultipleObjects(DWORD, const void*, BOOL, DWORD milliseconds, DWORD) {
    std::unique_lock<std::mutex> lock(g_mutex);
    auto& queue = g_queues[std::this_thread::get_id()];
    g_posted.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return !queue.empty(); });
    return queue.empty() ? 258 /* timeout */ : 0;
}

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_statusDrawn) {
        std::fprintf(stderr, "\r%-100s\r", "");
        g_statusDrawn = false;
    }
    return orvobf::platform::ShowMessageBox(owner, text, caption, type);
}

uintptr_t _beginthread(void (*start)(void*), unsigned, void* argument) {
    try {
        std::thread(start, argument).detach();
        return 1;
    } catch (...) {
        return static_cast<uintptr_t>(-1);
    }
}

namespace orvobf::winshim {
void SetStatusSource(std::string (*source)(void*), void* user) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_statusSource = source;
    g_statusUser = user;
}
void SetDialogHook(void (*hook)(HWND, int, void*), void* user) {
    g_dialogHook = hook;
    g_dialogUser = user;
}
std::string Caption(HWND window) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return window ? window->caption : std::string();
}
}  // namespace orvobf::winshim
