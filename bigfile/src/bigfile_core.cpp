// BigFileCore: construction, lifecycle and the error state.
#include <cstring>

#include <orvobf/ORVOBF.H>
#include "bigfile_internal.h"
#include <orvobf/platform.h>

BigFileCore::BigFileCore() : path(nullptr), versionText(nullptr), lock(nullptr) {
    root.capacity = 0;
    BigFileCore::Reset();
}

BigFileCore::~BigFileCore() { BigFileCore::Deinit(); }

int BigFileCore::Deinit() {
    if (lock) {
        orvobf::platform::LockDestroy(lock);
        lock = nullptr;
    }
    return 1;
}

// Frees nothing: the tree and the path belong to Close. versionText is kept,
// so GetVersionText stays valid across Open.
void BigFileCore::Reset() {
    path = nullptr;
    fileCount = 0;
    dirCount = 0;
    root.count = 0;
    root.entries = nullptr;
    root.parent = nullptr;
    root.capacity = 0;
    dirStackDepth = 0;
    isOpen = 0;
    dataBase = 0;
    dirOffset = 0;
    errorCode = 0;
    errorDetail = 0;
    current = &root;
}

int BigFileCore::Init(int32_t version) {
    if (version != BIGFILE_HEADER_VERSION) {
        char text[1024];
        orvobf::platform::Format(text,
                       "ORVOBF.H reports to be at version %d\nand LIBRARY indicates version %d.\n"
                       "Check out for updated library\nat technical direction offices.",
                       BIGFILE_HEADER_VERSION, static_cast<int>(version));
        orvobf::platform::ShowMessageBox(nullptr, text, "WARNING...", 0);
    }
    versionText = "Orvo BigFile Library Version " ORVOBF_VERSION_TEXT;
    // A second Init keeps the lock it made first: another thread may hold it.
    if (lock) return 1;
    lock = orvobf::platform::LockCreate();
    if (!lock) {
        SetError(BFE_CRITICAL_SECTION, 0);
        return 0;
    }
    return 1;
}

int BigFileCore::SetName(const char* newPath) {
    if (!newPath) {
        SetError(BFE_BAD_PARAMETER, 1);
        return 0;
    }
    Reset();
    const size_t length = std::strlen(newPath);
    char* copy = static_cast<char*>(orvobf::platform::Alloc(length + 1));
    if (!copy) {
        SetError(BFE_MEMORY, 0);
        return 0;
    }
    std::memcpy(copy, newPath, length + 1);
    path = copy;
    isOpen = 1;
    return 1;
}

int BigFileCore::Close() {
    FreeDirNode(&root);
    root.capacity = 0;
    orvobf::platform::Free(path);
    path = nullptr;
    isOpen = 0;
    current = &root;
    dirStackDepth = 0;
    return 1;
}

namespace {
// What the calling thread's own calls stored last, and on which object.
struct CallError {
    const BigFileCore* object = nullptr;
    int32_t code = 0;
    uint32_t detail = 0;
};
thread_local CallError t_callError;
}  // namespace

// The pair is stored and read under the lock, so no thread sees one
// failure's code with another's detail. The calling thread keeps its own
// copy, which no other thread's failure can replace.
void BigFileCore::SetError(int32_t code, uint32_t detail) {
    t_callError = CallError{this, code, detail};
    orvobf::core::LockGuard guard(lock);
    errorCode = code;
    errorDetail = detail;
}

void orvobf::core::ForgetCallError() { t_callError = CallError{}; }

void BigFileCore::ClearError() {
    t_callError = CallError{};
    orvobf::core::LockGuard guard(lock);
    errorCode = 0;
    errorDetail = 0;
}

int32_t BigFileCore::GetCallError(uint32_t* detail) {
    const bool ours = t_callError.object == this;
    if (detail) *detail = ours ? t_callError.detail : 0;
    return ours ? t_callError.code : 0;
}

int32_t BigFileCore::GetErrorCode() {
    orvobf::core::LockGuard guard(lock);
    return errorCode;
}

uint32_t BigFileCore::GetErrorDetail() {
    orvobf::core::LockGuard guard(lock);
    return errorDetail;
}

DirNode* BigFileCore::GetCurrentDir() {
    orvobf::core::LockGuard guard(lock);
    return current;
}
