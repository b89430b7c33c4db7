// Message boxes without a window system: one process-wide handler that a
// host may replace. The default writes the text to stderr and answers OK,
// or Abort where the box offers Abort, Retry and Ignore.
#ifndef ORVEX_PLATFORM_MESSAGE_BOX_H
#define ORVEX_PLATFORM_MESSAGE_BOX_H

namespace msgbox {

enum Style : unsigned {
    kOk = 0x00,
    kOkCancel = 0x01,
    kAbortRetryIgnore = 0x02,
    kYesNoCancel = 0x03,
    kIconExclamation = 0x30
};
enum Answer : int { kIdOk = 1, kIdCancel = 2, kIdAbort = 3, kIdRetry = 4, kIdIgnore = 5 };

using Handler = int (*)(void* owner, const char* text, const char* caption, unsigned style);

// Null restores the default handler.
void SetHandler(Handler handler);
int Show(void* owner, const char* text, const char* caption, unsigned style);

}  // namespace msgbox

#endif
