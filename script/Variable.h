#pragma once

// Script variables and the statements that create and change them.
//
// A variable has a type (double, int or STRING), a name compared without
// regard to ASCII case, the block depth it was declared at, and its value.
// The variable list of a run (or of the check pass, or of one user-function
// call) is a vector in declaration order used by one thread only; pointers
// into it are valid until the next declaration.
//
// Three statement forms work on it: the declaration ("int a, b = 5;"), the
// plain assignment ("a = 5;") and the compound assignment ("a += b;"). A
// value is one literal or one variable name. int arithmetic is 32-bit and
// wraps. Every operation returns false with a message in the error text.

#include <cstdint>
#include <vector>

#include "platform/CString.h"
#include "support/String.h"

constexpr int32_t kVariableUndefined = -1;
constexpr int32_t kVariableDouble = 0;
constexpr int32_t kVariableInt = 1;
constexpr int32_t kVariableString = 2;

class Variable {
public:
    int32_t type = kVariableUndefined;
    Tovanix::String name;
    int32_t scope = 0;      // block depth of the declaration
    double dValue = 0.0;    // value of a double variable
    int32_t iValue = 0;     // value of an int variable
    Tovanix::String sValue; // value of a STRING variable

    // Combines `operand` (of this variable's type) into this variable with
    // op ('*', '/', '+', '-'; STRING only '+'). A division by zero at run time
    // fails and keeps the value; in the check pass it divides by 1.
    bool ApplyOperator(const Variable& operand, char op, CString& error, bool check_only);
};

// The value of a double as an int: clamped to the int range and truncated
// toward zero; NaN gives 0.
int32_t ClampDoubleToInt(double value);

// True when the text, after blanks, starts with "double", "int" or "STRING"
// followed by a blank; then sets type and cuts the blanks and the keyword,
// leaving the text at the blank after it.
bool ParseVariableType(Tovanix::String& statement, int& type);

// Declares the names of the rest of a declaration (after its keyword) at the
// given depth; on success cuts the text through the terminating ";".
bool DeclareVariables(Tovanix::String& statement, int type, std::vector<Variable>& variables, int depth,
                      CString& error);

// True when the text starts (after blanks) with the name of a declared
// variable, which is returned; the blanks and the name are then cut.
bool FindLeadingVariable(Tovanix::String& statement, std::vector<Variable>& variables, Variable*& found);

// Executes "= value;" or "op= value" (text after the variable's name) on target.
bool AssignVariable(const char* text, Variable& target, std::vector<Variable>& variables, CString& error,
                    bool check_only);

// Reads one value of the target's type from text into the target; adds the
// number of characters read to *consumed when given.
bool EvaluateAssignmentValue(Variable& target, const char* text, std::vector<Variable>& variables,
                             CString& error, int* consumed);

// From position: skips blanks and a quoted literal or plain value and leaves
// position on the "," or ";" that ends it; false when the text ends first.
bool ParseQuotedString(const char* text, int& position, CString& error);

// Appends a copy; false when the name is already declared.
bool AddVariable(std::vector<Variable>& variables, const Variable& variable, CString& error);

// Erases the variables declared at depth, keeping the order of the others.
bool RemoveScopeVariables(std::vector<Variable>& variables, int depth);

// The first variable of that name (ASCII case ignored); its position goes to
// *index when given.
bool FindVariable(const std::vector<Variable>& variables, const char* name, int* index);

// Characters of names: a name is a letter or '_' followed by letters, digits
// and '_'. Blanks are the space and the tab only.
inline bool IsNameStart(char ch)
{
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || ch == '_';
}
inline bool IsNameChar(char ch) { return IsNameStart(ch) || (ch >= '0' && ch <= '9'); }
inline bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }
inline const char* SkipBlanks(const char* text)
{
    while (IsBlank(*text))
        ++text;
    return text;
}

// "%ld" of the text: blanks, an optional sign, digits. A value beyond the int
// range is held at its limit. False when no digit can be read.
bool ScanIntLiteral(const char* text, int32_t& value);
// "%lf" of the text; false when no number can be read.
bool ScanDoubleLiteral(const char* text, double& value);
