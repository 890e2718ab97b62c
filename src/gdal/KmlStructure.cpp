#include "gdal/KmlStructure.h"

#include <cstdlib>

namespace gdal {
namespace {

// The local name of a tag's name: "gx:Track" is "Track".
std::string_view Local(std::string_view name) {
    const std::size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool IsContainer(std::string_view local) { return local == "Document" || local == "Folder"; }
bool IsFeature(std::string_view local) { return local == "Placemark" || local == "GroundOverlay"; }

void AppendUtf8(std::string& out, unsigned long c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x110000) {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Text content with its entities read: &amp; &lt; &gt; &quot; &apos; and &#...;.
void AppendText(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const std::size_t end = text.find(';', i);
        if (end == std::string_view::npos || end - i > 10) {
            out += '&';
            continue;
        }
        const std::string_view entity = text.substr(i + 1, end - i - 1);
        if (entity == "amp") out += '&';
        else if (entity == "lt") out += '<';
        else if (entity == "gt") out += '>';
        else if (entity == "quot") out += '"';
        else if (entity == "apos") out += '\'';
        else if (entity.starts_with("#x")) AppendUtf8(out, std::strtoul(std::string(entity.substr(2)).c_str(), nullptr, 16));
        else if (entity.starts_with("#")) AppendUtf8(out, std::strtoul(std::string(entity.substr(1)).c_str(), nullptr, 10));
        else out += std::string(text.substr(i, end - i + 1));
        i = end;
    }
}

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

KmlStructure ScanKml(std::string_view kml, const std::string& file) {
    KmlStructure s;
    std::vector<std::string> elements;  // local names, outermost first
    std::vector<int> containers;        // open containers' indexes
    int feature = 0;                    // depth in elements of the open feature; 0: none
    int track = 0;                      // likewise of its open gx:Track or gx:MultiTrack
    long long line = 1, trackLine = 0, positions = 0, times = 0;
    std::string* capture = nullptr;     // where the current element's text goes
    std::string captured;
    std::size_t at = 0;
    const auto countLines = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to && i < kml.size(); ++i) line += kml[i] == '\n';
    };
    while (at < kml.size() && s.problem.empty()) {
        const std::size_t open = kml.find('<', at);
        const std::size_t textEnd = open == std::string_view::npos ? kml.size() : open;
        if (capture != nullptr) AppendText(captured, kml.substr(at, textEnd - at));
        countLines(at, textEnd);
        if (open == std::string_view::npos) break;
        const std::string_view rest = kml.substr(open);
        std::size_t close;
        if (rest.starts_with("<!--")) {
            close = kml.find("-->", open + 4);
            close = close == std::string_view::npos ? kml.size() : close + 3;
        } else if (rest.starts_with("<![CDATA[")) {
            close = kml.find("]]>", open + 9);
            const std::size_t end = close == std::string_view::npos ? kml.size() : close;
            if (capture != nullptr) captured += std::string(kml.substr(open + 9, end - open - 9));
            close = close == std::string_view::npos ? kml.size() : close + 3;
        } else if (rest.starts_with("<?")) {
            close = kml.find("?>", open + 2);
            close = close == std::string_view::npos ? kml.size() : close + 2;
        } else if (rest.starts_with("<!DOCTYPE")) {
            // KML has none; one may declare entities that grow without end or read other files.
            s.problem = "la línea " + std::to_string(line) + " de " + file +
                        " declara un tipo de documento (DOCTYPE), que un KML no lleva y Talpor no lee: "
                        "quítelo del fichero o vuelva a exportarlo";
            break;
        } else if (rest.starts_with("<!")) {
            // A declaration, its internal subset included.
            const std::size_t bracket = kml.find('[', open), gt = kml.find('>', open);
            close = bracket != std::string_view::npos && bracket < gt ? kml.find("]>", bracket) : gt;
            close = close == std::string_view::npos ? kml.size() : kml.find('>', close) + 1;
        } else {
            // A tag: its end is the first '>' outside quotes.
            char quote = 0;
            close = open + 1;
            while (close < kml.size() && (quote != 0 || kml[close] != '>')) {
                if (quote == 0 && (kml[close] == '"' || kml[close] == '\'')) quote = kml[close];
                else if (quote != 0 && kml[close] == quote) quote = 0;
                ++close;
            }
            const bool closing = rest.size() > 1 && rest[1] == '/';
            const bool empty = close > open && kml[close - 1] == '/';
            std::size_t nameEnd = open + (closing ? 2 : 1);
            while (nameEnd < close && kml[nameEnd] != ' ' && kml[nameEnd] != '\t' && kml[nameEnd] != '\n' &&
                   kml[nameEnd] != '\r' && kml[nameEnd] != '/' && kml[nameEnd] != '>')
                ++nameEnd;
            const std::string_view local = Local(kml.substr(open + (closing ? 2 : 1), nameEnd - open - (closing ? 2 : 1)));
            if (!closing) {
                const bool inContainer = !containers.empty() && !elements.empty() && IsContainer(elements.back());
                if (IsContainer(local)) {
                    KmlContainer c;
                    c.depth = static_cast<int>(containers.size());
                    c.parent = containers.empty() ? -1 : containers.back();
                    s.containers.push_back(std::move(c));
                    containers.push_back(static_cast<int>(s.containers.size()) - 1);
                } else if (local == "name" && inContainer && s.containers[static_cast<std::size_t>(containers.back())].name.empty()) {
                    capture = &s.containers[static_cast<std::size_t>(containers.back())].name;
                    captured.clear();
                } else if (IsFeature(local) && feature == 0 && !containers.empty()) {
                    s.containers[static_cast<std::size_t>(containers.back())].trackModes.emplace_back();
                    feature = static_cast<int>(elements.size()) + 1;
                } else if ((local == "Track" || local == "MultiTrack") && feature > 0) {
                    if (track == 0) track = static_cast<int>(elements.size()) + 1;
                    if (local == "Track") trackLine = line, positions = times = 0;
                } else if (local == "altitudeMode" && track > 0) {
                    capture = &s.containers[static_cast<std::size_t>(containers.back())].trackModes.back();
                    captured.clear();
                } else if (local == "when" && track > 0) {
                    ++times;
                } else if (local == "coord" && track > 0) {
                    ++positions;
                }
                if (!empty) elements.emplace_back(local);
            }
            if (closing || empty) {
                if (capture != nullptr && (closing || empty)) {
                    *capture = Trimmed(captured);
                    capture = nullptr;
                }
                if (local == "Track" && track > 0 && positions > times)
                    s.problem = "el gx:Track de la línea " + std::to_string(trackLine) + " de " + file + " tiene " +
                                std::to_string(positions) + " posiciones (gx:coord) y " + std::to_string(times) +
                                (times == 1 ? " tiempo" : " tiempos") + " (when), que KML quiere iguales, y GDAL lo leería mal";
                if (closing && !elements.empty()) elements.pop_back();
                const int depth = static_cast<int>(elements.size());
                if (track > 0 && depth < track) track = 0;
                if (feature > 0 && depth < feature) feature = 0, track = 0;
                if (closing && IsContainer(local) && !containers.empty()) containers.pop_back();
            }
            close = close < kml.size() ? close + 1 : kml.size();
        }
        countLines(open, close);
        at = close;
    }
    return s;
}

std::vector<int> LayerContainers(const KmlStructure& kml, const std::vector<std::string>& names) {
    std::vector<int> of;
    std::size_t next = 0;
    for (const std::string& name : names) {
        while (next < kml.containers.size()) {
            const KmlContainer& c = kml.containers[next];
            const bool named = c.name.empty() ? name.starts_with("Layer #") : c.name == name;
            // The outermost is a layer for the features it holds itself, whatever its name.
            if (named || (next == 0 && !c.trackModes.empty())) break;
            ++next;
        }
        if (next == kml.containers.size()) return {};
        of.push_back(static_cast<int>(next++));
    }
    return of;
}

std::string FolderPath(const KmlStructure& kml, int index, const std::string& unnamed) {
    std::string path;
    for (int i = index; i >= 0 && kml.containers[static_cast<std::size_t>(i)].depth > 0;
         i = kml.containers[static_cast<std::size_t>(i)].parent) {
        const KmlContainer& c = kml.containers[static_cast<std::size_t>(i)];
        const std::string name = !c.name.empty() ? c.name : i == index ? unnamed : "";
        path = path.empty() ? name : name + "/" + path;
    }
    return path;
}

}  // namespace gdal
