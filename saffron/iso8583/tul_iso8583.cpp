/*
 * tul_iso8583.cpp - the message record: initialise and free, slot storage in
 * malloc or arena mode, set and get, and the pack and unpack walks.
 */
#include "iso8583/tul_iso8583.h"

#include <cstdint>
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

// The next `need` bytes of the record's own store (still zero), or null when
// they do not fit or every value must have a heap block of its own.
unsigned char *takeFromStore(TUL_ISO8583_MSG *msg, std::size_t need) {
  if (!ISO_MEM_MayBypassHeap() || msg->storeUsed > TUL_ISO8583_STORE_BYTES ||
      need > TUL_ISO8583_STORE_BYTES - msg->storeUsed)
    return nullptr;
  unsigned char *block = msg->store + msg->storeUsed;
  msg->storeUsed += static_cast<std::uint32_t>(need);
  return block;
}

bool inStore(const TUL_ISO8583_MSG *msg, const unsigned char *value) {
  auto at = reinterpret_cast<std::uintptr_t>(value);
  auto first = reinterpret_cast<std::uintptr_t>(msg->store);
  return at >= first && at - first < TUL_ISO8583_STORE_BYTES;
}

// Malloc mode: gives a value's heap block back; one in the store stays there
// until Free clears the store.
void releaseValue(const TUL_ISO8583_MSG *msg, unsigned char *value) {
  if (value != nullptr && !inStore(msg, value)) ISO_MEM_free(value);
}

/*
 * Reserves storage for a slot. In malloc mode the previous block is handed
 * back through *old instead of being released, so a caller copying from the
 * slot's own value can finish before it goes.
 */
// Kept out of line: the callers try claimFromStore first, and inlining this
// path would make every call save registers it seldom needs.
[[gnu::noinline]] int allocSlot(unsigned int field, std::uint32_t length, TUL_ISO8583_MSG *msg,
                                unsigned char **out, unsigned char **old) {
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
    _TUL_ISO8583_MarkInUse(msg, field);
    slot->length = length;
    slot->value = block;
    *out = block;
    return TUL_ISO8583_OK;
  }

  unsigned char *block = takeFromStore(msg, need);
  if (block == nullptr) {
    void *heapBlock = nullptr;
    if (ISO_MEM_malloc(need, &heapBlock) != 0) return TUL_ISO8583_NOMEM;
    block = static_cast<unsigned char *>(heapBlock);
  }
  *old = slot->value;
  _TUL_ISO8583_MarkInUse(msg, field);
  slot->length = length;
  slot->value = block;
  *out = block;
  return TUL_ISO8583_OK;
}

// The common case of allocSlot: an empty slot of a malloc-mode message whose
// store has room. Returns the value's storage, or null for allocSlot to handle.
unsigned char *claimFromStore(unsigned int field, std::uint32_t length, TUL_ISO8583_MSG *msg) {
  TUL_ISO8583_SLOT *slot = &msg->fields[field];
  if (arenaMode(msg) || slot->value != nullptr || length == UINT32_MAX) return nullptr;
  unsigned char *block = takeFromStore(msg, static_cast<std::size_t>(length) + 1);
  if (block == nullptr) return nullptr;
  _TUL_ISO8583_MarkInUse(msg, field);
  slot->length = length;
  slot->value = block;
  return block;
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

// Only the slots in use and the carved part of the store can be non-zero, so
// clearing those (and the mask, the store's count and the arena pointers)
// leaves the whole record zero, as Init does.
void TUL_ISO8583_MSG_Free(TUL_ISO8583_MSG *msg) {
  if (msg == nullptr) return;
  bool heap = !arenaMode(msg);
  _TUL_ISO8583_EachInUse(msg->inUse, 0, TUL_ISO8583_FIELD_COUNT, [msg, heap](unsigned int pos) {
    TUL_ISO8583_SLOT &slot = msg->fields[pos];
    if (heap) releaseValue(msg, slot.value);
    slot.length = 0;
    slot.value = nullptr;
    return true;
  });
  for (std::uint64_t &word : msg->inUse) word = 0;
  // In whole 64-byte steps: a constant-size clear is a few vector stores,
  // where a variable-length one pays a string instruction's start-up.
  static_assert(TUL_ISO8583_STORE_BYTES % 64 == 0);
  for (std::uint32_t at = 0; at < msg->storeUsed && at < TUL_ISO8583_STORE_BYTES; at += 64)
    std::memset(msg->store + at, 0, 64);
  msg->storeUsed = 0;
  msg->arenaCursor = nullptr;
  msg->arenaEnd = nullptr;
}

int _TUL_ISO8583_MSG_AllocField(unsigned int field, std::uint32_t length, TUL_ISO8583_MSG *msg,
                                unsigned char **out) {
  if (out != nullptr && msg != nullptr && field < TUL_ISO8583_FIELD_COUNT) {
    *out = claimFromStore(field, length, msg);
    if (*out != nullptr) return TUL_ISO8583_OK;
  }
  unsigned char *old = nullptr;
  int status = allocSlot(field, length, msg, out, &old);
  if (status == TUL_ISO8583_OK) releaseValue(msg, old);
  return status;
}

int TUL_ISO8583_MSG_SetField_Bin(unsigned int field, const void *data, std::uint32_t length,
                                 TUL_ISO8583_MSG *msg) {
  if (field >= TUL_ISO8583_FIELD_COUNT || msg == nullptr) return TUL_ISO8583_FAIL;
  if (data == nullptr && length != 0) return TUL_ISO8583_FAIL;
  unsigned char *old = nullptr;
  unsigned char *to = claimFromStore(field, length, msg);
  if (to == nullptr) {
    int status = allocSlot(field, length, msg, &to, &old);
    if (status != TUL_ISO8583_OK) return status;
  }
  if (length != 0) std::memcpy(to, data, length);
  to[length] = '\0';
  releaseValue(msg, old);
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

// The bitmap positions below `count` of a handler's rows, as a mask. The
// dictionary's are found once; any other rows are looked at on each call,
// since a caller's rows may change between packs.
void scanBitmaps(const TUL_ISO8583_FIELD_SPEC *rows, unsigned int count,
                 std::uint64_t (&mask)[TUL_ISO8583_USE_WORDS]) {
  for (std::uint64_t &word : mask) word = 0;
  for (unsigned int pos = 0; pos < count; ++pos)
    if (isBitmapType(rows[pos].type)) mask[pos / 64] |= std::uint64_t{1} << (pos % 64);
}

struct DictionaryBitmaps {
  std::uint64_t mask[TUL_ISO8583_USE_WORDS];
  DictionaryBitmaps() { scanBitmaps(_iso8583_tuliso_fields, TUL_ISO8583_FIELD_COUNT, mask); }
};

void bitmapPositions(const TUL_ISO8583_HANDLER *handler, unsigned int count,
                     std::uint64_t (&mask)[TUL_ISO8583_USE_WORDS]) {
  if (handler->fields != _iso8583_tuliso_fields) {
    scanBitmaps(handler->fields, count, mask);
    return;
  }
  static const DictionaryBitmaps dictionary;
  for (unsigned int w = 0; w < TUL_ISO8583_USE_WORDS; ++w) mask[w] = dictionary.mask[w];
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
  // Bitmaps are always written, computed from the slots; any other position
  // only when present, and only slots in use can be.
  std::uint64_t visit[TUL_ISO8583_USE_WORDS];
  bitmapPositions(handler, count, visit);
  for (unsigned int w = 0; w < TUL_ISO8583_USE_WORDS; ++w) visit[w] |= msg->inUse[w];
  int status = TUL_ISO8583_OK;
  unsigned int failed = TUL_ISO8583_NO_FIELD;
  unsigned char *fieldStart = cursor;
  _TUL_ISO8583_EachInUse(visit, 0, count, [&](unsigned int pos) {
    const TUL_ISO8583_FIELD_SPEC *fieldDef = &handler->fields[pos];
    if (msg->fields[pos].value == nullptr && !isBitmapType(fieldDef->type)) return true;
    fieldStart = cursor;
    status = fieldDef->type < TUL_FT_COUNT ? fieldTypeArr[fieldDef->type].pack(pos, msg, fieldDef, &cursor, end)
                                           : TUL_ISO8583_FAIL;
    failed = pos;
    return status == TUL_ISO8583_OK;
  });
  if (status != TUL_ISO8583_OK) return report(error, status, failed, fieldStart, out);
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
  bool empty = _TUL_ISO8583_EachInUse(msg->inUse, 0, TUL_ISO8583_FIELD_COUNT, [msg](unsigned int pos) {
    return msg->fields[pos].value == nullptr && msg->fields[pos].length == 0;
  });
  if (!empty) return report(error, TUL_ISO8583_FAIL, TUL_ISO8583_NO_FIELD, nullptr, nullptr);

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

  // Marked positions are in use, so the walks go from one in-use slot to the next.
  if (bitmapSeen) {
    while (cursor != end) {
      pos = _TUL_ISO8583_NextInUse(msg->inUse, pos, count);
      if (pos >= count) break;
      if (msg->fields[pos].length != 0) {
        const unsigned char *fieldStart = cursor;
        int status = _TUL_ISO8583_FIELD_Unpack(pos, msg, handler, &cursor, end);
        if (status != TUL_ISO8583_OK) return report(error, status, pos, fieldStart, in);
      }
      ++pos;
    }
  }
  if (cursor != end) return report(error, TUL_ISO8583_FAIL, TUL_ISO8583_NO_FIELD, cursor, in); // bytes left over
  unsigned int missing = TUL_ISO8583_NO_FIELD;
  _TUL_ISO8583_EachInUse(msg->inUse, pos, count, [msg, &missing](unsigned int at) {
    if (msg->fields[at].length == 0 || msg->fields[at].value != nullptr) return true;
    missing = at;
    return false;
  });
  if (missing != TUL_ISO8583_NO_FIELD) return report(error, TUL_ISO8583_FAIL, missing, end, in);
  return report(error, TUL_ISO8583_OK, TUL_ISO8583_NO_FIELD, cursor, in);
}
