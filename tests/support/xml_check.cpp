#include "support/xml_check.h"

#include <cctype>
#include <vector>

namespace tubenest::testing {
namespace {

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_' || c == ':' || c == '.';
}

bool CheckText(const std::string& xml, std::size_t from, std::size_t to, std::string* error) {
    for (std::size_t i = from; i < to; ++i) {
        if (xml[i] == '<') {
            *error = "stray '<' at " + std::to_string(i);
            return false;
        }
        if (xml[i] == '&') {
            const std::size_t semi = xml.find(';', i);
            const std::string entity = semi == std::string::npos ? "" : xml.substr(i + 1, semi - i - 1);
            if (entity != "amp" && entity != "lt" && entity != "gt" && entity != "quot" && entity != "apos" &&
                !(entity.size() > 1 && entity[0] == '#')) {
                *error = "bad entity at " + std::to_string(i);
                return false;
            }
        }
    }
    return true;
}

} // namespace

bool IsWellFormedXml(const std::string& xml, std::string* error) {
    std::string dummy;
    if (error == nullptr) {
        error = &dummy;
    }
    std::vector<std::string> open;
    std::size_t i = 0;
    bool sawRoot = false;
    while (i < xml.size()) {
        const std::size_t lt = xml.find('<', i);
        if (!CheckText(xml, i, lt == std::string::npos ? xml.size() : lt, error)) {
            return false;
        }
        if (lt == std::string::npos) {
            break;
        }
        if (xml.compare(lt, 5, "<?xml") == 0) {
            const std::size_t end = xml.find("?>", lt);
            if (end == std::string::npos || lt != 0) {
                *error = "bad XML declaration";
                return false;
            }
            i = end + 2;
            continue;
        }
        if (xml.compare(lt, 4, "<!--") == 0) {
            const std::size_t end = xml.find("-->", lt);
            if (end == std::string::npos) {
                *error = "unterminated comment";
                return false;
            }
            i = end + 3;
            continue;
        }
        const bool closing = lt + 1 < xml.size() && xml[lt + 1] == '/';
        std::size_t p = lt + (closing ? 2 : 1);
        const std::size_t nameStart = p;
        while (p < xml.size() && IsNameChar(xml[p])) {
            ++p;
        }
        const std::string name = xml.substr(nameStart, p - nameStart);
        if (name.empty()) {
            *error = "tag without a name at " + std::to_string(lt);
            return false;
        }
        if (closing) {
            while (p < xml.size() && std::isspace(static_cast<unsigned char>(xml[p])) != 0) {
                ++p;
            }
            if (p >= xml.size() || xml[p] != '>' || open.empty() || open.back() != name) {
                *error = "unbalanced </" + name + "> at " + std::to_string(lt);
                return false;
            }
            open.pop_back();
            i = p + 1;
            continue;
        }
        if (open.empty() && sawRoot) {
            *error = "second root element <" + name + ">";
            return false;
        }
        // Attributes: name="value" or name='value'.
        bool selfClosing = false;
        while (true) {
            while (p < xml.size() && std::isspace(static_cast<unsigned char>(xml[p])) != 0) {
                ++p;
            }
            if (p >= xml.size()) {
                *error = "unterminated <" + name + ">";
                return false;
            }
            if (xml[p] == '>') {
                ++p;
                break;
            }
            if (xml.compare(p, 2, "/>") == 0) {
                selfClosing = true;
                p += 2;
                break;
            }
            const std::size_t attrStart = p;
            while (p < xml.size() && IsNameChar(xml[p])) {
                ++p;
            }
            if (p == attrStart || p >= xml.size() || xml[p] != '=' || p + 1 >= xml.size() ||
                (xml[p + 1] != '"' && xml[p + 1] != '\'')) {
                *error = "bad attribute in <" + name + "> at " + std::to_string(attrStart);
                return false;
            }
            const char quote = xml[p + 1];
            const std::size_t valueEnd = xml.find(quote, p + 2);
            if (valueEnd == std::string::npos || !CheckText(xml, p + 2, valueEnd, error)) {
                if (error->empty()) {
                    *error = "unterminated attribute in <" + name + ">";
                }
                return false;
            }
            p = valueEnd + 1;
        }
        sawRoot = true;
        if (!selfClosing) {
            open.push_back(name);
        }
        i = p;
    }
    if (!open.empty()) {
        *error = "<" + open.back() + "> is not closed";
        return false;
    }
    if (!sawRoot) {
        *error = "no root element";
        return false;
    }
    return true;
}

std::size_t CountElements(const std::string& xml, const std::string& name, const std::string& css_class) {
    std::size_t count = 0;
    const std::string open = "<" + name;
    for (std::size_t p = xml.find(open); p != std::string::npos; p = xml.find(open, p + 1)) {
        const std::size_t after = p + open.size();
        if (after >= xml.size() || IsNameChar(xml[after])) {
            continue;
        }
        if (!css_class.empty()) {
            const std::size_t end = xml.find('>', p);
            const std::string tag = xml.substr(p, end == std::string::npos ? std::string::npos : end - p);
            if (tag.find("class=\"" + css_class + "\"") == std::string::npos) {
                continue;
            }
        }
        ++count;
    }
    return count;
}

} // namespace tubenest::testing
