/* Marks what liborvex.so exports: the C functions of orvex.h and the C++
   classes of this folder. It is plain C, as orvex.h includes it. */
#ifndef ORVEX_EXPORT_H
#define ORVEX_EXPORT_H

#if defined(__GNUC__)
#define ORVEX_EXPORT __attribute__((visibility("default")))
#else
#define ORVEX_EXPORT
#endif

#endif
