/*
 * libapi.h - the terminal's platform library, as the payment application uses it.
 *
 * Every hardware operation of the terminal goes through these DLL_ calls. On a
 * real terminal the vendor's library provides them; on a desktop the terminal
 * simulator (platform/sim) does. Results are integers, 0 = success unless a
 * comment says otherwise.
 *
 * Sections: status codes, system and clock, keypad, LCD, card reader, printer,
 * PIN pad, GPRS, WiFi, update service.
 *
 * In the simulator every device is modelled (the PIN pad with real
 * cryptography, the printer with paper that can run out, the GPRS modem and the
 * WiFi radio); every operation that reports success really does what it says.
 */
#ifndef LIBAPI_H
#define LIBAPI_H

#ifdef __cplusplus
extern "C" {
#endif

/* ---- status codes -------------------------------------------------------- */

#define DLL_OK 0
#define DLL_ERR_NOT_READY (-100) /* device not present or not modelled yet */
#define DLL_ERR_PARAM (-101)     /* null pointer or argument out of range */

/* ---- system and clock ---------------------------------------------------- */

/* Indexes into the seven integers of DLL_SysGetDateTime / DLL_SysSetDateTime. */
#define DLL_DT_SECOND 0
#define DLL_DT_MINUTE 1
#define DLL_DT_HOUR 2
#define DLL_DT_DAY 3
#define DLL_DT_MONTH 4
#define DLL_DT_YEAR 5    /* four digits, e.g. 2026 */
#define DLL_DT_WEEKDAY 6 /* 0 = Sunday ... 6 = Saturday */

#define DLL_SN_SIZE 32 /* serial number buffer, NUL included */

/* Must be called first, with main's arguments; the simulator takes its --sim-... options here. */
int DLL_ApiInit(int argc, char **argv);
/* Writes the serial number as NUL-terminated text into sn (at least DLL_SN_SIZE bytes). */
int DLL_SysReadSN(char *sn);
/* Fills dt[7]: second, minute, hour, day, month, year, weekday. */
int DLL_SysGetDateTime(int *dt);
/* Sets the system clock from dt[7] (the weekday is recomputed, not trusted). */
int DLL_SysSetDateTime(const int *dt);
/* Sets the battery-backed real-time clock from dt[7]. */
int DLL_SysSetRtc(const int *dt);
/* Sounds tone (0..6) for ms milliseconds. */
int DLL_SysBeef(unsigned char tone, unsigned int ms);
/* Sleeps until a key or swipe wakes the terminal; returns on wake. */
int DLL_SysEnterSleep(void);
/* Switches the terminal off; does not return. */
int DLL_SysPowerDown(void);
/* buf[0] = charge level 0..100 (below 13 is low); buf holds at least 4 bytes. */
int DLL_SysCheckBattery(unsigned char *buf);
/* buf[0] = charger state (0 = none, 1 = charging); buf holds at least 4 bytes. */
int DLL_SysCheckUsbStatus(unsigned char *buf);

/* ---- keypad --------------------------------------------------------------- */

#define DLL_KEY_NONE 255
#define DLL_KEY_CLEAR 8
#define DLL_KEY_ENTER 13
#define DLL_KEY_CANCEL 27
#define DLL_KEY_UP 5
#define DLL_KEY_DOWN 6
#define DLL_KEY_F7 7    /* idle screen: refresh */
#define DLL_KEY_MENU 22 /* idle screen: main menu */
#define DLL_KEY_F21 21

/* 0 when a key is waiting, non-zero otherwise. */
int DLL_KbCheck(void);
/* 0 and the key code in *key when a key was waiting; non-zero otherwise (*key untouched). */
int DLL_KbGetCh(unsigned char *key);
/* Drops every waiting key. */
int DLL_KbFlush(void);
/* mode 0 = key click on at the given level (0..100), any other mode = off. */
int DLL_KbSetSound(unsigned char mode, unsigned char level);

/* ---- LCD, 320 x 240 --------------------------------------------------------- */

#define DLL_LCD_WIDTH 320
#define DLL_LCD_HEIGHT 240
#define DLL_LCD_ALIGN_LEFT 0
#define DLL_LCD_ALIGN_RIGHT 1
#define DLL_LCD_ALIGN_CENTER 2

/* Clears the whole screen to white and forgets every text on it. */
int DLL_LcdCls(void);
/* Clears pixel rows fromRow..toRow (inclusive, capped at 239; up to 241 accepted). */
int DLL_LcdClrLine(int fromRow, int toRow);
/* Moves the cursor of the (unused) bitmap-font output. */
int DLL_LcdGotoxy(int x, int y);
/* Names the TrueType font file; the simulator maps the terminal's path to its cached copy. */
int DLL_LcdSetFont(const char *fontFile);
/* Sets how DLL_LcdPrintTTF draws: alignment (DLL_LCD_ALIGN_*), size 1..3, text colour as RGB565. */
int DLL_LcdSetTTFConfig(int align, int size, unsigned int textColor565);
/* Background behind TrueType text: on != 0 fills the text's line box with rgb (0xRRGGBB). */
int DLL_LcdSetTTFBGColor(int on, unsigned int rgb);
/* Draws UTF-8 text with top at y; x is the left margin (left/centre) or ignored (right, drawn flush to the right edge). */
int DLL_LcdPrintTTF(int x, int y, const char *utf8);
/* Draws an image file (PNG or BMP, path relative to the working directory) at its top left x, y. */
int DLL_LcdDrawLogo(int x, int y, const char *fileName);

/* ---- magnetic-stripe card reader ------------------------------------------ */

int DLL_McrOpen(void);
int DLL_McrClose(void);
/* Drops any swipe not yet read. */
int DLL_McrReset(void);
/* Non-zero when a swipe waits to be read. */
int DLL_McrCheck(void);
/* Reads the waiting swipe: each buffer receives its track as NUL-terminated text, its length in *lenN.
 * Buffers hold at least 128 bytes. 7 when track 2 was read (a swipe with 16 or more track-2 characters),
 * 0 when nothing usable was read. */
int DLL_McrRead(int *len1, unsigned char *track1, int *len2, unsigned char *track2, int *len3,
                unsigned char *track3);

/* ---- thermal printer, 384 dots wide ---------------------------------------- */

#define DLL_PRN_WIDTH 384
/* Printer alignment codes (DLL_FTPrnStrSetConfig). */
#define DLL_PRN_ALIGN_LEFT_RIGHT 0 /* DLL_FTPrnStr: text at x, left to right */
#define DLL_PRN_ALIGN_CENTER 1
#define DLL_PRN_ALIGN_RIGHT 2 /* flush right, for Persian lines */

#define DLL_PRN_NO_PAPER 1 /* DLL_PrnCheckStatus, DLL_FTPrnStart: out of paper */

/* Print density 1..8. */
int DLL_PrnSetGray(int level);
/* Starts a new empty page. */
int DLL_PrnInit(void);
/* Configures the next text: alignment code, font size in dots, x and y in dots on the page. */
int DLL_FTPrnStrSetConfig(int align, int size, int x, int y);
/* Queues UTF-8 text on the page at the configured place: left-aligned text starts at x,
 * centred text is centred between x and the width less x, right-aligned text ends at x.
 * A line end starts a further line one size plus the fine-tuned space lower. */
int DLL_FTPrnStr(const char *fontFile, const char *utf8);
/* Queues a line at the configured y: left text starting at x, right text ending at the width less x. */
int DLL_FTPrnStrLeftRight(const char *fontFile, const char *left, const char *right);
/* Adds dots of extra space between queued lines (0 resets). */
int DLL_FTPrnFineTuneLineSpace(int dots);
/* Queues a 1-bit logo: 01, width (16-bit big-endian), height (16-bit big-endian), rows MSB first. */
int DLL_PrnLogo(const unsigned char *logo, int x, int y);
/* Prints the composed page, height dots tall, and empties it; 0 when printed,
 * DLL_PRN_NO_PAPER (page kept) when the paper is out. */
int DLL_FTPrnStart(int height);
/* 0 = ready, non-zero = out of paper or fault. */
int DLL_PrnCheckStatus(void);

/* ---- PIN pad (PIN entry device) ------------------------------------------- */

#define DLL_PCI_KEY_PIN 2
#define DLL_PCI_KEY_MAC 3
#define DLL_PCI_KEY_DATA 4
#define DLL_PCI_PROTECT_MASTER 129 /* working key arrives enciphered under the master key */

/* Loads the terminal master key: key (len bytes), check block (checkLen bytes), mode. */
int DLL_PciWriteMKey(int index, const unsigned char *key, int len, const unsigned char *check, int checkLen,
                     int mode);
/* Loads a working key of the given type (DLL_PCI_KEY_*), enciphered as protect says. */
int DLL_PciWriteSKey(int type, int index, int len, const unsigned char *key, int protect, int mode);
/* Places the PIN prompt on the screen. */
int DLL_PciSetPinXY(int x, int y);
/* Collects a PIN of minLen..maxLen digits and writes the 8-byte PIN block for pan into pinBlock.
 * 0 = PIN block made, -1 = cancelled or timed out (timeoutSec). */
int DLL_PciGetPin(int keyIndex, int minLen, int maxLen, int panDigits, const char *pan, int promptFlags,
                  unsigned char *pinBlock, int timeoutSec);
/* Computes an 8-byte MAC over len bytes (a multiple of 8) with the MAC key. */
int DLL_PciGetMac(int keyIndex, int len, const unsigned char *data, unsigned char *mac, int mode);
/* Deciphers len bytes (a multiple of 8) with the data key into out. */
int DLL_PciGetEncData(int keyIndex, int len, const unsigned char *in, unsigned char *out);

/* ---- GPRS ------------------------------------------------------------------ */

#define DLL_IMEI_SIZE 32
#define DLL_PPP_ERR_NO_SIM (-201)       /* no SIM card in the modem */
#define DLL_PPP_ERR_NOT_ATTACHED (-202) /* not (yet) attached to the packet network */
#define DLL_PPP_ERR_LINK_DOWN (-203)    /* DLL_PppStatus: no PPP link */

/* Sets the access point and its credentials for the next dial. */
int DLL_PppInit(const char *apn, const char *user, const char *password);
/* 0 = SIM present. */
int DLL_PppCheckSim(void);
/* 0 = attached to the packet network; a modem may need several checks before it is. */
int DLL_PppCheckCgatt(void);
/* Brings the PPP link up; 0 = up. Needs a SIM and an attached modem. */
int DLL_PppDial(const char *apn, const char *number);
/* 0 = PPP link up. The link goes down by DLL_PppDisconnect, by the network, and in a long sleep. */
int DLL_PppStatus(void);
int DLL_PppDisconnect(void);
/* Writes the modem's IMEI (15 digits) as NUL-terminated text (at least DLL_IMEI_SIZE bytes). */
int DLL_PppGetIMEI(char *imei);

/* ---- WiFi -------------------------------------------------------------------- */

#define DLL_WIFI_MAX_APS 70
#define DLL_WIFI_RETRY 9500             /* the network is busy: try again */
#define DLL_WIFI_ERR_NO_NETWORK (-211)  /* no such network in range */
#define DLL_WIFI_ERR_AUTH (-212)        /* wrong pass phrase */
#define DLL_WIFI_ERR_NOT_JOINED (-213)  /* DLL_WifiGetNetworkStatus: no network joined */
#define DLL_WIFI_STATUS_SIZE 128

/* One scanned network, 227 bytes, all text, each field NUL-padded. */
typedef struct {
  char bssid[20];
  char frequency[10];
  char signal[5];
  char flags[128];
  char ssid[64];
} DLL_WifiAp;

/* Switches the radio on. */
int DLL_WifiOpen(void);
/* Switches the radio off, leaving the joined network. */
int DLL_WifiClose(void);
/* Fills list (room for DLL_WIFI_MAX_APS records) with the networks in range; returns the
 * count, negative on failure (DLL_ERR_NOT_READY while the radio is off). */
int DLL_WifiScan(DLL_WifiAp *list);
/* Joins the network named by ap.ssid; 0 = joined, DLL_WIFI_RETRY = busy, try again,
 * DLL_WIFI_ERR_AUTH, DLL_WIFI_ERR_NO_NETWORK. An open network takes any password. */
int DLL_WifiConnectNetwork(DLL_WifiAp ap, const char *password);
/* 0 = joined; status (DLL_WIFI_STATUS_SIZE bytes, may be null) receives the platform's own record. */
int DLL_WifiGetNetworkStatus(unsigned char *status);

/* ---- update service ------------------------------------------------------------ */

/* 0 none, 1 update waiting, 2 use allowed again, 3 stop use. */
int DLL_TMS_GetTask(void);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(sizeof(DLL_WifiAp) == 227, "the WiFi scan record is 227 bytes");
#endif

#endif /* LIBAPI_H */
