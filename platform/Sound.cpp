#include "platform/Sound.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <mutex>
#include <vector>

#include "platform/Clock.h"

namespace platform {
namespace {

std::mutex g_deviceMutex;
std::string g_deviceName = "default";

uint32_t Le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// The sound library reports a missing card on stderr; we report through our result.
void QuietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

bool AlsaFormat(const WaveFormat& format, snd_pcm_format_t* out) {
    if (format.encoding == 3 && format.bitsPerSample == 32) {
        *out = SND_PCM_FORMAT_FLOAT_LE;
        return true;
    }
    if (format.encoding != 1) return false;
    switch (format.bitsPerSample) {
    case 8: *out = SND_PCM_FORMAT_U8; return true;
    case 16: *out = SND_PCM_FORMAT_S16_LE; return true;
    case 24: *out = SND_PCM_FORMAT_S24_3LE; return true;
    case 32: *out = SND_PCM_FORMAT_S32_LE; return true;
    default: return false;
    }
}

// Plays the samples on the device; false when there is no usable device.
bool PlayOnDevice(const WaveFormat& format, const std::vector<unsigned char>& samples) {
    static std::once_flag quiet;
    std::call_once(quiet, [] { snd_lib_error_set_handler(&QuietAlsaErrors); });
    std::string device;
    {
        std::lock_guard<std::mutex> lock(g_deviceMutex);
        device = g_deviceName;
    }
    snd_pcm_format_t alsaFormat;
    if (!AlsaFormat(format, &alsaFormat)) return false;
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, device.c_str(), SND_PCM_STREAM_PLAYBACK, 0) < 0) return false;
    bool played = snd_pcm_set_params(pcm, alsaFormat, SND_PCM_ACCESS_RW_INTERLEAVED, format.channels,
                                     format.sampleRate, 1, 500000) >= 0;
    const size_t frameBytes = static_cast<size_t>(format.channels) * format.bitsPerSample / 8;
    size_t frames = samples.size() / frameBytes;
    const unsigned char* at = samples.data();
    while (played && frames > 0) {
        snd_pcm_sframes_t written = snd_pcm_writei(pcm, at, frames);
        if (written < 0) written = snd_pcm_recover(pcm, static_cast<int>(written), 1);
        if (written < 0) {
            played = false;
            break;
        }
        frames -= static_cast<size_t>(written);
        at += static_cast<size_t>(written) * frameBytes;
    }
    if (played) snd_pcm_drain(pcm);
    snd_pcm_close(pcm);
    return played;
}

}  // namespace

uint32_t WaveFormat::DurationMs() const {
    const uint64_t bytesPerSecond = static_cast<uint64_t>(sampleRate) * channels * bitsPerSample / 8;
    if (bytesPerSecond == 0) return 0;
    return static_cast<uint32_t>((static_cast<uint64_t>(dataBytes) * 1000 + bytesPerSecond - 1) / bytesPerSecond);
}

bool ReadWaveFormat(const std::string& path, WaveFormat* format, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot open " + path;
        return false;
    }
    unsigned char riff[12];
    if (!file.read(reinterpret_cast<char*>(riff), sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0) {
        *error = path + " is not a wave file";
        return false;
    }
    WaveFormat found;
    bool haveFormat = false;
    unsigned char header[8];
    while (file.read(reinterpret_cast<char*>(header), sizeof header)) {
        const uint32_t size = Le32(header + 4);
        const std::streamoff body = file.tellg();
        if (std::memcmp(header, "fmt ", 4) == 0 && size >= 16) {
            unsigned char fmt[16];
            if (!file.read(reinterpret_cast<char*>(fmt), sizeof fmt)) break;
            found.encoding = Le16(fmt);
            found.channels = Le16(fmt + 2);
            found.sampleRate = Le32(fmt + 4);
            found.bitsPerSample = Le16(fmt + 14);
            haveFormat = true;
        } else if (std::memcmp(header, "data", 4) == 0 && haveFormat) {
            file.seekg(0, std::ios::end);
            const std::streamoff end = file.tellg();
            found.dataOffset = static_cast<uint32_t>(body);
            // A header written before the recording ended may claim more than there is.
            found.dataBytes = static_cast<uint32_t>(std::min<std::streamoff>(size, end - body));
            if (found.channels == 0 || found.sampleRate == 0 || found.bitsPerSample == 0 ||
                found.bitsPerSample % 8 != 0) {
                break;
            }
            *format = found;
            return true;
        }
        // Chunks are padded to an even size.
        file.seekg(body + static_cast<std::streamoff>(size) + (size & 1), std::ios::beg);
    }
    *error = path + " is not a PCM wave file";
    return false;
}

bool PlayWaveFileSync(const std::string& path, std::string* error) {
    WaveFormat format;
    if (!ReadWaveFormat(path, &format, error)) return false;
    std::vector<unsigned char> samples(format.dataBytes);
    std::ifstream file(path, std::ios::binary);
    file.seekg(format.dataOffset, std::ios::beg);
    if (!file.read(reinterpret_cast<char*>(samples.data()), static_cast<std::streamsize>(samples.size()))) {
        *error = "cannot read the samples of " + path;
        return false;
    }
    if (!PlayOnDevice(format, samples)) {
        // No device: the sound plays to nothing, taking its time all the same.
        GetClock().SleepFor(std::chrono::milliseconds(format.DurationMs()));
    }
    return true;
}

void SetSoundOutputDevice(const std::string& name) {
    std::lock_guard<std::mutex> lock(g_deviceMutex);
    g_deviceName = name.empty() ? "default" : name;
}

}  // namespace platform
