// The extractor: a main window that shows the library version and the file
// being extracted, an About box, and a worker thread that extracts the
// archive "BigTest.bf" into the folder the registry names.
#ifndef ORVOBF_EXTRACTOR_APP_H
#define ORVOBF_EXTRACTOR_APP_H

#ifdef _WIN32
#include <windows.h>
#else
#include "windows_shim.h"
#endif

#include <atomic>
#include <cstdint>

#include <orvobf/ORVOBF.H>

struct ExtractorApp {
    // The handles are written by the user-interface thread and read by the
    // worker, so they are atomics; the quit flag is the worker's signal.
    std::atomic<HWND> mainWindow{nullptr};
    HINSTANCE instance = nullptr;
    std::atomic<int32_t> quit{0};
    BigFile archive{BF_HANDLE_COUNT};
    // Set by the worker as its very last act; the entry function waits for
    // it before the archive object can go away.
    std::atomic<int32_t> workerDone{1};
    // What the status line shows besides the window's texts; the total is
    // counted in the loaded tree, since the header's count may lie.
    std::atomic<uint32_t> filesDone{0};
    std::atomic<uint64_t> filesTotal{0};
    std::atomic<uint64_t> bytesDone{0};
};

extern ExtractorApp g_app;
extern char* g_outputPath;   // 1024 bytes
extern char* g_archiveName;  // "BigTest.bf"

int ReadOutputDir();
void ExtractAll(void* unused);
void ExtractTree();
void PumpMessages();
void RequestQuit();
INT_PTR CALLBACK MainDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

#endif
