#include "AudioFile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sndfile.h>

namespace brevant::host
{

namespace
{

std::string Lower(std::string s)
{
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// The major format whose usual extension matches the file's, as libsndfile lists them.
int MajorFormatForExtension(std::string ext)
{
  ext = Lower(ext);
  if (ext == "aif")
    ext = "aiff";
  int count = 0;
  sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof(count));
  for (int i = 0; i < count; ++i)
  {
    SF_FORMAT_INFO info{};
    info.format = i;
    if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof(info)) == 0 && info.extension &&
        Lower(info.extension) == ext)
      return info.format;
  }
  return 0;
}

constexpr sf_count_t kChunkFrames = 4096;

} // namespace

bool ReadAudioFile(const std::string& path, AudioData& audio, std::string& error)
{
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec))
  {
    error = "cannot read audio file " + path + ": it is a folder";
    return false;
  }
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file)
  {
    error = "cannot read audio file " + path + ": " + sf_strerror(nullptr);
    return false;
  }
  if (info.channels <= 0 || info.samplerate <= 0)
  {
    sf_close(file);
    error = "cannot read audio file " + path + ": no audio channels";
    return false;
  }
  audio.sampleRate = info.samplerate;
  audio.channels.assign(static_cast<size_t>(info.channels), {});
  if (info.frames > 0)
  {
    for (auto& ch : audio.channels)
      ch.reserve(static_cast<size_t>(info.frames));
  }
  std::vector<double> chunk(static_cast<size_t>(kChunkFrames * info.channels));
  for (;;)
  {
    const sf_count_t got = sf_readf_double(file, chunk.data(), kChunkFrames);
    if (got <= 0)
      break;
    for (sf_count_t f = 0; f < got; ++f)
    {
      for (int c = 0; c < info.channels; ++c)
        audio.channels[static_cast<size_t>(c)].push_back(chunk[static_cast<size_t>(f * info.channels + c)]);
    }
  }
  const int status = sf_error(file);
  sf_close(file);
  if (status != SF_ERR_NO_ERROR)
  {
    error = "cannot read audio file " + path + ": " + sf_error_number(status);
    return false;
  }
  return true;
}

bool WriteAudioFile(const std::string& path, const AudioData& audio, bool doublePrecision, std::string& error)
{
  const std::string ext = std::filesystem::path(path).extension().string();
  const int major = ext.size() > 1 ? MajorFormatForExtension(ext.substr(1)) : 0;
  if (!major)
  {
    error = "cannot tell the audio format of " + path + " from its extension (use .wav, .flac, .aiff ...)";
    return false;
  }
  if (audio.NumChannels() <= 0 || audio.sampleRate <= 0)
  {
    error = "nothing to write to " + path;
    return false;
  }
  SF_INFO info{};
  info.samplerate = audio.sampleRate;
  info.channels = audio.NumChannels();
  const int doubleOrFloat = doublePrecision ? SF_FORMAT_DOUBLE : SF_FORMAT_FLOAT;
  for (int subtype : {doubleOrFloat, int(SF_FORMAT_FLOAT), int(SF_FORMAT_PCM_24), int(SF_FORMAT_PCM_16)})
  {
    info.format = major | subtype;
    if (sf_format_check(&info))
      break;
    info.format = 0;
  }
  if (!info.format)
  {
    error = "libsndfile cannot write " + std::to_string(audio.NumChannels()) + " channels at " +
            std::to_string(audio.sampleRate) + " Hz as " + ext;
    return false;
  }
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file)
  {
    error = "cannot write audio file " + path + ": " + sf_strerror(nullptr);
    return false;
  }
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  const auto nChans = static_cast<size_t>(audio.NumChannels());
  const sf_count_t frames = audio.NumFrames();
  std::vector<double> chunk(static_cast<size_t>(kChunkFrames) * nChans);
  bool ok = true;
  for (sf_count_t start = 0; start < frames && ok; start += kChunkFrames)
  {
    const sf_count_t n = std::min(kChunkFrames, frames - start);
    for (sf_count_t f = 0; f < n; ++f)
    {
      for (size_t c = 0; c < nChans; ++c)
        chunk[static_cast<size_t>(f) * nChans + c] = audio.channels[c][static_cast<size_t>(start + f)];
    }
    ok = sf_writef_double(file, chunk.data(), n) == n;
  }
  const std::string why = ok ? "" : sf_strerror(file);
  if (sf_close(file) != 0)
    ok = false;
  if (!ok)
  {
    error = "cannot write audio file " + path + (why.empty() ? "" : ": " + why);
    return false;
  }
  return true;
}

} // namespace brevant::host
