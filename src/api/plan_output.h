#pragma once
// Outputs of a plan: a human-readable summary, the JSON plan (docs/plan-format.md), an SVG
// cutting diagram, cut lists for the shop floor (text and CSV), and the engine's own text dump.
// Files are written whole or not at all wherever a file can be replaced.

#include <functional>
#include <string>

#include "api/plan.h"
#include "api/problem.h"

namespace tubenest::api {

/// Patterns as "<stock length> × <count>: parts…, used <u>, remnant <r>, <c> cuts", then splits,
/// totals, remnants (when a minimum usable remnant is set), copies not placed and warnings; every
/// line ends with '\n'. Names that could be misread (a comma, parenthesis, quote, '×', control
/// character, edge spaces, empty) are double-quoted with \" and \\ escaped.
std::string FormatPlanSummary(const Plan& plan);

/// The plan as JSON text (stable field names, lengths rounded to 1e-6 mm).
std::string PlanToJson(const Plan& plan);

/// An SVG cutting diagram: a header with the totals, one bar per pattern drawn to scale with its
/// count, parts labelled, gaps and remnant shaded, split pieces dashed with their weld ends marked.
std::string PlanToSvg(const Plan& plan);

/// Per pattern, every stretch of the bar with its start and end (the cut positions) measured from
/// the bar's real start: the start trim, each part or piece, the remnant.
std::string FormatCutList(const Plan& plan);

/// The same as CSV (docs/plan-format.md): one row per stretch, with a header row.
std::string PlanToCsv(const Plan& plan);

/// Writes a file. A regular file, or a name that does not exist yet, is written through a
/// temporary file in the same directory that is renamed over it once complete: it is either the
/// old file or the whole new one. A symlink is followed to its target first. Anything else is
/// written directly: /dev/stdout, /dev/stderr, /dev/fd/N through the process's own descriptor,
/// devices and pipes by opening them. write receives a temporary path and must create and fill it.
/// Throws std::runtime_error naming the target (also for a directory).
void WriteFileAtomically(const std::string& path,
                         const std::function<void(const std::string& temp_path)>& write);
/// The same with a text.
void WriteFileAtomically(const std::string& path, const std::string& content);

/// The engine's text dump of the plan's result list (TNestResultList::PrintToFile), replacing the file.
void WriteEngineDump(const Plan& plan, const std::string& path);

} // namespace tubenest::api
