/*
 * window_grab.h - reads a rectangle of the X screen back as RGB for the
 * window's shots (internal to window*.cpp). Kept apart so Xlib's macros never
 * meet wxWidgets' names.
 */
#ifndef SIM_WINDOW_GRAB_H
#define SIM_WINDOW_GRAB_H

#include <string>
#include <vector>

namespace sim::detail {

// The pixels now on the screen in the rectangle (root window coordinates), row
// by row, 3 bytes a pixel; false with *why when the display cannot be read.
bool screenGrab(int x, int y, int width, int height, std::vector<unsigned char>* rgb, std::string* why);

}  // namespace sim::detail

#endif  // SIM_WINDOW_GRAB_H
