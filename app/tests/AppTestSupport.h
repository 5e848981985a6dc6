#pragma once

// A data root of its own for each test of the application core: the folder
// <test root>/<test name>/Tessaly/Vellora, with theApp's paths and the main
// settings file path pointing into it; restored afterwards.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/VelloraApp.h"

namespace apptest {

inline std::string Bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void Put(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class DataRootTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::path(std::getenv("VELLORA_TEST_ROOT")) / test->test_suite_name() / test->name();
        dataRoot = folder / "Tessaly" / "Vellora";
        std::filesystem::create_directories(dataRoot);
        theApp.m_strDataRoot = dataRoot.c_str();
        theApp.m_strIniPath = (dataRoot / "Vellora.ini").c_str();
        g_IniPath = theApp.m_strIniPath;
    }
    void TearDown() override {
        theApp.m_strDataRoot = "";
        theApp.m_strIniPath = "";
        g_IniPath = "";
    }

    std::filesystem::path IniPath() const { return dataRoot / "Vellora.ini"; }

    std::filesystem::path folder;
    std::filesystem::path dataRoot;
};

}  // namespace apptest
