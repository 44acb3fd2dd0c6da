// Reading and writing track files, and their names.
#include "sync/track_files.h"

#include "sync/rocket_document.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

const char* const SYNC_FILE_BASE = "sync";

static bool keptInFileName(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '/';
}

bool escapeTrackName(const char* name, char* out, size_t outSize) {
    static const char HEX[] = "0123456789ABCDEF";
    size_t at = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != '\0'; ++p) {
        size_t need = keptInFileName(*p) ? 1 : 3;
        if (at + need >= outSize)
            return false;
        if (need == 1) {
            out[at++] = static_cast<char>(*p);
        } else {
            out[at++] = '-';
            out[at++] = HEX[*p >> 4];
            out[at++] = HEX[*p & 15];
        }
    }
    if (outSize == 0)
        return false;
    out[at] = '\0';
    return true;
}

bool trackFileName(const char* base, const char* trackName, char* out, size_t outSize) {
    char escaped[SYNC_FILE_NAME_ROOM];
    if (!escapeTrackName(trackName, escaped, sizeof escaped))
        return false;
    int length = std::snprintf(out, outSize, "%s_%s.track", base, escaped);
    return length >= 0 && static_cast<size_t>(length) < outSize;
}

static void putLittleEndian32(unsigned char* out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * i));
}

static uint32_t getLittleEndian32(const unsigned char* in) {
    return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
           static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
}

size_t encodeTrackFile(int track, unsigned char* out, size_t outSize) {
    if (track < 0 || track >= SYNC_TRACK_COUNT)
        return 0;
    const SyncTrackKeys& keys = syncTracks.tracks[track];
    size_t size = 4 + SYNC_KEY_BYTES * static_cast<size_t>(keys.count);
    if (size > outSize)
        return 0;
    putLittleEndian32(out, static_cast<uint32_t>(keys.count));
    unsigned char* key = out + 4;
    for (int i = 0; i < keys.count; ++i, key += SYNC_KEY_BYTES) {
        uint32_t bits = 0;
        std::memcpy(&bits, &keys.values[i], sizeof bits);
        putLittleEndian32(key, static_cast<uint32_t>(keys.rows[i]));
        putLittleEndian32(key + 4, bits);
        key[8] = keys.interpolations[i];
    }
    return size;
}

// Checks and takes the keys; the caller clears the track when this fails.
static bool takeTrackBytes(SyncTrackKeys& keys, const unsigned char* bytes, size_t size, char* reason,
                           size_t reasonSize) {
    if (size < 4) {
        std::snprintf(reason, reasonSize, "%zu bytes, too short for a key count", size);
        return false;
    }
    int32_t count = static_cast<int32_t>(getLittleEndian32(bytes));
    if (count < 0 || count > SYNC_MAX_KEYS) {
        std::snprintf(reason, reasonSize, "a key count of %ld (0 to %d)", static_cast<long>(count),
                      SYNC_MAX_KEYS);
        return false;
    }
    size_t expected = 4 + SYNC_KEY_BYTES * static_cast<size_t>(count);
    if (size != expected) {
        std::snprintf(reason, reasonSize, "%zu bytes where %ld keys take %zu (%s)", size,
                      static_cast<long>(count), expected, size < expected ? "cut short" : "bytes left over");
        return false;
    }
    const unsigned char* key = bytes + 4;
    for (int32_t i = 0; i < count; ++i, key += SYNC_KEY_BYTES) {
        int32_t row = static_cast<int32_t>(getLittleEndian32(key));
        uint32_t bits = getLittleEndian32(key + 4);
        float value = 0.0f;
        std::memcpy(&value, &bits, sizeof value);
        uint8_t interpolation = key[8];
        if (row < 0 || row > SYNC_MAX_ROW) {
            std::snprintf(reason, reasonSize, "key %ld: row %ld outside 0 to %ld", static_cast<long>(i),
                          static_cast<long>(row), static_cast<long>(SYNC_MAX_ROW));
            return false;
        }
        if (i > 0 && row <= keys.rows[i - 1]) {
            std::snprintf(reason, reasonSize, "key %ld: row %ld %s row %ld", static_cast<long>(i),
                          static_cast<long>(row), row == keys.rows[i - 1] ? "repeats" : "comes after",
                          static_cast<long>(keys.rows[i - 1]));
            return false;
        }
        if (!std::isfinite(value)) {
            std::snprintf(reason, reasonSize, "key %ld (row %ld): the value is not a finite number",
                          static_cast<long>(i), static_cast<long>(row));
            return false;
        }
        if (interpolation > SYNC_LAST_INTERPOLATION) {
            std::snprintf(reason, reasonSize, "key %ld (row %ld): interpolation %u (0 to 3)",
                          static_cast<long>(i), static_cast<long>(row), static_cast<unsigned>(interpolation));
            return false;
        }
        keys.rows[i] = row;
        keys.values[i] = value;
        keys.interpolations[i] = interpolation;
    }
    keys.count = count;
    return true;
}

bool decodeTrackFile(int track, const unsigned char* bytes, size_t size, char* reason, size_t reasonSize) {
    if (track < 0 || track >= SYNC_TRACK_COUNT) {
        std::snprintf(reason, reasonSize, "no track %d", track);
        return false;
    }
    SyncTrackKeys& keys = syncTracks.tracks[track];
    keys.count = 0;
    return takeTrackBytes(keys, bytes, size, reason, reasonSize);
}

// One file's bytes at a time: a read or a write never allocates.
static unsigned char fileBytes[SYNC_MAX_FILE_BYTES + 1];

static std::string trackPath(const char* folder, const char* base, int track) {
    char name[SYNC_FILE_NAME_ROOM];
    if (!trackFileName(base, SYNC_TRACK_NAMES[track], name, sizeof name))
        return std::string();
    return (std::filesystem::path(folder) / name).string();
}

// The file each track's last read refused, as a whole path; empty when it was taken or missing.
static std::string refusedFiles[SYNC_TRACK_COUNT];

static std::string wholePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path whole = std::filesystem::absolute(path, error);
    return (error ? std::filesystem::path(path) : whole).lexically_normal().string();
}

void forgetRefusedTrackFiles() {
    for (std::string& file : refusedFiles)
        file.clear();
}

bool trackFileRefused(const char* folder, const char* base, int track) {
    if (track < 0 || track >= SYNC_TRACK_COUNT || refusedFiles[track].empty())
        return false;
    const std::string path = trackPath(folder, base, track);
    return !path.empty() && wholePath(path) == refusedFiles[track];
}

bool readTrackFile(const char* folder, const char* base, int track, char* message, size_t messageSize) {
    if (track < 0 || track >= SYNC_TRACK_COUNT) {
        std::snprintf(message, messageSize, "no track %d", track);
        return false;
    }
    clearSyncTrack(track);
    refusedFiles[track].clear();
    std::string path = trackPath(folder, base, track);
    if (path.empty()) {
        std::snprintf(message, messageSize, "%s: the file name is too long", SYNC_TRACK_NAMES[track]);
        return false;
    }
    char reason[160];
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        if (errno == ENOENT)
            return true;
        // There but not readable: a write must not take it for a missing file.
        std::snprintf(reason, sizeof reason, "cannot be opened (%s)", std::strerror(errno));
    } else {
        size_t size = std::fread(fileBytes, 1, sizeof fileBytes, file);
        bool readError = std::ferror(file) != 0;
        std::fclose(file);
        if (readError)
            std::snprintf(reason, sizeof reason, "cannot be read");
        else if (size > SYNC_MAX_FILE_BYTES)
            std::snprintf(reason, sizeof reason, "longer than a full track's %zu bytes", SYNC_MAX_FILE_BYTES);
        else if (decodeTrackFile(track, fileBytes, size, reason, sizeof reason))
            return true;
    }
    clearSyncTrack(track);
    refusedFiles[track] = wholePath(path);
    std::snprintf(message, messageSize, "%s: refused, %s; the track has no keys", path.c_str(), reason);
    return false;
}

int readTrackFiles(const char* folder, const char* base, SyncFileReport report) {
    int refused = 0;
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track) {
        char message[512];
        if (!readTrackFile(folder, base, track, message, sizeof message)) {
            ++refused;
            if (report != nullptr)
                report(message);
        }
    }
    return refused;
}

// Bytes to `path`, whole or not at all: they go to a temporary file beside it, renamed over it once complete.
static bool writeWholeBytes(const std::string& path, const void* bytes, size_t size, char* message,
                            size_t messageSize) {
    std::string temporary = path + ".partial";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        std::snprintf(message, messageSize, "%s: cannot be created", temporary.c_str());
        return false;
    }
    bool written = std::fwrite(bytes, 1, size, file) == size;
    written = std::fflush(file) == 0 && written;
    written = std::fclose(file) == 0 && written;
    std::error_code error;
    if (written)
        std::filesystem::rename(temporary, path, error);
    if (!written || error) {
        std::snprintf(message, messageSize, "%s: %s", path.c_str(),
                      written ? "cannot be replaced" : "cannot be written (disk full?)");
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

bool writeTrackFile(const char* folder, const char* base, int track, char* message, size_t messageSize) {
    if (track < 0 || track >= SYNC_TRACK_COUNT) {
        std::snprintf(message, messageSize, "no track %d", track);
        return false;
    }
    std::string path = trackPath(folder, base, track);
    if (path.empty()) {
        std::snprintf(message, messageSize, "%s: the file name is too long", SYNC_TRACK_NAMES[track]);
        return false;
    }
    if (trackFileRefused(folder, base, track)) {
        std::snprintf(message, messageSize,
                      "%s: left as it is, since it was refused; mend or remove it to write the track",
                      path.c_str());
        return false;
    }
    size_t size = encodeTrackFile(track, fileBytes, sizeof fileBytes);
    return writeWholeBytes(path, fileBytes, size, message, messageSize);
}

// The largest document read back for merging; an editor's document of full tracks is far smaller.
static constexpr uintmax_t ROCKET_DOCUMENT_MAX_BYTES = 64u << 20;

// The document as it stands in `path`: true with `*text` empty when there is none.
static bool readDocument(const std::string& path, std::string* text, char* message, size_t messageSize) {
    text->clear();
    std::error_code error;
    if (!std::filesystem::exists(path, error) && !error)
        return true;
    const uintmax_t size = std::filesystem::file_size(path, error);
    std::FILE* file = error ? nullptr : std::fopen(path.c_str(), "rb");
    if (file == nullptr || size > ROCKET_DOCUMENT_MAX_BYTES) {
        if (file != nullptr)
            std::fclose(file);
        std::snprintf(message, messageSize, "%s: left as it is, since it %s", path.c_str(),
                      file != nullptr ? "is too large to read" : "cannot be read");
        return false;
    }
    text->resize(static_cast<size_t>(size));
    const size_t got = std::fread(&(*text)[0], 1, text->size(), file);
    const bool readError = std::ferror(file) != 0 || got != text->size();
    std::fclose(file);
    if (readError) {
        std::snprintf(message, messageSize, "%s: left as it is, since it cannot be read", path.c_str());
        return false;
    }
    return true;
}

bool writeRocketDocument(const char* folder, char* message, size_t messageSize) {
    const std::string path = (std::filesystem::path(folder) / ROCKET_DOCUMENT_FILE).string();
    std::string existing;
    if (!readDocument(path, &existing, message, messageSize))
        return false;
    std::string text;
    if (existing.empty()) {
        text = rocketDocumentText(rocketDocumentRows());
    } else {
        bool keep[SYNC_TRACK_COUNT];
        for (int track = 0; track < SYNC_TRACK_COUNT; ++track)
            keep[track] = trackFileRefused(folder, SYNC_FILE_BASE, track);
        char fault[200];
        if (!mergeRocketDocument(existing, rocketDocumentRows(), keep, &text, fault, sizeof fault)) {
            std::snprintf(message, messageSize,
                          "%s: left as it is, since it cannot be read as a document (%s)", path.c_str(),
                          fault);
            return false;
        }
        if (text == existing)
            return true;
    }
    return writeWholeBytes(path, text.data(), text.size(), message, messageSize);
}

int writeTrackFiles(const char* folder, const char* base, SyncFileReport report, SyncTrackSet tracks) {
    int failed = 0, kept = 0;
    char message[512];
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track) {
        if ((tracks & syncTrackBit(track)) == 0)
            continue;
        const bool refused = trackFileRefused(folder, base, track);
        if (!writeTrackFile(folder, base, track, message, sizeof message)) {
            ++(refused ? kept : failed);
            if (report != nullptr)
                report(message);
        }
    }
    // The editor's document only beside track files that were all written, so that the two never disagree;
    // a refused file's track keeps its element there.
    if (failed == 0 && !writeRocketDocument(folder, message, sizeof message)) {
        ++failed;
        if (report != nullptr)
            report(message);
    }
    return failed + kept;
}
