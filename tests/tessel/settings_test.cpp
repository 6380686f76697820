// config.qcf: layout, defaults, the text-mode line-end translation and the
// version check.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "settings.h"

namespace {

class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tessel-qcf-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    path = settingsPathIn(dir.c_str());
  }
  void TearDown() override {
    std::remove(path.c_str());
    rmdir(dir.c_str());
  }
  std::vector<uint8_t> fileBytes() {
    std::vector<uint8_t> out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    int c;
    while ((c = std::fgetc(f)) != EOF) out.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
    return out;
  }
  void writeBytes(const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  std::string dir, path;
};

}  // namespace

TEST(SettingsRecord, DefaultsAreZeroExceptTheNamedBytes) {
  TesselSettings rec;
  settingsDefaults(&rec);
  const auto* b = reinterpret_cast<const uint8_t*>(&rec);
  for (size_t i = 0; i < kSettingsSize; ++i) {
    if (i >= 3129 && i <= 3136) continue;
    if (i == 3138 || i == 3139) {
      EXPECT_EQ(b[i], 0xFF) << i;
    } else if (i == 3141) {
      EXPECT_EQ(b[i], 0x01);
    } else {
      EXPECT_EQ(b[i], 0x00) << i;
    }
  }
  EXPECT_EQ(std::vector<uint8_t>(b + 3129, b + 3137),
            (std::vector<uint8_t>{0x00, 0xC2, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}));
}

TEST_F(SettingsFile, MissingFileIsCreatedWithTheDefaults) {
  TesselSettings rec;
  EXPECT_EQ(loadSettings(path.c_str(), &rec), SettingsLoad::Created);
  TesselSettings def;
  settingsDefaults(&def);
  EXPECT_EQ(fileBytes().size(), kSettingsSize);  // the defaults hold no 0x0A
  EXPECT_EQ(std::memcmp(&rec, &def, kSettingsSize), 0);
}

TEST_F(SettingsFile, RoundTripKeepsEveryFieldIncludingThoseNoPageShows) {
  TesselSettings rec;
  settingsDefaults(&rec);
  rec.portIndex = 19;
  rec.baudIndex = 7;
  settingsSetText(rec.bootPath, sizeof rec.bootPath, "/images/boot.bin");
  settingsSetText(rec.appPath, sizeof rec.appPath, "C:\\images\\app.apk");
  settingsSetText(rec.serialNumber, sizeof rec.serialNumber, "SN-00042");
  rec.morePaths[100] = 'x';
  rec.reserved3121[3] = 0x77;
  rec.unused[245] = 0x99;
  rec.appTicked = 1;
  ASSERT_TRUE(saveSettings(path.c_str(), rec));
  TesselSettings back;
  EXPECT_EQ(loadSettings(path.c_str(), &back), SettingsLoad::Loaded);
  EXPECT_EQ(std::memcmp(&rec, &back, kSettingsSize), 0);
}

TEST_F(SettingsFile, LineFeedIsStoredAsCrLfAndReadBackUnchanged) {
  TesselSettings rec;
  settingsDefaults(&rec);
  rec.portIndex = 0x0A;                // first byte of the record
  rec.bootPath[0] = 0x0D;              // a CR of the record itself, then a LF
  rec.bootPath[1] = 0x0A;
  ASSERT_TRUE(saveSettings(path.c_str(), rec));
  const std::vector<uint8_t> bytes = fileBytes();
  ASSERT_EQ(bytes.size(), kSettingsSize + 2);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 3), (std::vector<uint8_t>{0x0D, 0x0A, 0x00}));
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 9, bytes.begin() + 12), (std::vector<uint8_t>{0x0D, 0x0D, 0x0A}));
  TesselSettings back;
  ASSERT_EQ(loadSettings(path.c_str(), &back), SettingsLoad::Loaded);
  EXPECT_EQ(std::memcmp(&rec, &back, kSettingsSize), 0);
}

TEST_F(SettingsFile, ByteOneAIsARecordByteNotTheEndOfTheFile) {
  TesselSettings rec;
  settingsDefaults(&rec);
  rec.bootPath[0] = 0x1A;
  rec.portIndex = 3;
  ASSERT_TRUE(saveSettings(path.c_str(), rec));
  TesselSettings back;
  ASSERT_EQ(loadSettings(path.c_str(), &back), SettingsLoad::Loaded);
  EXPECT_EQ(back.portIndex, 3);
  EXPECT_EQ(static_cast<uint8_t>(back.bootPath[0]), 0x1A);
  EXPECT_EQ(std::memcmp(&rec, &back, kSettingsSize), 0);
}

TEST_F(SettingsFile, WrongVersionOrShortFileResetsToDefaultsInMemory) {
  TesselSettings rec;
  settingsDefaults(&rec);
  rec.portIndex = 5;
  rec.version[1] = 0x02;
  ASSERT_TRUE(saveSettings(path.c_str(), rec));
  TesselSettings back;
  EXPECT_EQ(loadSettings(path.c_str(), &back), SettingsLoad::Reset);
  TesselSettings def;
  settingsDefaults(&def);
  EXPECT_EQ(std::memcmp(&back, &def, kSettingsSize), 0);
  EXPECT_EQ(fileBytes()[0], 5);  // the file itself waits for the next save

  rec.version[1] = 0x01;
  std::string bytes = settingsEncode(rec);
  bytes.resize(3000);
  writeBytes(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  EXPECT_EQ(loadSettings(path.c_str(), &back), SettingsLoad::Reset);
  EXPECT_EQ(back.portIndex, 0);
}

TEST_F(SettingsFile, UncreatableFileIsReported) {
  TesselSettings rec;
  const std::string bad = dir + "/no/such/dir/config.qcf";
  EXPECT_EQ(loadSettings(bad.c_str(), &rec), SettingsLoad::CreateFailed);
  EXPECT_EQ(rec.version[1], 0x01);
}

TEST(SettingsText, FieldsWithoutNulAreReadBoundedAndWritesAreCut) {
  char field[8];
  std::memset(field, 'A', sizeof field);
  EXPECT_EQ(settingsText(field, sizeof field), "AAAAAAAA");
  settingsSetText(field, sizeof field, "0123456789");
  EXPECT_EQ(settingsText(field, sizeof field), "0123456");
  EXPECT_EQ(field[7], '\0');
}
