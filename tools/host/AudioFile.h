// Audio files through libsndfile (WAV, FLAC, AIFF and the other formats it knows), held as planar doubles.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brevant::host
{

struct AudioData
{
  int sampleRate = 0;
  std::vector<std::vector<double>> channels; // channels[c][frame]

  int NumChannels() const { return static_cast<int>(channels.size()); }
  std::int64_t NumFrames() const { return channels.empty() ? 0 : static_cast<std::int64_t>(channels[0].size()); }
};

// False with a message when the file is missing, unreadable, not audio, or holds no channels.
bool ReadAudioFile(const std::string& path, AudioData& audio, std::string& error);

// The container follows the file extension (.wav, .flac, .aiff ...). Samples are stored as 32-bit float, or
// 64-bit float when `doublePrecision`, where the container allows; otherwise as 24- or 16-bit integers (clipped).
bool WriteAudioFile(const std::string& path, const AudioData& audio, bool doublePrecision, std::string& error);

} // namespace brevant::host
