/* The server's side of the request queues kept in the database: closing
 * and requeuing batches of the service, text-loading and changed-rows
 * queues, recording a failed request, running a request's completion and
 * error procedures, and queuing a new service request. */
#ifndef KES_DR_DRQ_DRQ_H
#define KES_DR_DRQ_DRQ_H

#include <cstddef>
#include <cstdint>

#include "dr/dra/dra.h"

/* Parameters a service request carries. */
enum { DRQ_NPAR = 10 };
/* Kinds of request procedures. */
enum { DRQ_DONE = 0, DRQ_ERROR = 1 };

/* Closes this session's batch of service requests (svcq.batch_done); 0 / 1. */
int drqssbd(drsrvstate *s);
/* Records the error text of a failed request (svcq.request_error); 0 / 1. */
int drqsrqe(drsrvstate *s, int32_t svcno, const char *errors);
/* Runs a request's completion (kind 0, two texts) or error procedure (kind
 * 1, one text) named by the request, with the rights of the user who queued
 * it (dr_utl.run_as); nothing for an empty name. A name that is not a plain
 * [schema.]identifier is refused with 11415. 0 / 1. */
int drqsprc(drsrvstate *s, int kind, const char *proc, const char *user, int32_t svcno,
            const char *text1, const char *text2);
/* Queues a service request of a type (svcq.queue) with the given (non-null)
 * parameters, committed by the package; 0 / 1. */
int drqsque(drsrvstate *s, const char *svctype, int32_t priority, const char *status,
            const char *errors, const char *const par[DRQ_NPAR]);
/* Writes the service-request block for the given parameters into buf
 * (at most size bytes); 0, or 1 when it does not fit. */
int drqsqtxt(const char *svctype, const char *const par[DRQ_NPAR], char *buf, size_t size);
/* Closes a text-loading batch (srcq.batch_done); 0 / 1. */
int drqssrc(drsrvstate *s, int32_t srcid);
/* Puts this session's text-loading batch back on the queue
 * (srcq.REQUEUE_BATCH); 0 / 1. */
int drqsrqb(drsrvstate *s);
/* Closes this session's batch of changed rows (dmlq.batch_done); 0 / 1. */
int drqbdn(drsrvstate *s);

#endif
