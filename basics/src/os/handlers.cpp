// The host's exception handler chain, asked by RaiseException of either backend.
#include <mutex>

#include "os/common.h"
#include "os/os.h"

namespace mvos {

namespace {

constexpr int kMaxHandlers = 32;
struct HandlerSlot {
    ExceptionHandler handler;
    void* context;
};
std::mutex g_chainLock;
HandlerSlot g_chain[kMaxHandlers];  // in order of addition; null handler = free
int g_chainCount = 0;

}  // namespace

void* AddExceptionHandler(ExceptionHandler handler, void* context) {
    if (handler == nullptr) return nullptr;
    std::lock_guard<std::mutex> lock(g_chainLock);
    for (int i = 0; i < kMaxHandlers; ++i) {
        if (g_chain[i].handler == nullptr) {
            g_chain[i] = HandlerSlot{handler, context};
            if (i >= g_chainCount) g_chainCount = i + 1;
            return &g_chain[i];
        }
    }
    return nullptr;
}

bool RemoveExceptionHandler(void* cookie) {
    std::lock_guard<std::mutex> lock(g_chainLock);
    for (int i = 0; i < g_chainCount; ++i) {
        if (&g_chain[i] == cookie && g_chain[i].handler != nullptr) {
            g_chain[i] = HandlerSlot{nullptr, nullptr};
            while (g_chainCount > 0 && g_chain[g_chainCount - 1].handler == nullptr) --g_chainCount;
            return true;
        }
    }
    return false;
}

bool HandlersContinue(uint32_t code) {
    // The chain is copied so a handler may add or remove handlers.
    HandlerSlot chain[kMaxHandlers];
    int count;
    {
        std::lock_guard<std::mutex> lock(g_chainLock);
        count = g_chainCount;
        for (int i = 0; i < count; ++i) chain[i] = g_chain[i];
    }
    for (int i = count - 1; i >= 0; --i) {
        if (chain[i].handler != nullptr &&
            chain[i].handler(code, chain[i].context) == kContinueExecution) {
            return true;
        }
    }
    return false;
}

}  // namespace mvos
