#!/usr/bin/env python3
"""scan_outputs.py - looks through everything a demonstration run wrote (every
file under its output folder, whatever the kind, and its standard output) for
card secrets: full card numbers, track 1 and track 2 data, PIN blocks, the
cards' PINs in a PIN-like context and the charge PINs the switch issued.

  scan_outputs.py OUT_DIR CARDS_SOURCE [CHARGE_PINS]

CARDS_SOURCE is the switch simulator's source holding its default card table;
its PANs, tracks and PINs are what the terminal was given. CHARGE_PINS lists the
charge PINs the vouchers delivered, one a line (learnt from the switch's answers,
never from what the run wrote). Each is looked for wherever it appears, in ASCII,
Persian or Arabic-Indic digits, forwards or turned round as the screen and
receipt listings store digit runs. Two places are where a charge PIN belongs: the
"charge PIN" line of the cardholder's voucher receipt (which must show each one,
or the scan would be looking for the wrong thing), and the payment-identifier
field of the terminal's own journal records, which the record layout gives it.
The script that drove the run (the .script files) is input, not output, and is
skipped. Exits 1 with one line per finding, 0 when nothing was found.
"""
import os
import re
import sys

CARD_ROW = re.compile(r'\{"(\d{12,19})",\s*"(\d{12,19}=\d+)",\s*"(\d{4,12})"')
DIGIT_RUN = re.compile(rb"(?<!\d)\d{16,19}(?!\d)")
TRACK2 = re.compile(rb"(?<!\d)\d{12,19}[=D]\d{4}")
TRACK1 = re.compile(rb"B\d{12,19}\^")
# A dump's field 52 (the PIN block) printed with its value.
FIELD52 = re.compile(rb"(?i)(?:field\s*|\[|\b)52\]?\s*[:=]\s*\"?[0-9a-f]{16}")
# A charge PIN as the answer's tag text carries it, and as a ledger would name it.
PIN_NAMED = re.compile(rb"(?i)\"?(?:voucher_?pin|charge_?pin|pin_?block|pin)\"?\s*[:=]\s*\"?\d{4,}")

# Where a charge PIN belongs (see above).
CHARGE_PIN_LABEL = "رمز شارژ".encode()
RECEIPT_LISTING = re.compile(r"^print-\d+\.txt$")
JOURNAL_FILE = re.compile(r"^p_(?:Trx|Tmp)\w*\.dat$")
RECORD_SIZE, PAYMENT_ID_AT, PAYMENT_ID_SIZE = 320, 195, 33


def luhn(digits):
    total = 0
    for i, ch in enumerate(reversed(digits)):
        d = int(ch)
        if i % 2 == 1:
            d *= 2
            if d > 9:
                d -= 9
        total += d
    return total % 10 == 0


def clear_pin_block(pin, pan):
    # ISO format 0: the PIN field XOR the PAN field (12 digits before the check digit).
    pin_field = ("0%d%s" % (len(pin), pin)).ljust(16, "F")
    pan_field = "0000" + pan[-13:-1]
    return "%016X" % (int(pin_field, 16) ^ int(pan_field, 16))


def digit_forms(digits):
    """The byte strings a digit run may be written as."""
    forms = set()
    for run in (digits, digits[::-1]):
        forms.add(run.encode())
        for zero in (0x06F0, 0x0660):  # Persian, Arabic-Indic
            forms.add("".join(chr(zero + int(d)) for d in run).encode())
    return forms


def find_all(data, needle):
    at = data.find(needle)
    while at >= 0:
        yield at
        at = data.find(needle, at + 1)


def charge_pin_findings(rel, name, data, pins, shown_on_receipt):
    """Findings for the charge PINs in one file, and the spans where they belong;
    notes the receipts that show them."""
    findings, allowed = [], []
    journal = JOURNAL_FILE.match(name) and len(data) % RECORD_SIZE == 0
    receipt = RECEIPT_LISTING.match(name)
    for pin in pins:
        for form in digit_forms(pin):
            for at in find_all(data, form):
                if journal and PAYMENT_ID_AT <= at % RECORD_SIZE and \
                        at % RECORD_SIZE + len(form) <= PAYMENT_ID_AT + PAYMENT_ID_SIZE:
                    allowed.append((at, at + len(form)))
                    continue
                line_start = data.rfind(b"\n", 0, at) + 1
                line_end = data.find(b"\n", at)
                line = data[line_start:line_end if line_end >= 0 else len(data)]
                if receipt and CHARGE_PIN_LABEL in line:
                    shown_on_receipt.add(pin)
                    allowed.append((at, at + len(form)))
                    continue
                findings.append("%s: a charge PIN %s... at byte %d" % (rel, pin[:2], at))
    return findings, allowed


def main():
    args = sys.argv[1:]
    if len(args) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    out_dir, cards_source = args[0], args[1]
    pins = []
    if len(args) > 2:
        pins = [line.strip() for line in open(args[2], encoding="ascii") if line.strip()]
        if not pins or any(not p.isdigit() or len(p) < 4 for p in pins):
            print("scan: %s holds no charge PINs, or something else" % args[2], file=sys.stderr)
            return 2
    cards = CARD_ROW.findall(open(cards_source, encoding="utf-8").read())
    if not cards:
        print("scan: no card table found in %s" % cards_source, file=sys.stderr)
        return 2
    needles = []
    for pan, track2, pin in cards:
        needles.append((pan.encode(), "card number"))
        needles.append((track2.encode(), "track 2"))
        needles.append((track2.split("=")[1].encode(), "track 2 discretionary data"))
        block = clear_pin_block(pin, pan)
        needles.append((block.encode(), "clear PIN block"))
        needles.append((block.lower().encode(), "clear PIN block"))

    findings = []
    scanned = 0
    shown_on_receipt = set()
    for root, _, files in os.walk(out_dir):
        for name in sorted(files):
            if name.endswith(".script"):
                continue
            path = os.path.join(root, name)
            try:
                data = open(path, "rb").read()
            except OSError as e:
                findings.append("%s: cannot be read (%s)" % (path, e))
                continue
            scanned += 1
            rel = os.path.relpath(path, out_dir)
            for needle, what in needles:
                if needle in data:
                    findings.append("%s: %s %s..." % (rel, what, needle[:6].decode()))
            pin_findings, allowed = charge_pin_findings(rel, name, data, pins, shown_on_receipt)
            findings += pin_findings
            for m in DIGIT_RUN.finditer(data):
                # A random charge PIN where it belongs passes the Luhn check one time in ten.
                if any(a <= m.start() and m.end() <= b for a, b in allowed):
                    continue
                if luhn(m.group().decode()):
                    findings.append("%s: a %d-digit number passing the Luhn check at byte %d" % (rel, len(m.group()), m.start()))
            for pattern, what in ((TRACK2, "track 2 data"), (TRACK1, "track 1 data"), (FIELD52, "a PIN block field"),
                                  (PIN_NAMED, "a named PIN")):
                for m in pattern.finditer(data):
                    findings.append("%s: %s at byte %d" % (rel, what, m.start()))
    if scanned == 0:
        print("scan: nothing to scan in %s" % out_dir, file=sys.stderr)
        return 2
    for pin in pins:
        if pin not in shown_on_receipt:
            findings.append("charge PIN %s... is on no voucher receipt: the scan does not know how it is written" % pin[:2])
    for f in sorted(set(findings)):
        print(f)
    print("scan: %d files, %d charge PINs looked for, %d findings" % (scanned, len(pins), len(set(findings))))
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())
