#include "script/ScriptLines.h"

#include "script/Script.h"

bool ReadScriptLine(std::istream& file, std::string& line, bool& tooLong)
{
    if (!std::getline(file, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    tooLong = static_cast<long>(line.size()) > kMaxScriptLineLength;
    return true;
}

void CutScriptComment(std::string& line)
{
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (!quoted && line[i] == '/' && i + 1 < line.size() && line[i + 1] == '/') {
            line.resize(i);
            return;
        }
    }
}
