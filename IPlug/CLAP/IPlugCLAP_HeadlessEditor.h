#pragma once
// A private extension of this framework's CLAP plug-ins: their editor drawn without a window (an EGL surfaceless
// context), for screenshots and tests. Hosts that do not know it never ask for it.
//
// Typical use (a host):
//   auto* headless = static_cast<const iplug_clap_headless_editor*>(plugin->get_extension(plugin, IPLUG_CLAP_EXT_HEADLESS_EDITOR));
//   if (headless && headless->open(plugin, 2.0)) { headless->draw_frame(plugin); headless->write_png(plugin, "a.png"); headless->close(plugin); }

#include "clap/plugin.h"

#include <cstdint>

static const char IPLUG_CLAP_EXT_HEADLESS_EDITOR[] = "com.quillmere.iplug.headless-editor";

extern "C" {

typedef struct iplug_clap_headless_editor
{
  /** Opens the editor offscreen at a screen scale; false when it cannot be (no EGL display, already open). */
  bool (*open)(const clap_plugin* plugin, double scale);
  /** Delivers what the processor produced for the editor, then draws what changed. */
  bool (*draw_frame)(const clap_plugin* plugin);
  /** The last frame drawn, as a PNG file. */
  bool (*write_png)(const clap_plugin* plugin, const char* path);
  /** The editor's size in its own units. */
  bool (*get_size)(const clap_plugin* plugin, uint32_t* width, uint32_t* height);
  void (*close)(const clap_plugin* plugin);
} iplug_clap_headless_editor;
}
