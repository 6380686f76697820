/*
 * switchsim_unit_test.cpp - the switch simulator's parts: its cryptography
 * against published values, the fault script, the card table, the ledger
 * writer and its summary.
 */
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <thread>

#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "crypto.h"
#include "ledger.h"
#include "switch.h"

using namespace switchsim;
namespace fs = std::filesystem;

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

TEST(SwitchLedger, panIsMasked) {
  EXPECT_EQ(maskPan("6037991234567890"), "603799******7890");
  EXPECT_EQ(maskPan("6104337012345678901"), "610433*********8901");
  EXPECT_EQ(maskPan("1234"), "****");
}

namespace {

fs::path tempPath(const std::string &name) {
  return fs::temp_directory_path() / (name + "_" + std::to_string(::getpid()) + "_" +
                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
}

std::string readAll(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<nlohmann::json> jsonLines(const fs::path &p) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(readAll(p));
  for (std::string text; std::getline(in, text);) lines.push_back(nlohmann::json::parse(text));
  return lines;
}

struct Summary {
  int status;
  std::string out, errors;
};

Summary summarise(const fs::path &ledger, bool check = false) {
  char out[8192] = {0}, errors[4096] = {0};
  std::FILE *o = fmemopen(out, sizeof out - 1, "w");
  std::FILE *e = fmemopen(errors, sizeof errors - 1, "w");
  int status = ledgerSummary(ledger.string(), check, o, e);
  std::fclose(o);
  std::fclose(e);
  return {status, out, errors};
}

} // namespace

TEST(SwitchLedger, summaryTellsEachTransactionsEnd) {
  fs::path path = tempPath("ledger");
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
  Summary s = summarise(path);
  EXPECT_EQ(s.status, 0);
  const std::string &text = s.out;
  EXPECT_NE(text.find("T/000001         purchase               100  approved and advised"), std::string::npos) << text;
  EXPECT_NE(text.find("T/000002         voucher                200  declined"), std::string::npos) << text;
  EXPECT_NE(text.find("T/000003         top-up                 300  still open"), std::string::npos) << text;
  EXPECT_NE(text.find("T/000004         purchase               400  reversed"), std::string::npos) << text;
  EXPECT_NE(text.find("T/000005         purchase               500  still open"), std::string::npos) << text;
  EXPECT_NE(text.find("1 approved and advised, 1 reversed, 1 declined, 2 still open\n"), std::string::npos);
  fs::remove(path);
  EXPECT_EQ(summarise(path).status, 2);
  EXPECT_EQ(summarise(fs::temp_directory_path()).status, 2) << "a folder is not a ledger";
}

TEST(SwitchLedger, damagedLinesAreNamedAndFailTheCheck) {
  fs::path path = tempPath("ledger");
  std::ofstream(path) << R"({"dir":"request","mti":"0200","kind":"purchase","amount":100,"txn":"T/000001"}
{"dir":"answer","mti":"0210","rc":"00","txn":"T/000001"}
{"dir":"answer","mti":"0430","rc":"00","txn":"T/0000
not json at all
{"mti":"0200"}
)";
  Summary s = summarise(path);
  EXPECT_EQ(s.status, 0) << "without --check the summary still reports";
  EXPECT_NE(s.out.find("still open, 3 damaged lines"), std::string::npos) << s.out;
  for (const char *n : {":3: damaged line", ":4: damaged line", ":5: damaged line"})
    EXPECT_NE(s.errors.find(n), std::string::npos) << s.errors;
  EXPECT_EQ(summarise(path, true).status, 1);
  fs::remove(path);
}

TEST(SwitchLedger, runsKeepTheirTransactionsApart) {
  fs::path path = tempPath("ledger");
  fs::remove(path);
  for (int run = 0; run < 2; ++run) {
    Ledger ledger;
    std::string error;
    ASSERT_TRUE(ledger.open(path.string(), &error)) << error;
    // Both runs book terminal 10000001's trace number 000002.
    ledger.write({{"dir", "request"}, {"mti", "0200"}, {"kind", "purchase"}, {"amount", 100 + run}, {"txn", "10000001/000002"}});
    ledger.write({{"dir", "answer"}, {"mti", "0210"}, {"rc", run == 0 ? "00" : "51"}, {"txn", "10000001/000002"}});
  }
  std::vector<nlohmann::json> lines = jsonLines(path);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_NE(lines[0]["run"], lines[3]["run"]);
  EXPECT_EQ(lines[0]["dir"], "start");
  Summary s = summarise(path, true);
  EXPECT_EQ(s.status, 0) << s.errors;
  EXPECT_NE(s.out.find("0 approved and advised, 0 reversed, 1 declined, 1 still open"), std::string::npos) << s.out;
  EXPECT_NE(s.out.find("run " + lines[0]["run"].get<std::string>()), std::string::npos) << s.out;
  fs::remove(path);
}

TEST(SwitchLedger, aTornTailIsCutOffAndNoted) {
  fs::path path = tempPath("ledger");
  std::ofstream(path) << "{\"dir\":\"answer\",\"mti\":\"0210\",\"rc\":\"00\",\"txn\":\"T/1\"}\n{\"dir\":\"requ";
  Ledger ledger;
  std::string error;
  ASSERT_TRUE(ledger.open(path.string(), &error)) << error;
  ledger.write({{"dir", "request"}, {"mti", "0800"}});
  std::vector<nlohmann::json> lines = jsonLines(path); // throws on a glued line
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1]["dir"], "start");
  EXPECT_EQ(lines[1]["torn_tail_bytes_dropped"], 12);
  EXPECT_EQ(lines[2]["run"], ledger.runId());
  EXPECT_EQ(summarise(path, true).status, 0);
  fs::remove(path);
}

// Grouped lines from many threads, committed by whichever thread comes
// first: a line is reported durable only once it is whole in the file, and
// none is lost, split or glued to another.
TEST(SwitchLedger, groupCommitReportsOnlyWhatIsWrittenWhole) {
  fs::path path = tempPath("ledger");
  fs::remove(path);
  constexpr int THREADS = 8, LINES = 60;
  std::atomic<int> early{0}, pending{0};
  {
    Ledger ledger;
    std::string error;
    ASSERT_TRUE(ledger.open(path.string(), &error)) << error;
    ledger.setGrouped(true);
    // Alone, a grouped line waits for a commit. With other writers it may not:
    // any thread's commit takes every line appended so far.
    Ledger::Ticket alone = ledger.append({{"dir", "request"}, {"txn", "alone"}});
    EXPECT_EQ(ledger.state(alone), Ledger::State::Pending);
    ASSERT_TRUE(ledger.commit());
    EXPECT_EQ(ledger.state(alone), Ledger::State::Durable);
    std::vector<std::thread> writers;
    for (int t = 0; t < THREADS; ++t)
      writers.emplace_back([&, t] {
        for (int i = 0; i < LINES; ++i) {
          char txn[32]; // formatted, not concatenated: GCC 12 -O3 warns falsely on the string sum
          std::snprintf(txn, sizeof txn, "T%d/%d", t, i);
          Ledger::Ticket ticket = ledger.append({{"dir", "request"}, {"txn", txn}, {"pad", std::string(40 * (i % 7), 'x')}});
          ledger.commit();
          if (ledger.state(ticket) != Ledger::State::Durable)
            ++pending;
          else if (readAll(path).find("\"txn\":\"" + std::string(txn) + "\"") == std::string::npos)
            ++early; // told durable, yet not in the file
        }
      });
    for (std::thread &w : writers) w.join();
  }
  EXPECT_EQ(early.load(), 0) << "a line was reported durable before it was in the file";
  EXPECT_EQ(pending.load(), 0) << "a commit returned with a line before it still pending";
  std::vector<nlohmann::json> lines = jsonLines(path); // throws on a torn or glued line
  ASSERT_EQ(lines.size(), 2u + THREADS * LINES);
  std::set<std::string> seen;
  for (std::size_t i = 2; i < lines.size(); ++i) seen.insert(lines[i]["txn"].get<std::string>());
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(THREADS * LINES));
  fs::remove(path);
}

// A batch that cannot be written is reported failed for every line in it and
// leaves no partial line behind; later lines that fit are still written.
TEST(SwitchLedger, aBatchThatCannotBeWrittenFailsWholeAndLeavesNoTornLine) {
  fs::path path = tempPath("ledger");
  fs::remove(path);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // In a child: the file size limit applies to the whole process.
    signal(SIGXFSZ, SIG_IGN);
    Ledger ledger;
    std::string error;
    if (!ledger.open(path.string(), &error)) _exit(10);
    struct stat st {};
    stat(path.c_str(), &st);
    rlimit lim{static_cast<rlim_t>(st.st_size) + 150, RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &lim);
    ledger.setGrouped(true);
    Ledger::Ticket fits = ledger.append({{"dir", "request"}, {"n", 1}});
    if (!ledger.commit() || ledger.state(fits) != Ledger::State::Durable) _exit(11);
    // Two lines in one batch, the second past the limit: the whole batch fails.
    Ledger::Ticket a = ledger.append({{"dir", "request"}, {"n", 2}, {"pad", std::string(30, 'y')}});
    Ledger::Ticket b = ledger.append({{"dir", "request"}, {"n", 3}, {"pad", std::string(60, 'z')}});
    if (ledger.commit() || ledger.state(a) != Ledger::State::Failed || ledger.state(b) != Ledger::State::Failed)
      _exit(12);
    Ledger::Ticket after = ledger.append({{"dir", "request"}, {"n", 4}});
    if (!ledger.commit() || ledger.state(after) != Ledger::State::Durable) _exit(13);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10: open, 11: first line, 12: failed batch reported, 13: later line";
  std::vector<nlohmann::json> lines = jsonLines(path); // throws on a torn line
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1]["n"], 1);
  EXPECT_EQ(lines[2]["n"], 4);
  fs::remove(path);
}

TEST(SwitchLedger, onlyARegularFileIsALedger) {
  Ledger ledger;
  std::string error;
  EXPECT_FALSE(ledger.open(fs::temp_directory_path().string(), &error));
  EXPECT_FALSE(error.empty());
  fs::path fifo = tempPath("fifo");
  fs::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(ledger.open(fifo.string(), &error)); // and does not hang
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  fs::remove(fifo);
}

TEST(SwitchLedger, identifiersFromTheNetworkArePrintedEscaped) {
  // A terminal identifier with an escape sequence and a byte above ASCII.
  const std::string hostile = std::string("1000\x1b[2J", 8) + "\x9b";
  const std::string stored = netText(hostile);
  EXPECT_EQ(escapedForPrint(stored), "1000\\x1B[2J\\x9B");
  fs::path path = tempPath("ledger");
  fs::remove(path);
  {
    Ledger ledger;
    std::string error;
    ASSERT_TRUE(ledger.open(path.string(), &error)) << error;
    ledger.write({{"dir", "request"}, {"mti", "0200"}, {"kind", "purchase"}, {"amount", 5}, {"txn", stored + "/000001"}});
  }
  std::string raw = readAll(path);
  EXPECT_EQ(raw.find('\x1b'), std::string::npos) << "control byte in the ledger";
  Summary s = summarise(path);
  EXPECT_EQ(s.out.find('\x1b'), std::string::npos);
  EXPECT_NE(s.out.find("1000\\x1B[2J\\x9B/000001"), std::string::npos) << s.out;
  fs::remove(path);
}

TEST(SwitchCards, tableFileReplacesTheDefaults) {
  fs::path path = tempPath("cards");
  std::ofstream(path) << "# pan track2 pin balance [blocked]\n6037990000000001 6037990000000001=2512 0000 700\n"
                         "6037990000000002 6037990000000002=2512 1111 800 50\n";
  std::vector<Card> cards;
  std::string error;
  ASSERT_TRUE(loadCards(path.string(), &cards, &error)) << error;
  ASSERT_EQ(cards.size(), 2u);
  EXPECT_EQ(cards[1].blocked, 50);
  fs::remove(path);
  EXPECT_FALSE(loadCards(path.string(), &cards, &error));
  EXPECT_FALSE(loadCards(fs::temp_directory_path().string(), &cards, &error)) << "a folder is no card table";
  EXPECT_NE(error.find("not a regular file"), std::string::npos);
  EXPECT_EQ(cards.size(), 2u) << "a failed load keeps the table";
  EXPECT_EQ(defaultCards().size(), 3u);
}

TEST(SwitchCards, everyBadValueNamesItsLine) {
  const std::string good = "6037990000000001 6037990000000001=2512 1234 700\n";
  const char *bad[] = {
      "6037990000000001 6037990000000001=2512\n",              // too few words
      "6037990000000002 6037990000000002=2512 1234 5000abc\n", // trailing letters
      "6037990000000002 6037990000000002=2512 1234 -5\n",      // negative balance
      "6037990000000002 6037990000000002=2512 1234 100 -1\n",  // negative blocked
      "6037990000000002 6037990000000002=2512 1234 100 101\n", // blocked above balance
      "6037990000000002 6037990000000002=2512 12 100\n",       // 2-digit PIN
      "6037990000000002 6037990000000002=2512 12a4 100\n",     // PIN not digits
      "60379900000000AB 60379900000000AB=2512 1234 100\n",     // card number not digits
      "6037990000000001 6037990000000001=2512 1234 100\n",     // the same card twice
      "6037990000000002 6037990000000003=2512 1234 100\n",     // another card's track
      "6037990000000002 6037990000000002D2512 1234 100\n",     // no separator
      "6037990000000002 6037990000000002=2512 1234 9999999999999\n", // 13 digits
      "6037990000000002 6037990000000002=2512 1234 100 0 extra\n",
  };
  for (const char *line : bad) {
    std::vector<Card> cards;
    std::string error;
    EXPECT_FALSE(parseCards(good + line, "cards.txt", &cards, &error)) << line;
    EXPECT_EQ(error.rfind("cards.txt:2: ", 0), 0u) << line << " -> " << error;
    EXPECT_EQ(error.find("6037990000000002"), std::string::npos) << "full card number in " << error;
  }
}
