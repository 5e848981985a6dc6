#include "operator/VariableWatch.h"

#include <cstdio>

#include "support/String.h"

bool VariableToText(const Variable& variable, std::string& text)
{
    switch (variable.type) {
    case kVariableInt:
        text = std::to_string(static_cast<long>(variable.iValue));
        return true;
    case kVariableDouble: {
        char buffer[32];
        Tovanix::FormatNumber(variable.dValue, buffer);
        text = buffer;
        return true;
    }
    case kVariableString:
        text = variable.sValue.c_str();
        return true;
    default:
        text.clear();
        return false;
    }
}

bool VariableWatchFeed::SetVariables(const std::vector<Variable>& variables, int64_t nowMs)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_lastCopyMs && nowMs - *m_lastCopyMs < 1000)
            return false;
        m_lastCopyMs = nowMs;
    }
    // Copied outside the lock; only the exchange is guarded.
    auto copy = std::make_unique<std::vector<Variable>>(variables);
    auto names = std::make_unique<std::vector<std::string>>();
    names->reserve(copy->size());
    for (const Variable& variable : *copy)
        names->push_back(variable.name.c_str());
    std::unique_ptr<std::vector<Variable>> oldCopy;
    std::unique_ptr<std::vector<std::string>> oldNames;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        oldCopy = std::move(m_pending);
        oldNames = std::move(m_names);
        m_pending = std::move(copy);
        m_names = std::move(names);
    }
    return true;
}

std::unique_ptr<std::vector<Variable>> VariableWatchFeed::TakePending()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::move(m_pending);
}

std::optional<std::vector<std::string>> VariableWatchFeed::Names() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_names)
        return std::nullopt;
    return *m_names;
}

std::vector<std::optional<std::string>> WatchRowValues(const std::vector<std::string>& rowNames,
                                                        const std::vector<Variable>& copy)
{
    std::vector<std::optional<std::string>> values;
    values.reserve(rowNames.size());
    for (const std::string& name : rowNames) {
        if (name.empty()) {
            values.emplace_back(std::string());
            continue;
        }
        int index = -1;
        std::string text;
        if (FindVariable(copy, name.c_str(), &index) && VariableToText(copy[static_cast<size_t>(index)], text))
            values.emplace_back(text);
        else
            values.emplace_back(std::nullopt);
    }
    return values;
}

std::vector<std::string> WatchAllNames(const std::vector<std::string>& names)
{
    std::vector<std::string> rows(kVariableWatchRows);
    for (size_t k = 0; k < rows.size() && k < names.size(); ++k)
        rows[k] = names[k];
    return rows;
}
