// COM-port names on platforms that have none: COMn maps to a device path.
//
// Lookup order for COMn:
//   1. the environment variable TESSEL_COM<n> (e.g. TESSEL_COM3=/dev/ttyUSB0);
//   2. a line "COM<n>=<path>" in the map file named by TESSEL_PORTMAP, or
//      else in "comports.map" in the current directory;
//   3. /dev/ttyS<n-1>.
// On Windows the name is "\\.\COM<n>" and no map is consulted.
#ifndef TESSEL_LINK_COMPORTS_H
#define TESSEL_LINK_COMPORTS_H

#include <cstddef>

constexpr unsigned kComPortsListed = 20;  // the port list shows COM1..COM20

// Writes the device path for COM<number> (1..255). Returns false when the
// number is out of range or the path does not fit.
bool comPortDevice(unsigned number, char* out, size_t outSize);

// Parses "COM<n>=<path>" lines of a map file's text; returns true and the
// path for `number` if a line names it. Blank lines and '#' comments are skipped.
bool comPortFromMapText(const char* text, unsigned number, char* out, size_t outSize);

#endif
