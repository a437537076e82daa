// A short stereo mix made in code (drums, bass, a sustained chord) for the demo render: every band of the
// compressor has something to react to, and no media file needs to be shipped or downloaded.
#pragma once

#include "AudioFile.h"

namespace brevant::demo
{

/** seconds of 120 BPM four-on-the-floor drums, a bass line and a pad, peaking near -3 dBFS. Deterministic. */
host::AudioData MakeDemoMix(int sampleRate, double seconds);

/** A voice-like sung line in syllables of uneven loudness (stereo, identical channels), peaking near -3 dBFS. */
host::AudioData MakeVoice(int sampleRate, double seconds);

/** A kick drum on every beat at 120 BPM, for the side-chain. */
host::AudioData MakeKickKey(int sampleRate, double seconds);

} // namespace brevant::demo
