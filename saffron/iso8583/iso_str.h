/*
 * iso_str.h - the codec's null-tolerant string utilities.
 */
#ifndef SAFFRON_ISO8583_ISO_STR_H
#define SAFFRON_ISO8583_ISO_STR_H

#include <cstddef>

// 0 for a null string, else the character count.
std::size_t ISO_STR_StrLen(const char *text);

// Copies at most n characters of source into destination and terminates it,
// so destination must hold n + 1 bytes. A null source makes it empty.
void ISO_STR_StrCpy(char *destination, const char *source, std::size_t n);

#endif
