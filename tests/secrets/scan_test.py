#!/usr/bin/env python3
"""scan_test.py - the secrets scan (scan_outputs.py) on a made-up run folder: a
charge PIN where it belongs passes, the same PIN planted anywhere else, in any
of the ways our programs write digits, is found; so are card numbers."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCAN = os.path.join(HERE, "scan_outputs.py")
CARDS = os.path.join(HERE, "..", "..", "tools", "switchsim", "switch.cpp")

PIN = "4539578763621486"  # passes the Luhn check, as one random PIN in ten does
LABEL = "رمز شارژ"


def persian(digits):
    return "".join(chr(0x06F0 + int(d)) for d in digits)


def arabic(digits):
    return "".join(chr(0x0660 + int(d)) for d in digits)


def record(payment_id=b"", at=195):
    rec = bytearray(b"\0" * 320)
    rec[at:at + len(payment_id)] = payment_id
    return bytes(rec)


class Scan(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="scan-test-")
        self.out = os.path.join(self.dir, "demo")
        os.makedirs(os.path.join(self.out, "terminal-data"))
        # Where the PIN belongs: the cardholder's receipt (digit runs stored
        # turned round) and the journal record's payment identifier.
        self.write("print-007.txt", '# print 007\npair y=217 x=0 size=26 left="%s" right="%s"\n'
                   % (persian(PIN[::-1]), LABEL))
        self.write("print-008.txt", '# print 008, the merchant copy\npair y=0 x=0 size=26 left="x" right="y"\n')
        self.write("terminal-data/p_TrxFile.dat", record() + record(PIN.encode()), binary=True)
        self.write("15-voucher-result.txt", '# lcd 320x240\ntext y=0 x=1 "ok"\n')
        self.write("demo-stdout.txt", "demo: 1 approved and advised\n")
        self.pins = os.path.join(self.dir, "charge-pins.txt")
        with open(self.pins, "w") as f:
            f.write(PIN + "\n")

    def tearDown(self):
        shutil.rmtree(self.dir)

    def write(self, name, content, binary=False, append=False):
        mode = ("a" if append else "w") + ("b" if binary else "")
        with open(os.path.join(self.out, name), mode, **({} if binary else {"encoding": "utf-8"})) as f:
            f.write(content)

    def scan(self):
        r = subprocess.run([sys.executable, SCAN, self.out, CARDS, self.pins], capture_output=True, text=True)
        return r.returncode, r.stdout + r.stderr

    def test_a_charge_pin_where_it_belongs_is_no_finding(self):
        status, text = self.scan()
        self.assertEqual(status, 0, text)
        self.assertIn("1 charge PINs looked for, 0 findings", text)

    def test_a_charge_pin_anywhere_else_is_found_however_it_is_written(self):
        plants = [
            ("saffron.log", "charge: " + PIN + "\n", "saffron.log"),
            ("switch.log", "  [048] 41=" + PIN[::-1] + "\n", "switch.log"),
            ("15-voucher-result.txt", 'text y=40 x=1 "%s"\n' % persian(PIN[::-1]), "15-voucher-result.txt"),
            ("demo-stdout.txt", arabic(PIN) + "\n", "demo-stdout.txt"),
            ("print-008.txt", 'pair y=30 x=0 size=26 left="%s" right="serial"\n' % persian(PIN), "print-008.txt"),
            ("ledger.jsonl", '{"kind":"voucher","code":"%s"}\n' % PIN, "ledger.jsonl"),
        ]
        for name, text, where in plants:
            with self.subTest(where=where):
                # A fresh folder for each plant.
                self.tearDown()
                self.setUp()
                self.write(name, text, append=True)
                status, report = self.scan()
                self.assertEqual(status, 1, report)
                self.assertIn("%s: a charge PIN 45..." % where, report)
                self.assertNotIn(PIN, report, "the report must not repeat the secret")

    def test_the_journal_keeps_it_only_in_the_payment_identifier(self):
        self.write("terminal-data/p_TrxFile.dat", record(PIN.encode(), at=100), binary=True, append=True)
        status, report = self.scan()
        self.assertEqual(status, 1, report)
        self.assertIn("terminal-data/p_TrxFile.dat: a charge PIN 45... at byte %d" % (2 * 320 + 100), report)

    def test_a_pin_on_no_receipt_means_the_scan_looks_for_the_wrong_thing(self):
        self.write("print-007.txt", "# print 007\n")
        status, report = self.scan()
        self.assertEqual(status, 1, report)
        self.assertIn("is on no voucher receipt", report)

    def test_card_numbers_are_still_found_next_to_an_allowed_pin(self):
        self.write("events.txt", "swipe 6037991234567890\n")
        status, report = self.scan()
        self.assertEqual(status, 1, report)
        self.assertIn("events.txt: card number 603799...", report)
        self.assertNotIn("p_TrxFile.dat", report, "a charge PIN in its field is not a card number")


if __name__ == "__main__":
    unittest.main()
