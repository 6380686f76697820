/*
 * script.cpp - the headless front end's script: parsing and running.
 *
 * One command per line, '#' starts a comment:
 *   key K | type DIGITS | swipe TRACK2 [TRACK1] | pin DIGITS|cancel | wait MS |
 *   shot NAME | expect TEXT | power LEVEL CHARGER | quit |
 *   modem ... | wifi ...  (the modem and the WiFi radio, radio.cpp)
 * The script runs only while the application waits for input. It gives one
 * input at a time and goes on only once the application has taken it, so a
 * run is deterministic: a shot after a key shows the screen the key led to.
 *
 * Sections: commands, parsing, running, the stdin reader, sim:: interface.
 */
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "device.h"
#include "libapi.h"
#include "radio.h"

namespace sim::detail {

/* ---- commands ------------------------------------------------------------------------------ */

enum class Op { Key, Swipe, Pin, Wait, Shot, Expect, Power, Radio, Paper, Quit };

struct Command {
  Op op;
  int line;               // 1-based line of the script, for messages
  long long number = 0;   // key code, wait ms, battery level
  long long number2 = 0;  // charger
  std::string text;       // track 2, PIN answer, shot name, expected text
  std::string text2;      // track 1
  std::vector<std::string> args;  // modem / wifi command words
  bool started = false;   // wait / expect: deadline set
  long long deadline = 0;
};

constexpr long long kExpectWindowMs = 5000;              // how long an expect may wait for its text
constexpr size_t kMaxTrack = 127;                        // McrRead buffers hold 128 bytes
constexpr size_t kMaxPin = 12;
constexpr size_t kMaxShotName = 100;

struct Script {
  bool active = false;        // a script drives the device
  bool sourceComplete = true; // every line has arrived (stdin readers set it at end of input)
  bool keepRunning = false;
  std::vector<Command> commands;
  size_t pc = 0;
  bool pumping = false;
  int linesRead = 0;          // stdin reader: lines seen so far
};

static Script& script() {
  static Script* s = new Script();
  return *s;
}

/* ---- parsing ---------------------------------------------------------------------------------- */

static std::string trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

static bool allDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// Non-negative decimal no larger than max.
static bool parseNumber(const std::string& s, long long max, long long* out) {
  if (!allDigits(s) || s.size() > 15) return false;
  long long v = std::stoll(s);
  if (v > max) return false;
  *out = v;
  return true;
}

static bool keyCode(const std::string& word, long long* code) {
  std::string up;
  for (char c : word) up += static_cast<char>(toupper(static_cast<unsigned char>(c)));
  static const struct {
    const char* name;
    int code;
  } kNames[] = {{"ENTER", DLL_KEY_ENTER}, {"CANCEL", DLL_KEY_CANCEL}, {"CLEAR", DLL_KEY_CLEAR},
                {"UP", DLL_KEY_UP},       {"DOWN", DLL_KEY_DOWN},     {"MENU", DLL_KEY_MENU}};
  for (const auto& n : kNames)
    if (up == n.name) {
      *code = n.code;
      return true;
    }
  return parseNumber(word, 254, code);  // 255 means "no key" to the application
}

static bool printableTrack(const std::string& t) {
  for (char c : t)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) return false;
  return true;
}

static bool validShotName(const std::string& n) {
  if (n.empty() || n.size() > kMaxShotName || n[0] == '.') return false;
  for (char c : n)
    if (!isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') return false;
  return true;
}

// Parses one line into zero or more commands; false with *why when malformed.
static bool parseLine(const std::string& raw, int lineNo, std::vector<Command>* out, std::string* why) {
  std::string line = raw;
  size_t hash = line.find('#');
  if (hash != std::string::npos) line.erase(hash);
  line = trim(line);
  if (line.empty()) return true;

  size_t sp = line.find_first_of(" \t");
  std::string word = line.substr(0, sp);
  std::string rest = sp == std::string::npos ? "" : trim(line.substr(sp));
  std::vector<std::string> args;
  {
    std::istringstream in(rest);
    std::string a;
    while (in >> a) args.push_back(a);
  }
  Command c{};
  c.line = lineNo;
  auto want = [&](size_t n) {
    if (args.size() == n) return true;
    *why = word + " takes " + std::to_string(n) + (n == 1 ? " argument" : " arguments");
    return false;
  };

  if (word == "key") {
    if (!want(1)) return false;
    if (!keyCode(args[0], &c.number)) {
      *why = "key wants a code 0..254 or ENTER, CANCEL, CLEAR, UP, DOWN, MENU";
      return false;
    }
    c.op = Op::Key;
    out->push_back(c);
  } else if (word == "type") {
    if (!want(1)) return false;
    if (!allDigits(args[0])) {
      *why = "type wants digits";
      return false;
    }
    for (char d : args[0]) {
      c.op = Op::Key;
      c.number = d;
      out->push_back(c);
    }
  } else if (word == "swipe") {
    if (args.empty()) {
      *why = "swipe wants track 2 (and optionally track 1)";
      return false;
    }
    c.op = Op::Swipe;
    c.text = args[0];
    c.text2 = trim(rest.substr(args[0].size()));  // track 1 may hold spaces
    if (c.text.size() > kMaxTrack || c.text2.size() > kMaxTrack || !printableTrack(c.text) ||
        !printableTrack(c.text2)) {
      *why = "a track is at most 127 printable characters";
      return false;
    }
    out->push_back(c);
  } else if (word == "pin") {
    if (!want(1)) return false;
    if (args[0] != "cancel" && (!allDigits(args[0]) || args[0].size() > kMaxPin)) {
      *why = "pin wants 1 to 12 digits or cancel";
      return false;
    }
    c.op = Op::Pin;
    c.text = args[0];
    out->push_back(c);
  } else if (word == "wait") {
    if (!want(1)) return false;
    // No longer than the runaway limit, which a longer wait would trip.
    const long long limit = dev().runawayMs;
    if (!parseNumber(args[0], limit, &c.number)) {
      *why = "wait wants milliseconds, at most " + std::to_string(limit) + " (the runaway limit)";
      return false;
    }
    c.op = Op::Wait;
    out->push_back(c);
  } else if (word == "shot") {
    if (!want(1)) return false;
    if (!validShotName(args[0])) {
      *why = "shot wants a file name of letters, digits, '-', '_' and '.'";
      return false;
    }
    c.op = Op::Shot;
    c.text = args[0];
    out->push_back(c);
  } else if (word == "expect") {
    if (rest.empty()) {
      *why = "expect wants a text";
      return false;
    }
    c.op = Op::Expect;
    c.text = rest;
    out->push_back(c);
  } else if (word == "power") {
    if (!want(2)) return false;
    if (!parseNumber(args[0], 100, &c.number) || !parseNumber(args[1], 1, &c.number2)) {
      *why = "power wants a level 0..100 and a charger state 0 or 1";
      return false;
    }
    c.op = Op::Power;
    out->push_back(c);
  } else if (word == "modem" || word == "wifi") {
    if (!radioCommand(word, args, false, why)) return false;
    c.op = Op::Radio;
    c.text = word;
    c.args = args;
    out->push_back(c);
  } else if (word == "paper") {
    if (!want(1)) return false;
    if (args[0] != "out" && args[0] != "in") {
      *why = "paper wants out or in";
      return false;
    }
    c.op = Op::Paper;
    c.number = args[0] == "in";
    out->push_back(c);
  } else if (word == "quit") {
    if (!want(0)) return false;
    c.op = Op::Quit;
    out->push_back(c);
  } else {
    *why = "unknown command \"" + word + "\"";
    return false;
  }
  return true;
}

static std::string lineError(int lineNo, const std::string& why, const std::string& raw) {
  return "sim: script line " + std::to_string(lineNo) + ": " + why + ": " + trim(raw);
}

bool scriptLoad(const std::string& text, std::string* error) {
  std::vector<Command> commands;
  std::istringstream in(text);
  std::string raw;
  int lineNo = 0;
  while (std::getline(in, raw)) {
    ++lineNo;
    std::string why;
    if (!parseLine(raw, lineNo, &commands, &why)) {
      if (error) *error = lineError(lineNo, why, raw);
      return false;
    }
  }
  std::lock_guard<std::recursive_mutex> lock(mutex());
  Script& s = script();
  s.commands = std::move(commands);
  s.pc = 0;
  s.active = true;
  s.sourceComplete = true;
  noteProgress();
  return true;
}

/* ---- running ----------------------------------------------------------------------------------- */

static std::string quoted(const std::string& s) { return "\"" + s + "\""; }

// Runs one command; false when the script must stop here for now.
static bool step(Command& c) {
  Device& d = dev();
  Script& s = script();
  switch (c.op) {
    case Op::Key:
      sim::pushKey(static_cast<int>(c.number));
      ++s.pc;
      noteProgress();
      return false;  // one input at a time
    case Op::Swipe:
      sim::pushSwipe(c.text, c.text2);
      ++s.pc;
      noteProgress();
      return false;
    case Op::Pin:
      sim::pushPinAnswer(c.text);
      ++s.pc;
      noteProgress();
      return false;
    case Op::Wait:
      if (!c.started) {
        c.started = true;
        c.deadline = nowMs() + c.number;
        noteProgress();  // the runaway clock starts with the wait, not before it
      }
      if (nowMs() < c.deadline) return false;
      ++s.pc;
      noteProgress();
      return true;
    case Op::Expect:
      if (!c.started) {
        c.started = true;
        c.deadline = nowMs() + kExpectWindowMs;
      }
      if (sim::screenContains(c.text)) {
        ++s.pc;
        noteProgress();
        return true;
      }
      if (nowMs() >= c.deadline) {
        std::string shot = "expect-failed-line" + std::to_string(c.line);
        if (!d.outDir.empty()) sim::writeShot(d.outDir, shot);
        finishRun(3, "sim: expect failed (script line " + std::to_string(c.line) + "): no text on the screen "
                     "contains " + quoted(c.text) + " within 5 s" +
                     (d.outDir.empty() ? "" : "; the screen is in " + shot + ".png/.txt"));
        return false;
      }
      return false;
    case Op::Shot:
      ++s.pc;
      noteProgress();
      if (d.outDir.empty() || !sim::writeShot(d.outDir, c.text)) {
        finishRun(1, "sim: cannot write shot " + quoted(c.text) + " into " + quoted(d.outDir));
        return false;
      }
      return true;
    case Op::Power:
      sim::setPower(static_cast<int>(c.number), static_cast<int>(c.number2));
      noteEvent("power level=" + std::to_string(c.number) + " charger=" + std::to_string(c.number2));
      ++s.pc;
      noteProgress();
      return true;
    case Op::Radio:
      radioCommand(c.text, c.args, true, nullptr);
      ++s.pc;
      noteProgress();
      return true;
    case Op::Paper:
      sim::setPaper(c.number != 0);
      ++s.pc;
      noteProgress();
      return true;
    case Op::Quit:
      ++s.pc;
      finishRun(0, "");
      return false;
  }
  return false;
}

void scriptPump() {
  std::unique_lock<std::recursive_mutex> lock(mutex());
  Script& s = script();
  if (!s.active || s.pumping) return;
  s.pumping = true;
  for (;;) {
    if (inputsPending()) break;
    if (s.pc >= s.commands.size()) {
      if (s.sourceComplete && !s.keepRunning) {
        s.active = false;
        s.pumping = false;
        lock.unlock();
        finishRun(0, "");
        return;
      }
      break;
    }
    if (!step(s.commands[s.pc])) break;
    if (!s.active) break;  // the run ended inside the step
  }
  s.pumping = false;
}

long long scriptNextDueMs() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  Script& s = script();
  if (!s.active || s.pc >= s.commands.size()) return -1;
  const Command& c = s.commands[s.pc];
  if ((c.op == Op::Wait || c.op == Op::Expect) && c.started) return c.deadline;
  return -1;
}

void scriptClear() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  Script& s = script();
  s.active = false;
  s.commands.clear();
  s.pc = 0;
  s.sourceComplete = true;
  s.pumping = false;
}

void setKeepRunning(bool keep) { script().keepRunning = keep; }

/* ---- the stdin reader (real-time runs) ------------------------------------------------------------ */

void scriptStartStdinReader() {
  {
    std::lock_guard<std::recursive_mutex> lock(mutex());
    Script& s = script();
    s.commands.clear();
    s.pc = 0;
    s.active = true;
    s.sourceComplete = false;
    s.linesRead = 0;
  }
  std::thread([] {
    std::string raw;
    while (std::getline(std::cin, raw)) {
      std::vector<Command> parsed;
      std::string why;
      std::lock_guard<std::recursive_mutex> lock(mutex());
      Script& s = script();
      int lineNo = ++s.linesRead;
      if (!parseLine(raw, lineNo, &parsed, &why)) {
        // A typing slip on a live console should not end the terminal.
        fprintf(stderr, "%s (ignored)\n", lineError(lineNo, why, raw).c_str());
        continue;
      }
      for (Command& c : parsed) s.commands.push_back(c);
    }
    std::lock_guard<std::recursive_mutex> lock(mutex());
    script().sourceComplete = true;
  }).detach();
}

}  // namespace sim::detail

/* ---- sim:: interface ------------------------------------------------------------------------------- */

namespace sim {

bool loadScript(const std::string& text, std::string* error) { return detail::scriptLoad(text, error); }

}  // namespace sim
