#pragma once
// What the real-window tests share: xdotool run on an editor's child window.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
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

/** Runs xdotool in the background while pump() keeps the host's run loop going, so the editor reads each event
    as it comes, as it does under a real hand. Returns once xdotool is done and pump() ran once more. */
template <class Pump> void XdoLive(unsigned long window, const std::string& actions, Pump pump)
{
  const std::string done = ::testing::TempDir() + "xdo-done-" + std::to_string(window);
  std::filesystem::remove(done);
  std::string cmd = std::string(XDOTOOL) + " " + actions;
  for (auto pos = cmd.find("%W"); pos != std::string::npos; pos = cmd.find("%W"))
    cmd.replace(pos, 2, std::to_string(window));
  ASSERT_EQ(std::system(("(" + cmd + "; touch " + done + ") &").c_str()), 0) << cmd;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!std::filesystem::exists(done))
  {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "xdotool did not finish: " << cmd;
    pump();
  }
  pump();
  std::filesystem::remove(done);
}

} // namespace x11test
