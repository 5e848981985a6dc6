#pragma once

// A fixture for tests of command families: the data root and settings file
// of ScriptFolderTest, an interpreter instance and its variables, and one
// call of a command by index as the dispatcher makes it.

#include <string>
#include <vector>

#include "script/BuiltInFunctions.h"
#include "script/Script.h"
#include "script/tests/ScriptRunTestSupport.h"
#include "script/tests/ScriptTestSupport.h"

namespace scripttest {

class CommandTest : public ScriptFolderTest {
protected:
    // Runs a command's argument text; "ok" or the error text.
    std::string Run(int index, const std::string& arguments, bool check_only = false)
    {
        CString error;
        return script.ExecuteBuiltInFunction(index, arguments.c_str(), variables, check_only, error) ? "ok"
                                                                                                    : error.str();
    }
    std::string Value(const char* name) { return Describe(variables, name); }

    Script script{0};
    std::vector<Variable> variables;
};

}  // namespace scripttest
