#include "api/plan_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "api/problem_io.h"

namespace tubenest::api {
namespace {

std::string Percent(double fraction) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f %%", fraction * 100.0);
    return buf;
}

/// A name as the summary writes it: quoted (with \" \\ and control characters escaped) when it
/// could be misread: empty, with a separator of the summary (',', '(', ')', '×'), a quote, a
/// backslash, a control character, or spaces at either end.
std::string SummaryName(const std::string& name) {
    bool quote = name.empty() || name.front() == ' ' || name.back() == ' ' ||
                 name.find_first_of(",()\"\\") != std::string::npos || name.find("×") != std::string::npos;
    for (const char c : name) {
        quote = quote || static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
    }
    if (!quote) {
        return name;
    }
    std::string out = "\"";
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (u < 0x20 || u == 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string PartText(const PlacedPart& p) {
    std::string s = SummaryName(p.name) + " " + FormatLength(p.length);
    std::string notes;
    if (p.piece != PieceKind::Whole) {
        notes = std::string(PieceKindName(p.piece)) + " of split " + std::to_string(p.split_id);
    }
    if (p.turned) {
        notes += notes.empty() ? "turned" : ", turned";
    }
    return notes.empty() ? s : s + " (" + notes + ")";
}

std::string StockTubesText(const Totals& t) {
    std::string s;
    for (const StockUsage& u : t.stock) {
        if (u.tubes > 0) {
            s += (s.empty() ? "" : ", ") + FormatLength(u.stock_length) + " mm × " + std::to_string(u.tubes);
        }
    }
    return s;
}

double Rounded(double v) {
    return std::round(v * 1e6) / 1e6;
}

/// Length of the valid UTF-8 sequence at s[i], or 0 when it is not valid.
std::size_t Utf8SequenceLength(const std::string& s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    if (c < 0x80) {
        return 1;
    }
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
    } else {
        return 0;
    }
    if (i + n > s.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < n; ++k) {
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return n;
}

/// Keeps at most max_chars characters (not bytes) of a UTF-8 text.
std::string TruncateUtf8(const std::string& s, std::size_t max_chars) {
    std::size_t i = 0;
    for (std::size_t chars = 0; i < s.size() && chars < max_chars; ++chars) {
        i += std::max<std::size_t>(Utf8SequenceLength(s, i), 1);
    }
    return s.substr(0, std::min(i, s.size()));
}

std::size_t Utf8Chars(const std::string& s) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < s.size(); ++chars) {
        i += std::max<std::size_t>(Utf8SequenceLength(s, i), 1);
    }
    return chars;
}

/// Text for XML: markup characters escaped, control characters and invalid UTF-8 replaced.
std::string XmlEscape(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        const std::size_t n = Utf8SequenceLength(s, i);
        if (n == 0) {
            out += '?';
            continue;
        }
        if (n > 1) {
            out.append(s, i, n);
            i += n - 1;
            continue;
        }
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            // Control characters are not allowed in XML 1.0 text.
            out += (static_cast<unsigned char>(c) < 0x20 && c != '\t') ? ' ' : c;
        }
    }
    return out;
}

/// " (usable)" or " (scrap)" after a remnant when the problem sets a minimum usable remnant.
std::string RemnantMark(const Plan& plan, const Pattern& p) {
    if (!plan.min_usable_remnant || p.remnant <= 1e-6) {
        return "";
    }
    return p.remnant_usable ? " (usable)" : " (scrap)";
}

/// A length for the CSV export: up to 6 decimals, trailing zeros dropped.
std::string CsvLength(double mm) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6f", std::round(mm * 1e6) / 1e6);
    std::string s = buf;
    while (s.back() == '0') {
        s.pop_back();
    }
    if (s.back() == '.') {
        s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

/// A CSV field, quoted when it holds a separator, a quote, a line break or edge spaces.
std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos &&
        (s.empty() || (s.front() != ' ' && s.back() != ' '))) {
        return s;
    }
    std::string out = "\"";
    for (const char c : s) {
        out += c == '"' ? "\"\"" : std::string(1, c);
    }
    return out + "\"";
}

/// One row of the cut list of a tube: a stretch and what it is.
struct CutRow {
    const char* kind; ///< "trim", "whole", "front", "back", "remnant"
    double start;
    double end;
    const PlacedPart* part; ///< null for trim and remnant
};

std::vector<CutRow> CutRows(const Pattern& p) {
    std::vector<CutRow> rows;
    if (p.trim_start > 1e-6 && !p.parts.empty()) {
        rows.push_back(CutRow{"trim", 0.0, p.trim_start, nullptr});
    }
    for (const PlacedPart& pp : p.parts) {
        rows.push_back(CutRow{PieceKindName(pp.piece), pp.start, pp.End(), &pp});
    }
    if (p.remnant > 1e-6) {
        rows.push_back(CutRow{"remnant", p.used_length, p.stock_length, nullptr});
    }
    return rows;
}

std::string Px(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

const char* PartColour(std::size_t partIndex) {
    static const char* const palette[] = {"#8ecae6", "#ffb703", "#90be6d", "#f4a261", "#cdb4db", "#a8dadc",
                                          "#e9c46a", "#b5e48c", "#ffafcc", "#bde0fe", "#d4a373", "#99d98c"};
    return palette[partIndex % (sizeof palette / sizeof palette[0])];
}

/// The methods a run of "auto" tried, one line each, the winner marked.
std::string MethodTable(const Plan& plan) {
    std::ostringstream out;
    out << "Methods:\n";
    char line[160];
    std::snprintf(line, sizeof line, "  %-10s %6s %14s %6s %6s %8s  %s\n", "method", "tubes", "material mm",
                  "welds", "bound", "seconds", "outcome");
    out << line;
    for (const MethodAttempt& a : plan.attempts) {
        const std::string bound = a.lower_bound ? std::to_string(*a.lower_bound) : "-";
        const std::string outcome =
            a.outcome + (a.method == plan.winner ? ", best" : "") +
            (a.copies_placed < plan.totals.copies_required && a.outcome != "not suited"
                 ? ", " + std::to_string(a.copies_placed) + " copies placed"
                 : "");
        if (a.outcome == "not suited") {
            std::snprintf(line, sizeof line, "  %-10s %6s %14s %6s %6s %8.2f  ", a.method.c_str(), "-", "-",
                          "-", "-", a.seconds);
            out << line << a.outcome << (a.note.empty() ? "" : ": " + a.note) << "\n";
            continue;
        }
        std::snprintf(line, sizeof line, "  %-10s %6d %14s %6d %6s %8.2f  ", a.method.c_str(), a.tubes,
                      FormatLength(a.material_used).c_str(), a.welds, bound.c_str(), a.seconds);
        out << line << outcome << "\n";
    }
    return out.str();
}

/// "3 of 5 tubes tail qualified (2 patterns; parts 400–800 mm, mode reserve, tail 500 mm, strategy strict)".
std::string TailText(const Plan& plan) {
    const TailOutcome& o = *plan.tail;
    std::string text = std::to_string(o.qualified_tubes) + " of " + std::to_string(plan.totals.tubes_used) +
                       " tube" + (plan.totals.tubes_used == 1 ? "" : "s") + " tail qualified (" +
                       std::to_string(o.qualified_patterns) + " pattern" + (o.qualified_patterns == 1 ? "" : "s") +
                       "; tail parts " + FormatLength(o.min_length) + "–" + FormatLength(o.max_length) +
                       " mm, mode " + o.mode;
    if (o.mode == "reserve") {
        text += ", tail " + FormatLength(o.tail_length) + " mm";
    }
    text += ", strategy " + o.strategy + (o.placed ? "" : ", not placed") + ")";
    return text;
}

} // namespace

std::string FormatPlanSummary(const Plan& plan) {
    std::ostringstream out;
    char elapsed[32];
    std::snprintf(elapsed, sizeof elapsed, "%.2f", plan.elapsed_seconds);
    out << "Plan: " << PlanStatusName(plan.status) << " (method " << plan.method;
    if (!plan.winner.empty() && plan.winner != plan.method) {
        out << ": " << plan.winner << " won";
    }
    out << ", seed " << plan.seed << ", " << elapsed << " s)\n";
    out << "Patterns:\n";
    if (plan.patterns.empty()) {
        out << "  (none)\n";
    }
    for (const Pattern& p : plan.patterns) {
        out << "  " << FormatLength(p.stock_length) << " × " << p.count;
        if (p.from_remnant) {
            out << " (remnant " << SummaryName(p.stock_id) << ")";
        }
        out << ": ";
        // Runs of the same part in the same way are written once with their number.
        for (std::size_t k = 0; k < p.parts.size();) {
            const std::string text = PartText(p.parts[k]);
            std::size_t run = 1;
            while (k + run < p.parts.size() && p.parts[k + run].part_index == p.parts[k].part_index &&
                   PartText(p.parts[k + run]) == text) {
                ++run;
            }
            out << (k == 0 ? "" : ", ") << text;
            if (run > 1) {
                out << " × " << run;
            }
            k += run;
        }
        out << ", used " << FormatLength(p.used_length) << ", remnant " << FormatLength(p.remnant)
            << RemnantMark(plan, p) << ", " << p.cuts << " cut" << (p.cuts == 1 ? "" : "s")
            << (p.tail_qualified ? ", tail qualified" : "") << "\n";
    }
    if (!plan.splits.empty()) {
        out << "Splits:\n";
        for (const Split& s : plan.splits) {
            out << "  split " << s.split_id << ": " << SummaryName(s.part_id) << " cut into "
                << FormatLength(s.front_length) << " + " << FormatLength(s.back_length) << ", " << s.welds
                << " weld" << (s.welds == 1 ? "" : "s") << "\n";
        }
    }
    const Totals& t = plan.totals;
    out << "Totals: " << t.tubes_used << " tube" << (t.tubes_used == 1 ? "" : "s");
    if (t.tubes_used > 0) {
        out << " (" << StockTubesText(t) << ")";
    }
    out << ", material " << FormatLength(t.material_used) << " mm, parts "
        << FormatLength(t.part_length_placed) << " mm, yield " << Percent(t.yield) << ", waste "
        << FormatLength(t.waste) << " mm, welds " << t.welds << ", cuts " << t.cuts << "\n";
    if (plan.min_usable_remnant) {
        out << "Remnants: " << t.usable_remnants << " usable (" << FormatLength(t.usable_remnant_length)
            << " mm), scrap " << FormatLength(t.scrap_remnant_length) << " mm (usable from "
            << FormatLength(*plan.min_usable_remnant) << " mm)\n";
    }
    out << "Copies: " << t.copies_placed << " of " << t.copies_required << " placed\n";
    if (plan.tail) {
        out << "Tail: " << TailText(plan) << "\n";
    }
    if (plan.lower_bound) {
        const std::int64_t n = plan.lower_bound->tubes;
        out << "Lower bound: " << n << " tube" << (n == 1 ? "" : "s") << " (" << plan.lower_bound->source
            << ")" << (plan.optimal ? ", met: the plan is optimal" : "") << "\n";
    }
    if (!plan.attempts.empty()) {
        out << MethodTable(plan);
    }
    for (const Unplaced& u : plan.unplaced) {
        out << "Not placed: " << SummaryName(u.part_id) << " × " << u.count << " (" << u.reason << ")\n";
    }
    for (const std::string& w : plan.warnings) {
        out << "Warning: " << w << "\n";
    }
    return out.str();
}

std::string PlanToJson(const Plan& plan) {
    using ojson = nlohmann::ordered_json;
    ojson doc;
    doc["format"] = "tubenest-plan";
    doc["version"] = 1;
    doc["status"] = PlanStatusName(plan.status);
    doc["method"] = plan.method;
    doc["seed"] = plan.seed;
    doc["elapsed_seconds"] = Rounded(plan.elapsed_seconds);
    doc["lower_bound"] = plan.lower_bound ? ojson(plan.lower_bound->tubes) : ojson(nullptr);
    doc["lower_bound_source"] = plan.lower_bound ? ojson(plan.lower_bound->source) : ojson(nullptr);
    doc["optimal"] = plan.optimal;
    doc["winner"] = plan.winner.empty() ? plan.method : plan.winner;
    ojson attempts = ojson::array();
    for (const MethodAttempt& a : plan.attempts) {
        attempts.push_back(ojson{
            {"method", a.method},
            {"seed", a.seed},
            {"outcome", a.outcome},
            {"tubes", a.outcome == "not suited" ? ojson(nullptr) : ojson(a.tubes)},
            {"material_used", a.outcome == "not suited" ? ojson(nullptr) : ojson(Rounded(a.material_used))},
            {"welds", a.outcome == "not suited" ? ojson(nullptr) : ojson(a.welds)},
            {"copies_placed", a.outcome == "not suited" ? ojson(nullptr) : ojson(a.copies_placed)},
            {"lower_bound", a.lower_bound ? ojson(*a.lower_bound) : ojson(nullptr)},
            {"elapsed_seconds", Rounded(a.seconds)},
            {"note", a.note}});
    }
    doc["methods"] = std::move(attempts);
    const Totals& t = plan.totals;
    ojson stock = ojson::array();
    for (const StockUsage& u : t.stock) {
        stock.push_back(ojson{{"stock_id", u.stock_id},
                              {"stock_index", u.stock_index},
                              {"stock_length", Rounded(u.stock_length)},
                              {"tubes", u.tubes},
                              {"available", u.available},
                              {"remnant", u.remnant}});
    }
    doc["totals"] =
        ojson{{"tubes_used", t.tubes_used},
              {"material_used", Rounded(t.material_used)},
              {"part_length_placed", Rounded(t.part_length_placed)},
              {"yield", Rounded(t.yield)},
              {"waste", Rounded(t.waste)},
              {"welds", t.welds},
              {"copies_required", t.copies_required},
              {"copies_placed", t.copies_placed},
              {"cuts", t.cuts},
              {"min_usable_remnant",
               plan.min_usable_remnant ? ojson(Rounded(*plan.min_usable_remnant)) : ojson(nullptr)},
              {"usable_remnants", t.usable_remnants},
              {"usable_remnant_length", Rounded(t.usable_remnant_length)},
              {"scrap_remnant_length", Rounded(t.scrap_remnant_length)},
              {"stock", std::move(stock)}};
    ojson patterns = ojson::array();
    for (const Pattern& p : plan.patterns) {
        ojson parts = ojson::array();
        for (const PlacedPart& pp : p.parts) {
            parts.push_back(
                ojson{{"part_id", pp.part_id},
                      {"part_index", pp.part_index},
                      {"name", pp.name},
                      {"reference", pp.reference},
                      {"turned", pp.turned},
                      {"start", Rounded(pp.start)},
                      {"length", Rounded(pp.length)},
                      {"gap_before", Rounded(pp.gap_before)},
                      {"piece", PieceKindName(pp.piece)},
                      {"split_id", pp.piece == PieceKind::Whole ? ojson(nullptr) : ojson(pp.split_id)}});
        }
        patterns.push_back(ojson{{"stock_id", p.stock_id},
                                 {"stock_index", p.stock_index},
                                 {"stock_length", Rounded(p.stock_length)},
                                 {"count", p.count},
                                 {"used_length", Rounded(p.used_length)},
                                 {"remnant", Rounded(p.remnant)},
                                 {"remnant_usable", p.remnant_usable},
                                 {"from_remnant", p.from_remnant},
                                 {"trim_start", Rounded(p.trim_start)},
                                 {"trim_end", Rounded(p.trim_end)},
                                 {"cuts", p.cuts},
                                 {"parts", std::move(parts)}});
    }
    if (plan.tail) {
        // Only with tail rules, so that plans without them keep their exact form.
        for (std::size_t k = 0; k < plan.patterns.size(); ++k) {
            patterns[k]["tail_qualified"] = plan.patterns[k].tail_qualified;
        }
        const TailOutcome& o = *plan.tail;
        doc["tail"] = ojson{{"mode", o.mode},
                            {"strategy", o.strategy},
                            {"min_length", Rounded(o.min_length)},
                            {"max_length", Rounded(o.max_length)},
                            {"tail_length", Rounded(o.tail_length)},
                            {"placed", o.placed},
                            {"qualified_tubes", o.qualified_tubes},
                            {"qualified_patterns", o.qualified_patterns}};
    }
    doc["patterns"] = std::move(patterns);
    ojson splits = ojson::array();
    for (const Split& s : plan.splits) {
        splits.push_back(ojson{{"split_id", s.split_id},
                               {"part_id", s.part_id},
                               {"part_index", s.part_index},
                               {"front_length", Rounded(s.front_length)},
                               {"back_length", Rounded(s.back_length)},
                               {"welds", s.welds}});
    }
    doc["splits"] = std::move(splits);
    ojson unplaced = ojson::array();
    for (const Unplaced& u : plan.unplaced) {
        unplaced.push_back(ojson{
            {"part_id", u.part_id}, {"part_index", u.part_index}, {"count", u.count}, {"reason", u.reason}});
    }
    doc["unplaced"] = std::move(unplaced);
    doc["warnings"] = plan.warnings;
    return doc.dump(2, ' ', false, ojson::error_handler_t::replace) + "\n";
}

std::string PlanToSvg(const Plan& plan) {
    constexpr double width = 1100.0;
    constexpr double labelWidth = 150.0;
    constexpr double barLeft = labelWidth + 10.0;
    constexpr double barWidth = width - barLeft - 20.0;
    constexpr double rowHeight = 36.0;
    constexpr double barHeight = 22.0;
    const Totals& t = plan.totals;

    std::vector<std::string> header;
    header.push_back("tubenest cutting plan: " + std::string(PlanStatusName(plan.status)) + " (method " +
                     plan.method + ")");
    header.push_back(std::to_string(t.tubes_used) + " tubes" +
                     (t.tubes_used > 0 ? " (" + StockTubesText(t) + ")" : std::string()) + ", material " +
                     FormatLength(t.material_used) + " mm, parts " + FormatLength(t.part_length_placed) +
                     " mm, yield " + Percent(t.yield) + ", waste " + FormatLength(t.waste) + " mm, welds " +
                     std::to_string(t.welds) + ", cuts " + std::to_string(t.cuts));
    std::string copies =
        std::to_string(t.copies_placed) + " of " + std::to_string(t.copies_required) + " copies placed";
    for (const Unplaced& u : plan.unplaced) {
        copies += "; not placed: " + u.part_id + " × " + std::to_string(u.count);
    }
    header.push_back(copies);
    if (plan.tail) {
        header.push_back("Tail: " + TailText(plan));
    }

    double longest = 1.0;
    for (const Pattern& p : plan.patterns) {
        longest = std::max(longest, std::max(p.stock_length, p.used_length));
    }
    const double scale = barWidth / longest;
    const double top = 20.0 + 18.0 * static_cast<double>(header.size()) + 10.0;
    const double legendTop = top + rowHeight * static_cast<double>(plan.patterns.size()) + 10.0;
    const double height = legendTop + 40.0;

    std::ostringstream s;
    s << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << Px(width) << "\" height=\"" << Px(height)
      << "\" viewBox=\"0 0 " << Px(width) << " " << Px(height) << "\" font-family=\"sans-serif\">\n"
      << "<defs>\n"
      << "<pattern id=\"remnant\" width=\"8\" height=\"8\" patternUnits=\"userSpaceOnUse\">"
      << "<rect width=\"8\" height=\"8\" fill=\"#f4f4f4\"/>"
      << "<path d=\"M0,8 L8,0\" stroke=\"#b0b0b0\" stroke-width=\"1\"/></pattern>\n"
      << "</defs>\n"
      << "<rect x=\"0\" y=\"0\" width=\"" << Px(width) << "\" height=\"" << Px(height)
      << "\" fill=\"white\"/>\n";
    for (std::size_t i = 0; i < header.size(); ++i) {
        s << "<text x=\"10\" y=\"" << Px(22.0 + 18.0 * static_cast<double>(i)) << "\" font-size=\""
          << (i == 0 ? "15" : "12") << "\"" << (i == 0 ? " font-weight=\"bold\"" : "") << ">"
          << XmlEscape(header[i]) << "</text>\n";
    }
    for (std::size_t k = 0; k < plan.patterns.size(); ++k) {
        const Pattern& p = plan.patterns[k];
        const double y = top + rowHeight * static_cast<double>(k);
        s << "<g class=\"pattern\"" << (p.tail_qualified ? " data-tail-qualified=\"true\"" : "") << ">\n";
        s << "<text x=\"10\" y=\"" << Px(y + 15.0) << "\" font-size=\"12\">"
          << XmlEscape(FormatLength(p.stock_length)) << " × " << p.count << "</text>\n";
        s << "<text x=\"10\" y=\"" << Px(y + 28.0) << "\" font-size=\"9\" fill=\"#555\">"
          << XmlEscape(p.stock_id + ", remnant " + FormatLength(p.remnant) + (p.tail_qualified ? ", tail ✓" : ""))
          << "</text>\n";
        // The stock bar in the gap shade; parts are drawn over it so the gaps show through.
        s << "<rect class=\"stock\" x=\"" << Px(barLeft) << "\" y=\"" << Px(y + 4.0) << "\" width=\""
          << Px(p.stock_length * scale) << "\" height=\"" << Px(barHeight) << "\" fill=\"#6b6b6b\"/>\n";
        if (p.remnant > 0.0) {
            s << "<rect class=\"remnant\" x=\"" << Px(barLeft + p.used_length * scale) << "\" y=\""
              << Px(y + 4.0) << "\" width=\"" << Px(p.remnant * scale) << "\" height=\"" << Px(barHeight)
              << "\" fill=\"url(#remnant)\"><title>remnant " << XmlEscape(FormatLength(p.remnant))
              << " mm</title></rect>\n";
        }
        for (const PlacedPart& pp : p.parts) {
            const double x = barLeft + pp.start * scale;
            const double w = std::max(pp.length * scale, 0.5);
            const bool piece = pp.piece != PieceKind::Whole;
            s << "<rect class=\"part\" x=\"" << Px(x) << "\" y=\"" << Px(y + 4.0) << "\" width=\"" << Px(w)
              << "\" height=\"" << Px(barHeight) << "\" fill=\"" << PartColour(pp.part_index)
              << "\" stroke=\"#222\" stroke-width=\"0.6\"" << (piece ? " stroke-dasharray=\"3,2\"" : "")
              << "><title>" << XmlEscape(PartText(pp) + " at " + FormatLength(pp.start) + " mm")
              << "</title></rect>\n";
            if (piece) {
                // The cut end of a piece: end B of a front piece, end A of a back piece.
                const bool cutAtRight = (pp.piece == PieceKind::Front) != pp.turned;
                const double wx = cutAtRight ? x + w : x;
                s << "<line class=\"weld\" x1=\"" << Px(wx) << "\" y1=\"" << Px(y + 1.0) << "\" x2=\""
                  << Px(wx) << "\" y2=\"" << Px(y + 7.0 + barHeight)
                  << "\" stroke=\"#d00000\" stroke-width=\"2.5\"/>\n";
            }
            // The name when it fits, else the (usually shorter) id, else the id shortened.
            std::string turned = pp.turned ? " ↺" : "";
            if (piece) {
                // "F2": front piece of split 2, "B2" its back piece.
                turned = (pp.piece == PieceKind::Front ? " F" : " B") + std::to_string(pp.split_id) + turned;
            }
            const double room = w - 4.0;
            std::string label = pp.name + turned;
            if (6.0 * static_cast<double>(Utf8Chars(label)) > room) {
                label = pp.part_id + turned;
            }
            const std::size_t chars = Utf8Chars(label);
            if (room >= 6.0 * static_cast<double>(std::min<std::size_t>(chars, 4))) {
                const auto fit = static_cast<std::size_t>(room / 6.0);
                if (chars > fit) {
                    label = TruncateUtf8(label, fit > 1 ? fit - 1 : fit) + "…";
                }
                s << "<text x=\"" << Px(x + w / 2.0) << "\" y=\"" << Px(y + 19.0)
                  << "\" font-size=\"10\" text-anchor=\"middle\">" << XmlEscape(label) << "</text>\n";
            }
        }
        s << "</g>\n";
    }
    const double ly = legendTop;
    s << "<g class=\"legend\" font-size=\"11\">\n"
      << "<rect x=\"10\" y=\"" << Px(ly) << "\" width=\"14\" height=\"12\" fill=\"#6b6b6b\"/>"
      << "<text x=\"30\" y=\"" << Px(ly + 10.0) << "\">gap</text>\n"
      << "<rect x=\"80\" y=\"" << Px(ly)
      << "\" width=\"14\" height=\"12\" fill=\"url(#remnant)\" stroke=\"#999\"/>"
      << "<text x=\"100\" y=\"" << Px(ly + 10.0) << "\">remnant</text>\n"
      << "<rect x=\"170\" y=\"" << Px(ly) << "\" width=\"14\" height=\"12\" fill=\"#ddd\" stroke=\"#222\" "
      << "stroke-dasharray=\"3,2\"/><text x=\"190\" y=\"" << Px(ly + 10.0)
      << "\">split piece (F/B n: front/back of split n)</text>\n"
      << "<line x1=\"420\" y1=\"" << Px(ly - 2.0) << "\" x2=\"420\" y2=\"" << Px(ly + 14.0)
      << "\" stroke=\"#d00000\" stroke-width=\"2.5\"/><text x=\"428\" y=\"" << Px(ly + 10.0)
      << "\">weld end</text>\n"
      << "<text x=\"505\" y=\"" << Px(ly + 10.0) << "\">↺ turned end for end</text>\n"
      << "</g>\n</svg>\n";
    return s.str();
}

// ---- Cut lists ---------------------------------------------------------------------------------

std::string FormatCutList(const Plan& plan) {
    std::ostringstream out;
    out << "Cut list (mm from the bar's start):\n";
    char line[160];
    for (std::size_t k = 0; k < plan.patterns.size(); ++k) {
        const Pattern& p = plan.patterns[k];
        out << "Pattern " << k + 1 << ": stock " << SummaryName(p.stock_id)
            << (p.from_remnant ? " (remnant)" : "") << ", " << FormatLength(p.stock_length) << " mm × "
            << p.count << ", " << p.cuts << " cut" << (p.cuts == 1 ? "" : "s") << " each\n";
        std::snprintf(line, sizeof line, "  %10s %10s %10s  %s\n", "from", "to", "length", "what");
        out << line;
        for (const CutRow& row : CutRows(p)) {
            std::string what;
            if (row.part != nullptr) {
                what = SummaryName(row.part->part_id);
                if (row.part->name != row.part->part_id) {
                    what += " " + SummaryName(row.part->name);
                }
                if (row.part->piece != PieceKind::Whole) {
                    what += " (" + std::string(row.kind) + " of split " + std::to_string(row.part->split_id) +
                            ")";
                }
                if (row.part->turned) {
                    what += " (turned)";
                }
            } else if (std::string(row.kind) == "remnant") {
                what = "remnant" + RemnantMark(plan, p);
                if (p.trim_end > 1e-6) {
                    what += ", end trim " + FormatLength(p.trim_end) + " included";
                }
            } else {
                what = "start trim";
            }
            std::snprintf(line, sizeof line, "  %10s %10s %10s  ", FormatLength(row.start).c_str(),
                          FormatLength(row.end).c_str(), FormatLength(row.end - row.start).c_str());
            out << line << what << "\n";
        }
    }
    return out.str();
}

std::string PlanToCsv(const Plan& plan) {
    std::string out =
        "pattern,bars,stock_id,stock_length,item,kind,part_id,name,start,end,length,turned,split_id\n";
    for (std::size_t k = 0; k < plan.patterns.size(); ++k) {
        const Pattern& p = plan.patterns[k];
        const std::string head = std::to_string(k + 1) + "," + std::to_string(p.count) + "," +
                                 CsvField(p.stock_id) + "," + CsvLength(p.stock_length) + ",";
        std::size_t item = 0;
        for (const CutRow& row : CutRows(p)) {
            std::string partId;
            std::string name;
            std::string turned;
            std::string split;
            if (row.part != nullptr) {
                partId = row.part->part_id;
                name = row.part->name;
                turned = row.part->turned ? "yes" : "no";
                split = row.part->piece == PieceKind::Whole ? "" : std::to_string(row.part->split_id);
            } else if (std::string(row.kind) == "remnant" && plan.min_usable_remnant) {
                name = p.remnant_usable ? "usable" : "scrap";
            }
            out += head + (row.part != nullptr ? std::to_string(++item) : "") + "," + row.kind + "," +
                   CsvField(partId) + "," + CsvField(name) + "," + CsvLength(row.start) + "," +
                   CsvLength(row.end) + "," + CsvLength(row.end - row.start) + "," + turned + "," + split +
                   "\n";
        }
    }
    return out;
}

// ---- Writing files -------------------------------------------------------------------------------

namespace {

std::runtime_error CannotWrite(const std::string& path, int err) {
    return std::runtime_error("cannot write " + path + ": " + std::strerror(err));
}

/// Where a file name leads. Regular files (and names that do not exist yet) are replaced
/// atomically; a symlink is followed to its target; anything else is written directly: an open
/// descriptor of this process (/dev/stdout, /dev/fd/N, /proc/self/fd/N) through that descriptor,
/// other files (devices, pipes) by opening them.
struct WriteTarget {
    std::string path; ///< with symlinks followed
    bool direct = false;
    int descriptor = -1; ///< for a descriptor of this process
};

int OwnDescriptor(const std::string& p) {
    if (p == "/dev/stdout") {
        return STDOUT_FILENO;
    }
    if (p == "/dev/stderr") {
        return STDERR_FILENO;
    }
    for (const std::string& prefix : {std::string("/dev/fd/"), std::string("/proc/self/fd/"),
                                      "/proc/" + std::to_string(::getpid()) + "/fd/"}) {
        if (p.size() > prefix.size() && p.size() <= prefix.size() + 9 &&
            p.compare(0, prefix.size(), prefix) == 0 &&
            p.find_first_not_of("0123456789", prefix.size()) == std::string::npos) {
            return std::atoi(p.c_str() + prefix.size());
        }
    }
    return -1;
}

WriteTarget ResolveTarget(const std::string& path) {
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        if (const int fd = OwnDescriptor(p); fd >= 0) {
            return WriteTarget{p, true, fd};
        }
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0) {
            if (errno == ENOENT) {
                return WriteTarget{p, false, -1}; // a new file (its directory may still be missing)
            }
            throw CannotWrite(path, errno);
        }
        if (S_ISREG(st.st_mode)) {
            return WriteTarget{p, false, -1};
        }
        if (S_ISDIR(st.st_mode)) {
            throw std::runtime_error("cannot write " + path + ": it is a directory");
        }
        if (!S_ISLNK(st.st_mode)) {
            return WriteTarget{p, true, -1};
        }
        std::string link(4096, '\0');
        const ssize_t n = ::readlink(p.c_str(), link.data(), link.size());
        if (n < 0 || static_cast<std::size_t>(n) >= link.size()) {
            throw CannotWrite(path, n < 0 ? errno : ENAMETOOLONG);
        }
        link.resize(static_cast<std::size_t>(n));
        const std::size_t slash = p.rfind('/');
        p = link.front() == '/' || slash == std::string::npos ? link : p.substr(0, slash + 1) + link;
    }
    throw CannotWrite(path, ELOOP);
}

void WriteAll(int fd, const std::string& content, const std::string& path) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw CannotWrite(path, n < 0 ? errno : EIO);
        }
        done += static_cast<std::size_t>(n);
    }
}

void WriteDirectly(const WriteTarget& target, const std::string& path, const std::string& content) {
    if (target.descriptor >= 0) {
        WriteAll(target.descriptor, content, path);
        return;
    }
    const int fd = ::open(target.path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        throw CannotWrite(path, errno);
    }
    try {
        WriteAll(fd, content, path);
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (::close(fd) != 0) {
        throw CannotWrite(path, errno);
    }
}

/// A fresh temporary file: beside `near` (same directory, so a rename replaces the target
/// atomically), or in the system's temporary directory when near is empty.
std::string CreateTempFile(const std::string& near, const std::string& path, mode_t mode) {
    static std::atomic<unsigned> counter{0};
    const std::string base =
        near.empty() ? (std::filesystem::temp_directory_path() / "tubenest").string() : near;
    for (int attempt = 0;; ++attempt) {
        std::string temp = base + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            ::close(fd);
            return temp;
        }
        if (errno != EEXIST || attempt > 100) {
            throw CannotWrite(path, errno);
        }
    }
}

} // namespace

void WriteFileAtomically(const std::string& path,
                         const std::function<void(const std::string& temp_path)>& write) {
    const WriteTarget target = ResolveTarget(path);
    if (target.direct) {
        // Devices and pipes cannot be replaced: fill a private temporary file, then copy it over.
        const std::string temp = CreateTempFile("", path, 0600);
        std::string content;
        try {
            write(temp);
            content = ReadTextFile(temp);
        } catch (...) {
            ::unlink(temp.c_str());
            throw;
        }
        ::unlink(temp.c_str());
        WriteDirectly(target, path, content);
        return;
    }
    // A file being replaced keeps its permissions.
    struct stat old {};
    const bool existed = ::stat(target.path.c_str(), &old) == 0;
    const std::string temp = CreateTempFile(target.path, path, 0666);
    try {
        if (existed) {
            ::chmod(temp.c_str(), old.st_mode & 07777);
        }
        write(temp);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    if (std::rename(temp.c_str(), target.path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        throw CannotWrite(path, err);
    }
}

void WriteFileAtomically(const std::string& path, const std::string& content) {
    const WriteTarget target = ResolveTarget(path);
    if (target.direct) {
        WriteDirectly(target, path, content);
        return;
    }
    WriteFileAtomically(path, [&](const std::string& temp) {
        const int fd = ::open(temp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0) {
            throw CannotWrite(path, errno);
        }
        try {
            WriteAll(fd, content, path);
        } catch (...) {
            ::close(fd);
            throw;
        }
        const bool synced = ::fsync(fd) == 0;
        const int err = errno;
        if (::close(fd) != 0 || !synced) {
            throw CannotWrite(path, synced ? errno : err);
        }
    });
}

void WriteEngineDump(const Plan& plan, const std::string& path) {
    if (!plan.engine_results) {
        throw std::invalid_argument("the plan carries no engine results to dump");
    }
    WriteFileAtomically(path, [&](const std::string& temp) {
        plan.engine_results->PrintToFile(temp,
                                         " tubenest " + plan.method + " " + PlanStatusName(plan.status));
    });
}

} // namespace tubenest::api
