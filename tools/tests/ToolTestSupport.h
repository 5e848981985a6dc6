#pragma once

// Folders and files of the tool tests: a data root with its main settings
// file under the test's temporary folder, and small file helpers.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/VelloraApp.h"
#include "support/AppLogs.h"

namespace tools_testing {

namespace fs = std::filesystem;

inline fs::path TestRoot() { return fs::path(std::getenv("VELLORA_TEST_ROOT")); }

inline std::string WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A fresh data root per test, with a main settings file holding `ini`.
inline fs::path MakeDataRoot(const std::string& name, const std::string& ini = "") {
    const fs::path root = TestRoot() / name / "Vellora";
    fs::remove_all(root);
    fs::create_directories(root / "LIB");
    fs::create_directories(root / "Tmp");
    theApp.m_strDataRoot = root.c_str();
    theApp.m_strIniPath = (root / "Vellora.ini").c_str();
    theApp.m_strDisplayName = "Vellora";
    theApp.m_strFileVersion = "1.0.0.0";
    g_IniPath = theApp.m_strIniPath;
    SetAppLogSources({&theApp.m_strDataRoot, &theApp.m_strFileVersion, &theApp.m_strDisplayName, &g_IniPath});
    WriteFile(root / "Vellora.ini", ini);
    return root;
}

}  // namespace tools_testing
