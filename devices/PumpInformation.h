#pragma once

// The pump information window's logic: the report queries it offers, the
// reading of a query row and the query of both pumps.

#include <cstdint>
#include <string>
#include <vector>

namespace PumpInformation {

// The rows of the query list, in their order: "?<n> : <description>".
const std::vector<std::string>& QueryRows();

// Reads the report number from a query row's text. The text must begin with
// "?" and have ":" as its fourth or fifth character, and the number must be
// at most 99; any other text gives false.
bool ParseQueryRow(const std::string& text, uint32_t* reportNumber);

// Sends the report query to pump 1, then pump 2, of the pump port and returns
// the text the window shows: both replies, or the first failure's message.
std::string QueryBothPumps(int comPort, uint32_t reportNumber);

}  // namespace PumpInformation
