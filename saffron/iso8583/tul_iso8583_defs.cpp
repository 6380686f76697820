// tul_iso8583_defs.cpp - the dictionary: {type, maxLen, length form} per position.
// maxLen counts digits for packed digits, characters or bytes otherwise; the
// type and length-form codes are explained where they are declared.
#include "iso8583/tul_iso8583_defs.h"

const TUL_ISO8583_FIELD_SPEC _iso8583_tuliso_fields[TUL_ISO8583_FIELD_COUNT] = {
    {TUL_FT_PACKED_DIGITS,     4, TUL_LF_FIXED }, // 0
    {TUL_FT_BITMAP,            8, TUL_LF_FIXED }, // 1
    {TUL_FT_PACKED_DIGITS,    20, TUL_LF_BCD1  }, // 2
    {TUL_FT_PACKED_DIGITS,     6, TUL_LF_FIXED }, // 3
    {TUL_FT_PACKED_DIGITS,    12, TUL_LF_FIXED }, // 4
    {TUL_FT_PACKED_DIGITS,    12, TUL_LF_FIXED }, // 5
    {TUL_FT_PACKED_DIGITS,    12, TUL_LF_FIXED }, // 6
    {TUL_FT_PACKED_DIGITS,    10, TUL_LF_FIXED }, // 7
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 8
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 9
    {TUL_FT_PACKED_DIGITS,   256, TUL_LF_BIN1  }, // 10
    {TUL_FT_PACKED_DIGITS,     6, TUL_LF_FIXED }, // 11
    {TUL_FT_PACKED_DIGITS,     6, TUL_LF_FIXED }, // 12
    {TUL_FT_PACKED_DIGITS,     4, TUL_LF_FIXED }, // 13
    {TUL_FT_PACKED_DIGITS,     4, TUL_LF_FIXED }, // 14
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 15
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 16
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 17
    {TUL_FT_PACKED_DIGITS,     4, TUL_LF_FIXED }, // 18
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 19
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 20
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 21
    {TUL_FT_PACKED_DIGITS,     3, TUL_LF_FIXED }, // 22
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 23
    {TUL_FT_PACKED_DIGITS,     3, TUL_LF_FIXED }, // 24
    {TUL_FT_PACKED_DIGITS,     2, TUL_LF_FIXED }, // 25
    {TUL_FT_PACKED_DIGITS,     2, TUL_LF_FIXED }, // 26
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 27
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 28
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 29
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 30
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 31
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 32
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 33
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 34
    {TUL_FT_BYTES_9,          39, TUL_LF_TRACK2}, // 35
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 36
    {TUL_FT_CHARS_4,          12, TUL_LF_FIXED }, // 37
    {TUL_FT_CHARS_4,           6, TUL_LF_FIXED }, // 38
    {TUL_FT_CHARS_4,           2, TUL_LF_FIXED }, // 39
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 40
    {TUL_FT_CHARS,             8, TUL_LF_FIXED }, // 41
    {TUL_FT_CHARS,            15, TUL_LF_FIXED }, // 42
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 43
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 44
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 45
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 46
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 47
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 48
    {TUL_FT_CHARS_4,           3, TUL_LF_FIXED }, // 49
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 50
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 51
    {TUL_FT_BYTES_8,           8, TUL_LF_FIXED }, // 52
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 53
    {TUL_FT_CHARS,           120, TUL_LF_BCD_H3}, // 54
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 55
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 56
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 57
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 58
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 59
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 60
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 61
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 62
    {TUL_FT_CHARS,           256, TUL_LF_BIN1  }, // 63
    {TUL_FT_BYTES_8,           8, TUL_LF_FIXED }, // 64
    {TUL_FT_BYTES_8,           8, TUL_LF_FIXED }, // 65
    {TUL_FT_PACKED_DIGITS,     1, TUL_LF_FIXED }, // 66
    {TUL_FT_PACKED_DIGITS,     2, TUL_LF_FIXED }, // 67
    {TUL_FT_PACKED_DIGITS,     3, TUL_LF_FIXED }, // 68
    {TUL_FT_PACKED_DIGITS,     3, TUL_LF_FIXED }, // 69
    {TUL_FT_PACKED_DIGITS,     3, TUL_LF_FIXED }, // 70
    {TUL_FT_PACKED_DIGITS,     4, TUL_LF_FIXED }, // 71
    {TUL_FT_PACKED_DIGITS,     4, TUL_LF_FIXED }, // 72
    {TUL_FT_PACKED_DIGITS,     6, TUL_LF_FIXED }, // 73
    {TUL_FT_PACKED_DIGITS,    10, TUL_LF_FIXED }, // 74
    {TUL_FT_PACKED_DIGITS,    10, TUL_LF_FIXED }, // 75
    {TUL_FT_PACKED_DIGITS,    10, TUL_LF_FIXED }, // 76
    {TUL_FT_PACKED_DIGITS,    10, TUL_LF_FIXED }, // 77
    {TUL_FT_PACKED_DIGITS,    10, TUL_LF_FIXED }, // 78
    {TUL_FT_PACKED_DIGITS,    10, TUL_LF_FIXED }, // 79
    {TUL_FT_PACKED_DIGITS,    10, TUL_LF_FIXED }, // 80
    {TUL_FT_PACKED_DIGITS,    10, TUL_LF_FIXED }, // 81
    {TUL_FT_PACKED_DIGITS,    12, TUL_LF_FIXED }, // 82
    {TUL_FT_PACKED_DIGITS,    12, TUL_LF_FIXED }, // 83
    {TUL_FT_PACKED_DIGITS,    12, TUL_LF_FIXED }, // 84
    {TUL_FT_PACKED_DIGITS,    12, TUL_LF_FIXED }, // 85
    {TUL_FT_PACKED_DIGITS,    15, TUL_LF_FIXED }, // 86
    {TUL_FT_PACKED_DIGITS,    15, TUL_LF_FIXED }, // 87
    {TUL_FT_PACKED_DIGITS,    15, TUL_LF_FIXED }, // 88
    {TUL_FT_PACKED_DIGITS,    15, TUL_LF_FIXED }, // 89
    {TUL_FT_PACKED_DIGITS,    42, TUL_LF_FIXED }, // 90
    {TUL_FT_CHARS,             1, TUL_LF_FIXED }, // 91
    {TUL_FT_PACKED_DIGITS,     2, TUL_LF_FIXED }, // 92
    {TUL_FT_PACKED_DIGITS,     5, TUL_LF_FIXED }, // 93
    {TUL_FT_CHARS,             7, TUL_LF_FIXED }, // 94
    {TUL_FT_CHARS,            42, TUL_LF_FIXED }, // 95
    {TUL_FT_BYTES_8,           8, TUL_LF_FIXED }, // 96
    {TUL_FT_PACKED_DIGITS_2,  17, TUL_LF_FIXED }, // 97
    {TUL_FT_CHARS,            25, TUL_LF_FIXED }, // 98
    {TUL_FT_PACKED_DIGITS,    11, TUL_LF_BCD1  }, // 99
    {TUL_FT_PACKED_DIGITS,    11, TUL_LF_BCD1  }, // 100
    {TUL_FT_CHARS,            17, TUL_LF_BCD1  }, // 101
    {TUL_FT_CHARS,            28, TUL_LF_BCD1  }, // 102
    {TUL_FT_CHARS,            28, TUL_LF_BCD1  }, // 103
    {TUL_FT_CHARS,           100, TUL_LF_BCD_H3}, // 104
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 105
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 106
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 107
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 108
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 109
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 110
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 111
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 112
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 113
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 114
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 115
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 116
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 117
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 118
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 119
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 120
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 121
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 122
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 123
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 124
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 125
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 126
    {TUL_FT_CHARS,           999, TUL_LF_BCD_H3}, // 127
    {TUL_FT_BYTES_8,           8, TUL_LF_FIXED }, // 128
};

void TUL_ISO8583_DEFS_GetHandler(TUL_ISO8583_HANDLER *handler) {
  TUL_ISO8583_COMMON_SetHandler(_iso8583_tuliso_fields, TUL_ISO8583_FIELD_COUNT, handler);
}
