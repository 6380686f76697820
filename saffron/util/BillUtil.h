/*
 * BillUtil.h - meaning of the numbers a customer enters or a card carries:
 * utility-bill identifiers (check digits, company, amount), mobile numbers
 * against an operator, amount grouping for screens and receipts, and the bank
 * of a card's issuer prefix. Pure functions: no files, no network.
 */
#ifndef SAFFRON_UTIL_BILLUTIL_H
#define SAFFRON_UTIL_BILLUTIL_H

#include <cstddef>
#include <cstdint>

// Bill company types (from the bill identifier's second-to-last digit).
constexpr int BILL_WATER = 1;
constexpr int BILL_ELECTRICITY = 2;
constexpr int BILL_GAS = 3;
constexpr int BILL_FIXED_PHONE = 4;
constexpr int BILL_MOBILE_PHONE = 5;
constexpr int BILL_MUNICIPALITY = 6;
constexpr int BILL_TAX = 8;
constexpr int BILL_TRAFFIC_FINES = 9;
constexpr int BILL_TYPE_INVALID = -2; // type digit 0
constexpr int BILL_REFUSED = -1;      // identifiers fail the checks

constexpr int BILL_ID_MIN_DIGITS = 6;
constexpr int BILL_ID_MAX_DIGITS = 13;
// Room for the longest company name (Iran System bytes) and its NUL.
constexpr std::size_t BILL_NAME_SIZE = 17;

// 1 when the last of the first length digits is the modulus-11 check digit
// of the digits before it, else 0 (also for fewer than 2 or non-digits).
int checkDigit(const char *digits, int length);

// Validates a bill identifier and payment identifier. Returns the company
// type (1-9), BILL_TYPE_INVALID (name "invalid"), or BILL_REFUSED (outputs
// untouched). name gets the company's name in the Iran System single-byte
// encoding, NUL-terminated (classic form: BILL_NAME_SIZE bytes); amount gets
// the payment identifier's leading digits (all but the last five) times
// 1000, in Rials.
int getBillInfo(const char *billId, const char *paymentId, char *name, int64_t *amount);
int getBillInfo(const char *billId, const char *paymentId, char *name, std::size_t nameSize,
                int64_t *amount);

// Groups a decimal amount with "," (1234567890 -> 1,234,567,890); an empty
// text or a zero value gives "0"; digits are copied as they stand. Returns 0,
// or -1 for a null pointer (or, bounded, too small an out; out = "").
// Classic form: out holds strlen(digits)+4 bytes.
int TrnRegulateTotalAmount(char *out, const char *digits);
int TrnRegulateTotalAmount(char *out, std::size_t outSize, const char *digits);

// Mobile operators.
constexpr int OPERATOR_1 = 1;
constexpr int OPERATOR_2 = 2;
constexpr int OPERATOR_3 = 3;
constexpr int OPERATOR_4 = 4;
// 1 when number is empty (or null) or its prefix belongs to operatorId, else 0.
int isCellphoneValidate(int operatorId, const char *number);

constexpr int BANK_TABLE_SIZE = 44;
struct BankEntry {
    int32_t prefix;   // first six digits of the card number
    const char *name; // UTF-8, printed as it stands
};
extern const BankEntry bankTable[BANK_TABLE_SIZE];

// Room for the masked number "123456***7890" and its NUL, and for the
// longest bank name and its NUL.
constexpr std::size_t MASKED_CARD_SIZE = 14;
constexpr std::size_t BANK_NAME_SIZE = 64;
// masked = first six digits, "***", the digits at positions 13-16; bankName
// = the issuer's name when the prefix is listed. Returns 0 when listed, -1
// otherwise (bankName then "").
int getBankName(const char *cardNumber, char *masked, char *bankName);
int getBankName(const char *cardNumber, char *masked, std::size_t maskedSize, char *bankName,
                std::size_t bankNameSize);

#endif
