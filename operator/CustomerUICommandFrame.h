#pragma once

// The frame every run-screen command shares: the instance check that comes
// first, the argument list read parameter by parameter (numbered from 1),
// and results stored only into variables of the matching type.

#include <string>
#include <vector>

#include "operator/CustomerUI.h"
#include "platform/CString.h"
#include "script/ArgumentReaders.h"
#include "script/BuiltInFunctions.h"
#include "script/Script.h"

namespace customer_ui_commands {

using Variables = std::vector<Variable>;

// Its message names the command "CustomerUI_GetCheckboxState".
constexpr int32_t kGetCheckBoxStateIndex = 182;

// The instance check that every screen command makes first, in both passes.
inline bool RequireCustomerInstance(const Script& script, int32_t index, CString& error) {
    if (script.handle == 1) return true;
    // This command's own name is spelt differently in its message.
    const std::string name = index == kGetCheckBoxStateIndex ? "CustomerUI_GetCheckboxState" : BuiltInFunctionName(index);
    error.Format("%s() may only be called from the CustomerUI instance of the interpreter.",
                 ("Script::" + name).c_str());
    return false;
}

// The argument list of one call, read parameter by parameter, numbered from 1.
class Arguments {
public:
    Arguments(const char* text, Variables& variables, CString& error)
        : m_cursor(text), m_variables(variables), m_error(error) {}

    bool Open() { return OpenArgumentList(m_cursor, m_error); }
    bool Empty() { return ParseEmptyArgumentList(m_cursor, m_error); }
    bool Ended() const { return ArgumentListEnded(m_cursor); }

    bool String(std::string& value, Variable** found = nullptr) {
        Tovanix::String text;
        if (!ReadStringParameter(++m_number, m_cursor, text, m_error, &m_variables, found)) return false;
        value = text.c_str();
        return true;
    }
    bool Int(int& value, Variable** found = nullptr) {
        return ReadIntParameter(++m_number, m_cursor, value, m_error, &m_variables, found);
    }
    bool Double(double& value, Variable** found = nullptr) {
        return ReadDoubleParameter(++m_number, m_cursor, value, m_error, &m_variables, found);
    }
    int Number() const { return m_number; }

private:
    const char* m_cursor;
    Variables& m_variables;
    CString& m_error;
    int m_number = 0;
};

inline void StoreString(Variable* variable, const std::string& text) {
    if (variable && variable->type == kVariableString) variable->sValue = text.c_str();
}
inline void StoreInt(Variable* variable, int32_t value) {
    if (variable && variable->type == kVariableInt) variable->iValue = value;
}

inline void StoreDouble(Variable* variable, double value) {
    if (variable && variable->type == kVariableDouble) variable->dValue = value;
}

// The hand-back of the screens that wait: show the state, wait for the
// operator (or a timer, the pump watch, the end of the run), give the name.
inline std::string ShowStateAndWait(int32_t state) {
    CString ignored;
    g_CustomerUI.SetState(state, ignored);
    CString eventName;
    g_CustomerUI.WaitForEvent(&eventName);
    return eventName.str();
}

}  // namespace customer_ui_commands
