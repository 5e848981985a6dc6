#pragma once

// The line forms of a script that the check pass and the executor share: the
// keyword lines ("{", "}", continue, break, return), call lines split into a
// name and an argument text, and the condition of an if or while line with
// its operand readers. They work on one line whose comment and line end are
// already cut; none of them keeps state or reports a message.

#include <vector>

#include "script/Variable.h"
#include "support/String.h"

constexpr int kConditionIf = 0;
constexpr int kConditionWhile = 1;

// "{" (or "}"), then nothing, blanks, or "//" and anything.
bool IsBlockBegin(const char* line);
bool IsBlockEnd(const char* line);
// The keyword, blanks, ";", then nothing or "//" directly after the ";".
bool IsContinueStatement(const char* line);
bool IsBreakStatement(const char* line);
bool IsReturnStatement(const char* line);

// True when the line starts with a name followed (after blanks) by "("; the
// argument text is then everything from the "(" on. "ResetDIO" followed by
// ";" is a call too (its text from the ";" on), as scripts have written it so.
bool SplitFunctionCall(const Tovanix::String& line, Tovanix::String& name, Tovanix::String& arguments);

// True for a well-formed "if (...)" or "while (...)" line; result is its
// truth value and kind its kind (kConditionIf or kConditionWhile). Numbers
// compare as numbers, STRINGs byte-wise; a number never compares with a STRING.
bool ParseCondition(const char* line, std::vector<Variable>& variables, bool& result, int& kind);

// One operand of a condition: a literal or a variable of the type. The
// cursor moves past the operand only on success.
bool ReadDoubleOperand(const char*& cursor, double& value, std::vector<Variable>& variables);
bool ReadIntOperand(const char*& cursor, int& value, std::vector<Variable>& variables);
bool ReadStringOperand(const char*& cursor, Tovanix::String& value, std::vector<Variable>& variables);
