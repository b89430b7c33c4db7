// liborvex.so is the core library whole; this file only gives the shared
// library a translation unit of its own.
#include <orvex.h>
