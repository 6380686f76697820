/*
 * card.cpp - the magnetic-stripe reader: swipes queued by the front end, read
 * (and consumed) by DLL_McrRead. A swipe with fewer than 16 track-2
 * characters reads as a failure (0), as the terminal's reader reports it; a
 * read that delivers track 2 answers 7, as the terminal's reader does.
 */
#include <cstring>

#include "device.h"
#include "libapi.h"

using namespace sim::detail;

namespace {
constexpr size_t kMinTrack2 = 16;
constexpr size_t kTrackBuffer = 128;  // the application's buffers hold at least this much
constexpr int kReadTrack2 = 7;        // the reader's answer for a read that delivered track 2

bool swipeWaiting() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  return !dev().swipes.empty();
}

void put(const std::string& track, int* len, unsigned char* buf) {
  size_t n = track.size() < kTrackBuffer - 1 ? track.size() : kTrackBuffer - 1;
  if (buf) {
    memcpy(buf, track.data(), n);
    buf[n] = 0;
  }
  if (len) *len = buf ? static_cast<int>(n) : 0;
}
}  // namespace

extern "C" int DLL_McrOpen(void) {
  powerCutPoint();
  dev().mcrOpen = true;
  return DLL_OK;
}

extern "C" int DLL_McrClose(void) {
  powerCutPoint();
  dev().mcrOpen = false;
  return DLL_OK;
}

extern "C" int DLL_McrReset(void) {
  powerCutPoint();
  std::lock_guard<std::recursive_mutex> lock(mutex());
  if (!dev().swipes.empty()) noteProgress();
  dev().swipes.clear();
  return DLL_OK;
}

extern "C" int DLL_McrCheck(void) {
  powerCutPoint();
  if (swipeWaiting()) return 1;
  idlePoll(&swipeWaiting);
  return swipeWaiting() ? 1 : 0;
}

extern "C" int DLL_McrRead(int* len1, unsigned char* track1, int* len2, unsigned char* track2, int* len3,
                           unsigned char* track3) {
  powerCutPoint();
  Swipe s;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex());
    Device& d = dev();
    if (d.swipes.empty()) return 0;
    s = d.swipes.front();
    d.swipes.pop_front();  // read or not, the swipe is used up
    noteProgress();
  }
  if (s.track2.size() < kMinTrack2) {
    put("", len1, track1);
    put("", len2, track2);
    put("", len3, track3);
    return 0;
  }
  put(s.track1, len1, track1);
  put(s.track2, len2, track2);
  put(s.track3, len3, track3);
  return kReadTrack2;
}
