// A non-validating reader of XML 1.0 that keeps the offsets of every element and
// attribute value: declarations, comments, processing instructions and a DOCTYPE without
// an internal subset are stepped over; entities are the five predefined ones and
// character references.
#include "projects/Xml.h"

#include <algorithm>
#include <cstdint>
#include <set>

#include "tables/Encoding.h"

namespace projects {
namespace {

constexpr std::size_t kMaxDepth = 4096;

bool NameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.' || c == ':' || static_cast<unsigned char>(c) >= 0x80;
}

bool Space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// `raw` with its entities and character references read.
std::string Decoded(std::string_view raw, std::size_t at) {
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '&') {
            out += raw[i];
            continue;
        }
        const std::size_t semi = raw.find(';', i);
        if (semi == std::string_view::npos) throw XmlError("un «&» sin «;» en el byte " + std::to_string(at + i));
        const std::string_view name = raw.substr(i + 1, semi - i - 1);
        if (name == "lt") out += '<';
        else if (name == "gt") out += '>';
        else if (name == "amp") out += '&';
        else if (name == "quot") out += '"';
        else if (name == "apos") out += '\'';
        else if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x';
            std::uint32_t c = 0;
            const std::string_view digits = name.substr(hex ? 2 : 1);
            if (digits.empty() || digits.size() > 8) throw XmlError("referencia de carácter errónea en el byte " + std::to_string(at + i));
            for (char d : digits) {
                const int v = d >= '0' && d <= '9' ? d - '0'
                              : hex && d >= 'a' && d <= 'f' ? d - 'a' + 10
                              : hex && d >= 'A' && d <= 'F' ? d - 'A' + 10
                                                           : -1;
                if (v < 0) throw XmlError("referencia de carácter errónea en el byte " + std::to_string(at + i));
                c = c * (hex ? 16 : 10) + static_cast<std::uint32_t>(v);
            }
            if (c == 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) throw XmlError("referencia de carácter errónea en el byte " + std::to_string(at + i));
            tables::AppendUtf8(out, c);
        } else {
            throw XmlError("entidad desconocida «&" + std::string(name) + ";» en el byte " + std::to_string(at + i));
        }
        i = semi;
    }
    return out;
}

}  // namespace

XmlDocument::XmlDocument(std::string text) : text_(std::move(text)) { Parse(); }

void XmlDocument::Parse() {
    const std::string& t = text_;
    const auto fail = [](const std::string& what, std::size_t at) {
        throw XmlError(what + " en el byte " + std::to_string(at));
    };
    const auto skipTo = [&](std::size_t from, std::string_view end, const char* what) {
        const std::size_t at = t.find(end, from);
        if (at == std::string::npos) fail(std::string(what) + " sin cerrar", from);
        return at + end.size();
    };
    if (!tables::IsUtf8(t)) throw XmlError("no está en UTF-8");
    for (std::size_t at = 0; at < t.size(); ++at) {
        const auto c = static_cast<unsigned char>(t[at]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') fail("carácter de control " + std::to_string(c), at);
    }
    std::vector<std::size_t> open;
    bool rootSeen = false;
    std::size_t i = t.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (i < t.size()) {
        const std::size_t lt = t.find('<', i);
        if (lt == std::string::npos) {
            if (!open.empty()) fail("el elemento «" + elements_[open.back()].name + "» queda abierto", t.size());
            break;
        }
        if (open.empty() && t.find_first_not_of(" \t\r\n", i) < lt) fail("texto fuera del elemento raíz", i);
        if (t.compare(lt, 4, "<!--") == 0) {
            i = skipTo(lt + 4, "-->", "comentario");
            if (t.substr(lt + 4, i - 3 - lt - 4).find("--") != std::string::npos || (i - 4 >= lt + 4 && t[i - 4] == '-'))
                fail("«--» dentro de un comentario", lt);
        } else if (t.compare(lt, 9, "<![CDATA[") == 0) {
            if (open.empty()) fail("CDATA fuera del elemento raíz", lt);
            i = skipTo(lt + 9, "]]>", "CDATA");
        } else if (t.compare(lt, 2, "<?") == 0) {
            i = skipTo(lt + 2, "?>", "instrucción");
        } else if (t.compare(lt, 2, "<!") == 0) {
            if (rootSeen || !open.empty()) fail("declaración fuera de su sitio", lt);
            // A DOCTYPE: its quoted identifiers may hold ">"; an internal subset is not read.
            std::size_t j = lt + 2;
            for (char quote = 0; j < t.size(); ++j) {
                if (quote != 0) {
                    if (t[j] == quote) quote = 0;
                } else if (t[j] == '"' || t[j] == '\'') {
                    quote = t[j];
                } else if (t[j] == '[') {
                    fail("DOCTYPE con subconjunto interno, que no se lee", j);
                } else if (t[j] == '>') {
                    break;
                }
            }
            if (j >= t.size()) fail("declaración sin cerrar", lt);
            i = j + 1;
        } else if (t.compare(lt, 2, "</") == 0) {
            std::size_t j = lt + 2;
            while (j < t.size() && NameChar(t[j])) ++j;
            const std::string name = t.substr(lt + 2, j - lt - 2);
            while (j < t.size() && Space(t[j])) ++j;
            if (j >= t.size() || t[j] != '>') fail("etiqueta de cierre sin «>»", lt);
            if (open.empty() || elements_[open.back()].name != name)
                fail("«</" + name + ">» no cierra " + (open.empty() ? std::string("nada") : "«" + elements_[open.back()].name + "»"), lt);
            XmlElement& e = elements_[open.back()];
            e.contentEnd = lt;
            e.end = j + 1;
            open.pop_back();
            i = j + 1;
        } else {
            if (open.empty() && rootSeen) fail("un segundo elemento raíz", lt);
            std::size_t j = lt + 1;
            while (j < t.size() && NameChar(t[j])) ++j;
            if (j == lt + 1) fail("«<» sin nombre de elemento", lt);
            XmlElement e;
            std::set<std::string> names;
            e.name = t.substr(lt + 1, j - lt - 1);
            e.begin = lt;
            bool empty = false;
            while (true) {
                const std::size_t before = j;
                while (j < t.size() && Space(t[j])) ++j;
                if (j >= t.size()) fail("etiqueta «" + e.name + "» sin cerrar", lt);
                if (t[j] == '>') {
                    ++j;
                    break;
                }
                if (t.compare(j, 2, "/>") == 0) {
                    j += 2;
                    empty = true;
                    break;
                }
                if (j == before) fail("atributo sin espacio delante", j);
                const std::size_t nameAt = j;
                while (j < t.size() && NameChar(t[j])) ++j;
                if (j == nameAt) fail("atributo sin nombre", j);
                XmlAttribute a;
                a.name = t.substr(nameAt, j - nameAt);
                while (j < t.size() && Space(t[j])) ++j;
                if (j >= t.size() || t[j] != '=') fail("atributo «" + a.name + "» sin valor", j);
                ++j;
                while (j < t.size() && Space(t[j])) ++j;
                if (j >= t.size() || (t[j] != '"' && t[j] != '\'')) fail("valor de «" + a.name + "» sin comillas", j);
                const char quote = t[j];
                const std::size_t close = t.find(quote, j + 1);
                if (close == std::string::npos) fail("valor de «" + a.name + "» sin cerrar", j);
                if (t.find('<', j + 1) < close) fail("«<» en el valor de «" + a.name + "»", j);
                a.begin = j + 1;
                a.end = close;
                Decoded(std::string_view(t).substr(a.begin, a.end - a.begin), a.begin);
                if (!names.insert(a.name).second) fail("atributo «" + a.name + "» repetido", nameAt);
                e.attributes.push_back(std::move(a));
                j = close + 1;
            }
            e.contentBegin = j;
            const std::size_t index = elements_.size();
            e.parent = open.empty() ? index : open.back();
            if (!open.empty()) elements_[open.back()].children.push_back(index);
            if (empty) {
                e.contentEnd = j;
                e.end = j;
            }
            elements_.push_back(std::move(e));
            rootSeen = true;
            if (!empty) {
                if (open.size() >= kMaxDepth) fail("demasiados elementos anidados", lt);
                open.push_back(index);
            }
            i = j;
        }
        // Character data between tags must read.
        if (!open.empty() && i < t.size()) {
            const std::size_t next = std::min(t.find('<', i), t.size());
            const std::string_view data = std::string_view(t).substr(i, next - i);
            if (const std::size_t bad = data.find("]]>"); bad != std::string_view::npos) fail("«]]>» fuera de un CDATA", i + bad);
            Decoded(data, i);
        }
    }
    if (!rootSeen) throw XmlError("no hay ningún elemento");
    if (!open.empty()) throw XmlError("el elemento «" + elements_[open.back()].name + "» queda abierto");
}

std::optional<std::size_t> XmlDocument::Child(std::size_t element, std::string_view name) const {
    for (std::size_t c : elements_[element].children)
        if (elements_[c].name == name) return c;
    return std::nullopt;
}

std::vector<std::size_t> XmlDocument::Children(std::size_t element, std::string_view name) const {
    std::vector<std::size_t> found;
    for (std::size_t c : elements_[element].children)
        if (elements_[c].name == name) found.push_back(c);
    return found;
}

std::optional<std::size_t> XmlDocument::Find(std::size_t element, std::string_view path) const {
    std::optional<std::size_t> at = element;
    while (at && !path.empty()) {
        const std::size_t slash = std::min(path.find('/'), path.size());
        at = Child(*at, path.substr(0, slash));
        path.remove_prefix(std::min(slash + 1, path.size()));
    }
    return at;
}

std::vector<std::size_t> XmlDocument::Descendants(std::size_t element, std::string_view name) const {
    std::vector<std::size_t> found;
    // Elements are numbered in document order: those below `element` follow it until its end.
    for (std::size_t i = element + 1; i < elements_.size() && elements_[i].begin < elements_[element].end; ++i)
        if (elements_[i].name == name) found.push_back(i);
    return found;
}

std::string XmlDocument::TextOf(std::size_t element) const {
    const XmlElement& e = elements_[element];
    std::string out;
    std::size_t at = e.contentBegin;
    std::size_t child = 0;
    while (at < e.contentEnd) {
        const std::size_t nextChild = child < e.children.size() ? elements_[e.children[child]].begin : e.contentEnd;
        std::size_t stop = std::min(text_.find('<', at), nextChild);
        if (stop > e.contentEnd) stop = e.contentEnd;
        out += Decoded(std::string_view(text_).substr(at, stop - at), at);
        if (stop >= e.contentEnd) break;
        if (stop == nextChild) {
            at = elements_[e.children[child++]].end;
        } else if (text_.compare(stop, 9, "<![CDATA[") == 0) {
            const std::size_t close = text_.find("]]>", stop + 9);
            out += text_.substr(stop + 9, close - stop - 9);
            at = close + 3;
        } else if (text_.compare(stop, 4, "<!--") == 0) {
            at = text_.find("-->", stop + 4) + 3;
        } else {
            at = text_.find("?>", stop + 2) + 2;
        }
    }
    return out;
}

std::optional<std::string> XmlDocument::AttributeOf(std::size_t element, std::string_view name) const {
    for (const XmlAttribute& a : elements_[element].attributes)
        if (a.name == name) return Decoded(std::string_view(text_).substr(a.begin, a.end - a.begin), a.begin);
    return std::nullopt;
}

void XmlDocument::SetText(std::size_t element, std::string_view text) { SetContent(element, XmlEscaped(text, false)); }

void XmlDocument::SetContent(std::size_t element, std::string xml) {
    const XmlElement& e = elements_[element];
    if (e.contentBegin == e.end) {
        // <a/> becomes <a>...</a>.
        const std::size_t slash = text_.rfind('/', e.end - 1);
        edits_.push_back({slash, e.end, ">" + xml + "</" + e.name + ">"});
        return;
    }
    edits_.push_back({e.contentBegin, e.contentEnd, std::move(xml)});
}

void XmlDocument::SetAttribute(std::size_t element, std::string_view name, std::string_view value) {
    for (const XmlAttribute& a : elements_[element].attributes)
        if (a.name == name) {
            std::string escaped = XmlEscaped(value, true);
            if (text_[a.begin - 1] == '\'') {
                // Between single quotes, a double quote may stand and a single one may not.
                std::string within;
                for (std::size_t at = 0; at < escaped.size();) {
                    if (escaped.compare(at, 6, "&quot;") == 0) within += '"', at += 6;
                    else if (escaped[at] == '\'') within += "&apos;", ++at;
                    else within += escaped[at++];
                }
                escaped = std::move(within);
            }
            edits_.push_back({a.begin, a.end, std::move(escaped)});
            return;
        }
}

std::string XmlDocument::Edited() const {
    std::vector<Edit> edits = edits_;
    std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.begin < b.begin; });
    std::string out;
    out.reserve(text_.size());
    std::size_t at = 0;
    for (const Edit& e : edits) {
        if (e.begin < at) throw std::logic_error("dos cambios en los mismos bytes del XML");
        out.append(text_, at, e.begin - at);
        out += e.text;
        at = e.end;
    }
    out.append(text_, at, std::string::npos);
    return out;
}

std::string XmlDocument::IndentOf(std::size_t element) const {
    const std::size_t begin = elements_[element].begin;
    const std::size_t line = text_.rfind('\n', begin == 0 ? 0 : begin - 1);
    const std::size_t start = line == std::string::npos ? 0 : line + 1;
    const std::string indent = text_.substr(start, begin - start);
    return indent.find_first_not_of(" \t") == std::string::npos ? indent : std::string();
}

std::string XmlEscaped(std::string_view text, bool attribute) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += attribute ? "&quot;" : "\""; break;
            case '\n': out += attribute ? "&#xa;" : "\n"; break;
            case '\r': out += attribute ? "&#xd;" : "\r"; break;
            case '\t': out += attribute ? "&#x9;" : "\t"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace projects
