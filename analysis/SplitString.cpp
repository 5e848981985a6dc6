#include "analysis/SplitString.h"

std::vector<std::string> SplitString(std::string text, char delimiter) {
    std::vector<std::string> fields;
    std::string field;
    for (char ch : text) {
        if (ch == delimiter) {
            fields.push_back(field);
            field.clear();
        } else {
            field += ch;
        }
    }
    fields.push_back(field);
    return fields;
}
