#include <orvex/handle_object.h>

CHandleObject::~CHandleObject() = default;
