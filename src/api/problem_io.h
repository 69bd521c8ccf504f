#pragma once
// Reading and writing problems: JSON problem files (docs/problem-format.md) and CSV cut lists
// for the common case. Every reader collects all faults it finds and throws one ProblemError
// whose lines name the place (JSON path or file:line) and the value. The readers check syntax and
// types; ValidateProblem checks the values.

#include <string>
#include <string_view>
#include <vector>

#include "api/problem.h"

namespace tubenest::api {

/// Parses a JSON problem. source names the text in messages (e.g. the file name).
Problem ParseProblemJson(std::string_view text, const std::string& source = "problem");
/// The problem as JSON text in the documented format (indented, every field written).
std::string ProblemToJson(const Problem& problem);

/// Parts CSV: name,length,amount[,cutoff_a,cutoff_b] per line. Separators ',' or ';' (with ';'
/// a decimal comma is accepted); an optional header line; blank lines and lines starting with
/// '#' are skipped; fields may be double-quoted. Messages start with "<source>:<line>: ".
std::vector<PartSpec> ParsePartsCsv(std::string_view text, const std::string& source = "parts");
/// Stock CSV: length,amount[,id] per line, with the same rules.
std::vector<StockSpec> ParseStockCsv(std::string_view text, const std::string& source = "stock");
/// A stock list such as "6000x10,7500x5" (LENGTHxAMOUNT items separated by ',', ';' or spaces).
std::vector<StockSpec> ParseStockList(std::string_view list);

/// The whole content of a file; throws std::runtime_error naming the file and the system error.
std::string ReadTextFile(const std::string& path);

} // namespace tubenest::api
