// The profile store on a settings file of 2,000 lines (about 60 KB): a key
// read, a key write (a whole-file rewrite) and a read of the same file
// enciphered. Keys are read at every use, so these are the hot paths.

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

    Files() {
        char pattern[] = "/tmp/vellora-profile-bench-XXXXXX";
        dir = mkdtemp(pattern);
        plain = dir + "/Vellora.ini";
        enciphered = dir + "/Users.ini";

        std::string text;
        int lines = 0;
        for (int section = 0; lines < 2000; ++section) {
            text += "[Section_" + std::to_string(section) + "]\r\n";
            ++lines;
            for (int key = 0; key < 19 && lines < 2000; ++key, ++lines) {
                text += "SettingNumber" + std::to_string(key) + "=value " + std::to_string(section * 100 + key) +
                        "\r\n";
            }
        }
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

// A key near the end of the file: the whole text is scanned.
void BM_ReadKey(benchmark::State& state, bool enciphered) {
    const std::string& file = FileOf(enciphered);
    char buffer[256];
    for (auto _ : state) {
        bool ok = Tovanix::E_GetPrivateProfileString("Section_104", "settingnumber18", "", buffer, sizeof buffer,
                                                     file.c_str());
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK_CAPTURE(BM_ReadKey, plain, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ReadKey, enciphered, true)->Unit(benchmark::kMicrosecond);

void BM_WriteKey(benchmark::State& state, bool enciphered) {
    const std::string& file = FileOf(enciphered);
    int i = 0;
    for (auto _ : state) {
        bool ok = Tovanix::E_WritePrivateProfileString("Section_50", "SettingNumber7",
                                                       std::to_string(i++ & 1).c_str(), file.c_str());
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK_CAPTURE(BM_WriteKey, plain, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_WriteKey, enciphered, true)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
