/*
 * tul_iso8583.cpp - the message record: initialise and free, slot storage in
 * malloc or arena mode, set and get, and the pack and unpack walks.
 */
#include "iso8583/tul_iso8583.h"

#include <cstring>

#include "iso8583/iso_mem.h"
#include "iso8583/iso_str.h"
#include "iso8583/tul_iso8583_fields.h"

namespace {

bool isBitmapType(std::uint8_t type) {
  return type == TUL_FT_BITMAP || type == TUL_FT_BITMAP_5 || type == TUL_FT_BITMAP_HEX;
}

bool arenaMode(const TUL_ISO8583_MSG *msg) { return msg->arenaCursor != nullptr; }

unsigned int walkCount(const TUL_ISO8583_HANDLER *handler) {
  return handler->count < TUL_ISO8583_FIELD_COUNT ? handler->count : TUL_ISO8583_FIELD_COUNT;
}

/*
 * Reserves storage for a slot. In malloc mode the previous block is handed
 * back through *old instead of being released, so a caller copying from the
 * slot's own value can finish before it goes.
 */
int allocSlot(unsigned int field, std::uint32_t length, TUL_ISO8583_MSG *msg, unsigned char **out,
              unsigned char **old) {
  *old = nullptr;
  if (out != nullptr) *out = nullptr;
  if (msg == nullptr || out == nullptr || field >= TUL_ISO8583_FIELD_COUNT) return TUL_ISO8583_FAIL;
  if (length == UINT32_MAX) return TUL_ISO8583_FAIL; // length + 1 must be representable
  TUL_ISO8583_SLOT *slot = &msg->fields[field];
  std::size_t need = static_cast<std::size_t>(length) + 1;

  if (arenaMode(msg)) {
    if (slot->value != nullptr) return TUL_ISO8583_FAIL; // set once only
    std::size_t room = msg->arenaEnd > msg->arenaCursor
                           ? static_cast<std::size_t>(msg->arenaEnd - msg->arenaCursor) : 0;
    if (need > room) return TUL_ISO8583_FAIL;
    unsigned char *block = msg->arenaCursor;
    std::memset(block, 0, need);
    msg->arenaCursor += need;
    slot->length = length;
    slot->value = block;
    *out = block;
    return TUL_ISO8583_OK;
  }

  void *block = nullptr;
  if (ISO_MEM_malloc(need, &block) != 0) return TUL_ISO8583_NOMEM;
  *old = slot->value;
  slot->length = length;
  slot->value = static_cast<unsigned char *>(block);
  *out = slot->value;
  return TUL_ISO8583_OK;
}

} // namespace

void TUL_ISO8583_MSG_Init(unsigned char *buffer, std::uint32_t size, TUL_ISO8583_MSG *msg) {
  if (msg == nullptr) return;
  std::memset(msg, 0, sizeof *msg);
  if (buffer != nullptr) {
    msg->arenaCursor = buffer;
    msg->arenaEnd = buffer + size;
  }
}

void TUL_ISO8583_MSG_Free(TUL_ISO8583_MSG *msg) {
  if (msg == nullptr) return;
  if (!arenaMode(msg)) {
    for (TUL_ISO8583_SLOT &slot : msg->fields)
      if (slot.value != nullptr) ISO_MEM_free(slot.value); // most slots are empty: skip the call
  }
  std::memset(msg, 0, sizeof *msg);
}

int _TUL_ISO8583_MSG_AllocField(unsigned int field, std::uint32_t length, TUL_ISO8583_MSG *msg,
                                unsigned char **out) {
  unsigned char *old = nullptr;
  int status = allocSlot(field, length, msg, out, &old);
  ISO_MEM_free(old);
  return status;
}

int TUL_ISO8583_MSG_SetField_Bin(unsigned int field, const void *data, std::uint32_t length,
                                 TUL_ISO8583_MSG *msg) {
  if (field >= TUL_ISO8583_FIELD_COUNT || msg == nullptr) return TUL_ISO8583_FAIL;
  if (data == nullptr && length != 0) return TUL_ISO8583_FAIL;
  unsigned char *to = nullptr;
  unsigned char *old = nullptr;
  int status = allocSlot(field, length, msg, &to, &old);
  if (status != TUL_ISO8583_OK) return status;
  if (length != 0) std::memcpy(to, data, length);
  to[length] = '\0';
  ISO_MEM_free(old);
  return TUL_ISO8583_OK;
}

int TUL_ISO8583_MSG_SetField_Str(unsigned int field, const char *text, TUL_ISO8583_MSG *msg) {
  std::size_t len = ISO_STR_StrLen(text);
  if (len >= UINT32_MAX) return TUL_ISO8583_FAIL;
  return TUL_ISO8583_MSG_SetField_Bin(field, text, static_cast<std::uint32_t>(len), msg);
}

int TUL_ISO8583_MSG_SetField(int mode, unsigned int field, const char *text, TUL_ISO8583_MSG *msg) {
  if (mode != 0 && mode != 1) return TUL_ISO8583_OK;
  return TUL_ISO8583_MSG_SetField_Str(field, text, msg);
}

int TUL_ISO8583_MSG_HaveField(unsigned int field, const TUL_ISO8583_MSG *msg) {
  return (msg != nullptr && field < TUL_ISO8583_FIELD_COUNT && msg->fields[field].value != nullptr) ? 1 : 0;
}

int TUL_ISO8583_MSG_GetField_Str(unsigned int field, const TUL_ISO8583_MSG *msg, char **text) {
  if (text == nullptr) return TUL_ISO8583_FAIL;
  *text = nullptr;
  if (!TUL_ISO8583_MSG_HaveField(field, msg)) return TUL_ISO8583_FAIL;
  *text = reinterpret_cast<char *>(msg->fields[field].value);
  return TUL_ISO8583_OK;
}

int TUL_ISO8583_MSG_GetField_Bin(unsigned int field, const TUL_ISO8583_MSG *msg, unsigned char **data,
                                 std::uint32_t *length) {
  if (data == nullptr || length == nullptr) return TUL_ISO8583_FAIL;
  *data = nullptr;
  *length = 0;
  if (!TUL_ISO8583_MSG_HaveField(field, msg)) return TUL_ISO8583_FAIL;
  *data = msg->fields[field].value;
  *length = msg->fields[field].length;
  return TUL_ISO8583_OK;
}

namespace {

// The dictionary row of a position, or null when the handler has none usable.
const TUL_ISO8583_FIELD_SPEC *fieldDefFor(unsigned int field, const TUL_ISO8583_HANDLER *handler) {
  if (handler == nullptr || handler->fields == nullptr || field >= walkCount(handler)) return nullptr;
  const TUL_ISO8583_FIELD_SPEC *fieldDef = &handler->fields[field];
  return fieldDef->type < TUL_FT_COUNT ? fieldDef : nullptr;
}

} // namespace

int _TUL_ISO8583_FIELD_Pack(unsigned int field, const TUL_ISO8583_MSG *msg,
                            const TUL_ISO8583_HANDLER *handler, unsigned char **cursor,
                            const unsigned char *end) {
  const TUL_ISO8583_FIELD_SPEC *fieldDef = fieldDefFor(field, handler);
  if (fieldDef == nullptr) return TUL_ISO8583_FAIL;
  return fieldTypeArr[fieldDef->type].pack(field, msg, fieldDef, cursor, end);
}

int _TUL_ISO8583_FIELD_Unpack(unsigned int field, TUL_ISO8583_MSG *msg,
                              const TUL_ISO8583_HANDLER *handler, const unsigned char **cursor,
                              const unsigned char *end) {
  const TUL_ISO8583_FIELD_SPEC *fieldDef = fieldDefFor(field, handler);
  if (fieldDef == nullptr) return TUL_ISO8583_FAIL;
  return fieldTypeArr[fieldDef->type].unpack(field, msg, fieldDef, cursor, end);
}

namespace {

// Records where a walk stopped (when the caller asked) and passes the status on.
int report(TUL_ISO8583_ERROR *error, int status, unsigned int field, const unsigned char *at,
           const unsigned char *start) {
  if (error != nullptr) {
    error->field = field;
    error->offset = (at != nullptr && start != nullptr) ? static_cast<std::uint32_t>(at - start) : 0;
  }
  return status;
}

} // namespace

int TUL_ISO8583_MSG_Pack(const TUL_ISO8583_HANDLER *handler, const TUL_ISO8583_MSG *msg,
                         unsigned char *out, std::uint32_t outSize, std::uint32_t *outLength,
                         TUL_ISO8583_ERROR *error) {
  if (outLength != nullptr) *outLength = 0;
  if (handler == nullptr || handler->fields == nullptr || msg == nullptr || out == nullptr ||
      outLength == nullptr)
    return report(error, TUL_ISO8583_FAIL, TUL_ISO8583_NO_FIELD, nullptr, nullptr);
  unsigned char *cursor = out;
  const unsigned char *end = out + outSize;
  unsigned int count = walkCount(handler);
  for (unsigned int pos = 0; pos < count; ++pos) {
    // Bitmaps are always written, computed from the slots.
    if (msg->fields[pos].value == nullptr && !isBitmapType(handler->fields[pos].type)) continue;
    unsigned char *fieldStart = cursor;
    int status = _TUL_ISO8583_FIELD_Pack(pos, msg, handler, &cursor, end);
    if (status != TUL_ISO8583_OK) return report(error, status, pos, fieldStart, out);
  }
  *outLength = static_cast<std::uint32_t>(cursor - out);
  return report(error, TUL_ISO8583_OK, TUL_ISO8583_NO_FIELD, cursor, out);
}

/*
 * Phase 1 decodes every position up to and including the first bitmap; phase
 * 2 decodes the positions the bitmap marked. Input that ends before the
 * bitmap or before a marked field is reported as a failure: the parsers read
 * whatever was decoded either way, but a caller that checks must not be told
 * a cut-off message is whole.
 */
int TUL_ISO8583_MSG_Unpack(const TUL_ISO8583_HANDLER *handler, const unsigned char *in,
                           std::uint32_t inLength, TUL_ISO8583_MSG *msg, TUL_ISO8583_ERROR *error) {
  if (handler == nullptr || handler->fields == nullptr || msg == nullptr ||
      (in == nullptr && inLength != 0))
    return report(error, TUL_ISO8583_FAIL, TUL_ISO8583_NO_FIELD, nullptr, nullptr);
  // The length words are presence markers during the walk: stale ones would
  // decode fields the bitmap never named.
  for (const TUL_ISO8583_SLOT &slot : msg->fields)
    if (slot.value != nullptr || slot.length != 0)
      return report(error, TUL_ISO8583_FAIL, TUL_ISO8583_NO_FIELD, nullptr, nullptr);

  const unsigned char *cursor = in;
  const unsigned char *end = in + inLength;
  unsigned int count = walkCount(handler);
  unsigned int pos = 0;
  bool bitmapSeen = false;

  while (pos < count && cursor != end) {
    const unsigned char *fieldStart = cursor;
    int status = _TUL_ISO8583_FIELD_Unpack(pos, msg, handler, &cursor, end);
    if (status != TUL_ISO8583_OK) return report(error, status, pos, fieldStart, in);
    bitmapSeen = isBitmapType(handler->fields[pos].type);
    ++pos;
    if (bitmapSeen) break;
  }
  if (!bitmapSeen && pos < count) return report(error, TUL_ISO8583_FAIL, pos, end, in); // input ended first

  if (bitmapSeen) {
    for (; pos < count && cursor != end; ++pos) {
      if (msg->fields[pos].length == 0) continue;
      const unsigned char *fieldStart = cursor;
      int status = _TUL_ISO8583_FIELD_Unpack(pos, msg, handler, &cursor, end);
      if (status != TUL_ISO8583_OK) return report(error, status, pos, fieldStart, in);
    }
  }
  if (cursor != end) return report(error, TUL_ISO8583_FAIL, TUL_ISO8583_NO_FIELD, cursor, in); // bytes left over
  for (; pos < count; ++pos)
    if (msg->fields[pos].length != 0 && msg->fields[pos].value == nullptr)
      return report(error, TUL_ISO8583_FAIL, pos, end, in);
  return report(error, TUL_ISO8583_OK, TUL_ISO8583_NO_FIELD, cursor, in);
}
