// Journal.cpp - the transaction record and its files: the journal of completed
// transactions, the pending file, the last-record file and the start-up
// housekeeping.
//
// Sections: helpers, record operations, writers, readers, housekeeping.
//
// Files hold 320-byte records back to back; size / 320 is the record count and a
// trailing partial record (a torn append) is never read and is overwritten by the
// next append, so later records stay aligned.
#include "journal/Journal.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>

#include "core/clock.h"
#include "core/debug.h"
#include "core/file.h"

TransactionRecord currentTransaction;

namespace {

constexpr int RECORD_SIZE = static_cast<int>(sizeof(TransactionRecord));
constexpr int LAST_SLOTS = 4;
constexpr int SEEK_FAILED = -1000;
constexpr int NOT_FOUND = 1;

// Closes a descriptor of the file layer at the end of one operation.
class FileHandle {
 public:
  FileHandle(const char *path, int flags) : fd_(mid_fileOpen(path, flags)) {}
  ~FileHandle() { close(); }
  FileHandle(const FileHandle &) = delete;
  FileHandle &operator=(const FileHandle &) = delete;
  int fd() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  int close() {
    int r = 0;
    if (fd_ >= 0) r = mid_fileClose(fd_);
    fd_ = -1;
    return r;
  }

 private:
  int fd_;
};

// A reader's file: opened read-only, so that a file this process may not write
// still reads. A missing one is created empty, as the files always were on
// first use (absent() when even that failed); anything else that fails to
// open (unreadable, a folder or FIFO under the name) is an error.
class ReadHandle : public FileHandle {
 public:
  explicit ReadHandle(const char *path)
      : FileHandle((mid_fileCreateMissing(path), path), O_RDONLY), absent_(!ok() && mid_fileState(path) == FILE_ABSENT) {
    if (!ok() && !absent_) USB_printf2("%s cannot be read (%s)", path, mid_fileStateText(mid_fileState(path)));
  }
  bool absent() const { return absent_; }

 private:
  bool absent_;
};

// A file found but unreadable is never replaced: it may hold the only copy.
bool mayReplace(const char *path) {
  const int state = mid_fileState(path);
  if (state == FILE_ABSENT || state == FILE_READABLE) return true;
  USB_printf2("%s is %s: not written", path, mid_fileStateText(state));
  return false;
}

// Records wholly present in an open file.
long recordCount(int fd) {
  const long size = mid_fileSeek(fd, 0, SEEK_END);
  return size < 0 ? 0 : size / RECORD_SIZE;
}

long recordCountByName(const char *path, long *size) {
  const long s = mid_fileSize(path);
  *size = s < 0 ? 0 : s;
  return *size / RECORD_SIZE;
}

// The copy every writer puts on disk: no track 2, no PIN block.
TransactionRecord scrubbed(TransactionRecord trx) {
  std::memset(trx.Track2, 0, sizeof trx.Track2);
  std::memset(trx.pinBlock, 0, sizeof trx.pinBlock);
  return trx;
}

// The copy the journal and the last-record file keep for good: the card number
// too is masked past its first six and before its last four digits, at its own
// length, so receipts and statements (which mask the same way) read the same.
// Only the pending file keeps it whole: its advice or reversal must send it.
TransactionRecord kept(TransactionRecord trx) {
  trx = scrubbed(trx);
  const std::size_t len = strnlen(trx.PAN, sizeof trx.PAN);
  for (std::size_t i = 6; i + 4 < len; ++i) trx.PAN[i] = '*';
  return trx;
}

// Bounded copy of a text slot up to its NUL; the destination stays terminated.
template <std::size_t N>
void copyText(char (&dest)[N], const char (&src)[N]) {
  std::size_t i = 0;
  for (; i + 1 < N && src[i] != '\0'; ++i) dest[i] = src[i];
  dest[i] = '\0';
}

// A record read from a file may hold anything: make every text slot terminated
// before it is compared or logged.
void terminateTexts(TransactionRecord *t) {
  t->MTI[sizeof t->MTI - 1] = '\0';
  t->ProcessCode[sizeof t->ProcessCode - 1] = '\0';
  t->PAN[sizeof t->PAN - 1] = '\0';
  t->Track2[sizeof t->Track2 - 1] = '\0';
  t->Price[sizeof t->Price - 1] = '\0';
  t->STAN[sizeof t->STAN - 1] = '\0';
  t->Date[sizeof t->Date - 1] = '\0';
  t->Time[sizeof t->Time - 1] = '\0';
  t->DateTime[sizeof t->DateTime - 1] = '\0';
  t->RRN[sizeof t->RRN - 1] = '\0';
  t->BillId[sizeof t->BillId - 1] = '\0';
  t->PaymentId[sizeof t->PaymentId - 1] = '\0';
  t->CellphonNumber[sizeof t->CellphonNumber - 1] = '\0';
  t->companyName[sizeof t->companyName - 1] = '\0';
  t->ResponseCode[sizeof t->ResponseCode - 1] = '\0';
  t->description[sizeof t->description - 1] = '\0';
  t->SwitchSTAN[sizeof t->SwitchSTAN - 1] = '\0';
}

// Reads the next record of an open file: RECORD_SIZE, or the short/failed result.
int readRecord(int fd, TransactionRecord *t) {
  const int r = mid_fileRead(fd, t, sizeof *t);
  if (r == RECORD_SIZE) terminateTexts(t);
  return r;
}

// Reads records in order a block at a time: a statement walks the whole journal,
// and one read per record cost more than the search itself.
class RecordReader {
 public:
  explicit RecordReader(int fd) : fd_(fd) {}
  // As readRecord: RECORD_SIZE with the record, else the bytes left over (0 at
  // the end, fewer than a record after a torn append) or -1.
  int next(TransactionRecord *t) {
    if (have_ - pos_ < sizeof *t) {
      std::memmove(buf_, buf_ + pos_, have_ - pos_);
      have_ -= pos_;
      pos_ = 0;
      const int r = mid_fileRead(fd_, buf_ + have_, sizeof buf_ - have_);
      if (r < 0) return -1;
      have_ += static_cast<std::size_t>(r);
      if (have_ < sizeof *t) return static_cast<int>(have_);
    }
    std::memcpy(t, buf_ + pos_, sizeof *t);
    pos_ += sizeof *t;
    terminateTexts(t);
    return RECORD_SIZE;
  }

 private:
  int fd_;
  unsigned char buf_[16 * RECORD_SIZE];
  std::size_t have_ = 0, pos_ = 0;
};

bool isProcessCode(const TransactionRecord &t, const char *code) { return std::strcmp(t.ProcessCode, code) == 0; }

bool passesFilter(const TransactionRecord &t, int filter) {
  const int type = transactionTypeOf(&t);
  switch (filter) {
    case TRX_FILTER_ALL: return type != 0;
    case TRX_FILTER_PURCHASE: return type == TT_PURCHASE;
    case TRX_FILTER_BILL: return type == TT_BILL_PAYMENT;
    case TRX_FILTER_CHARGE: return type == TT_VOUCHER || type == TT_TOPUP;
    default: return false;
  }
}

bool inRange(const TransactionRecord &t, const char *from, const char *to, char *dateTime, std::size_t size) {
  TransactionDateTime(t.Date, t.Time, dateTime, size);
  return std::strcmp(dateTime, from) >= 0 && std::strcmp(dateTime, to) < 0;
}

// Price as a number (leading zeros add nothing). Digits beyond what 32 bits hold
// saturate instead of wrapping, so one large amount cannot turn a total negative.
// At most 12 digits fit the slot, so any sum over a journal stays far inside 64 bits.
int64_t priceValue(const char *price) {
  int64_t v = 0;
  for (int i = 0; i < 12 && price[i] >= '0' && price[i] <= '9'; ++i) v = v * 10 + (price[i] - '0');
  return v;
}

// Left-pads text with '0' to width characters into out (longer texts are copied
// as they are, bounded by outSize).
void padLeftZeros(const char *text, std::size_t width, char *out, std::size_t outSize) {
  const std::size_t len = strnlen(text, outSize - 1);
  std::size_t pos = 0;
  for (std::size_t i = len; i < width && pos + 1 < outSize; ++i) out[pos++] = '0';
  for (std::size_t i = 0; i < len && pos + 1 < outSize; ++i) out[pos++] = text[i];
  out[pos] = '\0';
}

// Makes a finished work file the new journal. rename() replaces the old name in
// one step, so a power loss leaves the old journal or the new one, never neither.
int commitWorkFile(FileHandle &work, const char *workName, const char *fileName) {
  const bool synced = ::fsync(work.fd()) == 0;
  if (work.close() != 0 || !synced || mid_fileRename(workName, fileName) != 0) {
    mid_fileRemove(workName);
    return -1;
  }
  return 0;
}

// Drops an unfinished work file; the journal it was to replace stays as it was.
void discardWorkFile(FileHandle &work, const char *workName) {
  work.close();
  mid_fileRemove(workName);
}

}  // namespace

// ---- record operations ------------------------------------------------------------

void clearTransaction(TransactionRecord *trx) {
  // The layout has no gaps (see the offset checks), so this zeroes exactly the fields.
  if (trx != nullptr) std::memset(trx, 0, sizeof *trx);
}

void copyTransaction(TransactionRecord *dest, const TransactionRecord *src) {
  if (dest == nullptr || src == nullptr || dest == src) return;
  clearTransaction(dest);
  copyText(dest->MTI, src->MTI);
  copyText(dest->ProcessCode, src->ProcessCode);
  copyText(dest->PAN, src->PAN);
  std::memcpy(dest->pinBlock, src->pinBlock, 8);
  copyText(dest->Track2, src->Track2);
  copyText(dest->Price, src->Price);
  copyText(dest->STAN, src->STAN);
  copyText(dest->Date, src->Date);
  copyText(dest->Time, src->Time);
  copyText(dest->DateTime, src->DateTime);
  copyText(dest->RRN, src->RRN);
  dest->companyId = src->companyId;
  copyText(dest->BillId, src->BillId);
  copyText(dest->PaymentId, src->PaymentId);
  copyText(dest->CellphonNumber, src->CellphonNumber);
  copyText(dest->companyName, src->companyName);
  copyText(dest->ResponseCode, src->ResponseCode);
  copyText(dest->description, src->description);
  dest->Status = src->Status;
  copyText(dest->SwitchSTAN, src->SwitchSTAN);
}

int transactionTypeOf(const TransactionRecord *trx) {
  if (trx == nullptr) return 0;
  if (isProcessCode(*trx, "000000")) return TT_PURCHASE;
  if (isProcessCode(*trx, "170000")) return TT_BILL_PAYMENT;
  if (isProcessCode(*trx, "180000")) return TT_VOUCHER;
  if (isProcessCode(*trx, "220000")) return TT_TOPUP;
  return 0;
}

// ---- writers -------------------------------------------------------------------------

int writeTransaction2File(TransactionRecord trx) {
  const TransactionRecord out = kept(trx);
  FileHandle f(TRX_FILE, O_RDWR | O_CREAT);
  if (!f.ok()) return -1;
  // Append after the last whole record: a torn tail left by a power loss is
  // overwritten instead of shifting every later record.
  const long end = recordCount(f.fd()) * RECORD_SIZE;
  if (mid_fileSeek(f.fd(), end, SEEK_SET) != end) return -1;
  if (out.Status >= 101) return 0;
  const int written = mid_fileWrite(f.fd(), &out, sizeof out);
  if (written == RECORD_SIZE) ::fsync(f.fd());
  return written;
}

int writeLastTransaction2File(TransactionRecord trx) {
  TransactionRecord slots[LAST_SLOTS];
  std::memset(slots, 0, sizeof slots);
  slots[0] = kept(trx);
  int filled = 1;
  {
    ReadHandle f(LAST_TRX_FILE);
    if (!f.ok() && !f.absent()) return -1;
    if (f.ok()) {
      if (mid_fileSeek(f.fd(), 0, SEEK_SET) != 0) return -1;
      TransactionRecord old;
      int r;
      while ((r = readRecord(f.fd(), &old)) == RECORD_SIZE) {
        if (std::strcmp(old.ProcessCode, slots[0].ProcessCode) == 0) continue;  // replaced by the new one
        if (filled < LAST_SLOTS) slots[filled++] = kept(old);
      }
      if (r < 0) return r;
    }
  }
  int used = 0;
  while (used < filled && slots[used].MTI[0] != '\0') ++used;
  return mid_fileReplace(LAST_TRX_FILE, slots, static_cast<std::size_t>(used) * RECORD_SIZE) < 0 ? -1 : 0;
}

int writeTempFile(TransactionRecord trx) {
  const TransactionRecord out = scrubbed(trx);
  if (!mayReplace(TEMP_FILE)) return -1;
  return mid_fileReplace(TEMP_FILE, &out, sizeof out);
}

int removeTempFile() {
  const int fe = mid_fileExist(TEMP_FILE);
  const int result = mid_fileRemove(TEMP_FILE);
  USB_printf2("removeTempFile(fe:%d ; result:%d", fe, result);
  return result;
}

int removeTransactionFile() {
  int result = mid_fileRemove(TRX_FILE);
  if (result != 0) return result;
  mid_fileRemove(LAST_TRX_FILE);
  result = mid_fileRemove(ANT_TRX_FILE);
  return result;
}

// ---- readers ---------------------------------------------------------------------------

int isTempExist() {
  FileHandle f(TEMP_FILE, O_RDONLY);
  USB_printf2("mid_fileOpen result %d", f.fd());
  if (!f.ok()) return 0;
  const long seek = mid_fileSeek(f.fd(), 0, SEEK_SET);
  USB_printf2("mid_fileSeek result %ld", seek);
  if (seek != 0) return 0;
  TransactionRecord t;
  USB_printf2("end mid_fileRead result %d", mid_fileRead(f.fd(), &t, sizeof t));
  return 1;
}

int readTempFile(TransactionRecord *trx) {
  if (trx == nullptr) return -1;
  ReadHandle f(TEMP_FILE);
  if (f.absent()) return 0;
  if (!f.ok()) return -1;
  if (mid_fileSeek(f.fd(), 0, SEEK_SET) != 0) return SEEK_FAILED;
  TransactionRecord t;
  const int r = readRecord(f.fd(), &t);
  USB_printf2("mid_fileRead result %d", r);
  // A partial record is no record: the caller's record stays as it was.
  if (r != RECORD_SIZE) return r < 0 ? r : 0;
  *trx = t;
  return r;
}

int readLastTransaction(int type, TransactionRecord *trx) {
  if (trx == nullptr) return -1;
  ReadHandle f(TRX_FILE);
  if (!f.ok()) return -1;
  const long count = recordCount(f.fd());
  if (count < 1) return -1;
  for (long i = count; i >= 1; --i) {
    // Positions count from the start so a torn tail cannot misalign the walk.
    const long pos = mid_fileSeek(f.fd(), (i - 1) * RECORD_SIZE, SEEK_SET);
    USB_printf2("readLastTransaction::mid_fileSeek:%ld ===> %ld", i, pos);
    if (pos < 0) continue;
    TransactionRecord t;
    const int r = readRecord(f.fd(), &t);
    USB_printf2("readLastTransaction::mid_fileRead:%d", r);
    if (r != RECORD_SIZE) continue;
    const int cmpPurchase = std::strcmp(t.ProcessCode, "000000");
    const int cmpBill = std::strcmp(t.ProcessCode, "170000");
    const int cmpVoucher = std::strcmp(t.ProcessCode, "180000");
    const int cmpTopup = std::strcmp(t.ProcessCode, "220000");
    USB_printf2("cmpPurchace:%d,cmpBillPayment:%d,cmpPinChargePayment:%d,cmpTopupPayment:%d", cmpPurchase,
                cmpBill, cmpVoucher, cmpTopup);
    const int kind = transactionTypeOf(&t);
    if (kind != 0 && (type == 0 || type == kind)) {
      copyTransaction(trx, &t);
      return 1;
    }
  }
  return 0;
}

int readTransactionByRrn(const char *rrn, TransactionRecord *trx, int *type) {
  if (rrn == nullptr || trx == nullptr || type == nullptr) return -1;
  char rrn12[33];
  char rrn11[33];
  padLeftZeros(rrn, 12, rrn12, sizeof rrn12);
  padLeftZeros(rrn, 11, rrn11, sizeof rrn11);
  ReadHandle f(TRX_FILE);
  if (f.absent()) return NOT_FOUND;
  if (!f.ok()) return -1;
  if (mid_fileSeek(f.fd(), 0, SEEK_SET) != 0) return SEEK_FAILED;
  TransactionRecord t;
  RecordReader records(f.fd());
  while (records.next(&t) == RECORD_SIZE) {
    char stored[sizeof t.RRN];
    std::size_t n = 0;
    for (const char *p = t.RRN; *p != '\0'; ++p)
      if (*p != ' ') stored[n++] = *p;
    stored[n] = '\0';
    const int cmp12 = std::strcmp(rrn12, stored);
    USB_printf2("readTransactionByRrn rrn12 = (%s)  trx->RRN = (%s)  cmp = %d\r\n", rrn12, stored, cmp12);
    const int cmp11 = std::strcmp(rrn11, stored);
    USB_printf2("readTransactionByRrn rrn11 = (%s)  trx->RRN = (%s)  cmp = %d\r\n", rrn11, stored, cmp11);
    if (cmp12 == 0 || cmp11 == 0) {
      copyTransaction(trx, &t);
      *type = transactionTypeOf(&t);
      return 0;
    }
  }
  return NOT_FOUND;
}

int readTransactionByOrigStan(const char *stan, TransactionRecord *trx, int *type) {
  if (stan == nullptr || trx == nullptr || type == nullptr) return -1;
  ReadHandle f(TRX_FILE);
  if (f.absent()) return NOT_FOUND;
  if (!f.ok()) return -1;
  if (mid_fileSeek(f.fd(), 0, SEEK_SET) != 0) return SEEK_FAILED;
  TransactionRecord t;
  RecordReader records(f.fd());
  while (records.next(&t) == RECORD_SIZE) {
    if (std::strcmp(t.SwitchSTAN, stan) == 0) {
      copyTransaction(trx, &t);
      *type = transactionTypeOf(&t);
      return 0;
    }
  }
  return NOT_FOUND;
}

int readTransactions(int filter, const char *from, const char *to, TransactionRecord *out, int capacity) {
  if (from == nullptr || to == nullptr || out == nullptr || capacity <= 0) return 0;
  ReadHandle f(TRX_FILE);
  if (!f.ok() || mid_fileSeek(f.fd(), 0, SEEK_SET) != 0) return 0;
  int copied = 0;
  TransactionRecord t;
  RecordReader records(f.fd());
  int r;
  while (copied < capacity && (r = records.next(&t)) == RECORD_SIZE) {
    char dateTime[TRANSACTION_DATE_TIME_SIZE];
    const bool within = inRange(t, from, to, dateTime, sizeof dateTime);
    USB_printf2("readTransactions::mid_fileRead(result = %d) trx.Date(%s), trx.Time(%s), dateTime(%s)", r, t.Date,
                t.Time, dateTime);
    if (!within || !passesFilter(t, filter)) continue;
    USB_printf2("readTransactions::trx.Date(%s), trx.Time(%s), dateTime(%s) trx.Price(%s) trx.SwitchSTAN(%s) "
                "trx.RRN(%s)",
                t.Date, t.Time, dateTime, t.Price, t.SwitchSTAN, t.RRN);
    copyTransaction(&out[copied++], &t);
  }
  return copied;
}

int readTransactionsTotally(const char *from, const char *to, int64_t *totals) {
  if (totals == nullptr) return 0;
  for (int i = 0; i < 8; ++i) totals[i] = 0;
  if (from == nullptr || to == nullptr) return 0;
  ReadHandle f(TRX_FILE);
  if (!f.ok() || mid_fileSeek(f.fd(), 0, SEEK_SET) != 0) return 0;
  int count = 0;
  TransactionRecord t;
  RecordReader records(f.fd());
  while (records.next(&t) == RECORD_SIZE) {
    char dateTime[TRANSACTION_DATE_TIME_SIZE];
    if (!inRange(t, from, to, dateTime, sizeof dateTime)) continue;
    ++count;
    int slot;
    switch (transactionTypeOf(&t)) {
      case TT_PURCHASE: slot = TOTAL_PURCHASE_AMOUNT; break;
      case TT_BILL_PAYMENT: slot = TOTAL_BILL_AMOUNT; break;
      case TT_VOUCHER: slot = TOTAL_VOUCHER_AMOUNT; break;
      case TT_TOPUP: slot = TOTAL_TOPUP_AMOUNT; break;
      default: continue;
    }
    totals[slot] += priceValue(t.Price);
    totals[slot + 1] += 1;
  }
  return count;
}

int journalFileProblem(const char **name) {
  for (const char *file : {TRX_FILE, TEMP_FILE, LAST_TRX_FILE}) {
    const int state = mid_fileState(file);
    if (state == FILE_UNREADABLE || state == FILE_NOT_REGULAR) {
      if (name != nullptr) *name = file;
      return state;
    }
  }
  if (name != nullptr) *name = nullptr;
  return FILE_ABSENT;
}

// ---- housekeeping -----------------------------------------------------------------------

int checkTransactionCount(const char *fileName) {
  if (fileName == nullptr) return -1;
  long size;
  const long count = recordCountByName(fileName, &size);
  USB_printf2("checkTransactionCount file =  %s  -> count = %ld", fileName, count);
  if (count < TRX_PURGE_COUNT) return 0;

  FileHandle journal(fileName, O_RDONLY);
  if (!journal.ok()) return -1;
  // A work file left by an interrupted run is started afresh.
  FileHandle work(PURGE_WORK_FILE, O_RDWR | O_CREAT | O_TRUNC);
  if (!work.ok()) return -1;

  TransactionRecord t;
  int r = readRecord(journal.fd(), &t);
  if (r != RECORD_SIZE) {
    discardWorkFile(work, PURGE_WORK_FILE);
    return r;
  }
  char oldest[sizeof t.Date];
  copyText(oldest, t.Date);
  USB_printf2("i = 0 , checkTransactionCount trx.Date =  %s ", oldest);

  long copied = 0;
  for (long i = 1; i < count; ++i) {
    r = readRecord(journal.fd(), &t);
    if (r != RECORD_SIZE) break;
    USB_printf2("checkTransactionCount i = (%ld)  trxDate = %s , trx.Date =  %s ", i, oldest, t.Date);
    if (std::strcmp(t.Date, oldest) == 0) continue;
    if (mid_fileWrite(work.fd(), &t, sizeof t) != RECORD_SIZE) {
      discardWorkFile(work, PURGE_WORK_FILE);
      return -1;
    }
    ++copied;
  }
  journal.close();
  // A journal that could not be read to its end is kept whole, as is one that
  // would be left empty.
  if (r != RECORD_SIZE || copied == 0) {
    discardWorkFile(work, PURGE_WORK_FILE);
    return r;
  }
  if (commitWorkFile(work, PURGE_WORK_FILE, fileName) != 0) return -1;
  return r;
}

int trimTransactionFile(const char *fileName) {
  if (fileName == nullptr) return -1;
  long size;
  const long count = recordCountByName(fileName, &size);
  USB_printf2("trimTransactionFile fSize = %ld, trxSize = %ld", size, count);
  if (count < TRX_TRIM_COUNT) return 0;

  FileHandle journal(fileName, O_RDONLY);
  if (!journal.ok()) return -1;
  FileHandle work(TRIM_WORK_FILE, O_RDWR | O_CREAT | O_TRUNC);
  if (!work.ok()) return -1;
  USB_printf2("trimTransactionFile count - 500 = %ld", count - TRX_TRIM_COUNT);

  const long first = count - TRX_TRIM_KEEP;
  int result = 0;
  if (mid_fileSeek(journal.fd(), first * RECORD_SIZE, SEEK_SET) != first * RECORD_SIZE) result = -1;
  for (long i = first; result >= 0 && i < count; ++i) {
    TransactionRecord t;
    if (mid_fileRead(journal.fd(), &t, sizeof t) != RECORD_SIZE) {
      result = -1;
      break;
    }
    result = mid_fileWrite(work.fd(), &t, sizeof t);
    if (result != RECORD_SIZE) result = -1;
  }
  journal.close();
  if (result < 0) {
    discardWorkFile(work, TRIM_WORK_FILE);
    return -1;
  }
  if (commitWorkFile(work, TRIM_WORK_FILE, fileName) != 0) return -1;
  return result;
}
