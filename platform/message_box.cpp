// Message boxes go through an installable hook before the system's own box.
#include <atomic>

#include <orvobf/platform.h>

namespace orvobf::platform {
int SystemMessageBox(void* owner, const char* text, const char* caption, unsigned style);

namespace {
std::atomic<MessageBoxHook> g_hook{nullptr};
std::atomic<void*> g_user{nullptr};
}  // namespace

void SetMessageBoxHook(MessageBoxHook hook, void* user) {
    g_user.store(user);
    g_hook.store(hook);
}

int ShowMessageBox(void* owner, const char* text, const char* caption, unsigned style) {
    if (MessageBoxHook hook = g_hook.load()) return hook(owner, text, caption, style, g_user.load());
    return SystemMessageBox(owner, text, caption, style);
}

}  // namespace orvobf::platform
