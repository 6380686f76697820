// main.cpp - the saffron program; everything it does lives in saffron_lib.
#include "core/Business.h"

int main(int argc, char **argv) { return saffronMain(argc, argv); }
