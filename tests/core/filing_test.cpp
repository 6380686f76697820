// filing_test.cpp - the settings files: defaults byte for byte, start-up
// normalisation, trace-number counters, power-loss safety and the full reset.
#include <sys/stat.h>

#include "core/FullReset.h"
#include "core_test_util.h"
#include "journal/Journal.h"
#include "sim.h"

namespace {

class FilingTest : public TerminalTest {};

Config storedConfig() {
  Config c = {};
  std::memcpy(c.HostIP, "10.0.0.1", 8);
  c.HostPort = 4020;
  c.TMSPort = 99;
  c.linkMode = 1;
  c.shutdownTimeout = 14;
  c.keypadSound = 2;
  std::memcpy(c.NII, "0123", 4);
  std::memcpy(c.SerialNo, "SIM00012345", 11); // the simulator's serial number
  std::memcpy(c.softwareVersion, "13990101001", 11);
  std::memcpy(c.MerchantName, "Shop", 4);
  c.reservedFlag = 1;
  return c;
}

Config fileConfig() {
  Config c = {};
  const auto bytes = readBytes(CONFIG_FILE);
  EXPECT_EQ(bytes.size(), sizeof c);
  std::memcpy(&c, bytes.data(), std::min(bytes.size(), sizeof c));
  return c;
}

TEST_F(FilingTest, FirstStartWritesTheDefaultsByteForByte) {
  sim::setSerial("SIM-GOLDEN-01");
  sim::setVirtualTime(2024, 3, 20, 10, 15, 2);
  firstStart();
  const auto golden = readBytes(GOLDEN_DIR "/p_Config.defaults.dat");
  ASSERT_EQ(golden.size(), 1356u);
  const auto written = readBytes(CONFIG_FILE);
  ASSERT_EQ(written.size(), golden.size());
  for (std::size_t i = 0; i < golden.size(); ++i) ASSERT_EQ(written[i], golden[i]) << "first difference at offset " << i;
  EXPECT_EQ(sim::keySoundMode(), 0);
  EXPECT_EQ(sim::keySoundLevel(), 50);
}

TEST_F(FilingTest, StartUpRepairsEveryOutOfRangeSetting) {
  const Config stored = storedConfig();
  writeBytes(CONFIG_FILE, &stored, sizeof stored);
  firstStart();
  const Config c = fileConfig();
  EXPECT_STREQ(c.HostIP, "10.0.0.1"); // a set switch address keeps the other settings
  EXPECT_EQ(c.HostPort, 4080);
  EXPECT_STREQ(c.TMSHost, DEFAULT_TMS_HOST);
  EXPECT_EQ(c.TMSPort, 1010);
  EXPECT_STREQ(c.MerchantPass, "");
  EXPECT_EQ(c.linkMode, 0);
  EXPECT_EQ(c.askSleepTime, 1);
  EXPECT_EQ(c.askShutDownTime, 1);
  EXPECT_EQ(c.screenSaverMode, 1);
  EXPECT_EQ(c.shutdownTimeout, 30);
  EXPECT_EQ(c.askForSecondTicket, 3);
  EXPECT_EQ(c.sleepTimeout, 1);
  EXPECT_EQ(c.merchantTicketTimeout, 3);
  EXPECT_EQ(c.firstStartTime, static_cast<int32_t>(sim::virtualNowMs() / 1000));
  EXPECT_EQ(c.passMustChange, 1);
  EXPECT_STREQ(c.softwareVersion, "14012406005");
  EXPECT_STREQ(c.NII, "0006");
  EXPECT_STREQ(c.MerchantName, "Shop");
  EXPECT_EQ(c.reservedFlag, 1); // same serial number
  EXPECT_EQ(sim::keySoundMode(), 1); // key click off
}

TEST_F(FilingTest, StartUpKeepsSettingsInRange) {
  Config stored = storedConfig();
  stored.HostPort = 4081;
  stored.shutdownTimeout = 15;
  stored.askSleepTime = 2;
  stored.firstStartTime = 12345;
  std::memcpy(stored.TMSHost, "tms.example.invalid", 19);
  writeBytes(CONFIG_FILE, &stored, sizeof stored);
  firstStart();
  const Config c = fileConfig();
  EXPECT_EQ(c.HostPort, 4081);
  EXPECT_EQ(c.shutdownTimeout, 15);
  EXPECT_EQ(c.askSleepTime, 2);
  EXPECT_EQ(c.firstStartTime, 12345);
  EXPECT_EQ(c.TMSPort, 99); // a set update server keeps its port
}

TEST_F(FilingTest, ANewSerialNumberReplacesTheStoredOneAndClearsTheResetFlag) {
  Config stored = storedConfig();
  std::memset(stored.SerialNo, 'X', sizeof stored.SerialNo - 1);
  writeBytes(CONFIG_FILE, &stored, sizeof stored);
  sim::setSerial("NEW42");
  normalizeConfigAtStart();
  const Config c = fileConfig();
  EXPECT_EQ(std::string(c.SerialNo, sizeof c.SerialNo), std::string("NEW42") + std::string(27, '\0'));
  EXPECT_EQ(c.reservedFlag, 0);
  EXPECT_STREQ(c.NII, ""); // the fixed NII is stored by the next write
  EXPECT_STREQ(config.NII, "0006");
}

TEST_F(FilingTest, ReadingAShortFileKeepsTheRestOfTheRecord) {
  config.HostPort = 1234;
  const char partial[10] = {0, 0, 0, 0, '1', '.', '2', '.', '3', '.'};
  writeBytes(CONFIG_FILE, partial, sizeof partial);
  EXPECT_EQ(readConfigFromFile(0), 10);
  EXPECT_EQ(std::string(config.HostIP, 6), "1.2.3.");
  EXPECT_EQ(config.HostPort, 1234);
}

TEST_F(FilingTest, ADamagedFileCannotLeaveATextFieldUnterminated) {
  std::vector<unsigned char> junk(sizeof(Config), 'A');
  writeBytes(CONFIG_FILE, junk.data(), junk.size());
  EXPECT_EQ(readConfigFromFile(0), 1356);
  EXPECT_EQ(std::strlen(config.HostIP), sizeof config.HostIP - 1);
  EXPECT_EQ(std::strlen(config.MerchantName), sizeof config.MerchantName - 1);
  EXPECT_EQ(std::strlen(config.IMEI), sizeof config.IMEI - 1);
  EXPECT_EQ(config.HostPort, 0x41414141); // numbers are taken as they are
}

TEST_F(FilingTest, AFailedWriteLeavesTheOldFilesIntact) {
  firstStart();
  setStanNumber(0);
  const auto oldConfig = readBytes(CONFIG_FILE);
  const auto oldTurnRow = readBytes(TURN_ROW_FILE);
  ASSERT_EQ(oldTurnRow.size(), 28u);
  // The temporary file cannot be created: the write fails before touching the file.
  ASSERT_EQ(mkdir("p_Config.dat.new", 0755), 0);
  ASSERT_EQ(mkdir("p_StanFile.dat.new", 0755), 0);
  config.HostPort = 9999;
  EXPECT_EQ(writeConfig2File(), -1);
  EXPECT_EQ(readBytes(CONFIG_FILE), oldConfig);
  EXPECT_EQ(setLastSucceedStanNumber(77), -1);
  EXPECT_EQ(readBytes(TURN_ROW_FILE), oldTurnRow);
}

TEST_F(FilingTest, ATornTemporaryFileFromAPowerLossIsIgnored) {
  firstStart();
  const auto good = readBytes(CONFIG_FILE);
  writeBytes("p_Config.dat.new", "torn", 4);
  std::memset(&config, 0, sizeof config);
  EXPECT_EQ(readConfigFromFile(0), 1356);
  EXPECT_EQ(std::memcmp(&config, good.data(), sizeof config), 0);
  EXPECT_EQ(writeConfig2File(), 1356);
  EXPECT_EQ(readBytes(CONFIG_FILE), good);
}

/* ---- trace-number counters -------------------------------------------------------- */

std::string turnRowFile() {
  const auto bytes = readBytes(TURN_ROW_FILE);
  return std::string(bytes.begin(), bytes.end());
}

void storeTurnRow(const char *batch, const char *stan, const char *last, const char *original) {
  TurnRow t = {};
  std::memcpy(t.batchNo, batch, 6);
  std::memcpy(t.stanNo, stan, 6);
  std::memcpy(t.lastSucceedStan, last, 6);
  std::memcpy(t.originalStan, original, 6);
  writeBytes(TURN_ROW_FILE, &t, sizeof t);
}

TEST_F(FilingTest, TheFirstRequestCarriesTrace000002) {
  EXPECT_EQ(readTurnRowFromFile(0), 0);
  EXPECT_STREQ(turnRow.batchNo, "000001");
  EXPECT_STREQ(turnRow.stanNo, "000001");
  EXPECT_EQ(setStanNumber(0), 0);
  EXPECT_EQ(turnRowFile(), std::string("000001\0" "000002\0", 14) + std::string(14, '\0'));
}

TEST_F(FilingTest, TraceNumbersRollOverAt999999AndMoveTheBatchOn) {
  storeTurnRow("000005", "999997", "999990", "999991");
  EXPECT_EQ(setStanNumber(0), 999990);
  EXPECT_STREQ(turnRow.stanNo, "999998");
  EXPECT_STREQ(turnRow.batchNo, "000005");
  setStanNumber(1);
  EXPECT_EQ(turnRowFile(), std::string("000006\0" "000001\0" "999990\0" "000001\0", 28));
  setStanNumber(0);
  EXPECT_EQ(turnRowFile(), std::string("000006\0" "000002\0" "999990\0" "000001\0", 28));

  storeTurnRow("999998", "999998", "000000", "000000"); // the batch number rolls over the same way
  setStanNumber(0);
  EXPECT_STREQ(turnRow.batchNo, "000001");
  EXPECT_STREQ(turnRow.stanNo, "000001");
}

TEST_F(FilingTest, TheLastAnsweredTraceNumberKeepsTheOthers) {
  storeTurnRow("000003", "000042", "000040", "000041");
  readTurnRowFromFile(0);
  EXPECT_EQ(setLastSucceedStanNumber(42), 28);
  EXPECT_EQ(turnRowFile(), std::string("000003\0" "000042\0" "000042\0" "000041\0", 28));
  EXPECT_EQ(readTurnRowFromFile(1), 0); // mode 1 starts the counters afresh
  EXPECT_STREQ(turnRow.stanNo, "000001");
}

TEST_F(FilingTest, CountersWithoutTerminatorsAreReadWithinTheirFields) {
  writeBytes(TURN_ROW_FILE, "1234567890123456789012345678", 28);
  EXPECT_EQ(setStanNumber(0), 567890);
  EXPECT_STREQ(turnRow.batchNo, "123456");
  EXPECT_STREQ(turnRow.stanNo, "890124");
}

/* ---- full reset ----------------------------------------------------------------------- */

void prepareBusyTerminal() {
  Config c = storedConfig();
  std::memcpy(c.TerminalNo, "12345678", 8);
  std::memcpy(c.MerchantNo, "987654321", 9);
  writeBytes(CONFIG_FILE, &c, sizeof c);
  storeTurnRow("000007", "000123", "000120", "000122");
  writeBytes(TEMP_FILE, "pending", 7);
  writeBytes(TRX_FILE, "journal", 7);
  writeBytes(MERCHANT_ACCOUNTS_FILE, "accounts", 8);
  std::memcpy(merchantAccounts[0].accountId, "A1", 2);
  readConfigFromFile(0);
  readTurnRowFromFile(0);
}

void expectResetDone() {
  EXPECT_EQ(turnRowFile(), std::string("000001\0" "000000\0" "000000\0" "000122\0", 28));
  Config expected = {};
  std::memcpy(expected.SerialNo, "SIM00012345", 11);
  expected.reservedFlag = 1;
  std::memcpy(&config, &expected, sizeof config);
  setDefaultValues(); // the defaults over a fresh record carrying the serial number
  const Config c = fileConfig();
  EXPECT_EQ(std::memcmp(&c, &config, sizeof c), 0);
  EXPECT_STREQ(c.TerminalNo, "");
  EXPECT_STREQ(c.MerchantName, "");
  EXPECT_STREQ(c.HostIP, DEFAULT_HOST_IP);
  EXPECT_FALSE(std::filesystem::exists(TEMP_FILE));
  EXPECT_FALSE(std::filesystem::exists(TRX_FILE));
  EXPECT_FALSE(std::filesystem::exists(MERCHANT_ACCOUNTS_FILE));
  EXPECT_EQ(merchantAccounts[0].accountId[0], '\0');
}

TEST_F(FilingTest, TheFullResetStartsTheTerminalAfresh) {
  prepareBusyTerminal();
  EXPECT_EQ(resetTerminalSettings(), 0);
  expectResetDone();
}

TEST_F(FilingTest, TheResetScreenResetsOnlyOnEnter) {
  prepareBusyTerminal();
  const auto before = readBytes(CONFIG_FILE);
  script("key CANCEL\nwait 3600000\n");
  ConfigurationMenuBankingDefault();
  EXPECT_TRUE(sim::screenContains(msg(103)));
  EXPECT_EQ(readBytes(CONFIG_FILE), before);
  EXPECT_TRUE(std::filesystem::exists(TRX_FILE));

  script("type 5\nkey ENTER\nwait 3600000\n");
  ConfigurationMenuBankingDefault();
  EXPECT_TRUE(sim::screenContains(msg(264)));
  expectResetDone();
}

} // namespace
