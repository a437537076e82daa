#pragma once
// Constants shared by the plug-in core, the host binding and the editor.

#include <cstdint>

namespace iplug
{

/** Where a parameter change came from; passed to the change hooks so they can tell host edits from their own. */
enum EParamSource : int
{
  kReset = 0,
  kHost = 1,
  kPresetRecall = 2,
  kUI = 3,
  kDelegate = 4,
  kRecompile = 5,
  kUnknown = 6,
  kNumParamSources
};

/** Index meaning "no parameter", used by controls that are not bound to one. */
constexpr int kNoParameter = -1;

/** Storage of the fixed text fields of a parameter: 31 characters and the terminator. */
constexpr int kMaxParamNameLen = 32;
constexpr int kMaxParamLabelLen = 32;
constexpr int kMaxParamGroupLen = 32;
constexpr int kMaxParamDisplayLen = 32;

/** Upper bound of the text a parameter's JSON pieces may each add. */
constexpr int kMaxJSONPieceLen = 8192;

/** Preset names, terminator included. */
constexpr int kMaxPresetNameLen = 256;

/** Version strings ("v1.0.0") and build-information strings. */
constexpr int kMaxVersionStrLen = 32;
constexpr int kMaxBuildInfoStrLen = 256;

/** Editor size limits used until the configuration replaces them. */
constexpr int kDefaultMinEditorWidth = 10;
constexpr int kDefaultMaxEditorWidth = 100000;
constexpr int kDefaultMinEditorHeight = 10;
constexpr int kDefaultMaxEditorHeight = 100000;

/** Byte chunks grow in steps of this many bytes. */
constexpr int kByteChunkGranularity = 4096;

/** Framework header written at the start of the chunk inside preset files: "pfft" and the version 1.0. */
constexpr int32_t kFrameworkMagic = 0x70666674;
constexpr int32_t kFrameworkVersion = 0x00010000;

} // namespace iplug
