// bootsim command line: opens a pseudo-terminal, prints the device path
// tessel should open, and serves until interrupted (or, with --once, until
// the finish command).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bootsim.h"

namespace {

BootSim* g_sim = nullptr;

void onSignal(int) {
  if (g_sim) g_sim->requestStop();
}

void usage(FILE* out) {
  std::fprintf(out,
               "usage: bootsim [options]\n"
               "  --t-reply R|S        answer to 'T' (default R)\n"
               "  --q-reply R|P        answer to 'Q', decides the framing: R XOR, P CRC-32 (default R)\n"
               "  --baud N             pace the line to N baud, 10 bits a byte (default unpaced)\n"
               "  --out DIR            write each received image to DIR/boot.bin or DIR/app.bin\n"
               "                       (DIR is created if missing; a block that cannot be written\n"
               "                       is answered with a flash-write fault)\n"
               "  --refuse-block N[:K] refuse block N of each image K times (default 1)\n"
               "  --corrupt-reply N    break the check byte of the first reply to block N\n"
               "  --flash-fault N      answer block N with a flash-write fault\n"
               "  --vanish N           stop answering anything at block N of an image\n"
               "  --silent             never answer 'T' or 'Q'\n"
               "  --silent-to-q        answer 'T' but never 'Q'\n"
               "  --no-completion-reply  never answer a completion command\n"
               "  --once               exit after the finish command\n"
               "  --path-file FILE     also write the device path to FILE\n"
               "Prints the pseudo-terminal's device path on its first line.\n");
}

bool number(const char* s, unsigned* out) {
  char* end = nullptr;
  const unsigned long v = std::strtoul(s, &end, 10);
  if (!s[0] || (*end && *end != ':') || v > 100000000ul) return false;
  *out = static_cast<unsigned>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  BootSimOptions opt;
  opt.verbose = true;
  std::string pathFile;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    auto needs = [&](bool ok) {
      if (!ok) {
        std::fprintf(stderr, "bootsim: bad or missing value for %s\n", a.c_str());
        std::exit(2);
      }
      ++i;
    };
    if (a == "--help" || a == "-h") {
      usage(stdout);
      return 0;
    } else if (a == "--t-reply") {
      needs(v && (v[0] == 'R' || v[0] == 'S') && !v[1]);
      opt.tReply = v[0];
    } else if (a == "--q-reply") {
      needs(v && (v[0] == 'R' || v[0] == 'P') && !v[1]);
      opt.qReply = v[0];
    } else if (a == "--baud") {
      needs(v && number(v, &opt.baud));
    } else if (a == "--out") {
      needs(v && v[0]);
      opt.outDir = v;
    } else if (a == "--refuse-block") {
      needs(v && number(v, &opt.refuseBlock));
      const char* colon = std::strchr(v, ':');
      opt.refuseTimes = 1;
      if (colon && !number(colon + 1, &opt.refuseTimes)) needs(false);
    } else if (a == "--corrupt-reply") {
      needs(v && number(v, &opt.corruptBlock));
    } else if (a == "--flash-fault") {
      needs(v && number(v, &opt.flashFaultBlock));
    } else if (a == "--vanish") {
      needs(v && number(v, &opt.vanishBlock) && opt.vanishBlock > 0);
    } else if (a == "--silent") {
      opt.silent = true;
    } else if (a == "--silent-to-q") {
      opt.silentToQ = true;
    } else if (a == "--no-completion-reply") {
      opt.noCompletionReply = true;
    } else if (a == "--once") {
      opt.once = true;
    } else if (a == "--path-file") {
      needs(v != nullptr);
      pathFile = v;
    } else {
      usage(stderr);
      return 2;
    }
  }

  if (!opt.outDir.empty()) {
    std::string why;
    if (!BootSim::prepareOutDir(opt.outDir, &why)) {
      std::fprintf(stderr, "bootsim: cannot use output folder %s: %s\n", opt.outDir.c_str(), why.c_str());
      return 2;
    }
  }

  BootSim sim(opt);
  if (!sim.open()) return 1;
  std::printf("%s\n", sim.devicePath().c_str());
  std::fflush(stdout);
  if (!pathFile.empty()) {
    // Written whole under a temporary name so a reader never sees half a path.
    const std::string tmp = pathFile + ".tmp";
    if (FILE* f = std::fopen(tmp.c_str(), "w")) {
      std::fprintf(f, "%s\n", sim.devicePath().c_str());
      std::fclose(f);
      std::rename(tmp.c_str(), pathFile.c_str());
    }
  }
  g_sim = &sim;
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  sim.serve();
  g_sim = nullptr;
  return 0;
}
