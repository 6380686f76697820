// damaged_files_test.cpp - stored files the terminal finds but cannot use: an
// unreadable file, a FIFO or a folder under a settings or journal name, and
// settings a damaged file carries outside their domain. Nothing stored may be
// written over, nothing may block, and what was wrong is reported.
#include <sys/stat.h>
#include <sys/types.h>

#include "core/file.h"
#include "core_test_util.h"
#include "journal/Journal.h"

namespace {

constexpr uid_t NOBODY = 65534;

// Makes a file unreadable to this process for the scope. Root reads anything,
// so as root the scope runs as nobody over a file only its owner may touch.
class Unreadable {
public:
  Unreadable(const std::string &dir, const char *path) {
    EXPECT_EQ(::chmod(path, 0), 0);
    if (::geteuid() == 0) {
      EXPECT_EQ(::chmod(dir.c_str(), 0777), 0);
      asNobody_ = ::seteuid(NOBODY) == 0;
      EXPECT_TRUE(asNobody_);
    }
  }
  ~Unreadable() {
    if (asNobody_) {
      EXPECT_EQ(::seteuid(0), 0);
    }
  }
  Unreadable(const Unreadable &) = delete;
  Unreadable &operator=(const Unreadable &) = delete;

private:
  bool asNobody_ = false;
};

// What a read found is remembered process-wide: every test starts from a
// folder whose files read soundly (they are absent) and leaves it so.
class DamagedFiles : public TerminalTest {
protected:
  void SetUp() override {
    TerminalTest::SetUp();
    forgetDamage();
  }
  void TearDown() override {
    forgetDamage();
    TerminalTest::TearDown();
  }
  // Sound reads (of files made empty) and then no settings files at all.
  static void forgetDamage() {
    std::error_code ec;
    for (const char *f : {CONFIG_FILE, TURN_ROW_FILE}) std::filesystem::remove_all(f, ec);
    readConfigFromFile(0);
    readTurnRowFromFile(0);
    for (const char *f : {CONFIG_FILE, TURN_ROW_FILE}) std::filesystem::remove_all(f, ec);
  }
};

Config identity() {
  Config c = {};
  std::memcpy(c.HostIP, "127.0.0.1", 9);
  c.HostPort = 4080;
  std::memcpy(c.TerminalNo, "12345678", 8);
  std::memcpy(c.MerchantNo, "111222333", 9);
  std::memcpy(c.MerchantName, "Shop", 4);
  return c;
}

bool isFifo(const char *path) {
  struct stat st {};
  return ::lstat(path, &st) == 0 && S_ISFIFO(st.st_mode);
}

/* ---- settings files ------------------------------------------------------------------- */

TEST_F(DamagedFiles, AnUnreadableSettingsFileIsNeitherBlankedNorWrittenOver) {
  const Config stored = identity();
  writeBytes(CONFIG_FILE, &stored, sizeof stored);
  const auto before = readBytes(CONFIG_FILE);
  {
    Unreadable locked(dir_, CONFIG_FILE);
    firstStart();
    EXPECT_EQ(writeConfig2File(), -1);
  }
  EXPECT_EQ(readBytes(CONFIG_FILE), before);
  const char *name = nullptr;
  EXPECT_EQ(settingsFileProblem(&name), FILE_UNREADABLE);
  EXPECT_STREQ(name, CONFIG_FILE);

  // Readable again, it is read and may be written once more.
  ASSERT_EQ(::chmod(CONFIG_FILE, 0644), 0);
  EXPECT_EQ(readConfigFromFile(0), 1356);
  EXPECT_STREQ(config.TerminalNo, "12345678");
  EXPECT_EQ(settingsFileProblem(nullptr), FILE_ABSENT);
  EXPECT_EQ(writeConfig2File(), 1356);
}

TEST_F(DamagedFiles, AFifoOrFolderUnderASettingsNameNeitherBlocksNorIsReplaced) {
  ASSERT_EQ(::mkfifo(CONFIG_FILE, 0644), 0);
  normalizeConfigAtStart(); // would wait for a writer forever
  normalizeConfigModuleInit();
  EXPECT_TRUE(isFifo(CONFIG_FILE));
  EXPECT_EQ(settingsFileProblem(nullptr), FILE_NOT_REGULAR);
  EXPECT_STREQ(config.HostIP, DEFAULT_HOST_IP); // runs on the defaults in memory

  ASSERT_EQ(::mkdir(TURN_ROW_FILE, 0755), 0);
  EXPECT_EQ(readTurnRowFromFile(0), -1);
  setStanNumber(0);
  setStanNumber(0);
  // Counting goes on in memory instead of starting over at every request.
  EXPECT_STREQ(turnRow.stanNo, "000003");
  EXPECT_TRUE(std::filesystem::is_directory(TURN_ROW_FILE));
}

TEST_F(DamagedFiles, UnreadableCountersAreKept) {
  TurnRow stored = {};
  std::memcpy(stored.batchNo, "000007", 6);
  std::memcpy(stored.stanNo, "000123", 6);
  writeBytes(TURN_ROW_FILE, &stored, sizeof stored);
  const auto before = readBytes(TURN_ROW_FILE);
  {
    Unreadable locked(dir_, TURN_ROW_FILE);
    EXPECT_EQ(readTurnRowFromFile(0), -1);
    setStanNumber(1);
    EXPECT_EQ(setLastSucceedStanNumber(2), -1);
  }
  EXPECT_EQ(readBytes(TURN_ROW_FILE), before);
  const char *name = nullptr;
  EXPECT_EQ(settingsFileProblem(&name), FILE_UNREADABLE);
  EXPECT_STREQ(name, TURN_ROW_FILE);
}

TEST_F(DamagedFiles, StartUpReportsAnUnreadableFileOnScreen) {
  ASSERT_EQ(::mkdir(CONFIG_FILE, 0755), 0);
  script("expect " + msg(97) + "\nwait 3600000\n");
  normalizeConfigAtStart();
  moduleInit();
  EXPECT_TRUE(std::filesystem::is_directory(CONFIG_FILE));
}

/* ---- values outside their domain --------------------------------------------------------- */

TEST_F(DamagedFiles, SettingsOutsideTheirDomainAreSetAsTheDefaultsWouldAndLogged) {
  Config c = identity();
  std::memcpy(c.HostIP, "1.2.3.4\x01", 8);
  c.HostPort = -5;
  c.TMSPort = 70000;
  std::memcpy(c.MerchantNo, "1234567890123456789012345", 25); // covers its label
  std::memcpy(c.TerminalNo, "12AB5678", 8);
  std::memcpy(c.MerchantName, "Sh\x07op\x1b", 6);
  std::memcpy(c.MerchantPass, "12", 2);
  std::memcpy(c.APN, "mci\nnet", 7);
  c.connectionType = 9;
  c.askForSecondTicket = 8;
  c.sleepTimeout = 500;
  c.keypadSound = 3;
  c.merchantTicketTimeout = 1000000;
  c.askSleepTime = 7;
  c.askShutDownTime = 9;
  c.shutdownTimeout = 100000;
  c.screenSaverMode = -1;
  c.passMustChange = 5;
  c.passFailCount = -3;
  writeBytes(CONFIG_FILE, &c, sizeof c);
  hasDebug = 1;
  testing::internal::CaptureStdout();
  firstStart();
  const std::string log = testing::internal::GetCapturedStdout();
  hasDebug = 0;

  EXPECT_STREQ(config.HostIP, DEFAULT_HOST_IP);
  EXPECT_EQ(config.HostPort, DEFAULT_HOST_PORT);
  EXPECT_EQ(config.TMSPort, DEFAULT_TMS_PORT);
  EXPECT_STREQ(config.MerchantNo, "");
  EXPECT_STREQ(config.TerminalNo, "");
  EXPECT_STREQ(config.MerchantName, "Sh op ");
  EXPECT_STREQ(config.MerchantPass, DEFAULT_MERCHANT_PASS);
  EXPECT_STREQ(config.APN, DEFAULT_APN);
  EXPECT_EQ(config.connectionType, 0);
  EXPECT_EQ(config.askForSecondTicket, DEFAULT_SECOND_TICKET);
  EXPECT_EQ(config.sleepTimeout, DEFAULT_SLEEP_TIMEOUT);
  EXPECT_EQ(config.keypadSound, DEFAULT_KEYPAD_SOUND);
  EXPECT_EQ(config.merchantTicketTimeout, DEFAULT_TICKET_TIMEOUT);
  EXPECT_EQ(config.askSleepTime, 1);
  EXPECT_EQ(config.askShutDownTime, DEFAULT_ASK_SHUTDOWN);
  EXPECT_EQ(config.shutdownTimeout, DEFAULT_SHUTDOWN_TIMEOUT);
  EXPECT_EQ(config.screenSaverMode, DEFAULT_SCREEN_SAVER);
  EXPECT_EQ(config.passMustChange, 1);
  EXPECT_EQ(config.passFailCount, 0);
  // Each fix is logged by name; a damaged text is named, never echoed.
  EXPECT_NE(log.find("settings: HostPort -5 out of 1..65535, set to 4080"), std::string::npos) << log;
  EXPECT_NE(log.find("settings: MerchantNo damaged"), std::string::npos) << log;
  EXPECT_NE(log.find("settings: MerchantName had control characters"), std::string::npos) << log;
  EXPECT_EQ(log.find("1234567890123456789"), std::string::npos);
  // The repaired record is what the file now holds.
  Config stored = {};
  const auto bytes = readBytes(CONFIG_FILE);
  ASSERT_EQ(bytes.size(), sizeof stored);
  std::memcpy(&stored, bytes.data(), sizeof stored);
  EXPECT_EQ(stored.sleepTimeout, DEFAULT_SLEEP_TIMEOUT);
}

/* ---- journal files ----------------------------------------------------------------------- */

TransactionRecord purchase() {
  TransactionRecord t;
  clearTransaction(&t);
  std::memcpy(t.MTI, "0200", 4);
  std::memcpy(t.ProcessCode, "000000", 6);
  std::memcpy(t.Price, "5000", 4);
  std::memcpy(t.STAN, "000042", 6);
  std::memcpy(t.RRN, "123456789012", 12);
  return t;
}

TEST_F(DamagedFiles, AFifoUnderThePendingNameIsRefusedNotWaitedOn) {
  ASSERT_EQ(::mkfifo(TEMP_FILE, 0644), 0);
  EXPECT_EQ(isTempExist(), 0); // would wait for a writer forever
  TransactionRecord t = purchase();
  EXPECT_EQ(readTempFile(&t), -1);
  EXPECT_EQ(writeTempFile(purchase()), -1);
  EXPECT_TRUE(isFifo(TEMP_FILE));
  const char *name = nullptr;
  EXPECT_EQ(journalFileProblem(&name), FILE_NOT_REGULAR);
  EXPECT_STREQ(name, TEMP_FILE);
}

TEST_F(DamagedFiles, UnreadableJournalFilesAreNeitherReplacedNorReadAsEmpty) {
  const TransactionRecord pending = purchase();
  writeBytes(TEMP_FILE, &pending, sizeof pending);
  writeBytes(TRX_FILE, &pending, sizeof pending);
  const auto pendingBefore = readBytes(TEMP_FILE);
  {
    Unreadable lockedPending(dir_, TEMP_FILE);
    EXPECT_EQ(writeTempFile(purchase()), -1);
  }
  {
    Unreadable lockedJournal(dir_, TRX_FILE);
    TransactionRecord t;
    int type = 0;
    EXPECT_EQ(readTransactionByRrn("123456789012", &t, &type), -1); // an error, not "no such record"
  }
  EXPECT_EQ(readBytes(TEMP_FILE), pendingBefore);
  EXPECT_EQ(readBytes(TRX_FILE).size(), sizeof pending);
}

TEST_F(DamagedFiles, ACompletedRecordStaysPendingUntilTheJournalTakesIt) {
  ASSERT_EQ(::mkdir(TRX_FILE, 0755), 0);
  TransactionRecord t = purchase();
  ASSERT_EQ(writeTempFile(t), static_cast<int>(sizeof t));
  EXPECT_EQ(updateTransactionStatus(&t, TS_COMPLETED), -1);
  TransactionRecord pending;
  clearTransaction(&pending);
  ASSERT_EQ(readTempFile(&pending), static_cast<int>(sizeof pending));
  EXPECT_EQ(pending.Status, TS_COMPLETED);

  // Once the journal can be written the next start-up finishes the bookkeeping.
  ASSERT_EQ(::rmdir(TRX_FILE), 0);
  EXPECT_EQ(finishCompletedPending(&pending), 1);
  EXPECT_EQ(readBytes(TRX_FILE).size(), sizeof pending);
  EXPECT_FALSE(std::filesystem::exists(TEMP_FILE));
}

} // namespace
