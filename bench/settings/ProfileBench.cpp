// The profile store on a settings file of 60 KB (sections of 19 keys): a key
// read, a key write (a whole-file rewrite) and a read of the same file
// enciphered. Keys are read at every use, so these are the hot paths.
// The key read is the last key of the last section, so the whole text is
// scanned and found; the yardstick is a plain open, read and scan of the same
// file for the same line. Every case warms up first and is repeated.

#include "support/EncryptedProfile.h"
#include "support/Profile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

struct Files {
    std::string dir;
    std::string plain;
    std::string enciphered;
    std::string lastSection;  // holds "SettingNumber18"
    std::string lastValue;    // its value

    Files() {
        char pattern[] = "/tmp/vellora-profile-bench-XXXXXX";
        dir = mkdtemp(pattern);
        plain = dir + "/Vellora.ini";
        enciphered = dir + "/Users.ini";

        std::string text;
        int section = 0;
        for (; text.size() < 60000; ++section) {
            text += "[Section_" + std::to_string(section) + "]\r\n";
            for (int key = 0; key < 19; ++key)
                text += "SettingNumber" + std::to_string(key) + "=value " + std::to_string(section * 100 + key) +
                        "\r\n";
        }
        lastSection = "Section_" + std::to_string(section - 1);
        lastValue = "value " + std::to_string((section - 1) * 100 + 18);
        Put(plain, text);

        std::mt19937 random(1);
        std::string key(64000, '\0');
        for (char& b : key) b = char(random() & 0xFF);
        Put(dir + "/rand.bin", key);
        Tovanix::String error;
        if (!Tovanix::E_LoadRandomFile((dir + "/rand.bin").c_str(), error)) std::abort();
        Put(enciphered, text);
        if (!Tovanix::E_EncryptFile(enciphered.c_str(), error)) std::abort();
        Tovanix::E_MarkFileEncrypted("Users.ini");
    }
    ~Files() { std::filesystem::remove_all(dir); }

    static void Put(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
};

Files& TheFiles() {
    static Files files;
    return files;
}

const std::string& FileOf(bool enciphered) { return enciphered ? TheFiles().enciphered : TheFiles().plain; }

// The last key of the file: the whole text is scanned and the key found.
void BM_ReadKey(benchmark::State& state, bool enciphered) {
    const std::string& file = FileOf(enciphered);
    const std::string section = TheFiles().lastSection;
    char buffer[256];
    for (auto _ : state) {
        bool ok = Tovanix::E_GetPrivateProfileString(section.c_str(), "settingnumber18", "", buffer, sizeof buffer,
                                                     file.c_str());
        benchmark::DoNotOptimize(ok);
    }
    if (TheFiles().lastValue != buffer)
        state.SkipWithError("the key was not read");
}
BENCHMARK_CAPTURE(BM_ReadKey, plain, false)->Unit(benchmark::kMicrosecond)->MinWarmUpTime(0.2)->Repetitions(5);
BENCHMARK_CAPTURE(BM_ReadKey, enciphered, true)->Unit(benchmark::kMicrosecond)->MinWarmUpTime(0.2)->Repetitions(5);

// The yardstick: open, read the whole file and find the section and the key
// line in it, as a user would write it without the profile store.
void BM_ReadKeyPlainScan(benchmark::State& state) {
    const std::string& file = TheFiles().plain;
    const std::string header = "[" + TheFiles().lastSection + "]";
    const std::string key = "\nSettingNumber18=";
    std::string value;
    for (auto _ : state) {
        std::ifstream in(file, std::ios::binary);
        in.seekg(0, std::ios::end);
        std::string text(static_cast<size_t>(in.tellg()), '\0');
        in.seekg(0);
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        const size_t at = text.find(header);
        const size_t line = at == std::string::npos ? at : text.find(key, at);
        value = line == std::string::npos ? "" : text.substr(line + key.size(), text.find('\r', line + 1) - line - key.size());
        benchmark::DoNotOptimize(value.data());
    }
    if (value != TheFiles().lastValue)
        state.SkipWithError("the key was not found");
}
BENCHMARK(BM_ReadKeyPlainScan)->Unit(benchmark::kMicrosecond)->MinWarmUpTime(0.2)->Repetitions(5);

void BM_WriteKey(benchmark::State& state, bool enciphered) {
    const std::string& file = FileOf(enciphered);
    int i = 0;
    for (auto _ : state) {
        bool ok = Tovanix::E_WritePrivateProfileString("Section_50", "SettingNumber7",
                                                       std::to_string(i++ & 1).c_str(), file.c_str());
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK_CAPTURE(BM_WriteKey, plain, false)->Unit(benchmark::kMicrosecond)->MinWarmUpTime(0.2)->Repetitions(5);
BENCHMARK_CAPTURE(BM_WriteKey, enciphered, true)->Unit(benchmark::kMicrosecond)->MinWarmUpTime(0.2)->Repetitions(5);

}  // namespace

BENCHMARK_MAIN();
