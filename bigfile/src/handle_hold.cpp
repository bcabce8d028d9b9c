// How a handle operation holds its handle: the object's lock only for the
// look into the table, then the handle's own lock.
#include <cstdio>
#include <new>

#include <orvobf/ORVOBF.H>
#include "open_file_state.h"
#include <orvobf/platform.h>

namespace orvobf::core {

OpenFileState* NewState() {
    void* memory = orvobf::platform::Alloc(sizeof(OpenFileState));
    return memory ? new (memory) OpenFileState : nullptr;
}

void Release(OpenFileState* state) {
    if (state->references.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    ClosePacked(state);
    if (state->disk) std::fclose(state->disk);
    state->~OpenFileState();
    orvobf::platform::Free(state);
}

HeldHandle::HeldHandle(BigFile& bf, FileHandle handle) {
    {
        LockGuard guard(bf.lock);
        if (!IsOpenHandle(bf, handle)) return;
        state_ = static_cast<OpenFileState*>(bf.handles[handle]);
        state_->references.fetch_add(1, std::memory_order_relaxed);
    }
    orvobf::platform::SlimLockEnter(&state_->lock);
    if (state_->closed) {
        orvobf::platform::SlimLockLeave(&state_->lock);
        Release(state_);
        state_ = nullptr;
    }
}

HeldHandle::~HeldHandle() {
    if (!state_) return;
    orvobf::platform::SlimLockLeave(&state_->lock);
    Release(state_);
}

}  // namespace orvobf::core
