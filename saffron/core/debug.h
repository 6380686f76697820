/*
 * debug.h - diagnostics for the terminal's parts. The lines themselves live in
 * util so that the codec and the helpers log without reaching into core.
 */
#ifndef SAFFRON_CORE_DEBUG_H
#define SAFFRON_CORE_DEBUG_H

#include "util/Debug.h"

#endif
