#ifndef LANSCOUT_LANSCOUT_H
#define LANSCOUT_LANSCOUT_H
/* The device-search library: multicasts a search probe on every up IPv4
 * interface at a fixed interval and reports each answering device through
 * one callback. The wire protocol is described in docs/search-protocol.md.
 *
 * Callback contract:
 *  - kind LANSCOUT_KIND_FOUND (1): the first answer of a device, or its first
 *    answer after it was reported gone; xml is its answer text.
 *  - kind LANSCOUT_KIND_CHANGED (3): the device answered with a text that
 *    differs from its last one; an unchanged answer is not reported again.
 *  - kind LANSCOUT_KIND_GONE (2): the device missed the rounds of the gone
 *    rule; xml is its last answer text (so a receiver that filters answers by
 *    their content can filter the notice the same way).
 *  - mac is the device's MAC text, 1 to 19 printable characters, the same for
 *    every report of one device (identity is exact, case-sensitive equality).
 *  - Both texts are NUL-terminated and valid only during the call.
 *  - Callbacks come one at a time, from the library's own thread, never from
 *    a thread that calls into the library; none arrives after LANSCOUT_Quit
 *    has returned.
 */

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*LANSCOUT_Callback)(const char* mac, int kind, const char* xml, void* context);

enum { LANSCOUT_KIND_FOUND = 1, LANSCOUT_KIND_GONE = 2, LANSCOUT_KIND_CHANGED = 3 };

/* Results of the calls. */
enum {
    LANSCOUT_OK = 0,
    LANSCOUT_ERR_NOT_INITIALISED = -1, /* LANSCOUT_Initial has not been called */
    LANSCOUT_ERR_ALREADY_STARTED = -2, /* the search runs already */
    LANSCOUT_ERR_BAD_ARGUMENT = -3,
    LANSCOUT_ERR_SOCKET = -4,      /* the search socket could not be opened */
    LANSCOUT_ERR_IN_CALLBACK = -5, /* called from the callback: stop takes effect, no join */
    LANSCOUT_ERR_FULL = -6,        /* a table limit is reached */
    LANSCOUT_ERR_THREAD = -7       /* the system gave the search no thread */
};

/* Registers the callback and its context. hopLimit is the multicast hop
 * limit (IP TTL) of the probes and of the answers they ask for: 1 keeps the
 * search on the local links, 32 (what the programs pass) lets it cross up to
 * 31 multicast routers, the conventional site-wide scope that matches the
 * organisation-local group the search uses. Values outside 1..255 mean 1.
 * Calling it again stops a running search first. Returns LANSCOUT_OK, or
 * LANSCOUT_ERR_BAD_ARGUMENT for a null callback. */
int LANSCOUT_Initial(LANSCOUT_Callback callback, void* context, int hopLimit);

/* Starts the automatic search: a probe round every intervalSeconds seconds
 * (5 in Fwbatch, 1 in Cfgpush; values below 1 mean 1, above 3600 mean 3600).
 * A device that misses 3 rounds in a row is reported gone. Returns
 * LANSCOUT_OK, LANSCOUT_ERR_NOT_INITIALISED, LANSCOUT_ERR_ALREADY_STARTED or
 * LANSCOUT_ERR_SOCKET. */
int LANSCOUT_StartAuto(int intervalSeconds);

/* Stops the search, waits for a callback in progress and forgets the
 * callback. Returns promptly (within one network poll, not one round).
 * Harmless when nothing runs. Called from the callback itself it stops the
 * search without waiting for itself and returns LANSCOUT_ERR_IN_CALLBACK. */
int LANSCOUT_Quit(void);

/* Addition for the command line and tests: restricts the search to the
 * named interfaces (count 0 or names NULL: every up IPv4 interface, the
 * default). Applies to the running search from its next round and to later
 * starts; kept until changed. Returns LANSCOUT_OK or
 * LANSCOUT_ERR_BAD_ARGUMENT (a name that cannot be an interface name; the
 * restriction is then unchanged). */
int LANSCOUT_SetInterfaces(const char* const* names, int count);

#ifdef __cplusplus
}
#endif

#endif /* LANSCOUT_LANSCOUT_H */
