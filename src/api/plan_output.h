#pragma once
// Outputs of a plan: a human-readable summary, the JSON plan (docs/plan-format.md), an SVG
// cutting diagram, and the engine's own text dump. Files are written whole or not at all.

#include <functional>
#include <string>

#include "api/plan.h"
#include "api/problem.h"

namespace tubenest::api {

/// Patterns as "<stock length> × <count>: parts…, used <u>, remnant <r>", then splits, totals,
/// copies not placed and warnings; every line ends with '\n'.
std::string FormatPlanSummary(const Plan& plan);

/// The plan as JSON text (stable field names, lengths rounded to 1e-6 mm).
std::string PlanToJson(const Plan& plan);

/// An SVG cutting diagram: a header with the totals, one bar per pattern drawn to scale with its
/// count, parts labelled, gaps and remnant shaded, split pieces dashed with their weld ends marked.
std::string PlanToSvg(const Plan& plan);

/// Writes a file through a temporary file in the same directory that is renamed over the target
/// once complete: the target is either the old file or the whole new one. write receives the
/// temporary path and must create and fill it. Throws std::runtime_error naming the target.
void WriteFileAtomically(const std::string& path,
                         const std::function<void(const std::string& temp_path)>& write);
/// The same with a text.
void WriteFileAtomically(const std::string& path, const std::string& content);

/// The engine's text dump of the plan's result list (TNestResultList::PrintToFile), replacing the file.
void WriteEngineDump(const Plan& plan, const std::string& path);

} // namespace tubenest::api
