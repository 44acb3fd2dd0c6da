// The demo's tracks written into a document the GNU Rocket editor (or an author) may have changed since:
// everything the demo does not own stays as it was, byte for byte, so that bookmarks, the editor's own
// tracks, attributes the demo does not know and a longer document survive every save.
#include "sync/rocket_document.h"

#include "sync/sync_tracks.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum class PieceKind { Text, Start, Empty, End, Other };

struct Attribute {
    std::string name, value;     // the value with its entities decoded
    size_t valueBegin, valueEnd; // the value's raw text, inside its quotes
};

struct Piece {
    PieceKind kind;
    size_t begin, end; // the piece's text, `<` to `>` for a tag
    std::string name;
    std::vector<Attribute> attributes;
};

// Why a document cannot be read; the first fault found.
struct Fault {
    char text[160] = "";
    bool any = false;
};

void fail(Fault& fault, size_t at, const char* what) {
    if (!fault.any)
        std::snprintf(fault.text, sizeof fault.text, "%s at byte %zu", what, at);
    fault.any = true;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isNameChar(char c) {
    return !isSpace(c) && c != '=' && c != '>' && c != '/' && c != '<' && c != '"' && c != '\'' && c != '\0';
}

// An attribute value's text with the five named entities and numeric references decoded; false on a
// reference that is not one of them.
bool decodeEntities(const std::string& raw, std::string* out) {
    out->clear();
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '&') {
            *out += raw[i];
            continue;
        }
        const size_t semicolon = raw.find(';', i);
        if (semicolon == std::string::npos)
            return false;
        const std::string entity = raw.substr(i + 1, semicolon - i - 1);
        static const char* const NAMED[][2] = {
            {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}};
        bool known = false;
        for (const auto& named : NAMED)
            if (entity == named[0]) {
                *out += named[1];
                known = true;
            }
        if (!known && entity.size() > 1 && entity[0] == '#') {
            const bool hex = entity[1] == 'x';
            char* end = nullptr;
            const unsigned long code = std::strtoul(entity.c_str() + (hex ? 2 : 1), &end, hex ? 16 : 10);
            if (end == nullptr || *end != '\0' || code == 0 || code > 0x10FFFF)
                return false;
            // Track names are compared as UTF-8 bytes.
            if (code < 0x80) {
                *out += static_cast<char>(code);
            } else if (code < 0x800) {
                *out += static_cast<char>(0xC0 | (code >> 6));
                *out += static_cast<char>(0x80 | (code & 0x3F));
            } else if (code < 0x10000) {
                *out += static_cast<char>(0xE0 | (code >> 12));
                *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                *out += static_cast<char>(0x80 | (code & 0x3F));
            } else {
                *out += static_cast<char>(0xF0 | (code >> 18));
                *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
                *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                *out += static_cast<char>(0x80 | (code & 0x3F));
            }
            known = true;
        }
        if (!known)
            return false;
        i = semicolon;
    }
    return true;
}

// A tag from `<` at `at`; its end is the `>`'s index + 1.
bool readTag(const std::string& text, size_t at, Piece* piece, Fault& fault) {
    size_t i = at + 1;
    const bool closing = i < text.size() && text[i] == '/';
    if (closing)
        ++i;
    const size_t nameBegin = i;
    while (i < text.size() && isNameChar(text[i]))
        ++i;
    if (i == nameBegin) {
        fail(fault, at, "a tag without a name");
        return false;
    }
    piece->name = text.substr(nameBegin, i - nameBegin);
    piece->begin = at;
    for (;;) {
        while (i < text.size() && isSpace(text[i]))
            ++i;
        if (i >= text.size()) {
            fail(fault, at, "a tag that does not end");
            return false;
        }
        if (text[i] == '>') {
            piece->kind = closing ? PieceKind::End : PieceKind::Start;
            piece->end = i + 1;
            return true;
        }
        if (text[i] == '/' && !closing && i + 1 < text.size() && text[i + 1] == '>') {
            piece->kind = PieceKind::Empty;
            piece->end = i + 2;
            return true;
        }
        if (closing) {
            fail(fault, i, "an end tag with more than its name");
            return false;
        }
        Attribute attribute;
        const size_t attributeBegin = i;
        while (i < text.size() && isNameChar(text[i]))
            ++i;
        attribute.name = text.substr(attributeBegin, i - attributeBegin);
        while (i < text.size() && isSpace(text[i]))
            ++i;
        if (attribute.name.empty() || i >= text.size() || text[i] != '=') {
            fail(fault, attributeBegin, "an attribute without a value");
            return false;
        }
        ++i;
        while (i < text.size() && isSpace(text[i]))
            ++i;
        if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) {
            fail(fault, i, "an attribute value without quotes");
            return false;
        }
        const char quote = text[i++];
        const size_t close = text.find(quote, i);
        if (close == std::string::npos || text.find('<', i) < close) {
            fail(fault, i, "an attribute value that does not end");
            return false;
        }
        attribute.valueBegin = i;
        attribute.valueEnd = close;
        if (!decodeEntities(text.substr(i, close - i), &attribute.value)) {
            fail(fault, i, "an unknown entity");
            return false;
        }
        for (const Attribute& other : piece->attributes)
            if (other.name == attribute.name) {
                fail(fault, attributeBegin, "an attribute given twice");
                return false;
            }
        piece->attributes.push_back(attribute);
        i = close + 1;
    }
}

// The document's pieces in order, the text between tags included, so that joining them gives it back.
bool splitDocument(const std::string& text, std::vector<Piece>* pieces, Fault& fault) {
    size_t i = 0;
    while (i < text.size()) {
        Piece piece;
        if (text[i] != '<') {
            const size_t next = text.find('<', i);
            piece.kind = PieceKind::Text;
            piece.begin = i;
            piece.end = next == std::string::npos ? text.size() : next;
        } else {
            // Declarations, comments, processing instructions and character data are kept as they are.
            static const char* const OTHER[][2] = {{"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}};
            bool other = false;
            for (const auto& kind : OTHER)
                if (text.compare(i, std::strlen(kind[0]), kind[0]) == 0) {
                    const size_t close = text.find(kind[1], i + std::strlen(kind[0]));
                    if (close == std::string::npos) {
                        fail(fault, i, "a comment or declaration that does not end");
                        return false;
                    }
                    piece.kind = PieceKind::Other;
                    piece.begin = i;
                    piece.end = close + std::strlen(kind[1]);
                    other = true;
                    break;
                }
            if (!other && text.compare(i, 2, "<!") == 0) {
                const size_t subset = text.find('[', i), close = text.find('>', i);
                if (close == std::string::npos || subset < close) {
                    fail(fault, i, "a document type the demo does not read");
                    return false;
                }
                piece.kind = PieceKind::Other;
                piece.begin = i;
                piece.end = close + 1;
                other = true;
            }
            if (!other && !readTag(text, i, &piece, fault))
                return false;
        }
        i = piece.end;
        pieces->push_back(std::move(piece));
    }
    return true;
}

const Attribute* findAttribute(const Piece& piece, const char* name) {
    for (const Attribute& attribute : piece.attributes)
        if (attribute.name == name)
            return &attribute;
    return nullptr;
}

int demoTrackNamed(const std::string& name) {
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track)
        if (name == SYNC_TRACK_NAMES[track])
            return track;
    return -1;
}

// The white space that stands before `at` on its line: the indentation of what starts there.
std::string indentBefore(const std::string& text, size_t at) {
    size_t begin = at;
    while (begin > 0 && (text[begin - 1] == ' ' || text[begin - 1] == '\t'))
        --begin;
    if (begin > 0 && text[begin - 1] != '\n')
        return std::string();
    return text.substr(begin, at - begin);
}

} // namespace

static void appendKeyLines(std::string& out, int track, const std::string& indent) {
    char line[128];
    const SyncTrackKeys& keys = syncTracks.tracks[track];
    for (int i = 0; i < keys.count; ++i) {
        formatRocketKey(keys.rows[i], keys.values[i], keys.interpolations[i], line, sizeof line);
        out += '\n' + indent + line;
    }
}

// A track the document lacks, on a line of its own led by its line break.
static void appendNewTrack(std::string& out, int track, const std::string& indent) {
    std::string element;
    appendRocketTrack(element, track, indent);
    if (!element.empty() && element.back() == '\n')
        element.pop_back();
    out += '\n' + element;
}

namespace {

// The document taken apart: its pieces, how they nest, and what of it the demo owns.
struct Document {
    const std::string& text;
    std::vector<Piece> pieces;
    std::vector<size_t> parent; // the start tag a tag stands in, SIZE_MAX at the top (text: not set)
    std::vector<size_t> finish; // for a start tag, its end tag's index; for an empty tag, its own
    size_t root = SIZE_MAX, tracks = SIZE_MAX;
    long rows = -1; // the root's rows, -1 without the attribute
};

// Matches the tags and finds the <sync> root and its <tracks>; false with the first fault.
bool structure(Document& d, Fault& fault) {
    std::vector<size_t> open;
    d.parent.assign(d.pieces.size(), SIZE_MAX);
    d.finish.assign(d.pieces.size(), SIZE_MAX);
    for (size_t p = 0; p < d.pieces.size() && !fault.any; ++p) {
        const Piece& piece = d.pieces[p];
        if (piece.kind == PieceKind::Text) {
            for (size_t i = piece.begin; i < piece.end && open.empty(); ++i)
                if (!isSpace(d.text[i])) {
                    fail(fault, i, "text outside the root element");
                    break;
                }
        } else if (piece.kind == PieceKind::End) {
            if (open.empty() || d.pieces[open.back()].name != piece.name) {
                fail(fault, piece.begin, "an end tag that closes nothing open");
                break;
            }
            d.finish[open.back()] = p;
            open.pop_back();
        } else if (piece.kind != PieceKind::Other) {
            if (open.empty() && d.root != SIZE_MAX)
                fail(fault, piece.begin, "a second root element");
            if (open.empty())
                d.root = p;
            else
                d.parent[p] = open.back();
            if (piece.kind == PieceKind::Start)
                open.push_back(p);
            else
                d.finish[p] = p;
        }
    }
    if (!fault.any && !open.empty())
        fail(fault, d.pieces[open.back()].begin, "an element that is never closed");
    if (!fault.any && (d.root == SIZE_MAX || d.pieces[d.root].name != "sync"))
        fail(fault, d.root == SIZE_MAX ? 0 : d.pieces[d.root].begin, "no <sync> root element");
    if (fault.any)
        return false;
    if (const Attribute* rows = findAttribute(d.pieces[d.root], "rows")) {
        char* end = nullptr;
        d.rows = std::strtol(rows->value.c_str(), &end, 10);
        if (rows->value.empty() || *end != '\0' || d.rows < 0 || d.rows > SYNC_MAX_ROW + 1L) {
            fail(fault, rows->valueBegin, "a rows attribute that is not a row count");
            return false;
        }
    }
    for (size_t p = 0; p < d.pieces.size() && d.tracks == SIZE_MAX; ++p)
        if (d.parent[p] == d.root && d.pieces[p].name == "tracks" && d.pieces[p].kind != PieceKind::End)
            d.tracks = p;
    return true;
}

// An empty tag's text as a start tag: "<x a=\"1\" />" gives "<x a=\"1\">".
std::string asStartTag(const Document& d, const Piece& piece) {
    size_t end = piece.end - 2;
    while (end > piece.begin && isSpace(d.text[end - 1]))
        --end;
    return d.text.substr(piece.begin, end - piece.begin) + '>';
}

// A start tag's text as an empty tag: "<x a=\"1\">" gives "<x a=\"1\"/>".
std::string asEmptyTag(const Document& d, const Piece& piece) {
    return d.text.substr(piece.begin, piece.end - 1 - piece.begin) + "/>";
}

std::string verbatim(const Document& d, const Piece& piece) {
    return d.text.substr(piece.begin, piece.end - piece.begin);
}

// Text that leads up to a key that goes: without the key's own line.
std::string withoutLastLine(std::string text) {
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    if (end > 0 && text[end - 1] == '\n')
        --end;
    if (end > 0 && text[end - 1] == '\r')
        --end;
    text.resize(end);
    return text;
}

} // namespace

bool mergeRocketDocument(const std::string& existing, int rows, const bool keepTrack[SYNC_TRACK_COUNT],
                         std::string* merged, char* message, size_t messageSize) {
    Fault fault;
    Document d{existing, {}, {}, {}};
    if (!splitDocument(existing, &d.pieces, fault) || !structure(d, fault)) {
        std::snprintf(message, messageSize, "%s", fault.text);
        return false;
    }
    // The demo's tracks the document has, by the piece of their tag; the rest are added to <tracks>.
    bool present[SYNC_TRACK_COUNT] = {};
    std::vector<int> demoTrack(d.pieces.size(), -1);
    for (size_t p = 0; p < d.pieces.size(); ++p) {
        const Piece& piece = d.pieces[p];
        if (d.tracks == SIZE_MAX || d.parent[p] != d.tracks || piece.name != "track" ||
            piece.kind == PieceKind::End || piece.kind == PieceKind::Text)
            continue;
        const Attribute* name = findAttribute(piece, "name");
        const int track = name != nullptr ? demoTrackNamed(name->value) : -1;
        if (track < 0)
            continue;
        present[track] = true;
        if (!keepTrack[track])
            demoTrack[p] = track;
    }
    std::string missing;
    const std::string tracksIndent =
        d.tracks != SIZE_MAX ? indentBefore(existing, d.pieces[d.tracks].begin) : std::string("\t");
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track)
        if (!present[track])
            appendNewTrack(missing, track, tracksIndent + '\t');

    std::string out;
    out.reserve(existing.size() + missing.size() + 4096);
    for (size_t p = 0; p < d.pieces.size(); ++p) {
        const Piece& piece = d.pieces[p];
        if (p == d.root) {
            // The rows an editor gave the document stay when they are more than the demo needs.
            std::string tag = piece.kind == PieceKind::Empty ? asStartTag(d, piece) : verbatim(d, piece);
            const std::string count = std::to_string(d.rows > rows ? d.rows : rows);
            if (const Attribute* at = findAttribute(piece, "rows"))
                tag.replace(at->valueBegin - piece.begin, at->valueEnd - at->valueBegin, count);
            else
                tag.insert(1 + piece.name.size(), " rows=\"" + count + "\"");
            out += tag;
            if (d.tracks == SIZE_MAX)
                out += "\n\t<tracks>" + missing + "\n\t</tracks>";
            if (piece.kind == PieceKind::Empty)
                out += "\n</sync>";
            continue;
        }
        if (demoTrack[p] >= 0) {
            // One of the demo's tracks: its tag as it stands, the table's keys, then what else it held.
            const int track = demoTrack[p];
            const std::string indent = indentBefore(existing, piece.begin);
            if (piece.kind == PieceKind::Empty) {
                if (syncTracks.tracks[track].count == 0) {
                    out += verbatim(d, piece);
                } else {
                    out += asStartTag(d, piece);
                    appendKeyLines(out, track, indent + '\t');
                    out += '\n' + indent + "</track>";
                }
                continue;
            }
            // The keys line up with those they replace.
            const size_t end = d.finish[p];
            std::string keyIndent = indent + '\t';
            for (size_t q = p + 1; q < end; ++q)
                if (d.parent[q] == p && d.pieces[q].name == "key") {
                    keyIndent = indentBefore(existing, d.pieces[q].begin);
                    break;
                }
            std::string element = verbatim(d, piece);
            appendKeyLines(element, track, keyIndent);
            bool onlyKeys = true;
            for (size_t q = p + 1; q < end; ++q) {
                const bool keyNext = q + 1 < end && d.parent[q + 1] == p && d.pieces[q + 1].name == "key" &&
                                     d.pieces[q + 1].kind != PieceKind::End;
                if (d.parent[q] == p && d.pieces[q].name == "key" && d.pieces[q].kind != PieceKind::Text) {
                    q = d.finish[q];
                    continue;
                }
                const std::string kept =
                    keyNext ? withoutLastLine(verbatim(d, d.pieces[q])) : verbatim(d, d.pieces[q]);
                element += kept;
                onlyKeys = onlyKeys && kept.find_first_not_of(" \t\r\n") == std::string::npos;
            }
            // A track left without keys or anything else is written as the demo writes an empty one.
            if (onlyKeys && syncTracks.tracks[track].count == 0)
                element = piece.kind == PieceKind::Start ? asEmptyTag(d, piece) : element;
            else
                element += verbatim(d, d.pieces[end]);
            out += element;
            p = end;
            continue;
        }
        if (p == d.tracks && piece.kind == PieceKind::Empty) {
            out += missing.empty() ? verbatim(d, piece)
                                   : asStartTag(d, piece) + missing + '\n' + tracksIndent + "</tracks>";
            continue;
        }
        if (d.tracks != SIZE_MAX && p == d.finish[d.tracks] && p != d.tracks) {
            // Before the line break that leads to </tracks>, which keeps its own line.
            const size_t at = withoutLastLine(out).size();
            out.insert(at, missing);
        }
        out += verbatim(d, piece);
    }
    *merged = std::move(out);
    return true;
}
