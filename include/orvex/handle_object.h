// CHandleObject: the base of every object that the C interface hands out as
// a handle. Its virtual destructor is the first virtual operation of each,
// so that one delete function destroys any of them.
#ifndef ORVEX_HANDLE_OBJECT_H
#define ORVEX_HANDLE_OBJECT_H

#include <orvex/export.h>

class ORVEX_EXPORT CHandleObject {
public:
    virtual ~CHandleObject();
};

#endif
