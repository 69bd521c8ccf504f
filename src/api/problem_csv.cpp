#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "api/problem_io.h"

namespace tubenest::api {
namespace {

constexpr std::size_t kMaxFaults = 50;

std::string Trim(std::string_view s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) {
        ++b;
    }
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) {
        --e;
    }
    return std::string(s.substr(b, e - b));
}

/// Splits one CSV line; double quotes group a field ("" is a quote inside). nullopt on an
/// unterminated quote.
std::optional<std::vector<std::string>> SplitFields(std::string_view line, char sep) {
    std::vector<std::string> fields;
    std::string cur;
    bool quoted = false;
    bool wasQuoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                cur += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                cur += c;
            }
        } else if (c == '"' && Trim(cur).empty()) {
            quoted = true;
            wasQuoted = true;
            cur.clear();
        } else if (c == sep) {
            fields.push_back(wasQuoted ? cur : Trim(cur));
            cur.clear();
            wasQuoted = false;
        } else {
            cur += c;
        }
    }
    if (quoted) {
        return std::nullopt;
    }
    fields.push_back(wasQuoted ? cur : Trim(cur));
    return fields;
}

/// Decimal notation only: [+-] digits [. digits] [e [+-] digits], digits on at least one side of
/// the point.
bool IsDecimalNumber(const std::string& s) {
    std::size_t i = 0;
    auto digits = [&s, &i] {
        const std::size_t from = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            ++i;
        }
        return i - from;
    };
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        ++i;
    }
    std::size_t mantissa = digits();
    if (i < s.size() && s[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) {
        return false;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            ++i;
        }
        if (digits() == 0) {
            return false;
        }
    }
    return i == s.size();
}

/// A whole field as a finite double (decimal notation); a decimal comma is accepted when the separator
/// is ';'.
std::optional<double> ParseNumber(std::string s, char sep) {
    if (sep == ';') {
        for (char& c : s) {
            if (c == ',') {
                c = '.';
            }
        }
    }
    if (!IsDecimalNumber(s)) {
        return std::nullopt; // strtod alone would also take hex ("0x10"), "inf" and "nan"
    }
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || errno == ERANGE) {
        return std::nullopt;
    }
    return v;
}

/// A whole number (digits with an optional sign) that fits 64 bits.
std::optional<std::int64_t> ParseInteger(const std::string& s) {
    std::size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
    if (i == s.size() || s.size() - i > 18) {
        return std::nullopt;
    }
    for (std::size_t k = i; k < s.size(); ++k) {
        if (s[k] < '0' || s[k] > '9') {
            return std::nullopt;
        }
    }
    return std::strtoll(s.c_str(), nullptr, 10);
}

/// The remnant column of a stock CSV: "remnant", "r", "yes", "true", "1" or "bar", "no",
/// "false", "0", "" (any case).
std::optional<bool> ParseRemnantFlag(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const char* yes : {"remnant", "r", "yes", "y", "true", "1"}) {
        if (s == yes) {
            return true;
        }
    }
    for (const char* no : {"", "bar", "no", "n", "false", "0"}) {
        if (s == no) {
            return false;
        }
    }
    return std::nullopt;
}

struct Row {
    std::size_t line = 0;
    std::vector<std::string> fields;
};

/// Reads the rows of a CSV text: skips blank and '#' lines, picks the separator from the first
/// row, drops a header row (a first row without any number).
class CsvText {
public:
    CsvText(std::string_view text, std::string source) : source_(std::move(source)) {
        if (text.substr(0, 3) == "\xEF\xBB\xBF") {
            text.remove_prefix(3);
        }
        std::size_t lineNo = 0;
        bool first = true;
        while (!text.empty()) {
            const std::size_t nl = text.find('\n');
            std::string_view line = text.substr(0, nl);
            text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
            ++lineNo;
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            const std::string trimmed = Trim(line);
            if (trimmed.empty() || trimmed[0] == '#') {
                continue;
            }
            if (first) {
                sep_ = line.find(';') != std::string_view::npos ? ';' : ',';
            }
            auto fields = SplitFields(line, sep_);
            if (!fields) {
                Fault(lineNo, "a quoted field is not closed");
                first = false;
                continue;
            }
            if (first) {
                first = false;
                // A header has no number at all; a data line with a mistyped length still has
                // its amount, so its fault is reported rather than the line taken for a header.
                bool anyNumber = false;
                for (const auto& f : *fields) {
                    anyNumber = anyNumber || ParseNumber(f, sep_).has_value();
                }
                if (!anyNumber) {
                    continue;
                }
            }
            rows_.push_back(Row{lineNo, std::move(*fields)});
        }
    }

    const std::vector<Row>& rows() const { return rows_; }
    char sep() const { return sep_; }

    void Fault(std::size_t line, const std::string& message) {
        if (faults_.size() < kMaxFaults) {
            faults_.push_back(source_ + ":" + std::to_string(line) + ": " + message);
        } else {
            ++dropped_;
        }
    }
    void ThrowIfFaults() {
        if (dropped_ > 0) {
            faults_.push_back(source_ + ": " + std::to_string(dropped_) + " more faults");
        }
        if (!faults_.empty()) {
            throw ProblemError(std::move(faults_));
        }
    }

    /// Checks the field count; false (with a fault) when it is outside [min, max].
    bool FieldCount(const Row& row, std::size_t min, std::size_t max, const char* layout) {
        if (row.fields.size() < min || row.fields.size() > max) {
            Fault(row.line, "expected " + std::string(layout) + ", found " +
                                std::to_string(row.fields.size()) + " field" +
                                (row.fields.size() == 1 ? "" : "s"));
            return false;
        }
        return true;
    }
    double Number(const Row& row, std::size_t i, const char* what) {
        if (auto v = ParseNumber(row.fields[i], sep_)) {
            return *v;
        }
        Fault(row.line, std::string(what) + " \"" + row.fields[i] + "\" is not a number");
        return 0.0;
    }
    std::int64_t Integer(const Row& row, std::size_t i, const char* what) {
        if (auto v = ParseInteger(row.fields[i])) {
            return *v;
        }
        Fault(row.line, std::string(what) + " \"" + row.fields[i] + "\" is not a whole number");
        return 0;
    }

private:
    std::string source_;
    char sep_ = ',';
    std::vector<Row> rows_;
    std::vector<std::string> faults_;
    std::size_t dropped_ = 0;
};

} // namespace

std::vector<PartSpec> ParsePartsCsv(std::string_view text, const std::string& source) {
    CsvText csv(text, source);
    std::vector<PartSpec> parts;
    std::map<std::string, std::size_t> seen;
    for (const Row& row : csv.rows()) {
        if (!csv.FieldCount(row, 3, 5, "name,length,amount[,cutoff_a,cutoff_b]")) {
            continue;
        }
        PartSpec p;
        p.id = row.fields[0];
        if (p.id.empty()) {
            csv.Fault(row.line, "the part name is empty");
        } else if (auto [it, fresh] = seen.emplace(p.id, row.line); !fresh) {
            csv.Fault(row.line,
                      "part \"" + p.id + "\" is already listed on line " + std::to_string(it->second));
        }
        p.length = csv.Number(row, 1, "length");
        p.amount = csv.Integer(row, 2, "amount");
        if (row.fields.size() > 3) {
            p.cutoff_a = csv.Number(row, 3, "cutoff_a");
        }
        if (row.fields.size() > 4) {
            p.cutoff_b = csv.Number(row, 4, "cutoff_b");
        }
        parts.push_back(std::move(p));
    }
    csv.ThrowIfFaults();
    return parts;
}

std::vector<StockSpec> ParseStockCsv(std::string_view text, const std::string& source) {
    CsvText csv(text, source);
    std::vector<StockSpec> stock;
    for (const Row& row : csv.rows()) {
        if (!csv.FieldCount(row, 2, 6, "length,amount[,id[,remnant[,trim_start[,trim_end]]]]")) {
            continue;
        }
        StockSpec s;
        s.length = csv.Number(row, 0, "length");
        s.amount = csv.Integer(row, 1, "amount");
        if (row.fields.size() > 2) {
            s.id = row.fields[2];
        }
        if (row.fields.size() > 3) {
            if (auto remnant = ParseRemnantFlag(row.fields[3])) {
                s.remnant = *remnant;
            } else {
                csv.Fault(row.line,
                          "remnant \"" + row.fields[3] + "\" is not one of remnant, yes, no (or empty)");
            }
        }
        if (row.fields.size() > 4 && !row.fields[4].empty()) {
            s.trim_start = csv.Number(row, 4, "trim_start");
        }
        if (row.fields.size() > 5 && !row.fields[5].empty()) {
            s.trim_end = csv.Number(row, 5, "trim_end");
        }
        stock.push_back(std::move(s));
    }
    csv.ThrowIfFaults();
    return stock;
}

std::vector<StockSpec> ParseStockList(std::string_view list) {
    std::vector<StockSpec> stock;
    std::vector<std::string> faults;
    std::string item;
    auto flush = [&] {
        if (item.empty()) {
            return;
        }
        const std::size_t x = item.find_first_of("xX*");
        std::optional<double> length;
        std::optional<std::int64_t> amount;
        // A trailing r marks a remnant: 1300x1r.
        const bool remnant = item.size() > 1 && (item.back() == 'r' || item.back() == 'R');
        if (x != std::string::npos) {
            length = ParseNumber(item.substr(0, x), ',');
            amount = ParseInteger(item.substr(x + 1, item.size() - x - 1 - (remnant ? 1 : 0)));
        }
        if (length && amount) {
            StockSpec s{"", *length, *amount};
            s.remnant = remnant;
            stock.push_back(std::move(s));
        } else {
            faults.push_back("stock list: \"" + item +
                             "\" is not LENGTHxAMOUNT[r] (e.g. 6000x10 or 1300x1r)");
        }
        item.clear();
    };
    for (const char c : list) {
        if (c == ',' || c == ';' || c == ' ' || c == '\t') {
            flush();
        } else {
            item += c;
        }
    }
    flush();
    if (stock.empty() && faults.empty()) {
        faults.push_back("stock list: \"" + std::string(list) + "\" names no stock");
    }
    if (!faults.empty()) {
        throw ProblemError(std::move(faults));
    }
    return stock;
}

std::string ReadTextFile(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        throw std::runtime_error("cannot read " + path + ": it is a directory");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path + ": " + std::strerror(errno));
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) {
        throw std::runtime_error("cannot read " + path + ": " + std::strerror(errno));
    }
    return ss.str();
}

} // namespace tubenest::api
