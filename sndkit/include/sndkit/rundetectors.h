/* The detectors of a run, made from its detector options. Internal to
 * libsndprobe. */
#ifndef SNDKIT_RUNDETECTORS_H
#define SNDKIT_RUNDETECTORS_H

#include "sndkit/run.h"

/* Creates a detector for every -silence and -tone option and the first
 * -dtmf and -baudot, in that order, at most MAX_DETECTORS; every option is
 * read, so that each error is reported. */
void CreateDetectors(Run *r);

#endif
