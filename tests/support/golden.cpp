// golden.cpp - numbered texts against their golden file, entry by entry.
#include "golden.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>

namespace testsupport {

namespace {

std::string escape(const std::string &text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '\t') out += "\\t";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

std::string unescape(const std::string &text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    out += next == 't' ? '\t' : next == 'n' ? '\n' : next;
  }
  return out;
}

}  // namespace

void expectGoldenTexts(const std::string &path, int first, int last, const std::function<std::string(int)> &text) {
  if (std::getenv("SAFFRON_UPDATE_GOLDEN") != nullptr) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(out) << "cannot write " << path;
    for (int n = first; n <= last; ++n) out << n << '\t' << escape(text(n)) << '\n';
    ADD_FAILURE() << "wrote " << path << " (SAFFRON_UPDATE_GOLDEN is set): review the diff, then run without it";
    return;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << "cannot read " << path;
  std::map<int, std::string> golden;
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    const std::size_t tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos) << path << ":" << lineNo << " has no tab";
    const int n = std::atoi(line.substr(0, tab).c_str());
    ASSERT_TRUE(golden.emplace(n, unescape(line.substr(tab + 1))).second) << path << ":" << lineNo << " repeats " << n;
  }
  for (int n = first; n <= last; ++n) {
    const auto it = golden.find(n);
    if (it == golden.end()) {
      ADD_FAILURE() << "entry " << n << " is missing from " << path;
      continue;
    }
    EXPECT_EQ(text(n), it->second) << "entry " << n;
    golden.erase(it);
  }
  for (const auto &[n, expected] : golden) ADD_FAILURE() << "entry " << n << " of " << path << " is outside " << first << ".." << last;
}

}  // namespace testsupport
