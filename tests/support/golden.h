/*
 * golden.h - committed golden text files of numbered texts, one entry a line
 * ("<number><TAB><text>", with \\, \t and \n escaped), compared entry by entry
 * so that a failure names the entry that changed.
 */
#ifndef TESTS_SUPPORT_GOLDEN_H
#define TESTS_SUPPORT_GOLDEN_H

#include <functional>
#include <string>

namespace testsupport {

// Compares text(n) for every number in [first, last] with the golden file:
// one failure per differing, missing or surplus entry. With the environment
// variable SAFFRON_UPDATE_GOLDEN set the file is written from text() instead,
// for a deliberate change that is then reviewed in the diff.
void expectGoldenTexts(const std::string &path, int first, int last, const std::function<std::string(int)> &text);

}  // namespace testsupport

#endif
