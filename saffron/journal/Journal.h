/*
 * Journal.h - the transaction record and the files that hold it.
 *
 * One 320-byte record carries a transaction through the terminal: the global
 * currentTransaction while it runs, and unchanged in layout in the journal of
 * completed transactions, the pending file (the transaction in progress, kept
 * across a power loss) and the last-record file (newest record of each kind).
 *
 * Sections: transaction types, the record, file names, record operations,
 * writers, readers, start-up housekeeping, test settings.
 *
 * Card secrets never reach a file: every writer zeroes Track2 and pinBlock in
 * the copy it writes. Whole-file rewrites go through a new file renamed over the
 * old one, so a power loss leaves the old or the new content, never a torn one.
 */
#ifndef SAFFRON_JOURNAL_JOURNAL_H
#define SAFFRON_JOURNAL_JOURNAL_H

#include <cstddef>
#include <cstdint>

// ---- transaction types (the argument of doTransaction; returned by the lookups) ----

constexpr int TT_PURCHASE = 1;
constexpr int TT_BALANCE = 3;
constexpr int TT_BILL_INQUIRY = 4;
constexpr int TT_BILL_PAYMENT = 5;
constexpr int TT_VOUCHER = 6;
constexpr int TT_TOPUP = 7;
constexpr int TT_APPROVE = 10;
constexpr int TT_REVERSE = 11;

// ---- the record -----------------------------------------------------------------

// Text fields are NUL-terminated ASCII inside their slots; the last byte of a
// slot is always NUL. The layout is the file format: never reorder.
struct TransactionRecord {
  char MTI[5];             // ISO 8583 message type of the request, 4 digits
  char ProcessCode[7];     // ISO processing code, 6 digits: the kind of transaction
  char PAN[20];            // card number, digits
  unsigned char pinBlock[9]; // 8-byte enciphered PIN block (field 52) + spare; zero in every file
  char Track2[64];         // track-2 text of the swiped card; zero in every file
  char Price[13];          // amount in Rials, decimal digits (at most 12), may carry leading zeros
  char STAN[7];            // terminal trace number of the request, 6 digits
  char Date[5];            // Gregorian month and day of the request, MMDD
  char Time[7];            // time of the request, hhmmss
  char DateTime[11];       // YYMMDDhhmm of the request
  char RRN[13];            // retrieval reference number of the response (field 37), 12 characters
  unsigned char companyId; // mobile operator code of a charge (12, 11, 16); 0 otherwise
  char BillId[33];         // bill id; voucher serial; second balance of a balance inquiry
  char PaymentId[33];      // payment id; voucher PIN
  char CellphonNumber[12]; // mobile number of a top-up, 11 digits
  char companyName[32];    // mobile operator name, UTF-8
  char ResponseCode[3];    // response code (field 39), "00" = approved
  char description[33];    // bill company name (single-byte code page)
  int32_t Status;          // journal state, native byte order (see updateTransactionStatus)
  char SwitchSTAN[7];      // switch trace number (field 38), 6 characters
  unsigned char padding;   // always zero
};

static_assert(sizeof(TransactionRecord) == 320, "a journal record is 320 bytes");
static_assert(offsetof(TransactionRecord, MTI) == 0);
static_assert(offsetof(TransactionRecord, ProcessCode) == 5);
static_assert(offsetof(TransactionRecord, PAN) == 12);
static_assert(offsetof(TransactionRecord, pinBlock) == 32);
static_assert(offsetof(TransactionRecord, Track2) == 41);
static_assert(offsetof(TransactionRecord, Price) == 105);
static_assert(offsetof(TransactionRecord, STAN) == 118);
static_assert(offsetof(TransactionRecord, Date) == 125);
static_assert(offsetof(TransactionRecord, Time) == 130);
static_assert(offsetof(TransactionRecord, DateTime) == 137);
static_assert(offsetof(TransactionRecord, RRN) == 148);
static_assert(offsetof(TransactionRecord, companyId) == 161);
static_assert(offsetof(TransactionRecord, BillId) == 162);
static_assert(offsetof(TransactionRecord, PaymentId) == 195);
static_assert(offsetof(TransactionRecord, CellphonNumber) == 228);
static_assert(offsetof(TransactionRecord, companyName) == 240);
static_assert(offsetof(TransactionRecord, ResponseCode) == 272);
static_assert(offsetof(TransactionRecord, description) == 275);
static_assert(offsetof(TransactionRecord, Status) == 308);
static_assert(offsetof(TransactionRecord, SwitchSTAN) == 312);
static_assert(offsetof(TransactionRecord, padding) == 319);

// The transaction being processed (process-wide, user-interface thread only).
extern TransactionRecord currentTransaction;

// ---- files (working directory) -----------------------------------------------------

constexpr const char *TRX_FILE = "p_TrxFile.dat";          // journal, oldest first
constexpr const char *TEMP_FILE = "p_TmpFile.dat";         // pending record, at most one
constexpr const char *LAST_TRX_FILE = "p_TrxLastFile.dat"; // newest of each kind, at most 4
constexpr const char *TRIM_WORK_FILE = "p_TmpTxnFile.dat"; // work file of the size trim
constexpr const char *PURGE_WORK_FILE = "p_tempTrxFile.dat"; // work file of the date purge
constexpr const char *ANT_TRX_FILE = "p_AntTrxFile.dat";     // removed by the resets only
constexpr const char *TOTAL_TRX_FILE = "p_TotalTrxFile.dat"; // removed by the resets only

constexpr int TRX_PURGE_COUNT = 1000; // date purge starts at this many records
constexpr int TRX_TRIM_COUNT = 500;   // size trim starts at this many records...
constexpr int TRX_TRIM_KEEP = 400;    // ...and keeps the newest this many

// Filters of readTransactions.
constexpr int TRX_FILTER_ALL = 0;      // purchase, bill payment, voucher, top-up
constexpr int TRX_FILTER_PURCHASE = 1;
constexpr int TRX_FILTER_BILL = 2;
constexpr int TRX_FILTER_CHARGE = 3;   // voucher and top-up

// Indexes into the eight totals of readTransactionsTotally (amount, then count).
constexpr int TOTAL_PURCHASE_AMOUNT = 0, TOTAL_PURCHASE_COUNT = 1;
constexpr int TOTAL_BILL_AMOUNT = 2, TOTAL_BILL_COUNT = 3;
constexpr int TOTAL_VOUCHER_AMOUNT = 4, TOTAL_VOUCHER_COUNT = 5;
constexpr int TOTAL_TOPUP_AMOUNT = 6, TOTAL_TOPUP_COUNT = 7;

// ---- record operations -----------------------------------------------------------

// Zeroes every field.
void clearTransaction(TransactionRecord *trx);
// Clears dest, then copies each text field up to its NUL, the 8 PIN block bytes,
// companyId and Status.
void copyTransaction(TransactionRecord *dest, const TransactionRecord *src);
// Type number of a record's ProcessCode: 1, 5, 6 or 7; 0 for any other kind.
int transactionTypeOf(const TransactionRecord *trx);

// ---- journal status (Status of a record) and its one setter ---------------------

constexpr int TS_REQUESTED = 1;        // request built; no usable answer yet
constexpr int TS_ANSWERED = 2;         // answer received and parsed
constexpr int TS_RECEIPT_PRINTED = 3;  // approved and the customer receipt printed
constexpr int TS_REVERSE_NEEDED = 11;  // exchange failed; a reversal is owed
constexpr int TS_REVERSING = 12;       // reversal receipt printed; reversal being sent
constexpr int TS_COMPLETED = 100;      // the advice was answered
constexpr int TS_DECLINED = 102;       // declined; receipt not printed yet
constexpr int TS_DECLINE_DONE = 103;   // declined; receipt done
constexpr int TS_REVERSED = 110;       // reversed, or dropped (an unanswered top-up)

// Stores status in trx->Status and brings the files in line: below 100 and 102
// rewrite the pending file; 100 appends to the journal and the last-record file
// and removes the pending file; 103 writes the last-record file and removes the
// pending file; 110 removes the pending file; other values change the field only.
// A completion is first written into the pending file, so a power loss between
// the journal append and the removal is finished by finishCompletedPending
// instead of appending twice. 0, or -1 when a file could not be written.
int updateTransactionStatus(TransactionRecord *trx, int status);
// A pending record already at 100, 103 or 110 (left by a power loss in the middle
// of updateTransactionStatus): finishes its file effects once. 1 when it did,
// 0 when the pending record is not such a record.
int finishCompletedPending(const TransactionRecord *pending);

// ---- writers (each writes a copy with Track2 and pinBlock zeroed) ----------------

// Appends the record to the journal when Status < 101. Returns the bytes written
// (0 when not appended), or -1.
int writeTransaction2File(TransactionRecord trx);
// Puts the record first in the last-record file, replacing the record of its kind
// and keeping at most 3 others. 0, or -1.
int writeLastTransaction2File(TransactionRecord trx);
// Replaces the pending file with this one record. Returns 320, or -1.
int writeTempFile(TransactionRecord trx);
// Removes the pending file; returns the remove result.
int removeTempFile();
// Removes the journal, then the last-record file and p_AntTrxFile.dat; the
// journal's error if it could not be removed, else the last result.
int removeTransactionFile();

// ---- readers ------------------------------------------------------------------

// 1 when the pending file exists and can be opened and positioned, else 0.
int isTempExist();
// Reads the pending record (creating an empty pending file when absent): 320, or
// 0 for an empty file (trx untouched), -1 when it cannot be opened, -1000 when the
// seek fails.
int readTempFile(TransactionRecord *trx);
// Newest journal record of the type (0 = any of 1, 5, 6, 7): 1 found, -1 no
// journal or no record, 0 none of that type.
int readLastTransaction(int type, TransactionRecord *trx);
// First journal record whose RRN (spaces removed) equals the entered number padded
// with zeros to 12 or to 11 characters: 0 and *type, -1 no journal, -1000 seek
// failure, 1 no match.
int readTransactionByRrn(const char *rrn, TransactionRecord *trx, int *type);
// First journal record whose SwitchSTAN equals stan: results as readTransactionByRrn.
int readTransactionByOrigStan(const char *stan, TransactionRecord *trx, int *type);
// Copies, in file order, every record whose Shamsi date-time text lies in
// [from, to) and whose kind passes the filter into out[0..capacity-1]; stops at
// capacity. Returns the number copied.
int readTransactions(int filter, const char *from, const char *to, TransactionRecord *out, int capacity);
// Sums Price per kind over records in [from, to) into totals[8] (see TOTAL_*),
// in 64 bits: a shop's takings over a range pass 2^31 Rials. Returns the
// number of records in the range, of any kind.
int readTransactionsTotally(const char *from, const char *to, int64_t *totals);

// ---- start-up housekeeping (both on the journal, purge first) ------------------------

// At TRX_PURGE_COUNT records or more, drops every record of the oldest record's
// Date. 0 when nothing to do, -1 when a file cannot be opened, else the last read.
int checkTransactionCount(const char *fileName);
// The first of the journal, pending and last-record files that is there but
// cannot be read (FILE_UNREADABLE or FILE_NOT_REGULAR of core/file.h), its name
// in *name; FILE_ABSENT when none. Such a file is never replaced.
int journalFileProblem(const char **name);
// At TRX_TRIM_COUNT records or more, keeps only the newest TRX_TRIM_KEEP. 0 when
// nothing to do, -1 on failure, else the last write.
int trimTransactionFile(const char *fileName);

#endif
