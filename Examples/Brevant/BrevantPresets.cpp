// Brevant's factory presets: the one list every binding and generator reads (through the plug-in's preset calls).
// Each was set by rendering fitting material and reading the meters (brevant-demo --preset NAME).
#include "Brevant.h"

#include "IPlugByteChunk.h"

using namespace iplug;

void Brevant::MakeFactoryPresets()
{
  // Values are typed as the calls read them: double for knobs, int for switches.
  // clang-format off
  MakePresetFromNamedParams("Init", 0);

  // 1-3 dB on a mix bus: slow attacks keep the transients, the release breathes with the tempo.
  MakePresetFromNamedParams("Bus Glue", 12,
                            kLowInput, 18.0, kMidInput, 24.0, kHighInput, 18.0,
                            kLowAttack, 30.0, kMidAttack, 30.0, kHighAttack, 20.0,
                            kLowRelease, 300.0, kMidRelease, 300.0, kHighRelease, 250.0,
                            kLowOutput, 2.0, kMidOutput, 2.0, kHighOutput, 2.0);

  // Drums: attacks late enough to let each hit through, fast releases, make-up brings the body up.
  MakePresetFromNamedParams("Drum Punch", 14,
                            kLowInput, 28.0, kMidInput, 30.0, kHighInput, 22.0,
                            kLowAttack, 30.0, kMidAttack, 25.0, kHighAttack, 15.0,
                            kLowRelease, 120.0, kMidRelease, 120.0, kHighRelease, 100.0,
                            kLowOutput, 10.0, kMidOutput, 8.0, kHighOutput, 6.0, kGlobalOutput, 3.0);

  // A voice: the mid band rides the level with a long release; the highs are held in a little.
  MakePresetFromNamedParams("Vocal Leveller", 12,
                            kLowInput, 4.0, kMidInput, 20.0, kHighInput, 18.0,
                            kLowAttack, 20.0, kMidAttack, 8.0, kHighAttack, 5.0,
                            kLowRelease, 400.0, kMidRelease, 600.0, kHighRelease, 300.0,
                            kMidOutput, 8.0, kHighOutput, 4.0, kLowXover, 200.0);

  // Bass: only the low band, below 250 Hz, holds the notes at one level.
  MakePresetFromNamedParams("Bass Tightener", 7,
                            kLowInput, 26.0, kLowAttack, 15.0, kLowRelease, 150.0, kLowOutput, 10.0,
                            kLowXover, 250.0, kMidBypass, 0, kHighBypass, 0);

  // Harshness: only the high band, from 3.5 kHz, catches peaks fast and lets go quickly.
  MakePresetFromNamedParams("Harsh Highs Tamer", 7,
                            kHighInput, 26.0, kHighAttack, 1.0, kHighRelease, 120.0, kHighXover, 3500.0,
                            kLowBypass, 0, kMidBypass, 0, kHighOutput, 0.0);

  // A master: gentle, slow, with the oversampled output stage.
  MakePresetFromNamedParams("Light Mastering", 13,
                            kLowInput, 16.0, kMidInput, 21.0, kHighInput, 15.0,
                            kLowAttack, 30.0, kMidAttack, 25.0, kHighAttack, 20.0,
                            kLowRelease, 600.0, kMidRelease, 500.0, kHighRelease, 400.0,
                            kLowOutput, 2.0, kMidOutput, 2.0, kHighOutput, 2.0, kOversampling, 1);

  // Heavy compression, mixed back under the dry signal.
  MakePresetFromNamedParams("Parallel Crush", 14,
                            kLowInput, 36.0, kMidInput, 34.0, kHighInput, 30.0,
                            kLowAttack, 1.0, kMidAttack, 1.0, kHighAttack, 1.0,
                            kLowRelease, 100.0, kMidRelease, 100.0, kHighRelease, 100.0,
                            kLowOutput, 12.0, kMidOutput, 10.0, kHighOutput, 10.0, kGlobalMix, 40.0, kGlobalOutput, 4.0);

  // Ducking under a key on the side-chain input (a kick, a voice): low and mid listen to it.
  MakePresetFromNamedParams("Sidechain Duck", 9,
                            kLowSidechain, 1, kMidSidechain, 1, kHighBypass, 0,
                            kLowInput, 30.0, kMidInput, 24.0,
                            kLowAttack, 1.0, kMidAttack, 1.0, kLowRelease, 200.0, kMidRelease, 200.0);

  // clang-format on

  // The calls above hold parameter values only, while this plug-in's state (and so a recall) starts with the
  // editor's size: put an empty size in front, which a recall reads as "leave the editor as it is".
  for (int i = 0; i < NPresets(); i++)
  {
    IPreset* preset = mPresets.Get(i);
    if (!preset || !preset->mInitialized)
      continue;
    IByteChunk state;
    const int width = 0, height = 0;
    const float scale = 0.f;
    state.Put(&width);
    state.Put(&height);
    state.Put(&scale);
    state.PutChunk(&preset->mChunk);
    preset->mChunk.Clear();
    preset->mChunk.PutChunk(&state);
  }
}
