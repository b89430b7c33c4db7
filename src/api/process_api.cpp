#include <orvex.h>

#include "api/guard.h"
#include "platform/message_box.h"

extern "C" void Orvex_SetMessageBoxHandler(OrvexMessageBoxHandler handler) {
    api::Guard([&] { msgbox::SetHandler(handler); });
}

extern "C" const char* Orvex_Version(void) { return ORVEX_VERSION_TEXT; }
