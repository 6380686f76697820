/*
 * BillUtil.cpp - bill identifiers, mobile numbers, amount grouping and the
 * bank of a card's issuer prefix.
 *
 * Sections: check digit and bill information, amount grouping, mobile
 * prefixes, issuer banks.
 */
#include "util/BillUtil.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Length of text when it is made only of decimal digits, else -1.
int digitCount(const char *text)
{
    if (text == nullptr)
        return -1;
    int n = 0;
    for (; text[n] != '\0'; ++n)
        if (!isDigit(text[n]) || n > 64)
            return -1;
    return n;
}

// Company names in the Iran System single-byte encoding, as the receipts and
// the record's description carry them.
struct BillType {
    int type;
    const char *name;
};
constexpr BillType BILL_TYPES[10] = {
    {BILL_TYPE_INVALID, "\xF7\x91\xF5\xE3\x97\x93\xA4"},                                        // 0 invalid
    {BILL_WATER, "\x8D\x92"},                                                                  // 1
    {BILL_ELECTRICITY, "\x93\xA4\xEB"},                                                        // 2
    {BILL_GAS, "\xF0\x91\xA5"},                                                                // 3
    {BILL_FIXED_PHONE, "\x97\xF3\xEA\xF6\x20\x99\x91\x93\x96"},                                // 4
    {BILL_MOBILE_PHONE, "\x97\xF3\xEA\xF6\x20\xFB\xF5\xA4\x90\xF9"},                           // 5
    {BILL_MUNICIPALITY, "\xAA\xFA\xA4\xA2\x90\xA4\xFD"},                                       // 6
    {BILL_MUNICIPALITY, "\xAA\xFA\xA4\xA2\x90\xA4\xFD"},                                       // 7
    {BILL_TAX, "\xF5\x91\xF3\xFE\x91\x96"},                                                    // 8
    {BILL_TRAFFIC_FINES, "\xA4\x90\xFB\xF7\xF5\x91\xFE\xFC\x20\xA4\x90\xF7\xF7\xA2\xF0\xFC"}, // 9
};

// Digits of the amount that the payment identifier's tail leaves out: the
// last digit checks the pair, the four before it are not part of the amount.
constexpr int PAYMENT_TAIL_DIGITS = 5;

} // namespace

// ---- check digit and bill information --------------------------------------

int checkDigit(const char *digits, int length)
{
    if (digits == nullptr || length < 2 || strnlen(digits, static_cast<std::size_t>(length)) < static_cast<std::size_t>(length))
        return 0;
    int sum = 0;
    int weight = 2;
    for (int i = length - 2; i >= 0; --i) {
        if (!isDigit(digits[i]))
            return 0;
        sum += (digits[i] - '0') * weight;
        weight = weight == 7 ? 2 : weight + 1;
    }
    const char last = digits[length - 1];
    if (!isDigit(last))
        return 0;
    const int r = sum % 11;
    const int check = r < 2 ? 0 : 11 - r;
    return last - '0' == check ? 1 : 0;
}

int getBillInfo(const char *billId, const char *paymentId, char *name, std::size_t nameSize, int64_t *amount)
{
    const int billLen = digitCount(billId);
    const int payLen = digitCount(paymentId);
    if (billLen < BILL_ID_MIN_DIGITS || billLen > BILL_ID_MAX_DIGITS || payLen < BILL_ID_MIN_DIGITS ||
        payLen > BILL_ID_MAX_DIGITS)
        return BILL_REFUSED;
    if (!checkDigit(billId, billLen) || !checkDigit(paymentId, payLen - 1))
        return BILL_REFUSED;
    char both[2 * BILL_ID_MAX_DIGITS + 1];
    std::snprintf(both, sizeof both, "%s%s", billId, paymentId);
    if (!checkDigit(both, billLen + payLen))
        return BILL_REFUSED;

    const BillType &bt = BILL_TYPES[billId[billLen - 2] - '0'];
    if (name != nullptr && nameSize > 0)
        std::snprintf(name, nameSize, "%s", bt.name);
    // Thousands of Rials, in 64 bits: eight leading digits make up to
    // 99,999,999,000 Rials, far past what 32 bits hold.
    if (amount != nullptr) {
        int64_t thousands = 0;
        for (int i = 0; i < payLen - PAYMENT_TAIL_DIGITS; ++i)
            thousands = thousands * 10 + (paymentId[i] - '0');
        *amount = thousands * 1000;
    }
    return bt.type;
}

int getBillInfo(const char *billId, const char *paymentId, char *name, int64_t *amount)
{
    return getBillInfo(billId, paymentId, name, BILL_NAME_SIZE, amount);
}

// ---- amount grouping ---------------------------------------------------------

namespace {

// True when the text reads as the number zero (as a decimal conversion would
// read it: leading blanks and a sign skipped, then digits up to the first
// other byte).
bool readsAsZero(const char *text)
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    if (*text == '+' || *text == '-')
        ++text;
    for (; isDigit(*text); ++text)
        if (*text != '0')
            return false;
    return true;
}

} // namespace

int TrnRegulateTotalAmount(char *out, std::size_t outSize, const char *digits)
{
    if (out == nullptr || digits == nullptr || outSize == 0)
        return -1;
    if (readsAsZero(digits)) {
        if (outSize < 2) {
            out[0] = '\0';
            return -1;
        }
        std::memcpy(out, "0", 2);
        return 0;
    }
    const std::size_t n = std::strlen(digits);
    const std::size_t separators = n > 9 ? 3 : n > 6 ? 2 : n > 3 ? 1 : 0;
    if (n + separators + 1 > outSize) {
        out[0] = '\0';
        return -1;
    }
    std::size_t o = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t left = n - i; // digits from here to the end
        if (i > 0 && (left == 9 || left == 6 || left == 3))
            out[o++] = ',';
        out[o++] = digits[i];
    }
    out[o] = '\0';
    return 0;
}

int TrnRegulateTotalAmount(char *out, const char *digits)
{
    if (out == nullptr || digits == nullptr)
        return -1;
    return TrnRegulateTotalAmount(out, std::strlen(digits) + 4, digits);
}

// ---- mobile prefixes ------------------------------------------------------------

namespace {

constexpr int FIRST_MOBILE_PREFIX = 901;
constexpr int LAST_MOBILE_PREFIX = 994;

// Operator of a prefix (912 for 0912...), 0 when the prefix is not listed.
int operatorOfPrefix(int prefix)
{
    if ((prefix >= 910 && prefix <= 919) || (prefix >= 990 && prefix <= 994))
        return OPERATOR_1;
    switch (prefix) {
    case 901: case 902: case 903: case 905: case 930: case 933: case 935:
    case 936: case 937: case 938: case 939: case 941:
        return OPERATOR_2;
    case 920: case 921: case 922:
        return OPERATOR_3;
    case 932:
        return OPERATOR_4;
    default:
        return 0;
    }
}

} // namespace

int isCellphoneValidate(int operatorId, const char *number)
{
    if (number == nullptr || number[0] == '\0')
        return 1; // no number asked for
    char head[5] = {};
    std::strncpy(head, number, 4);
    const int prefix = std::atoi(head);
    if (prefix < FIRST_MOBILE_PREFIX || prefix > LAST_MOBILE_PREFIX)
        return 0;
    const int op = operatorOfPrefix(prefix);
    return op != 0 && op == operatorId ? 1 : 0;
}

// ---- issuer banks ----------------------------------------------------------------

const BankEntry bankTable[BANK_TABLE_SIZE] = {
    {207177, "توسعه صادرات"},
    {502229, "پاسارگاد"},
    {502806, "شهر"},
    {502908, "توسعه تعاون"},
    {502910, "کارآفرين"},
    {502938, "دی"},
    {504172, "رسالت"},
    {504706, "شهر"},
    {505416, "گردشگری"},
    {505785, "ايران زمين"},
    {505801, "سپه)کوثر سابق("},
    {585983, "تجارت"},
    {589210, " سپه"},
    {589463, "رفاه"},
    {603769, "صادرات"},
    {603770, "کشاورزی"},
    {603799, "ملی"},
    {606256, "ملل"},
    {606373, "مهر ايران"},
    {610433, "ملت"},
    {621986, "سامان"},
    {622106, "پارسيان"},
    {622108, "پارسيان"},
    {627353, "تجارت"},
    {627381, "سپه)انصار سابق("},
    {627412, "اقتصاد نوين"},
    {627488, "کارآفرين"},
    {627648, "توسعه صادرات"},
    {627760, "پست بانک"},
    {627884, "پارسيان"},
    {627961, "صنعت و معدن"},
    {628023, "مسکن"},
    {628157, "توسعه"},
    {635949, "سپه)حکمت سابق("},
    {636214, "آينده"},
    {636795, "مرکزی"},
    {636949, "سپه)حکمت سابق("},
    {639194, "پارسيان"},
    {639346, "سينا"},
    {639347, "پاسارگاد"},
    {639370, "سپه)مهر اقتصاد سابق("},
    {639599, "سپه)قوامین سابق("},
    {639607, "سرمايه"},
    {991975, "ملت"},
};

int getBankName(const char *cardNumber, char *masked, std::size_t maskedSize, char *bankName,
                std::size_t bankNameSize)
{
    if (masked != nullptr && maskedSize > 0)
        masked[0] = '\0';
    if (bankName != nullptr && bankNameSize > 0)
        bankName[0] = '\0';
    if (cardNumber == nullptr)
        return -1;

    // A short card number gives what it has, never bytes beyond its end.
    char head[7] = {};
    std::strncpy(head, cardNumber, 6);
    char tail[5] = {};
    if (strnlen(cardNumber, 12) == 12)
        std::strncpy(tail, cardNumber + 12, 4);
    if (masked != nullptr && maskedSize > 0)
        std::snprintf(masked, maskedSize, "%s***%s", head, tail);

    const int32_t prefix = std::atoi(head);
    for (const BankEntry &e : bankTable) {
        if (e.prefix != prefix)
            continue;
        if (bankName != nullptr && bankNameSize > 0) {
            std::size_t n = std::strlen(e.name);
            if (n + 1 > bankNameSize)
                return 0; // listed, but the name does not fit: leave it empty
            std::memcpy(bankName, e.name, n + 1);
        }
        return 0;
    }
    return -1;
}

int getBankName(const char *cardNumber, char *masked, char *bankName)
{
    return getBankName(cardNumber, masked, MASKED_CARD_SIZE, bankName, BANK_NAME_SIZE);
}
