// bootsim: a simulated terminal boot loader on a pseudo-terminal.
//
// It answers the wake-up bytes 'T' and 'Q' as configured, speaks both packet
// framings, takes image blocks and completion commands, keeps each received
// image (and writes it to a file) and records the finish command. It can pace
// its line to a baud rate and misbehave on purpose: refuse a block a number
// of times, corrupt one reply, stay silent, report a flash-write fault, or
// never answer a completion command.
#ifndef TOOLS_BOOTSIM_BOOTSIM_H
#define TOOLS_BOOTSIM_BOOTSIM_H

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct BootSimOptions {
  char tReply = 'R';            // answer to 'T': 'R' (XOR) or 'S' (CRC-32)
  char qReply = 'R';            // answer to 'Q': 'R' (XOR) or 'P' (CRC-32); decides the framing
  unsigned baud = 0;            // pace both directions to this rate (10 bits a byte); 0: unpaced
  std::string outDir;           // where boot.bin and app.bin go; empty: kept in memory only
  unsigned refuseBlock = 0;     // block number (from 1, within each image) to refuse ...
  unsigned refuseTimes = 0;     // ... this many times (reply status 1)
  unsigned corruptBlock = 0;    // block whose first reply has a broken check byte
  unsigned flashFaultBlock = 0; // block answered with a flash-write fault (byte 1 = 100)
  bool silent = false;          // never answer 'T' or 'Q'
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

 private:
  void handleByte(uint8_t b);
  void handlePacket(const uint8_t* packet, size_t size);
  void reply(uint8_t command, uint8_t status, uint8_t detail, bool corrupt);
  void writePaced(const uint8_t* data, size_t n);
  void waitForLine();
  void saveImage(const char* name, const std::vector<uint8_t>& image);

  BootSimOptions opt_;
  int master_ = -1;
  int slaveHold_ = -1;  // keeps the slave side alive between client opens
  std::string slavePath_;
  std::atomic<bool> stop_{false};
  std::thread thread_;

  // Receive state.
  std::vector<uint8_t> pkt_;   // packet being collected, from STX
  int framing_ = 0;            // 0 XOR, 2 CRC-32; set by the answer to 'Q'
  uint64_t rxLineFreeNs_ = 0;  // when the last received byte finished arriving (paced)
  uint64_t txLineFreeNs_ = 0;

  // Image state.
  uint8_t imageCommand_ = 0;       // block command of the image in progress
  std::vector<uint8_t> image_;
  unsigned blockNo_ = 1;           // number of the next new block in this image
  unsigned refusedSoFar_ = 0;
  bool corruptDone_ = false;
  std::vector<uint8_t> resendable_;  // last block whose reply we broke

  mutable std::mutex mutex_;
  BootSimReport report_;
};

#endif
