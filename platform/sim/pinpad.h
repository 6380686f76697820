/*
 * pinpad.h - test hooks of the simulated PIN pad (its DLL_Pci operations are
 * declared in libapi.h). Keys are never readable from outside.
 */
#ifndef SIM_PINPAD_H
#define SIM_PINPAD_H

namespace sim {

// Forgets every key and the prompt position: a PIN pad fresh from the factory.
void resetPinPadForTest();
// Where the application last placed the PIN prompt (DLL_PciSetPinXY).
void pinPromptPosition(int *x, int *y);

}  // namespace sim

#endif
