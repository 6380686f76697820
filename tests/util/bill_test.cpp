// Bill identifiers, amount grouping, mobile prefixes and issuer banks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "util/BillUtil.h"

namespace {

// Appends the check digit of digits, as a bill's issuer would.
std::string withCheck(const std::string &digits)
{
    for (char c = '0'; c <= '9'; ++c) {
        std::string s = digits + c;
        if (checkDigit(s.c_str(), static_cast<int>(s.size())))
            return s;
    }
    return "none";
}

// A payment identifier whose second-to-last digit checks its head and whose
// last digit checks bill + payment.
std::string paymentFor(const std::string &bill, const std::string &head)
{
    const std::string withFirst = withCheck(head);
    const std::string both = withCheck(bill + withFirst);
    return withFirst + both.back();
}

TEST(CheckDigit, ModulusElevenWeightsTwoToSeven)
{
    // 9*2 + 8*3 + 7*4 + 6*5 + 5*6 + 4*7 + 3*2 + 2*3 + 1*4 = 174; 174 mod 11 = 9; check 2.
    for (char c = '0'; c <= '9'; ++c) {
        std::string s = std::string("123456789") + c;
        EXPECT_EQ(checkDigit(s.c_str(), 10), c == '2' ? 1 : 0) << s;
    }
    EXPECT_EQ(checkDigit("10000009", 8), 1);  // the weight returns to 2 after 7
    EXPECT_EQ(checkDigit("100000008", 9), 1);
    EXPECT_EQ(checkDigit("00", 2), 1);        // remainders 0 and 1 both give 0
    EXPECT_EQ(checkDigit("60", 2), 1);
    EXPECT_EQ(checkDigit("51", 2), 1);        // remainder 10 gives 1
    EXPECT_EQ(checkDigit("1162", 3), 1);      // only the first length digits count
    EXPECT_EQ(checkDigit("1A6", 3), 0);
    EXPECT_EQ(checkDigit(nullptr, 5), 0);
    EXPECT_EQ(checkDigit("116", 9), 0); // shorter than length: no read past the end
}

struct Bill {
    int result;
    std::string name;
    int64_t amount;
};

Bill bill(const std::string &billId, const std::string &paymentId)
{
    char name[BILL_NAME_SIZE];
    std::memset(name, 'z', sizeof name);
    name[BILL_NAME_SIZE - 1] = '\0';
    int64_t amount = -7;
    const int r = getBillInfo(billId.c_str(), paymentId.c_str(), name, &amount);
    return {r, name, amount};
}

TEST(BillInfo, TypeNameAndAmount)
{
    const std::string elec = withCheck("123456" "2"); // type digit 2
    const Bill b = bill(elec, paymentFor(elec, "150" "123")); // 150 thousand Rials
    EXPECT_EQ(b.result, BILL_ELECTRICITY);
    EXPECT_EQ(b.name, "\x93\xA4\xEB");
    EXPECT_EQ(b.amount, 150000);

    const std::string water = withCheck("9876" "1");
    const Bill w = bill(water, paymentFor(water, "7" "000"));
    EXPECT_EQ(w.result, BILL_WATER);
    EXPECT_EQ(w.name, "\x8D\x92");
    EXPECT_EQ(w.amount, 7000);
}

TEST(BillInfo, TypeDigitsSixAndSevenShareAType)
{
    const struct {
        char digit;
        int type;
        const char *name;
    } cases[] = {
        {'0', BILL_TYPE_INVALID, "\xF7\x91\xF5\xE3\x97\x93\xA4"},
        {'6', BILL_MUNICIPALITY, "\xAA\xFA\xA4\xA2\x90\xA4\xFD"},
        {'7', BILL_MUNICIPALITY, "\xAA\xFA\xA4\xA2\x90\xA4\xFD"},
        {'9', BILL_TRAFFIC_FINES, "\xA4\x90\xFB\xF7\xF5\x91\xFE\xFC\x20\xA4\x90\xF7\xF7\xA2\xF0\xFC"},
    };
    for (const auto &c : cases) {
        const std::string id = withCheck(std::string("55501") + c.digit);
        const Bill b = bill(id, paymentFor(id, "20" "456"));
        EXPECT_EQ(b.result, c.type) << c.digit;
        EXPECT_EQ(b.name, c.name) << c.digit;
    }
}

TEST(BillInfo, AmountsBeyondThirtyTwoBitsHold)
{
    const std::string id = withCheck("1234567" "2");
    const std::string pay = paymentFor(id, "12345678" "123"); // 13 digits
    ASSERT_EQ(pay.size(), 13u);
    const Bill b = bill(id, pay);
    EXPECT_EQ(b.result, BILL_ELECTRICITY);
    EXPECT_EQ(b.amount, 12345678000LL);

    const Bill top = bill(id, paymentFor(id, "99999999" "999"));
    EXPECT_EQ(top.amount, 99999999000LL); // the largest: still fits the 12 digits of an amount field
}

TEST(BillInfo, RefusedPairsLeaveOutputsUntouched)
{
    const std::string id = withCheck("123456" "2");
    const std::string pay = paymentFor(id, "150" "123");

    Bill b = bill(id.substr(0, id.size() - 1) + char('0' + (id.back() - '0' + 1) % 10), pay);
    EXPECT_EQ(b.result, BILL_REFUSED);
    EXPECT_EQ(b.amount, -7);
    EXPECT_EQ(b.name[0], 'z');

    std::string badLast = pay;
    badLast.back() = char('0' + (pay.back() - '0' + 1) % 10);
    EXPECT_EQ(bill(id, badLast).result, BILL_REFUSED);

    std::string badInner = pay;
    badInner[pay.size() - 2] = char('0' + (pay[pay.size() - 2] - '0' + 1) % 10);
    EXPECT_EQ(bill(id, badInner).result, BILL_REFUSED);

    EXPECT_EQ(bill("", pay).result, BILL_REFUSED);
    EXPECT_EQ(bill(id, "12a45678").result, BILL_REFUSED);
    int64_t amount = 0;
    EXPECT_EQ(getBillInfo(nullptr, pay.c_str(), nullptr, &amount), BILL_REFUSED);
}

TEST(BillInfo, IdentifierLengthsSixToThirteen)
{
    const std::string five = withCheck("1234");
    const std::string six = withCheck("12342");
    const std::string thirteen = withCheck("123456789012");
    const std::string fourteen = withCheck("1234567890122");
    ASSERT_EQ(five.size(), 5u);
    ASSERT_EQ(fourteen.size(), 14u);
    EXPECT_EQ(bill(five, paymentFor(five, "1000")).result, BILL_REFUSED);
    EXPECT_EQ(bill(fourteen, paymentFor(fourteen, "1000")).result, BILL_REFUSED);
    EXPECT_GT(bill(six, paymentFor(six, "1000")).result, 0);
    EXPECT_NE(bill(thirteen, paymentFor(thirteen, "1000")).result, BILL_REFUSED);

    const std::string id = withCheck("123456" "2");
    EXPECT_EQ(bill(id, paymentFor(id, "123")).result, BILL_REFUSED);          // 5 digits
    EXPECT_EQ(bill(id, paymentFor(id, "123456789012")).result, BILL_REFUSED); // 14 digits
}

std::string grouped(const char *digits)
{
    char out[64];
    EXPECT_EQ(TrnRegulateTotalAmount(out, digits), 0);
    return out;
}

TEST(AmountGrouping, SeparatorsByLength)
{
    EXPECT_EQ(grouped("1000"), "1,000");
    EXPECT_EQ(grouped("1234567890"), "1,234,567,890");
    EXPECT_EQ(grouped("000"), "0");
    EXPECT_EQ(grouped(""), "0");
    EXPECT_EQ(grouped("999"), "999");
    EXPECT_EQ(grouped("5"), "5");
    EXPECT_EQ(grouped("123456"), "123,456");
    EXPECT_EQ(grouped("1234567"), "1,234,567");
    EXPECT_EQ(grouped("123456789"), "123,456,789");
    // The first group takes everything before the last nine digits.
    EXPECT_EQ(grouped("123456789012"), "123,456,789,012");
    EXPECT_EQ(grouped("12345678901234"), "12345,678,901,234");
    // Digits are copied as they stand.
    EXPECT_EQ(grouped("0012000"), "0,012,000");

    char out[8];
    EXPECT_EQ(TrnRegulateTotalAmount(nullptr, "1000"), -1);
    EXPECT_EQ(TrnRegulateTotalAmount(out, nullptr), -1);
    EXPECT_EQ(TrnRegulateTotalAmount(out, sizeof out, "1234567"), -1); // needs 10 bytes
    EXPECT_STREQ(out, "");
}

TEST(Cellphone, PrefixBelongsToOperator)
{
    EXPECT_EQ(isCellphoneValidate(OPERATOR_1, "09123456789"), 1);
    EXPECT_EQ(isCellphoneValidate(OPERATOR_2, "09123456789"), 0);
    EXPECT_EQ(isCellphoneValidate(OPERATOR_1, "09941234567"), 1);
    EXPECT_EQ(isCellphoneValidate(OPERATOR_2, "09411234567"), 1);
    EXPECT_EQ(isCellphoneValidate(OPERATOR_3, "09221234567"), 1);
    EXPECT_EQ(isCellphoneValidate(OPERATOR_4, "09321234567"), 1);
    EXPECT_EQ(isCellphoneValidate(OPERATOR_3, "09321234567"), 0);
    for (int op = 1; op <= 4; ++op) {
        EXPECT_EQ(isCellphoneValidate(op, ""), 1);
        EXPECT_EQ(isCellphoneValidate(op, nullptr), 1);
        EXPECT_EQ(isCellphoneValidate(op, "09041234567"), 0); // 904: in range, not listed
        EXPECT_EQ(isCellphoneValidate(op, "09001234567"), 0); // below 901
        EXPECT_EQ(isCellphoneValidate(op, "09951234567"), 0); // above 994
    }
}

TEST(Banks, KnownAndUnknownIssuer)
{
    char masked[MASKED_CARD_SIZE];
    char name[BANK_NAME_SIZE];
    EXPECT_EQ(getBankName("6037991234567890", masked, name), 0);
    EXPECT_STREQ(masked, "603799***7890");
    EXPECT_STREQ(name, "\xD9\x85\xD9\x84\xDB\x8C"); // ملی

    EXPECT_EQ(getBankName("5892101234567890", masked, name), 0);
    EXPECT_STREQ(name, " \xD8\xB3\xD9\xBE\xD9\x87"); // " سپه", leading space kept

    EXPECT_EQ(getBankName("1234561234567890", masked, name), -1);
    EXPECT_STREQ(masked, "123456***7890");
    EXPECT_STREQ(name, "");
}

TEST(Banks, ShortOrLongCardNumbersStayInBounds)
{
    char masked[MASKED_CARD_SIZE];
    char name[BANK_NAME_SIZE];
    EXPECT_EQ(getBankName("6037", masked, name), -1);
    EXPECT_STREQ(masked, "6037***");
    EXPECT_EQ(getBankName("60379912345678", masked, name), 0);
    EXPECT_STREQ(masked, "603799***78");
    EXPECT_EQ(getBankName("6037991234567890123", masked, name), 0);
    EXPECT_STREQ(masked, "603799***7890");
    EXPECT_EQ(getBankName(nullptr, masked, name), -1);

    char tinyName[4];
    char tinyMasked[8];
    EXPECT_EQ(getBankName("6037991234567890", tinyMasked, sizeof tinyMasked, tinyName, sizeof tinyName), 0);
    EXPECT_STREQ(tinyMasked, "603799*");
    EXPECT_STREQ(tinyName, "");
}

} // namespace
