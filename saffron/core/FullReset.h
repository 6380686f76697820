/*
 * FullReset.h - the full reset the manager menu offers: settings, counters,
 * accounts and journal back to a fresh terminal, and its confirmation screen.
 */
#ifndef SAFFRON_CORE_FULLRESET_H
#define SAFFRON_CORE_FULLRESET_H

// The full reset's effect on the files: counters back to batch 1 / trace 0
// (originalStan kept), a fresh configuration with defaults carrying the
// device serial number, the journal's pending and transaction files, the
// accounts file and table gone. Returns 0.
int resetTerminalSettings();
// The full reset as the manager menu offers it: asks for confirmation (10
// seconds), resets on Enter, shows the outcome for up to 4 seconds. Returns 0.
int ConfigurationMenuBankingDefault();

#endif
