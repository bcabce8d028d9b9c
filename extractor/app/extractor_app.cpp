#include "extractor_app.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "extract_engine.h"
#include <orvobf/platform.h>
#include "resource.h"

#ifdef _WIN32
#include <process.h>
#endif

ExtractorApp g_app;  // destroyed at exit, after WinMain has returned
char* g_outputPath = nullptr;
char* g_archiveName = nullptr;

namespace {
constexpr DWORD kValueSize = 260;
constexpr size_t kOutputPathSize = 1024;

// The worker's reports: message boxes owned by the main window, and the
// progress line.
class BoxReporter : public orvobf::engine::Reporter {
public:
    void FileStarting(const std::string& path) override {
        const size_t slash = path.find_last_of('/');
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        SetWindowTextA(GetDlgItem(g_app.mainWindow.load(), IDC_PROGRESS), name.c_str());
    }
    void ChunkWritten(uint32_t bytes) override { g_app.bytesDone += bytes; }
    void FileDone(const std::string&, uint64_t) override { ++g_app.filesDone; }
    void Report(orvobf::engine::Problem problem, const std::string&) override {
        MessageBoxA(g_app.mainWindow.load(), orvobf::engine::ProblemText(problem), orvobf::engine::ProblemCaption(problem), MB_OK);
    }
};
BoxReporter g_reporter;

// Where the worker writes: the output folder's parent, then the folder the
// walk is in.
orvobf::engine::DiskTree* g_output = nullptr;

#ifndef _WIN32
std::string StatusText(void*) {
    const uint64_t total = g_app.filesTotal.load(), done = g_app.filesDone.load();
    const uint64_t width = 20, filled = total ? width * (done > total ? total : done) / total : 0;
    static const uint32_t start = orvobf::platform::TimeMs();
    const uint32_t ms = orvobf::platform::TimeMs() - start;
    const uint64_t rate = ms ? g_app.bytesDone.load() * 1000 / ms : 0;
    return "[" + std::string(filled, '#') + std::string(width - filled, '.') + "] " + std::to_string(done) + "/" +
           std::to_string(total) + " files " + std::to_string(rate / 1048576) + " MiB/s";
}
#endif
}  // namespace

int ReadOutputDir() {
    char value[kValueSize];
    std::memset(value, 0, sizeof value);
    DWORD size = kValueSize;
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Orvo\\AshenThrone", &key) != ERROR_SUCCESS) return -1;
    // A value that does not fit (259 characters and the NUL) is refused
    // rather than cut: a cut path could name another folder.
    const LONG rc = RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<unsigned char*>(value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) std::memset(value, 0, sizeof value);
    value[kValueSize - 1] = '\0';  // a value stored without its NUL
    std::strncpy(g_outputPath, value, kOutputPathSize - 1);
    return 1;
}

// A file cut short stays under its name, reported.
void ExtractTree() {
    if (!g_output) return;
    orvobf::engine::Engine engine(g_app.archive, g_reporter, *g_output, orvobf::engine::PartialFiles::Keep);
    engine.ExtractTree();
}

void ExtractAll(void*) {
    if (g_app.archive.Open(g_archiveName, 0)) {
        g_app.filesTotal = orvobf::engine::CountFiles(g_app.archive);
        // The output folder must really be entered: an empty or missing one
        // would otherwise put the tree wherever the process happens to be.
        orvobf::engine::DiskTree output;
        if (!output.OpenParentOf(g_outputPath)) {
            MessageBoxA(g_app.mainWindow.load(), "Cannot open output directory", "ERROR", MB_OK);
        } else {
            g_output = &output;
            ExtractTree();
            g_output = nullptr;
        }
        g_app.archive.Close();
    }
    g_app.quit = 1;
    g_app.workerDone = 1;
}

void RequestQuit() {
    g_app.quit = 1;
    PostQuitMessage(0);
}

void PumpMessages() {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        // Wait a little for a message instead of spinning a core; the quit
        // flag is tested again within a few milliseconds.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        return;
    }
    if (!GetMessageA(&msg, nullptr, 0, 0)) {
        RequestQuit();
        return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

INT_PTR CALLBACK MainDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        SetWindowTextA(GetDlgItem(window, IDC_VERSION), g_app.archive.GetVersionText());
        // The worker reads the handle as the owner of its boxes: store it
        // before the worker exists.
        g_app.mainWindow = window;
        g_app.workerDone = 0;
        if (_beginthread(&ExtractAll, 0, nullptr) == static_cast<uintptr_t>(-1)) {
            g_app.workerDone = 1;
            MessageBoxA(window, "Cannot start the extraction", "ERROR", MB_OK);
            g_app.quit = 1;
        }
    } else if (message == WM_COMMAND && HIWORD(wParam) == 0 && LOWORD(wParam) == IDC_ABOUT) {
        DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(IDD_ABOUT), window, &AboutDlgProc, 0);
        SetFocus(window);
    }
    return 0;
}

INT_PTR CALLBACK AboutDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && HIWORD(wParam) == 0 && LOWORD(wParam) == IDOK) EndDialog(window, 0);
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    g_outputPath = static_cast<char*>(std::calloc(kOutputPathSize, 1));
    if (!g_outputPath) {
        MessageBoxA(nullptr, "Cannot allocate the output path", "ERROR", MB_OK);
        return 0;
    }
    ReadOutputDir();
    static const char kName[] = "BigTest.bf";
    g_archiveName = static_cast<char*>(std::malloc(sizeof kName));
    if (g_archiveName) std::memcpy(g_archiveName, kName, sizeof kName);
    g_app.archive.Init(BIGFILE_HEADER_VERSION);
    g_app.instance = instance;
#ifndef _WIN32
    orvobf::winshim::SetStatusSource(&StatusText, nullptr);
#endif
    HWND window = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, &MainDlgProc, 0);
    g_app.mainWindow = window;
    if (window) {
        while (g_app.quit == 0) PumpMessages();
        // A quit message can end the loop while the worker still runs; it
        // uses the archive object and the window, so wait for it.
        while (g_app.workerDone == 0) PumpMessages();
        DestroyWindow(window);
        g_app.mainWindow = nullptr;
    }
    std::free(g_archiveName);
    std::free(g_outputPath);
    g_archiveName = nullptr;
    g_outputPath = nullptr;
    return 0;
}
