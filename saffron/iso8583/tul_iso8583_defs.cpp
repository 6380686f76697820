// tul_iso8583_defs.cpp - the dictionary: {type, maxLen, length form} per position.
// Type 0/2 packed digits (maxLen in digits), 4/5 characters, 8/9 bytes, 10 the
// binary bitmap. Form 0 fixed at maxLen; 2 one BCD byte; 3 two BCD bytes
// (hundreds, then tens and units); 5 one binary byte; 7 the track-2 digit count.
#include "iso8583/tul_iso8583_defs.h"

const TUL_ISO8583_FIELD_SPEC _iso8583_tuliso_fields[TUL_ISO8583_FIELD_COUNT] = {
    { 0,   4, 0}, //   0 packed digits, fixed
    {10,   8, 0}, //   1 binary bitmap, fixed
    { 0,  20, 2}, //   2 packed digits, 1 BCD length byte
    { 0,   6, 0}, //   3 packed digits, fixed
    { 0,  12, 0}, //   4 packed digits, fixed
    { 0,  12, 0}, //   5 packed digits, fixed
    { 0,  12, 0}, //   6 packed digits, fixed
    { 0,  10, 0}, //   7 packed digits, fixed
    { 5, 256, 5}, //   8 characters, 1 binary length byte
    { 5, 256, 5}, //   9 characters, 1 binary length byte
    { 0, 256, 5}, //  10 packed digits, 1 binary length byte
    { 0,   6, 0}, //  11 packed digits, fixed
    { 0,   6, 0}, //  12 packed digits, fixed
    { 0,   4, 0}, //  13 packed digits, fixed
    { 0,   4, 0}, //  14 packed digits, fixed
    { 5, 256, 5}, //  15 characters, 1 binary length byte
    { 5, 256, 5}, //  16 characters, 1 binary length byte
    { 5, 256, 5}, //  17 characters, 1 binary length byte
    { 0,   4, 0}, //  18 packed digits, fixed
    { 5, 256, 5}, //  19 characters, 1 binary length byte
    { 5, 256, 5}, //  20 characters, 1 binary length byte
    { 5, 256, 5}, //  21 characters, 1 binary length byte
    { 0,   3, 0}, //  22 packed digits, fixed
    { 5, 256, 5}, //  23 characters, 1 binary length byte
    { 0,   3, 0}, //  24 packed digits, fixed
    { 0,   2, 0}, //  25 packed digits, fixed
    { 0,   2, 0}, //  26 packed digits, fixed
    { 5, 256, 5}, //  27 characters, 1 binary length byte
    { 5, 256, 5}, //  28 characters, 1 binary length byte
    { 5, 256, 5}, //  29 characters, 1 binary length byte
    { 5, 256, 5}, //  30 characters, 1 binary length byte
    { 5, 256, 5}, //  31 characters, 1 binary length byte
    { 5, 256, 5}, //  32 characters, 1 binary length byte
    { 5, 256, 5}, //  33 characters, 1 binary length byte
    { 5, 256, 5}, //  34 characters, 1 binary length byte
    { 9,  39, 7}, //  35 bytes, track-2 digit count
    { 5, 256, 5}, //  36 characters, 1 binary length byte
    { 4,  12, 0}, //  37 characters, fixed
    { 4,   6, 0}, //  38 characters, fixed
    { 4,   2, 0}, //  39 characters, fixed
    { 5, 256, 5}, //  40 characters, 1 binary length byte
    { 5,   8, 0}, //  41 characters, fixed
    { 5,  15, 0}, //  42 characters, fixed
    { 5, 256, 5}, //  43 characters, 1 binary length byte
    { 5, 256, 5}, //  44 characters, 1 binary length byte
    { 5, 256, 5}, //  45 characters, 1 binary length byte
    { 5, 256, 5}, //  46 characters, 1 binary length byte
    { 5, 256, 5}, //  47 characters, 1 binary length byte
    { 5, 999, 3}, //  48 characters, 2 BCD length bytes
    { 4,   3, 0}, //  49 characters, fixed
    { 5, 256, 5}, //  50 characters, 1 binary length byte
    { 5, 256, 5}, //  51 characters, 1 binary length byte
    { 8,   8, 0}, //  52 bytes, fixed
    { 5, 256, 5}, //  53 characters, 1 binary length byte
    { 5, 120, 3}, //  54 characters, 2 BCD length bytes
    { 5, 999, 3}, //  55 characters, 2 BCD length bytes
    { 5, 256, 5}, //  56 characters, 1 binary length byte
    { 5, 256, 5}, //  57 characters, 1 binary length byte
    { 5, 256, 5}, //  58 characters, 1 binary length byte
    { 5, 256, 5}, //  59 characters, 1 binary length byte
    { 5, 256, 5}, //  60 characters, 1 binary length byte
    { 5, 256, 5}, //  61 characters, 1 binary length byte
    { 5, 999, 3}, //  62 characters, 2 BCD length bytes
    { 5, 256, 5}, //  63 characters, 1 binary length byte
    { 8,   8, 0}, //  64 bytes, fixed
    { 8,   8, 0}, //  65 bytes, fixed
    { 0,   1, 0}, //  66 packed digits, fixed
    { 0,   2, 0}, //  67 packed digits, fixed
    { 0,   3, 0}, //  68 packed digits, fixed
    { 0,   3, 0}, //  69 packed digits, fixed
    { 0,   3, 0}, //  70 packed digits, fixed
    { 0,   4, 0}, //  71 packed digits, fixed
    { 0,   4, 0}, //  72 packed digits, fixed
    { 0,   6, 0}, //  73 packed digits, fixed
    { 0,  10, 0}, //  74 packed digits, fixed
    { 0,  10, 0}, //  75 packed digits, fixed
    { 0,  10, 0}, //  76 packed digits, fixed
    { 0,  10, 0}, //  77 packed digits, fixed
    { 0,  10, 0}, //  78 packed digits, fixed
    { 0,  10, 0}, //  79 packed digits, fixed
    { 0,  10, 0}, //  80 packed digits, fixed
    { 0,  10, 0}, //  81 packed digits, fixed
    { 0,  12, 0}, //  82 packed digits, fixed
    { 0,  12, 0}, //  83 packed digits, fixed
    { 0,  12, 0}, //  84 packed digits, fixed
    { 0,  12, 0}, //  85 packed digits, fixed
    { 0,  15, 0}, //  86 packed digits, fixed
    { 0,  15, 0}, //  87 packed digits, fixed
    { 0,  15, 0}, //  88 packed digits, fixed
    { 0,  15, 0}, //  89 packed digits, fixed
    { 0,  42, 0}, //  90 packed digits, fixed
    { 5,   1, 0}, //  91 characters, fixed
    { 0,   2, 0}, //  92 packed digits, fixed
    { 0,   5, 0}, //  93 packed digits, fixed
    { 5,   7, 0}, //  94 characters, fixed
    { 5,  42, 0}, //  95 characters, fixed
    { 8,   8, 0}, //  96 bytes, fixed
    { 2,  17, 0}, //  97 packed digits, fixed
    { 5,  25, 0}, //  98 characters, fixed
    { 0,  11, 2}, //  99 packed digits, 1 BCD length byte
    { 0,  11, 2}, // 100 packed digits, 1 BCD length byte
    { 5,  17, 2}, // 101 characters, 1 BCD length byte
    { 5,  28, 2}, // 102 characters, 1 BCD length byte
    { 5,  28, 2}, // 103 characters, 1 BCD length byte
    { 5, 100, 3}, // 104 characters, 2 BCD length bytes
    { 5, 999, 3}, // 105 characters, 2 BCD length bytes
    { 5, 999, 3}, // 106 characters, 2 BCD length bytes
    { 5, 999, 3}, // 107 characters, 2 BCD length bytes
    { 5, 999, 3}, // 108 characters, 2 BCD length bytes
    { 5, 999, 3}, // 109 characters, 2 BCD length bytes
    { 5, 999, 3}, // 110 characters, 2 BCD length bytes
    { 5, 999, 3}, // 111 characters, 2 BCD length bytes
    { 5, 999, 3}, // 112 characters, 2 BCD length bytes
    { 5, 999, 3}, // 113 characters, 2 BCD length bytes
    { 5, 999, 3}, // 114 characters, 2 BCD length bytes
    { 5, 999, 3}, // 115 characters, 2 BCD length bytes
    { 5, 999, 3}, // 116 characters, 2 BCD length bytes
    { 5, 999, 3}, // 117 characters, 2 BCD length bytes
    { 5, 999, 3}, // 118 characters, 2 BCD length bytes
    { 5, 999, 3}, // 119 characters, 2 BCD length bytes
    { 5, 999, 3}, // 120 characters, 2 BCD length bytes
    { 5, 999, 3}, // 121 characters, 2 BCD length bytes
    { 5, 999, 3}, // 122 characters, 2 BCD length bytes
    { 5, 999, 3}, // 123 characters, 2 BCD length bytes
    { 5, 999, 3}, // 124 characters, 2 BCD length bytes
    { 5, 999, 3}, // 125 characters, 2 BCD length bytes
    { 5, 999, 3}, // 126 characters, 2 BCD length bytes
    { 5, 999, 3}, // 127 characters, 2 BCD length bytes
    { 8,   8, 0}, // 128 bytes, fixed
};

void TUL_ISO8583_DEFS_GetHandler(TUL_ISO8583_HANDLER *handler) {
  TUL_ISO8583_COMMON_SetHandler(_iso8583_tuliso_fields, TUL_ISO8583_FIELD_COUNT, handler);
}
