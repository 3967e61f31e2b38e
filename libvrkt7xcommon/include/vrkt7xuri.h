/*
 * libvrkt7xcommon: device URIs of CUPS queues that print through the vrkt7x backend.
 *
 * A queue switched to the backend has the device URI "vrkt7x:" followed by the printer's own
 * device URI, for example
 *     vrkt7x:usb://Maker/ZPH6100RMX?serial=ABC123
 *     vrkt7x:socket://192.168.1.20:9100
 * CUPS hands such a job to the backend "vrkt7x", which waits for a fingerprint and then passes the
 * job to the backend of the inner URI. Everything that talks to the printer itself (the fifteen
 * fingerprint functions) takes the inner URI; the library's printer discovery already hands out
 * inner URIs for such queues.
 */
#ifndef VRKT7XURI_H
#define VRKT7XURI_H

#include "vrkt7xexport.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The prefix, including its colon. Compared case-sensitively: CUPS picks the backend by the
 * scheme's exact spelling. */
#define VRKT7X_URI_PREFIX "vrkt7x:"

/* The printer's own URI inside a device URI.
 * uri: a zero-terminated device URI, or NULL.
 * Returns a pointer into uri just after "vrkt7x:" when uri starts with it (the rest may be empty;
 * only one prefix is removed), uri itself when it does not, and NULL for NULL. Nothing is copied
 * or allocated, so the result lives as long as uri. vrkt7x_inner_uri(uri) != uri tells whether a
 * queue goes through the backend. */
VRKT_EXPORT const char* vrkt7x_inner_uri(const char* uri);

#ifdef __cplusplus
}
#endif

#endif
