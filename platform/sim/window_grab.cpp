/*
 * window_grab.cpp - the screen read back for the window's shots, straight from
 * the X server on a connection of our own. wxScreenDC is not used: under GTK 3
 * it gave the first picture read from it again for every later shot.
 */
#include "window_grab.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <mutex>

namespace sim::detail {

namespace {

// The position of a colour mask's lowest bit and its width, to widen any
// TrueColor layout to 8 bits a channel.
struct Channel {
  int shift = 0;
  unsigned long max = 0;
  explicit Channel(unsigned long mask) {
    if (mask == 0) return;
    while (!(mask & 1)) mask >>= 1, ++shift;
    max = mask;
  }
  unsigned char of(unsigned long pixel) const {
    return max ? static_cast<unsigned char>(((pixel >> shift) & max) * 255 / max) : 0;
  }
};

}  // namespace

bool screenGrab(int x, int y, int width, int height, std::vector<unsigned char>* rgb, std::string* why) {
  static std::mutex lock;
  static Display* display = nullptr;  // kept open: shots come one after another
  std::lock_guard<std::mutex> guard(lock);
  if (width <= 0 || height <= 0) {
    if (why) *why = "empty rectangle";
    return false;
  }
  if (!display) display = XOpenDisplay(nullptr);
  if (!display) {
    if (why) *why = "the X display cannot be opened";
    return false;
  }
  Window root = DefaultRootWindow(display);
  XWindowAttributes attrs;
  if (!XGetWindowAttributes(display, root, &attrs) || x < 0 || y < 0 || x + width > attrs.width ||
      y + height > attrs.height) {
    if (why) *why = "the window is not wholly on the screen";
    return false;
  }
  XImage* image = XGetImage(display, root, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height),
                            AllPlanes, ZPixmap);
  if (!image) {
    if (why) *why = "the X server gave no picture";
    return false;
  }
  Channel r(image->red_mask), g(image->green_mask), b(image->blue_mask);
  rgb->assign(static_cast<size_t>(width) * height * 3, 0);
  unsigned char* out = rgb->data();
  for (int row = 0; row < height; ++row)
    for (int col = 0; col < width; ++col) {
      unsigned long pixel = XGetPixel(image, col, row);
      *out++ = r.of(pixel);
      *out++ = g.of(pixel);
      *out++ = b.of(pixel);
    }
  XDestroyImage(image);
  return true;
}

}  // namespace sim::detail
