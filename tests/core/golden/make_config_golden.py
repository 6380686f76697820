#!/usr/bin/env python3
"""Writes p_Config.defaults.dat: the configuration file a terminal with serial
number SIM-GOLDEN-01 writes on its first start at 2024-03-20 10:15:02, after
the start-up normalisation (before the modem's IMEI is asked for).

Built field by field from the file's layout table, independently of the C++
code, so the golden test compares the program against the layout and not
against itself."""
import os
import struct

buf = bytearray(1356)


def text(offset, width, value):
    data = value.encode()
    assert len(data) < width
    buf[offset:offset + len(data)] = data


def i32(offset, value):
    struct.pack_into('<i', buf, offset, value)


text(4, 32, '087.107.134.151')       # HostIP
i32(36, 4080)                        # HostPort
text(40, 32, 'tms.saffron.invalid')  # TMSHost
i32(72, 1010)                        # TMSPort
text(112, 16, '4817')                # MerchantPass
text(128, 16, '6390')                # SupervisorPass
text(144, 8, '0006')                 # NII
text(164, 64, 'mcinet')              # APN
i32(420, 0)                          # connectionType GPRS
i32(424, 3)                          # askForSecondTicket: do not print
i32(428, 1)                          # sleepTimeout
i32(432, 1)                          # keypadSound on
text(436, 32, 'SIM-GOLDEN-01')       # SerialNo
text(1208, 32, '14012406005')        # softwareVersion
i32(1240, 3)                         # merchantTicketTimeout
buf[1276] = 0                        # reserved flag (new serial number)
i32(1280, 0)                         # linkMode, zero after every start
i32(1284, 1710929702)                # firstStartTime 2024-03-20 10:15:02
buf[1288] = 1                        # askSleepTime enabled
buf[1289] = 2                        # askShutDownTime disabled
i32(1292, 30)                        # shutdownTimeout
i32(1296, 3520)                      # reserved
i32(1300, 1)                         # screenSaverMode
buf[1304] = 1                        # passMustChange

out = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'p_Config.defaults.dat')
with open(out, 'wb') as f:
    f.write(buf)
