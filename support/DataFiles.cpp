#include "support/DataFiles.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "platform/Files.h"

namespace Tovanix {
namespace {

constexpr size_t kChunkBytes = 1048576;
constexpr int kHeaderSearchLines = 1000;

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

long long FileLength(FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return -1;
    }
    long long length = std::ftell(file);
    std::rewind(file);
    return length;
}

// One line without its line end ("\r\n" or "\n"), so that the last field of
// a row compares and parses like every other.
bool ReadLine(std::ifstream& file, std::string& line) {
    if (!std::getline(file, line)) {
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

int Split(const std::string& line, std::vector<Tovanix::String>& fields) {
    return Tovanix::SplitText(line.c_str(), fields, '\t');
}

// Finds the header line naming every column; fills the first matching field
// index of each name. `lineCount` counts the lines read.
bool FindHeader(std::ifstream& file, const char* path, const std::vector<Tovanix::String>& names,
                std::vector<int>& indexes, int& lineCount, Tovanix::String& error) {
    std::string line;
    std::vector<Tovanix::String> fields;
    while (lineCount < kHeaderSearchLines && ReadLine(file, line)) {
        ++lineCount;
        int fieldCount = Split(line, fields);
        if (fieldCount < static_cast<int>(names.size())) {
            continue;
        }
        bool all = true;
        for (size_t n = 0; n < names.size() && all; ++n) {
            indexes[n] = -1;
            for (int f = 0; f < fieldCount; ++f) {
                if (std::string(fields[static_cast<size_t>(f)].c_str()) == names[n].c_str()) {
                    indexes[n] = f;
                    break;
                }
            }
            all = indexes[n] >= 0;
        }
        if (all) {
            return true;
        }
    }
    error = ("Not all data colums found within the first " + std::to_string(lineCount) + " lines in file : " + path)
                .c_str();
    return false;
}

// The value of one named column of a row; false with the row's message.
bool ReadValue(const std::vector<Tovanix::String>& fields, int fieldCount, int index, const char* path, int lineNumber,
               double& value, Tovanix::String& error) {
    if (index >= fieldCount) {
        error = (std::string(path) + " - invalid row, column " + std::to_string(index + 1) +
                 " referenced in the header, but not found at line " + std::to_string(lineNumber))
                    .c_str();
        return false;
    }
    const char* text = fields[static_cast<size_t>(index)].c_str();
    if (std::sscanf(text, "%lf", &value) != 1) {
        error = (std::string(path) + " - invalid data, column " + std::to_string(index + 1) + " line " +
                 std::to_string(lineNumber) + " not a valid number: " + text)
                    .c_str();
        return false;
    }
    return true;
}

}  // namespace

bool AreFilesIdentical(const char* pathA, const char* pathB) {
    File a(std::fopen(platform::NativePath(pathA ? pathA : "").c_str(), "rb"));
    File b(std::fopen(platform::NativePath(pathB ? pathB : "").c_str(), "rb"));
    if (!a || !b) {
        return false;
    }
    long long length = FileLength(a.get());
    if (length < 0 || length != FileLength(b.get())) {
        return false;
    }
    std::vector<char> chunkA(kChunkBytes);
    std::vector<char> chunkB(kChunkBytes);
    for (long long left = length; left > 0;) {
        size_t wanted = static_cast<size_t>(std::min<long long>(left, static_cast<long long>(kChunkBytes)));
        if (std::fread(chunkA.data(), 1, wanted, a.get()) != wanted ||
            std::fread(chunkB.data(), 1, wanted, b.get()) != wanted ||
            std::memcmp(chunkA.data(), chunkB.data(), wanted) != 0) {
            return false;
        }
        left -= static_cast<long long>(wanted);
    }
    return true;
}

bool CompareDataFiles(const char* pathA, const char* pathB, const std::vector<Tovanix::String>& columnNames,
                      int& count, std::vector<double>& largestDifferences, Tovanix::String& error) {
    error = "";
    count = 0;
    largestDifferences.resize(columnNames.size());
    const char* paths[2] = {pathA ? pathA : "", pathB ? pathB : ""};
    std::ifstream files[2];
    for (int i = 0; i < 2; ++i) {
        std::string native = platform::NativePath(paths[i]);
        if (!platform::FileExists(native)) {
            error = (std::string("File does not exist: ") + paths[i]).c_str();
            return false;
        }
    }
    for (int i = 0; i < 2; ++i) {
        files[i].open(platform::NativePath(paths[i]), std::ios::binary);
        if (!files[i]) {
            error = (std::string("Can't open file: ") + paths[i]).c_str();
            return false;
        }
    }

    std::vector<int> indexes[2] = {std::vector<int>(columnNames.size()), std::vector<int>(columnNames.size())};
    int lineNumbers[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        if (!FindHeader(files[i], paths[i], columnNames, indexes[i], lineNumbers[i], error)) {
            return false;
        }
    }

    std::string lines[2];
    std::vector<Tovanix::String> fields[2];
    int fieldCounts[2];
    while (ReadLine(files[0], lines[0]) && ReadLine(files[1], lines[1])) {
        for (int i = 0; i < 2; ++i) {
            ++lineNumbers[i];
            fieldCounts[i] = Split(lines[i], fields[i]);
        }
        for (size_t n = 0; n < columnNames.size(); ++n) {
            double values[2];
            for (int i = 0; i < 2; ++i) {
                if (indexes[i][n] >= fieldCounts[i]) {
                    return ReadValue(fields[i], fieldCounts[i], indexes[i][n], paths[i], lineNumbers[i], values[i],
                                     error);
                }
            }
            for (int i = 0; i < 2; ++i) {
                if (!ReadValue(fields[i], fieldCounts[i], indexes[i][n], paths[i], lineNumbers[i], values[i], error)) {
                    return false;
                }
            }
            largestDifferences[n] = std::max(largestDifferences[n], std::fabs(values[0] - values[1]));
            ++count;
        }
    }
    return error.c_str()[0] == '\0';
}

}  // namespace Tovanix
