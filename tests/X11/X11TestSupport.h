#pragma once
// What the real-window tests share: xdotool run on an editor's child window.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace x11test
{

/** Runs xdotool with actions, %W standing for window; the events queue in the server until the run loop reads
    them. */
inline void Xdo(unsigned long window, const std::string& actions)
{
  std::string cmd = std::string(XDOTOOL) + " " + actions;
  for (auto pos = cmd.find("%W"); pos != std::string::npos; pos = cmd.find("%W"))
    cmd.replace(pos, 2, std::to_string(window));
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

} // namespace x11test
