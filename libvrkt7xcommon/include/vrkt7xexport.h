#ifndef VRKT7XEXPORT_H
#define VRKT7XEXPORT_H

/* Everything in libvrkt7xcommon is hidden unless marked with VRKT_EXPORT. */
#if defined(__GNUC__)
#define VRKT_EXPORT __attribute__((visibility("default")))
#else
#define VRKT_EXPORT
#endif

#endif
