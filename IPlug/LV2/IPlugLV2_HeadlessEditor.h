#pragma once
// A private extension of this framework's LV2 UIs: the editor drawn without a window (an EGL surfaceless context),
// for screenshots and tests. A host instantiates the UI with the kHeadlessFeatureURI feature instead of ui:parent,
// feeds it values through port_event as usual, and asks extension_data for this interface. Hosts that do not know
// it never ask for it.
//
// Typical use (a host):
//   auto* headless = static_cast<const iplug_lv2_headless_editor*>(ui->extension_data(IPLUG_LV2_EXT_HEADLESS_EDITOR));
//   if (headless && headless->open(handle, 2.0)) { headless->draw_frame(handle); headless->write_png(handle, "a.png"); headless->close(handle); }

#include "lv2/ui/ui.h"

#include <cstdint>

static const char IPLUG_LV2_EXT_HEADLESS_EDITOR[] = "https://quillmere.example/iplug#headless-editor";

extern "C" {

typedef struct iplug_lv2_headless_editor
{
  /** Opens the editor offscreen at a screen scale; false when it cannot be (no EGL display, already open). */
  bool (*open)(LV2UI_Handle ui, double scale);
  /** Draws what changed since the last frame. */
  bool (*draw_frame)(LV2UI_Handle ui);
  /** The last frame drawn, as a PNG file. */
  bool (*write_png)(LV2UI_Handle ui, const char* path);
  /** The editor's size in its own units. */
  bool (*get_size)(LV2UI_Handle ui, uint32_t* width, uint32_t* height);
  void (*close)(LV2UI_Handle ui);
} iplug_lv2_headless_editor;
}
