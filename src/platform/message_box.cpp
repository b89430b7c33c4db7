#include "platform/message_box.h"

#include <atomic>
#include <cstdio>

namespace msgbox {
namespace {

int DefaultHandler(void*, const char* text, const char* caption, unsigned style) {
    if (caption != nullptr && *caption != '\0') std::fprintf(stderr, "%s: ", caption);
    std::fprintf(stderr, "%s\n", text != nullptr ? text : "");
    return (style & 0x0Fu) == kAbortRetryIgnore ? kIdAbort : kIdOk;
}

std::atomic<Handler> g_handler{&DefaultHandler};

}  // namespace

void SetHandler(Handler handler) { g_handler.store(handler != nullptr ? handler : &DefaultHandler); }

int Show(void* owner, const char* text, const char* caption, unsigned style) {
    return g_handler.load()(owner, text, caption, style);
}

}  // namespace msgbox
