// clock.cpp - the terminal clock over the platform, and the stored records' date texts.
#include "core/clock.h"

#include <cstdio>
#include <cstring>

#include "libapi.h"
#include "util/Debug.h"
#include "util/Strings.h"

// ---- the clock ---------------------------------------------------------------

int getDateTime(int dt[DATE_TIME_FIELDS])
{
    if (dt == nullptr)
        return -1;
    int raw[7] = {};
    int rc = DLL_SysGetDateTime(raw);
    if (rc != DLL_OK) {
        std::memset(dt, 0, sizeof(int) * DATE_TIME_FIELDS);
        return rc;
    }
    // The clock record holds one byte per field.
    dt[DT_YEAR] = static_cast<unsigned char>(raw[DLL_DT_YEAR] - 2000);
    dt[DT_MONTH] = static_cast<unsigned char>(raw[DLL_DT_MONTH]);
    dt[DT_DAY] = static_cast<unsigned char>(raw[DLL_DT_DAY]);
    dt[DT_HOUR] = static_cast<unsigned char>(raw[DLL_DT_HOUR]);
    dt[DT_MINUTE] = static_cast<unsigned char>(raw[DLL_DT_MINUTE]);
    dt[DT_SECOND] = static_cast<unsigned char>(raw[DLL_DT_SECOND]);
    dt[DT_WEEKDAY] = static_cast<unsigned char>(raw[DLL_DT_WEEKDAY]);
    USB_printf2("time is %02d%02d%02d-%02d%02d%02d %02d", dt[DT_YEAR], dt[DT_MONTH], dt[DT_DAY],
                dt[DT_HOUR], dt[DT_MINUTE], dt[DT_SECOND], dt[DT_WEEKDAY]);
    return 0;
}

int setSystemDateTime(int year, int month, int day, int hour, int minute, int second)
{
    USB_printf2("setSystemDateTime : %d/%d/%d %d:%d:%d ", year, month, day, hour, minute, second);
    // A date the switch sends is checked before it reaches the clock: a bad
    // field would otherwise stamp every later transaction.
    const int full = year + 2000;
    if (year < 0 || year > 99 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 59)
        return -1;
    const int monthDays = month == 2 ? (miladiKabisse(full) ? 29 : 28) : (month == 4 || month == 6 || month == 9 || month == 11 ? 30 : 31);
    if (day > monthDays)
        return -1;

    int dt[7] = {};
    dt[DLL_DT_SECOND] = second;
    dt[DLL_DT_MINUTE] = minute;
    dt[DLL_DT_HOUR] = hour;
    dt[DLL_DT_DAY] = day;
    dt[DLL_DT_MONTH] = month;
    dt[DLL_DT_YEAR] = full;
    dt[DLL_DT_WEEKDAY] = 0; // recomputed by the platform
    int rc = DLL_SysSetDateTime(dt);
    if (rc != DLL_OK)
        return rc;
    return DLL_SysSetRtc(dt);
}

int setSystemDateTimeS(const char *text)
{
    if (text == nullptr)
        return -1;
    USB_printf2("setSystemDateTimeS %s", text);
    for (int i = 0; i < 14; ++i)
        if (text[i] < '0' || text[i] > '9')
            return -1; // also stops at a short text's terminator
    auto pair = [text](int at) { return (text[at] - '0') * 10 + (text[at + 1] - '0'); };
    return setSystemDateTime(pair(2), pair(4), pair(6), pair(8), pair(10), pair(12));
}

// ---- transaction date-time texts ----------------------------------------------

namespace {

struct RecordStamp {
    int shamsi[3]; // 0/0/0 when the date does not convert
    char time[6];  // hhmmss, '0' where the record's text ends early
};

int twoDigits(const char *p)
{
    if (p[0] < '0' || p[0] > '9' || p[1] < '0' || p[1] > '9')
        return -1;
    return (p[0] - '0') * 10 + (p[1] - '0');
}

RecordStamp stampOf(const char *Date, const char *Time)
{
    RecordStamp st{};
    std::memset(st.time, '0', sizeof st.time);
    if (Time != nullptr)
        for (int i = 0; i < 6 && Time[i] != '\0'; ++i)
            st.time[i] = Time[i];
    if (Date == nullptr || strnlen(Date, 4) < 4)
        return st;
    int now[DATE_TIME_FIELDS] = {};
    if (getDateTime(now) != 0)
        return st;
    const int miladi[3] = {now[DT_YEAR], twoDigits(Date), twoDigits(Date + 2)};
    // A statement converts every record's date, and records come in runs of one
    // day: the last conversion is kept (a failed one too, as 0/0/0).
    thread_local int lastMiladi[3] = {-1, -1, -1};
    thread_local int lastShamsi[3] = {};
    if (std::memcmp(miladi, lastMiladi, sizeof miladi) != 0) {
        int shamsi[3] = {};
        miladyToShamsi(miladi, shamsi);
        std::memcpy(lastMiladi, miladi, sizeof miladi);
        std::memcpy(lastShamsi, shamsi, sizeof shamsi);
    }
    std::memcpy(st.shamsi, lastShamsi, sizeof st.shamsi);
    return st;
}

} // namespace

int TransactionDateS(const char *Date, const char *Time, char *out, std::size_t outSize)
{
    const RecordStamp st = stampOf(Date, Time);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", st.shamsi[0], st.shamsi[1], st.shamsi[2]);
    return putText(buf, std::strlen(buf), out, outSize);
}

int TransactionTimeP(const char *, const char *Time, char *out, std::size_t outSize)
{
    const RecordStamp st = stampOf(nullptr, Time); // the time alone needs no clock reading
    const char *t = st.time;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%c%c:%c%c:%c%c", t[0], t[1], t[2], t[3], t[4], t[5]);
    return putText(buf, std::strlen(buf), out, outSize);
}

int TransactionDateTimeS(const char *Date, const char *Time, char *out, std::size_t outSize)
{
    const RecordStamp st = stampOf(Date, Time);
    const char *t = st.time;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %c%c:%c%c", st.shamsi[0], st.shamsi[1], st.shamsi[2], t[0],
                  t[1], t[2], t[3]);
    return putText(buf, std::strlen(buf), out, outSize);
}

int TransactionDateTime(const char *Date, const char *Time, char *out, std::size_t outSize)
{
    const RecordStamp st = stampOf(Date, Time);
    const char *t = st.time;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d-%c%c:%c%c:%c%c", st.shamsi[0], st.shamsi[1], st.shamsi[2],
                  t[0], t[1], t[2], t[3], t[4], t[5]);
    return putText(buf, std::strlen(buf), out, outSize);
}

void TransactionDateS(const char *Date, const char *Time, char *out)
{
    TransactionDateS(Date, Time, out, TRANSACTION_DATE_TIME_SIZE);
}

void TransactionTimeP(const char *Date, const char *Time, char *out)
{
    TransactionTimeP(Date, Time, out, TRANSACTION_DATE_TIME_SIZE);
}

void TransactionDateTimeS(const char *Date, const char *Time, char *out)
{
    TransactionDateTimeS(Date, Time, out, TRANSACTION_DATE_TIME_SIZE);
}

void TransactionDateTime(const char *Date, const char *Time, char *out)
{
    TransactionDateTime(Date, Time, out, TRANSACTION_DATE_TIME_SIZE);
}
