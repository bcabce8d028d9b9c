// Error codes and their message texts.
#include <orvobf/ORVOBF.H>
#include "bigfile_internal.h"
#include <orvobf/platform.h>

namespace {
struct ErrorMessage {
    int32_t code;
    const char* format;  // "%s" takes the prefix, "%x" the detail
};

constexpr ErrorMessage kMessages[] = {
    {BFE_UNDEFINED, "%sUndefined error (%x)."},
    {BFE_CANNOT_OPEN, "%sFile cannot be opened.(%x)."},
    {BFE_FILE_IO, "%sFile i/o error (%x)."},
    {BFE_MEMORY, "%sMemory allocation error (%x)."},
    {BFE_FATAL, "%sFatal error (%x)."},
    {BFE_BAD_PARAMETER, "%sBad parameter (%x)."},
    {BFE_DIR_STACK_FULL, "%sDirectory stack is full (%x)."},
    {BFE_DIR_STACK_EMPTY, "%sDirectory stack is empty (%x)."},
    {BFE_NO_MORE_ENTRIES, "%sNo more entries in directory (%x)."},
    {BFE_INVALID_BIGFILE, "%sSpecified big file error is invalid (%x)."},
    {BFE_SEEK, "%sSeek file error (%x)."},
    {BFE_BAD_HANDLE, "%sbad big file handle (%x)."},
    {BFE_CRITICAL_SECTION, "%scannot initialize critical section handle (%x)."},
};

// One buffer per thread: texts formatted on two threads at once cannot tear
// each other. Within a thread each call still overwrites the previous text.
thread_local char t_message[1024];
}  // namespace

// BFE_NONE, the codes without a message and unknown codes all get the
// undefined text without a detail.
const char* BigFileCore::GetErrorText(int32_t code, uint32_t detail) {
    char prefix[256];
    orvobf::platform::Format(prefix, "BigFile Error %4d\t", static_cast<int>(code));
    for (const ErrorMessage& message : kMessages) {
        if (message.code == code) {
            orvobf::platform::Format(t_message, message.format, prefix, static_cast<unsigned>(detail));
            return t_message;
        }
    }
    orvobf::platform::Format(t_message, "%sUndefined error.", prefix);
    return t_message;
}

const char* BigFileCore::GetLastErrorText() {
    int32_t code;
    uint32_t detail;
    {
        orvobf::core::LockGuard guard(lock);
        code = errorCode;
        detail = errorDetail;
    }
    return GetErrorText(code, detail);
}
