/*
 * plix_fake.h: the controls of plix's in-memory fake transport, for a
 * host's tests and demonstrations. The product's interface is plix.h; a
 * host that ships includes only that one. Select the fake with
 * plix_use_fake() (plix.h), then program its routes here.
 *
 * Every control may be called from any thread; each takes the fake's own
 * lock for its whole duration.
 */
#ifndef PLIX_FAKE_H
#define PLIX_FAKE_H

#include "plix.h"

#ifdef __cplusplus
extern "C" {
#endif
/*
 * The fake answers from canned routes matched by exact (method, url); an
 * unknown URL answers HTTP 404, and any URL holding "apikey=QX-NOP-TKN"
 * answers 401 with a badToken refusal. method is "GET" or "POST".
 */

/** Removes every route and zeroes every counter. */
PLIX_API void plix_fake_reset(void);

/** Sets the canned answer of a route. 0, PLIX_E_INVALID or PLIX_E_BUFFER. */
PLIX_API int plix_fake_set(const char *method, const char *url, int status, const char *body);

/** Makes a route fail with message ("connection refused" when null). */
PLIX_API int plix_fake_fail(const char *method, const char *url, const char *message);

/**
 * Exchanges counted: all of them when url is null; else those of url's
 * routes (of one method, or both when method is null).
 */
PLIX_API int plix_fake_calls(const char *method, const char *url);

/** Last non-empty body POSTed to url, or "" (valid until the next such call). */
PLIX_API const char *plix_fake_last_body(const char *url);

/** The URL of the last exchange, or "" (valid until the next such call). */
PLIX_API const char *plix_fake_last_url(void);

#ifdef __cplusplus
}
#endif

#endif /* PLIX_FAKE_H */
