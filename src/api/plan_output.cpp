#include "api/plan_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

namespace tubenest::api {
namespace {

std::string Percent(double fraction) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f %%", fraction * 100.0);
    return buf;
}

std::string PartText(const PlacedPart& p) {
    std::string s = p.name + " " + FormatLength(p.length);
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

} // namespace

std::string FormatPlanSummary(const Plan& plan) {
    std::ostringstream out;
    char elapsed[32];
    std::snprintf(elapsed, sizeof elapsed, "%.2f", plan.elapsed_seconds);
    out << "Plan: " << PlanStatusName(plan.status) << " (method " << plan.method << ", seed " << plan.seed
        << ", " << elapsed << " s)\n";
    out << "Patterns:\n";
    if (plan.patterns.empty()) {
        out << "  (none)\n";
    }
    for (const Pattern& p : plan.patterns) {
        out << "  " << FormatLength(p.stock_length) << " × " << p.count << ": ";
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
        out << ", used " << FormatLength(p.used_length) << ", remnant " << FormatLength(p.remnant) << "\n";
    }
    if (!plan.splits.empty()) {
        out << "Splits:\n";
        for (const Split& s : plan.splits) {
            out << "  split " << s.split_id << ": " << s.part_id << " cut into "
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
        << FormatLength(t.waste) << " mm, welds " << t.welds << "\n";
    out << "Copies: " << t.copies_placed << " of " << t.copies_required << " placed\n";
    for (const Unplaced& u : plan.unplaced) {
        out << "Not placed: " << u.part_id << " × " << u.count << " (" << u.reason << ")\n";
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
    const Totals& t = plan.totals;
    ojson stock = ojson::array();
    for (const StockUsage& u : t.stock) {
        stock.push_back(ojson{{"stock_id", u.stock_id},
                              {"stock_index", u.stock_index},
                              {"stock_length", Rounded(u.stock_length)},
                              {"tubes", u.tubes},
                              {"available", u.available}});
    }
    doc["totals"] = ojson{{"tubes_used", t.tubes_used},
                          {"material_used", Rounded(t.material_used)},
                          {"part_length_placed", Rounded(t.part_length_placed)},
                          {"yield", Rounded(t.yield)},
                          {"waste", Rounded(t.waste)},
                          {"welds", t.welds},
                          {"copies_required", t.copies_required},
                          {"copies_placed", t.copies_placed},
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
                                 {"parts", std::move(parts)}});
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
                     std::to_string(t.welds));
    std::string copies =
        std::to_string(t.copies_placed) + " of " + std::to_string(t.copies_required) + " copies placed";
    for (const Unplaced& u : plan.unplaced) {
        copies += "; not placed: " + u.part_id + " × " + std::to_string(u.count);
    }
    header.push_back(copies);

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
        s << "<g class=\"pattern\">\n";
        s << "<text x=\"10\" y=\"" << Px(y + 15.0) << "\" font-size=\"12\">"
          << XmlEscape(FormatLength(p.stock_length)) << " × " << p.count << "</text>\n";
        s << "<text x=\"10\" y=\"" << Px(y + 28.0) << "\" font-size=\"9\" fill=\"#555\">"
          << XmlEscape(p.stock_id + ", remnant " + FormatLength(p.remnant)) << "</text>\n";
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

void WriteFileAtomically(const std::string& path,
                         const std::function<void(const std::string& temp_path)>& write) {
    static std::atomic<unsigned> counter{0};
    std::string temp;
    for (int attempt = 0;; ++attempt) {
        temp = path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            break;
        }
        if (errno != EEXIST || attempt > 100) {
            throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
        }
    }
    try {
        write(temp);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        throw std::runtime_error("cannot write " + path + ": " + std::strerror(err));
    }
}

void WriteFileAtomically(const std::string& path, const std::string& content) {
    WriteFileAtomically(path, [&](const std::string& temp) {
        const int fd = ::open(temp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0) {
            throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
        }
        std::size_t done = 0;
        while (done < content.size()) {
            const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                const int err = errno;
                ::close(fd);
                throw std::runtime_error("cannot write " + path + ": " + std::strerror(err));
            }
            done += static_cast<std::size_t>(n);
        }
        const bool synced = ::fsync(fd) == 0;
        const int err = errno;
        if (::close(fd) != 0 || !synced) {
            throw std::runtime_error("cannot write " + path + ": " + std::strerror(synced ? errno : err));
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
