#include "script/Script.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/VelloraApp.h"
#include "platform/Files.h"
#include "script/BuiltInFunctions.h"
#include "script/LineForms.h"

namespace {

bool NameLess(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

bool EqualNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

// A copy of the line cut at its first CR or LF, without leading and trailing blanks.
std::string Trimmed(const std::string& line)
{
    std::string text = line.substr(0, line.find_first_of("\r\n"));
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

std::string Script::IncludeFolder() const
{
    std::string base = handle == 1 ? std::string(theApp.m_strCustomerUIDir.c_str()) : theApp.m_strDataRoot.str();
    base = Trimmed(base);
    if (base.empty())
        return std::string();  // no base folder: nothing can be included
    return platform::JoinPath(base, "Includes");
}

bool Script::ProcessInclude(const char* line, CString& error)
{
    static const char kPrefix[] = "#include ";
    const size_t prefixLength = sizeof kPrefix - 1;
    const char* p = std::strncmp(line, kPrefix, prefixLength) == 0 ? SkipBlanks(line + prefixLength) : line;
    if (*p != '"') {
        error = "Expected \" after #include ";
        return false;
    }
    const char* close = std::strchr(p + 1, '"');
    if (!close) {
        error = "Did not find terminating \" after #include \"";
        return false;
    }
    const std::string name(p + 1, static_cast<size_t>(close - p - 1));
    const std::string folder = IncludeFolder();
    const std::string path = folder.empty() ? std::string()
                                            : platform::FindFileIgnoringCase(platform::JoinPath(folder, name));
    if (name.empty() || path.empty() || !std::filesystem::is_regular_file(path)) {
        error.Format("Included file %s does not exist.", name.c_str());
        return false;
    }
    for (const std::string& included : includedFiles) {
        if (EqualNoCase(included, name))
            return true;
    }
    if (!scan_included_file(path.c_str(), error))
        return false;
    includedFiles.push_back(name);
    return true;
}

bool Script::scan_included_file(const char* path, CString& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open() || !std::filesystem::is_regular_file(path)) {
        error.Format("scan_included_file() can't open file: %s", path);
        return false;
    }
    if (g_BuiltInFunctions.empty())
        BuildBuiltInFunctionTable();

    long lineNumber = 0;
    int current = -1;  // index of the function whose body is being read
    std::string currentName;
    int braces = 0;
    int highest = 0;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        const std::string text = Trimmed(line);
        ++lineNumber;
        if (text.empty())
            continue;

        if (current >= 0) {
            if (IsBlockBegin(text.c_str()))
                ++braces;
            else if (IsBlockEnd(text.c_str()))
                --braces;
            highest = std::max(highest, braces);
            if (braces == 0) {
                if (highest < 1) {
                    error.Format("scan_included_file() : missing \"{\" immediately following function definition: "
                                 "%s in file %s at line %ld",
                                 currentName.c_str(), path, lineNumber);
                    return false;
                }
                current = -1;
            }
            continue;
        }

        if (text.compare(0, 2, "//") == 0)
            continue;
        if (text.compare(0, 5, "void ") != 0) {
            error.Format("scan_included_file() : Expecting function definition at line %ld. Function definitions "
                         "must begin with \"void \"",
                         lineNumber);
            return false;
        }
        std::string name;
        std::vector<int32_t> types;
        std::vector<std::string> names;
        if (!ParseFunctionDefinition(Tovanix::String(text.c_str() + 5), name, types, names, error)) {
            error.AppendFormat(" : in file %s at line %ld", path, lineNumber);
            return false;
        }
        if (FindBuiltInFunction(name.c_str()) >= 0) {
            error.Format("scan_included_file() : %s - Function name already being used for a built in function: %s "
                         "at line %ld",
                         path, name.c_str(), lineNumber);
            return false;
        }
        int existing = -1;
        if (FindIncludedFunction(name.c_str(), &existing)) {
            const ScriptCode& other = functions[static_cast<size_t>(existing)];
            error.Format("scan_included_file() : Function %s in %s at line %ld is already defined. Existing "
                         "definition in %s at line %ld.",
                         name.c_str(), path, lineNumber, other.file.c_str(), static_cast<long>(other.definitionLine));
            return false;
        }
        if (!AddFunctionDescription(name, types, names, path, static_cast<int32_t>(lineNumber), error))
            return false;
        current = FindFunctionSorted(functions, name.c_str());
        currentName = name;
        braces = 0;
        highest = 0;
    }
    if (current >= 0) {
        error.Format("scan_included_file() :  not find end of function \"}\" for function %s in file %s up to the "
                     "end of the file at line %ld",
                     currentName.c_str(), path, lineNumber);
        return false;
    }
    return true;
}

bool Script::AddFunctionDescription(const std::string& name, const std::vector<int32_t>& types,
                                    const std::vector<std::string>& names, const std::string& file,
                                    int32_t definitionLine, CString& error)
{
    ScriptCode code;
    code.name = name;
    code.parameterTypes = types;
    code.parameterNames = names;
    code.file = file;
    code.definitionLine = definitionLine;
    int index = -1;
    if (!InsertFunctionSorted(functions, std::move(code), &index)) {
        error.Format("Function already exists: %s in %s at line %ld", name.c_str(), file.c_str(),
                     static_cast<long>(definitionLine));
        return false;
    }
    return true;
}

bool Script::FindIncludedFunction(const char* name, int* index) const
{
    const int found = FindFunctionSorted(functions, name);
    if (found < 0)
        return false;
    if (index)
        *index = found;
    return true;
}

bool ParseFunctionDefinition(const Tovanix::String& definition, std::string& name, std::vector<int32_t>& types,
                             std::vector<std::string>& names, CString& error)
{
    const char* text = definition.c_str();
    const char* p = SkipBlanks(text);
    if (!IsNameStart(*p)) {
        error.Format("Invalid character to begin function name: %s", text);
        return false;
    }
    const char* start = p;
    while (IsNameChar(*p))
        ++p;
    name.assign(start, static_cast<size_t>(p - start));
    p = SkipBlanks(p);
    if (*p != '(') {
        error.Format("Did not find \"(\" after function name: %s", text);
        return false;
    }
    p = SkipBlanks(p + 1);
    types.clear();
    names.clear();

    static const struct {
        const char* keyword;  // with the one space that must follow it
        int32_t type;
    } kTypes[] = {{"int ", kVariableInt}, {"double ", kVariableDouble}, {"STRING ", kVariableString}};
    for (;;) {
        bool typed = false;
        for (const auto& candidate : kTypes) {
            const size_t length = std::strlen(candidate.keyword);
            if (std::strncmp(p, candidate.keyword, length) == 0) {
                types.push_back(candidate.type);
                p = SkipBlanks(p + length - 1);
                typed = true;
                break;
            }
        }
        if (!typed) {
            error.Format("Undefined variable type: %s", p);
            return false;
        }
        if (!IsNameStart(*p)) {
            error.Format("Invalid character at the beginning of parameter name: %s", p);
            return false;
        }
        start = p;
        while (IsNameChar(*p))
            ++p;
        if (*p == '\0') {
            error.Format("Expecting \",\" or \")\" after parameter name: %s", start);
            return false;
        }
        if (p - start > kMaxFunctionParameterName) {
            error.Format("Function parameter names may not exceed %ld characters: %s",
                         static_cast<long>(kMaxFunctionParameterName), start);
            return false;
        }
        if (*p != ' ' && *p != ',' && *p != ')') {
            error.Format("Invalid character in the parameter name: %s", start);
            return false;
        }
        const std::string parameter(start, static_cast<size_t>(p - start));
        if (std::find(names.begin(), names.end(), parameter) != names.end()) {
            error.Format("Function parameter name %s is repeated.", parameter.c_str());
            return false;
        }
        names.push_back(parameter);

        p = SkipBlanks(p);
        if (*p == ',') {
            p = SkipBlanks(p + 1);
            continue;
        }
        if (*p == ')') {
            p = SkipBlanks(p + 1);
            if (*p == '\0' || (p[0] == '/' && p[1] == '/'))
                return true;
            error.Format("Invalid characters found following \")\" : %s", p);
            return false;
        }
        if (*p == '\0') {
            error = "Missing \")\" character to end function definition.";
            return false;
        }
        // Any other character starts the next parameter: a missing comma is accepted.
    }
}

bool InsertFunctionSorted(std::vector<ScriptCode>& functions, ScriptCode code, int* index)
{
    const auto place = std::lower_bound(functions.begin(), functions.end(), code.name,
                                        [](const ScriptCode& entry, const std::string& name) {
                                            return NameLess(entry.name, name);
                                        });
    if (place != functions.end() && place->name == code.name)
        return false;
    const auto inserted = functions.insert(place, std::move(code));
    if (index)
        *index = static_cast<int>(inserted - functions.begin());
    return true;
}

int FindFunctionSorted(const std::vector<ScriptCode>& functions, const char* name)
{
    if (!name)
        return -1;
    const std::string key(name);
    const auto found = std::lower_bound(functions.begin(), functions.end(), key,
                                        [](const ScriptCode& entry, const std::string& value) {
                                            return NameLess(entry.name, value);
                                        });
    if (found == functions.end() || found->name != key)
        return -1;
    return static_cast<int>(found - functions.begin());
}
