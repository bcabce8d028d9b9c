#include "file_pool.h"

#include <iterator>

namespace orvobf::tool {
namespace {
uint64_t Position(const FilePool::Slot& slot) { return static_cast<uint64_t>(slot.file.tell()); }
}  // namespace

FilePool::Slot* FilePool::Borrow(std::string_view path, uint64_t at, uint64_t until) {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        Slot* before = nullptr;  // the closest at or before `at`
        Slot* after = nullptr;   // the closest past it
        bool coming = false;     // a read under way ends where this one starts
        for (Slot& slot : slots_) {
            if (slot.path != path) continue;
            if (slot.busy) {
                coming = coming || slot.until == at;
                continue;
            }
            const auto position = static_cast<uint64_t>(slot.file.tell());
            Slot*& side = position <= at ? before : after;
            if (!side || (position <= at ? position > Position(*side) : position < Position(*side))) side = &slot;
        }
        if (coming && !(before && Position(*before) == at)) {
            returned_.wait(hold);
            continue;
        }
        // Back from a File that has decoded its way past `at` costs no more
        // than a new File, which decodes from the start (less where the
        // stream keeps points to resume from).
        Slot* taken = before ? before : after;
        if (!taken) {
            slots_.push_front(Slot{std::string(path), File{}, until, true});
            return &slots_.front();
        }
        taken->busy = true;
        taken->until = until;
        return taken;
    }
}

void FilePool::Return(Slot* slot) noexcept {
    File closed;  // closed after the lock is left
    {
        const std::lock_guard<std::mutex> hold(lock_);
        auto at = slots_.begin();
        while (&*at != slot) ++at;
        if (!slot->file.is_open()) {
            slots_.erase(at);
        } else {
            slot->busy = false;
            slots_.splice(slots_.begin(), slots_, at);
        }
        size_t idle = 0;
        for (auto it = slots_.begin(); it != slots_.end(); ++it) {
            if (it->busy || ++idle <= kIdleFiles) continue;
            closed = std::move(it->file);
            slots_.erase(it);
            break;
        }
    }
    returned_.notify_all();
}

}  // namespace orvobf::tool
