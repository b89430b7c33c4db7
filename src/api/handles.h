// Handles are CHandleObject pointers in disguise: every conversion between a
// handle and its object goes through the base, so the delete function and
// the family functions agree on the address.
#ifndef ORVEX_API_HANDLES_H
#define ORVEX_API_HANDLES_H

#include <orvex/handle_object.h>

namespace api {

template <typename Handle>
Handle ToHandle(CHandleObject* object) {
    return reinterpret_cast<Handle>(object);
}

template <typename Object, typename Handle>
Object* FromHandle(Handle handle) {
    return static_cast<Object*>(reinterpret_cast<CHandleObject*>(handle));
}

}  // namespace api

#endif
