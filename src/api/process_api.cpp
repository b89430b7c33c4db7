#include <orvex.h>

#include "api/guard.h"
#include "platform/message_box.h"

extern "C" void Orvex_SetMessageBoxHandler(OrvexMessageBoxHandler handler) {
    api::Guard([&] { msgbox::SetHandler(handler); });
}
