// tul_iso8583_common.cpp - the field-set descriptor.
#include "iso8583/tul_iso8583_common.h"

#include <cstring>

void TUL_ISO8583_COMMON_SetHandler(const TUL_ISO8583_FIELD_SPEC *fields, std::uint8_t count,
                                   TUL_ISO8583_HANDLER *handler) {
  if (handler == nullptr) return;
  std::memset(handler, 0, sizeof *handler);
  handler->fields = fields;
  handler->count = count;
}
