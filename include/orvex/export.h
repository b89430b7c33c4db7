/* Visibility of what liborvex.so exports. */
#ifndef ORVEX_EXPORT_H
#define ORVEX_EXPORT_H

#define ORVEX_API __attribute__((visibility("default")))

#endif
