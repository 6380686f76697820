// tessel: with options, the command-line download; alone, the dialog.
#include <cstdio>

#include "cli.h"

#ifdef TESSEL_HAS_UI
int tesselRunWindows(int argc, char** argv);
#endif

int main(int argc, char** argv) {
  if (argc > 1) return tesselCommandLine(argc, argv);
#ifdef TESSEL_HAS_UI
  return tesselRunWindows(argc, argv);
#else
  std::fprintf(stderr, "tessel: built without windows; use the command line\n");
  tesselUsage(stderr);
  return CLI_USAGE;
#endif
}
