/*
 * ResponseCodes.cpp - response-code texts and the result-screen description.
 *
 * The texts are kept byte for byte as merchants know them from their screens
 * and receipts: most write yeh in its Arabic form (U+064A), some in the
 * Persian form (U+06CC), even within one text, and a few carry misspellings.
 * Do not normalise them.
 */
#include "txn/ResponseCodes.h"

#include <cstdio>

#include "core/debug.h"
#include "ui/Messages.h"

namespace {

struct ResponseText {
  int code;         // decimal value of the two response digits, or a local code
  const char *text; // UTF-8, byte for byte
};

// One row per code; codes that share a text repeat it.
constexpr ResponseText kResponseTexts[] = {
    {  0, "موفق"},
    {  1, "لغوشده توسط صادرکننده"},
    {  2, "تسوبه يا اصلاحيه انجام شده"},
    {  3, "پذيرنده نامعتبر"},
    { 31, "پذيرنده نامعتبر"},
    {  4, "کارت مسدود شده است"},
    {  5, "تراکنش لغو شده"},
    {  6, "خطايي رخ داده"},
    { 12, "تراکنش نامعتبر"},
    { 14, "تراکنش نامعتبر"},
    { 30, "تراکنش نامعتبر"},
    { 13, "مبلغ نامعتبر اصلاحیه"},
    { 15, "صادرکننده نامعتبر"},
    { 19, "تراکنش تکرار شود"},
    { 23, "تراکنش نامعتبر پذيرنده"},
    { 25, "تراکتش اصلی يافت نشد"},
    { 33, "کارت منقضی شده"},
    { 54, "کارت منقضی شده"},
    { 34, "تراکنش اصلي ناموفق"},
    { 36, "کارت محدود شده"},
    { 62, "کارت محدود شده"},
    { 38, "دفعات رمز نامعتبر بيش از حد مجاز"},
    { 39, "کارت بدون حساب اعتباري"},
    { 40, "سرويس نامعتبر"},
    { 41, "کارت مفقودي"},
    { 42, "حسابي به کارت متصل نيست"},
    { 52, "حسابي به کارت متصل نيست"},
    { 43, "کارت سرقتی"},
    { 45, "کارت سرقتی"},
    { 44, "حساب سرمايه گذاري به کارت متصل نيست"},
    { 51, "موجودی ناکافی"},
    { 53, "حساب ذخيره به کارت متصل نيست"},
    { 55, "رمز نامعتبر"},
    { 56, "کارت نامعتبر"},
    { 58, "عمليات غيرمجاز دارنده کارت"},
    { 59, "کارت مظنون به تقلب"},
    { 61, "سقف مبلغ رعايت نشده"},
    { 63, "مواردامنيتي نقض شده"},
    { 64, "مبلغ تراکنش اصلي نامعتبر"},
    { 65, "تعداد تراکنشها بيشتر ازحد مجاز"},
    { 75, "تعداد رمز نامعتبربيشتر ازحد مجاز"},
    { 77, "تاريخ تراکنش مالي نامعتبر"},
    { 78, "کارت غيرفعال"},
    { 79, "مشکل در حساب کارت"},
    { 80, "تراکنش ناموفق"},
    { 93, "تراکنش ناموفق"},
    { 83, "سرويس دهنده يا شاپرک غيرفعال"},
    { 84, "پايان کار بانک سرويس دهنده"},
    { 86, "بانک صادرکننده غيرفعال"},
    { 87, "خطای درونی مرکز"},
    { 88, "خطای درونی مرکز"},
    { 89, "خطای درونی مرکز"},
    { 90, "سيستم درحال تسويه پايان روز"},
    { 91, "صادرکننده کارت يا شاپرک غيرفعال"},
    { 92, "قطع ارتباط با صادرکننده"},
    { 94, "ارسال تکراری"},
    { 96, "اشکال درعملکرد سيستم"},
    { 97, "تغيير کليد غيرفعال. بعدا تلاش کنيد"},
    {100, "خطادرانجام تراکنش"},
    {101, "خطای پیکربندی"},
};

const char *responseText(int code) {
  for (const ResponseText &row : kResponseTexts)
    if (row.code == code) return row.text;
  return RESPONSE_TEXT_UNKNOWN;
}

// Room for the longest text, a sign, ten digits, the space and the NUL.
constexpr std::size_t DESCRIPTION_WORK_SIZE = UI_MESSAGE_BUFFER_SIZE + 16;

} // namespace

int getResponseCode(int code, char *text, std::size_t textSize) {
  if (text == nullptr || textSize == 0) return -1;
  copyUtf8Bounded(text, textSize, responseText(code));
  return 0;
}

int getResponseCodeDescription(int code, char *text, std::size_t textSize) {
  if (text == nullptr || textSize == 0) return -1;
  char prefix[UI_MESSAGE_BUFFER_SIZE] = "";
  if (code < 0) {
    getUiMessage(code == RESPONSE_NO_WORKING_KEYS ? MSG_LOAD_KEYS_FIRST : MSG_NETWORK_CONNECT_ERROR,
                 prefix, sizeof prefix);
  } else if (code < RESPONSE_TRANSACTION_ERROR) {
    copyUtf8Bounded(prefix, sizeof prefix, responseText(code));
  }
  // Codes of 100 and more are the terminal's own: the number alone says it.
  char line[DESCRIPTION_WORK_SIZE];
  std::snprintf(line, sizeof line, "%s%d ", prefix, code);
  copyUtf8Bounded(text, textSize, line);
  USB_printf2("getResponseCodeDescription (%d, %s)", code, text);
  return 0;
}
