/*
 * switchsim_unit_test.cpp - the switch simulator's parts: its cryptography
 * against published values, the fault script, the ledger lines and summary.
 */
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "crypto.h"
#include "switch.h"

using namespace switchsim;

TEST(SwitchCrypto, tdesMatchesAKnownAnswer) {
  // Double-length key 0123456789ABCDEF FEDCBA9876543210 on 0123456789ABCDE7.
  std::uint8_t key[16], in[8], out[8], back[8];
  ASSERT_TRUE(fromHex("0123456789ABCDEFFEDCBA9876543210", key, 16));
  ASSERT_TRUE(fromHex("0123456789ABCDE7", in, 8));
  ASSERT_TRUE(tdesEcb(key, in, out, 8, true));
  EXPECT_EQ(toHex(out, 8), "7F1D0A77826B8AFF");
  ASSERT_TRUE(tdesEcb(key, out, back, 8, false));
  EXPECT_EQ(toHex(back, 8), "0123456789ABCDE7");
}

TEST(SwitchCrypto, pinBlockRoundTripsAndRejectsOtherCards) {
  std::uint8_t key[16], block[8];
  ASSERT_TRUE(fromHex("00112233445566778899AABBCCDDEEFF", key, 16));
  ASSERT_TRUE(pinBlockFor(key, "1234", "6037991234567890", block));
  EXPECT_EQ(pinFromBlock(key, block, "6037991234567890"), "1234");
  EXPECT_EQ(pinFromBlock(key, block, "6037991234567891"), "1234"); // the check digit takes no part
  EXPECT_NE(pinFromBlock(key, block, "6037991234567800"), "1234");
  EXPECT_FALSE(pinBlockFor(key, "123", "6037991234567890", block));
}

TEST(SwitchCrypto, macTextCoversThePlaceholderNotTheMac) {
  std::uint8_t key[16];
  ASSERT_TRUE(fromHex("0123456789ABCDEFFEDCBA9876543210", key, 16));
  std::uint8_t msg[21];
  for (int i = 0; i < 21; ++i) msg[i] = static_cast<std::uint8_t>(i + 1);
  std::string a = macText(key, msg, sizeof(msg), 8);
  std::memset(msg + 13, 'Z', 8); // whatever sits in the MAC field
  EXPECT_EQ(macText(key, msg, sizeof(msg), 8), a);
  EXPECT_EQ(a.size(), 8u);
  // Leaving out only 4 bytes covers 17 bytes: three blocks instead of two.
  EXPECT_NE(macText(key, msg, sizeof(msg), 4), a);
}

TEST(SwitchFaults, everySelectorAndActionParses) {
  std::vector<Fault> f;
  std::string error;
  ASSERT_TRUE(parseFaults("# comment\n3 drop\n0200/000000 delay 1500 once\n0420 code 05\n7 split\n"
                          "8 garbage\n9 truncate\n10 close\n",
                          &f, &error))
      << error;
  ASSERT_EQ(f.size(), 7u);
  EXPECT_EQ(f[0].nth, 3);
  EXPECT_EQ(f[0].action, FaultAction::Drop);
  EXPECT_EQ(f[1].mti, "0200");
  EXPECT_EQ(f[1].pc, "000000");
  EXPECT_EQ(f[1].ms, 1500);
  EXPECT_TRUE(f[1].once);
  EXPECT_EQ(f[2].code, "05");
  EXPECT_EQ(f[2].pc, "");
  EXPECT_EQ(f[3].ms, 200);
}

TEST(SwitchFaults, malformedLinesNameTheirLine) {
  std::vector<Fault> f;
  std::string error;
  EXPECT_FALSE(parseFaults("3 drop\n0200 explode\n", &f, &error));
  EXPECT_NE(error.find("line 2"), std::string::npos);
  EXPECT_FALSE(parseFaults("0 drop\n", &f, &error));
  EXPECT_FALSE(parseFaults("3 delay\n", &f, &error));
  EXPECT_FALSE(parseFaults("3 code 5\n", &f, &error));
  EXPECT_FALSE(parseFaults("0200/0000 drop\n", &f, &error));
  // Numbers too long for a long are refused, not thrown out of the parser.
  EXPECT_FALSE(parseFaults("99999999999999999999999 drop\n", &f, &error));
  EXPECT_FALSE(parseFaults("3 delay 99999999999999999999999\n", &f, &error));
  EXPECT_NE(error.find("line 1"), std::string::npos);
}

TEST(SwitchLedger, panIsMaskedAndLinesReadBack) {
  EXPECT_EQ(maskPan("6037991234567890"), "603799******7890");
  EXPECT_EQ(maskPan("6104337012345678901"), "610433*********8901");
  EXPECT_EQ(maskPan("1234"), "****");
  std::map<std::string, std::string> l;
  ASSERT_TRUE(parseJsonLine(R"({"seq":3,"dir":"answer","rc":"00","note":"a \"q\" \u0041","sent":true})", &l));
  EXPECT_EQ(l["seq"], "3");
  EXPECT_EQ(l["note"], "a \"q\" A");
  EXPECT_EQ(l["sent"], "true");
  EXPECT_FALSE(parseJsonLine("not json", &l));
  // A damaged escape makes the line unreadable instead of ending the summary.
  EXPECT_FALSE(parseJsonLine(R"({"note":"\uZZ41"})", &l));
  EXPECT_FALSE(parseJsonLine(R"({"note":"\u00)", &l));
}

TEST(SwitchLedger, summaryTellsEachTransactionsEnd) {
  auto path = std::filesystem::temp_directory_path() / ("ledger_" + std::to_string(::getpid()) + ".jsonl");
  std::ofstream(path) << R"({"dir":"request","mti":"0200","kind":"purchase","amount":100,"txn":"T/000001"}
{"dir":"answer","mti":"0210","rc":"00","txn":"T/000001"}
{"dir":"answer","mti":"0230","rc":"00","txn":"T/000001"}
{"dir":"request","mti":"0200","kind":"voucher","amount":200,"txn":"T/000002"}
{"dir":"answer","mti":"0210","rc":"51","txn":"T/000002"}
{"dir":"request","mti":"0200","kind":"top-up","amount":300,"txn":"T/000003"}
{"dir":"answer","mti":"0210","rc":"00","txn":"T/000003"}
{"dir":"request","mti":"0420","kind":"purchase","amount":400,"txn":"T/000004"}
{"dir":"answer","mti":"0430","rc":"00","txn":"T/000004"}
{"dir":"request","mti":"0200","kind":"purchase","amount":500,"txn":"T/000005"}
)";
  char buf[4096] = {0};
  std::FILE *out = fmemopen(buf, sizeof(buf), "w");
  ASSERT_EQ(ledgerSummary(path.string(), out), 0);
  std::fclose(out);
  std::string text = buf;
  EXPECT_NE(text.find("T/000001         purchase               100  approved and advised"), std::string::npos) << text;
  EXPECT_NE(text.find("T/000002         voucher                200  declined"), std::string::npos) << text;
  EXPECT_NE(text.find("T/000003         top-up                 300  still open"), std::string::npos) << text;
  EXPECT_NE(text.find("T/000004         purchase               400  reversed"), std::string::npos) << text;
  EXPECT_NE(text.find("T/000005         purchase               500  still open"), std::string::npos) << text;
  EXPECT_NE(text.find("1 approved and advised, 1 reversed, 1 declined, 2 still open"), std::string::npos);
  std::filesystem::remove(path);
  EXPECT_EQ(ledgerSummary(path.string(), stderr), 1);
}

TEST(SwitchCards, tableFileReplacesTheDefaults) {
  auto path = std::filesystem::temp_directory_path() / ("cards_" + std::to_string(::getpid()) + ".txt");
  std::ofstream(path) << "# pan track2 pin balance [blocked]\n6037990000000001 6037990000000001=2512 0000 700\n"
                         "6037990000000002 6037990000000002=2512 1111 800 50\n";
  std::vector<Card> cards;
  std::string error;
  ASSERT_TRUE(loadCards(path.string(), &cards, &error)) << error;
  ASSERT_EQ(cards.size(), 2u);
  EXPECT_EQ(cards[1].blocked, 50);
  std::ofstream(path) << "6037990000000001 6037990000000001=2512\n";
  EXPECT_FALSE(loadCards(path.string(), &cards, &error));
  EXPECT_NE(error.find(":1:"), std::string::npos);
  std::filesystem::remove(path);
  EXPECT_EQ(defaultCards().size(), 3u);
}
