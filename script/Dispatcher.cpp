// Script::ExecuteBuiltInFunction: from a command index to the command's behaviour.

#include "script/BuiltInFunctions.h"
#include "script/Script.h"

bool Script::ExecuteBuiltInFunction(int index, const char* arguments, std::vector<Variable>& variables,
                                    bool check_only, CString& error)
{
    if (static_cast<uint32_t>(index) >= static_cast<uint32_t>(kBuiltInFunctionCount)) {
        error.Format("Unknown function index: %ld", static_cast<long>(index));
        return false;
    }
    // Retired commands fail in the check pass too, so a script using one never starts.
    if (const char* retired = RetiredBuiltInFunctionMessage(index)) {
        error = retired;
        return false;
    }

    int handlerIndex = index;
    std::vector<Variable> noVariables;
    std::vector<Variable>* passed = &variables;
    switch (index) {
    case BuiltIn::kValidateDispense:
    case BuiltIn::kValidateAspirate:
        // Only validate, also when the line runs.
        handlerIndex = index == BuiltIn::kValidateDispense ? BuiltIn::kDispense : BuiltIn::kAspirate;
        check_only = true;
        break;
    case BuiltIn::kAutoDetectSplitLineZeroPosition:
    case BuiltIn::kCustomerUI_CreateINIBackup:
        passed = &noVariables;  // these see none of the script's variables
        break;
    case BuiltIn::kStartDisplayRotationCorrectedImages:
        // Takes no arguments and acts in the check pass as well.
        arguments = "";
        check_only = false;
        break;
    default:
        break;
    }

    const BuiltInHandlerRow row = GetBuiltInHandler(handlerIndex);
    if (row.member)
        return row.member(*this, arguments ? arguments : "", *passed, check_only, error);
    if (row.plain)
        return row.plain(arguments ? arguments : "", *passed, check_only, error);
    error.Format("%s() - command not built yet", BuiltInFunctionName(index));
    return false;
}
