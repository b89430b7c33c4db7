#include <orvex.h>

#include "api/guard.h"
#include "platform/code_page.h"
#include "platform/message_box.h"

extern "C" void Orvex_SetMessageBoxHandler(OrvexMessageBoxHandler handler) {
    api::Guard([&] { msgbox::SetHandler(handler); });
}

extern "C" const char* Orvex_Version(void) { return ORVEX_VERSION_TEXT; }

// Every code page's state lives as long as the process, so its name may be handed out.
extern "C" const char* Orvex_CodePage(void) {
    return api::Guard<const char*>("UTF-8", [] { return codepage::Name().c_str(); });
}
