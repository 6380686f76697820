// bootsim: a simulated terminal boot loader on a pseudo-terminal.
//
// It answers the wake-up bytes 'T' and 'Q' as configured, speaks both packet
// framings (wire.h), and judges each command through one opcode table: image
// blocks, completion commands and the finish command. It keeps each received
// image and writes it, block by block, to a file; a block that cannot be
// written is failed the way a flash-write fault is. It can pace
// its line to a baud rate and misbehave on purpose: refuse a block a number
// of times, corrupt one reply, stay silent, report a flash-write fault, or
// never answer a completion command.
#ifndef TOOLS_BOOTSIM_BOOTSIM_H
#define TOOLS_BOOTSIM_BOOTSIM_H

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "wire.h"

struct BootSimOptions {
  char tReply = 'R';            // answer to 'T': 'R' (XOR) or 'S' (CRC-32)
  char qReply = 'R';            // answer to 'Q': 'R' (XOR) or 'P' (CRC-32); decides the framing
  unsigned baud = 0;            // pace both directions to this rate (10 bits a byte); 0: unpaced
  std::string outDir;           // an existing folder for boot.bin and app.bin; empty: kept in memory only
  unsigned refuseBlock = 0;     // block number (from 1, within each image) to refuse ...
  unsigned refuseTimes = 0;     // ... this many times (reply status 1)
  unsigned corruptBlock = 0;    // block whose first reply has a broken check byte
  unsigned flashFaultBlock = 0; // block answered with a flash-write fault (byte 1 = 100)
  unsigned vanishBlock = 0;     // from this block of an image on, answer nothing (a loader gone away)
  bool silent = false;          // never answer 'T' or 'Q'
  bool silentToQ = false;       // answer 'T' but never 'Q'
  bool noCompletionReply = false;
  bool once = false;            // stop serving after the finish command
  bool verbose = false;         // one line per event on standard output
};

struct BootSimReport {
  std::vector<uint8_t> bootImage;   // last completed boot code image
  std::vector<uint8_t> appImage;    // last completed operating system image
  std::vector<uint8_t> commands;    // every intact packet's command, in order
  unsigned bootImages = 0;          // completed boot code images
  unsigned appImages = 0;           // completed operating system images
  unsigned wakeT = 0, wakeQ = 0;    // wake-up bytes seen
  unsigned badChecks = 0;           // packets dropped for a bad check
  unsigned writeFaults = 0;         // blocks failed because the output file could not be written
  bool finished = false;            // 0xD2 seen
};

class BootSim {
 public:
  explicit BootSim(BootSimOptions options);
  ~BootSim();
  BootSim(const BootSim&) = delete;
  BootSim& operator=(const BootSim&) = delete;

  // Creates the pseudo-terminal pair; false with a message on stderr if not.
  bool open();
  const std::string& devicePath() const { return slavePath_; }

  // Serves on the calling thread until stop() or, with `once`, the finish.
  void serve();
  // Serves on a thread of its own.
  void start();
  void stop();  // ends serve() and joins the thread started by start()
  void requestStop() { stop_ = true; }  // safe from a signal handler

  BootSimReport report() const;

  // Takes bytes as they came off the line. serve() feeds it; a fuzzer may
  // feed it without a pseudo-terminal (replies then go nowhere).
  void receive(const uint8_t* data, size_t n);

  // Makes sure outDir exists as a writable folder, creating it if needed;
  // false with the reason in *why.
  static bool prepareOutDir(const std::string& dir, std::string* why);

 private:
  struct Opcode;
  static const Opcode kOpcodes[];

  void handleByte(uint8_t b);
  void handlePacket(uint8_t command, const uint8_t* payload, size_t len);
  void onBlock(const Opcode& op, const uint8_t* payload, size_t len);
  void onComplete(const Opcode& op, const uint8_t* payload, size_t len);
  void onFinish(const Opcode& op, const uint8_t* payload, size_t len);
  void startImage(uint8_t command);
  bool storeBlock(const Opcode& op, const uint8_t* data, size_t n);
  bool closeImageFile(const Opcode& op);
  void dropImageFile();
  void reply(uint8_t command, uint8_t status, uint8_t detail, bool corrupt);
  void writePaced(const uint8_t* data, size_t n);
  void waitForLine();

  BootSimOptions opt_;
  int master_ = -1;
  int slaveHold_ = -1;  // keeps the slave side alive between client opens
  std::string slavePath_;
  std::atomic<bool> stop_{false};
  std::thread thread_;

  // Receive state; the reader's framing is set by the answer to 'Q'.
  bootwire::PacketReader reader_;
  uint64_t rxLineFreeNs_ = 0;  // when the last received byte finished arriving (paced)
  uint64_t txLineFreeNs_ = 0;

  // Image state.
  uint8_t imageCommand_ = 0;       // block command of the image in progress
  std::vector<uint8_t> image_;
  unsigned blockNo_ = 1;           // number of the next new block in this image
  unsigned refusedSoFar_ = 0;
  bool corruptDone_ = false;
  bool vanished_ = false;          // stopped answering (vanishBlock reached)
  std::vector<uint8_t> resendable_;  // last block whose reply we broke
  FILE* imageFile_ = nullptr;        // <outDir>/<name>.part while an image arrives
  bool writeFailed_ = false;         // this image lost a block on the way to its file

  mutable std::mutex mutex_;
  BootSimReport report_;
};

#endif
