#pragma once

// Playing a sound file to the end, in place of the platform's synchronous
// PlaySound call.
//
// A PCM wave file is played through the sound system's default output.
// Where no output device exists (a build machine, a headless instrument) the
// sound plays to nothing: the call still waits the sound's length on the
// program's clock, so a script paces the same with or without speakers.
// Errors: false with the reason (file unreadable, not a PCM wave file).

#include <cstdint>
#include <string>

namespace platform {

// What a wave file's header says.
struct WaveFormat {
    uint16_t encoding = 0;  // 1 integer PCM, 3 float PCM
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t bitsPerSample = 0;
    uint32_t dataOffset = 0;  // of the samples in the file
    uint32_t dataBytes = 0;
    // The length of the sound in milliseconds, rounded up.
    uint32_t DurationMs() const;
};

// Reads the RIFF header and the "fmt " and "data" chunks.
bool ReadWaveFormat(const std::string& path, WaveFormat* format, std::string* error);

// Plays the file and returns when it has ended.
bool PlayWaveFileSync(const std::string& path, std::string* error);

// The output device name ("default" unless set); tests name one that does
// not exist to play to nothing. An empty name restores the default.
void SetSoundOutputDevice(const std::string& name);

}  // namespace platform
