// The fuzz targets' bodies: the stream reader and the track file reader, and the invariants they keep.
#include "fuzz/sync_fuzz_targets.h"

#include "sync/sync_protocol.h"
#include "sync/sync_tracks.h"
#include "sync/track_files.h"

#include <cmath>
#include <cstring>

namespace {
uint64_t mix(uint64_t hash, uint64_t value) {
    return (hash ^ value) * 0x100000001b3ull;
}

uint64_t tableDigest() {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const SyncTrackKeys& keys : syncTracks.tracks) {
        hash = mix(hash, static_cast<uint64_t>(keys.count));
        for (int i = 0; i < keys.count; ++i) {
            uint32_t bits = 0;
            std::memcpy(&bits, &keys.values[i], sizeof bits);
            hash = mix(mix(mix(hash, static_cast<uint32_t>(keys.rows[i])), bits), keys.interpolations[i]);
        }
    }
    return hash;
}

bool tableSound() {
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track) {
        const SyncTrackKeys& keys = syncTracks.tracks[track];
        if (keys.count < 0 || keys.count > SYNC_MAX_KEYS)
            return false;
        for (int i = 0; i < keys.count; ++i) {
            if (keys.rows[i] < 0 || keys.rows[i] > SYNC_MAX_ROW ||
                (i > 0 && keys.rows[i] <= keys.rows[i - 1]) || !std::isfinite(keys.values[i]) ||
                keys.interpolations[i] > SYNC_LAST_INTERPOLATION)
                return false;
        }
        if (keys.count > 0) {
            const double rows[] = {-1.0, keys.rows[0] + 0.5, keys.rows[keys.count - 1] * 0.5 + 0.25,
                                   keys.rows[keys.count - 1] + 1.0};
            for (double row : rows)
                if (!std::isfinite(trackValueAt(track, row)))
                    return false;
        }
    }
    return true;
}

struct StreamRun {
    SyncPhase phase;
    uint64_t table, events;
    bool sound;
};

// Feeds `stream` in pieces of `piece` bytes (all at once for 0) to a new connection.
StreamRun feedInPieces(const uint8_t* stream, size_t size, size_t piece) {
    resetSyncTracks();
    startSyncConnection(0);
    uint64_t events = 0xcbf29ce484222325ull;
    bool sound = true;
    size_t from = 0;
    uint32_t rows = 0;
    while (from < size) {
        size_t to = piece == 0 || size - from < piece ? size : from + piece;
        while (from < to) {
            size_t taken = feedSyncBytes(stream + from, to - from);
            sound = sound && taken <= to - from;
            from += taken;
            SyncEvent event;
            while (takeSyncEvent(&event))
                events = mix(mix(mix(mix(events, event.kind), event.track), event.row), event.paused);
        }
        sendSyncRow(rows++);
        size_t pending = 0;
        pendingSyncOutput(&pending);
        sound = sound && pending <= SYNC_OUTPUT_ROOM && pendingSyncCommandSize() <= pending &&
                (pending == 0) == (pendingSyncCommandSize() == 0) &&
                (syncClient.pendingRowAt < 0 || syncClient.pendingRowAt + 5 <= static_cast<long>(pending)) &&
                syncClient.commandBytes < sizeof syncClient.command;
        if (rows % 3 == 0) {
            unsigned char sink[7];
            takeSyncOutput(sink, sizeof sink);
        }
    }
    sound = sound && std::memchr(syncClient.message, '\0', sizeof syncClient.message) != nullptr;
    return {syncClient.phase, tableDigest(), events, sound && tableSound()};
}
} // namespace

bool fuzzSyncStream(const uint8_t* data, size_t size) {
    if (size == 0)
        return true;
    size_t piece = static_cast<size_t>(data[0] % 16) + 1;
    StreamRun whole = feedInPieces(data + 1, size - 1, 0);
    StreamRun split = feedInPieces(data + 1, size - 1, piece);
    return whole.sound && split.sound && whole.phase == split.phase && whole.table == split.table &&
           whole.events == split.events;
}

bool fuzzTrackFile(const uint8_t* data, size_t size) {
    resetSyncTracks();
    char reason[256] = "";
    const int track = TRACK_CAMERA_POS_X;
    if (!decodeTrackFile(track, data, size, reason, sizeof reason))
        return reason[0] != '\0' && std::memchr(reason, '\0', sizeof reason) != nullptr &&
               syncTracks.tracks[track].count == 0;
    if (!tableSound())
        return false;
    // Taken: written back, the very same bytes.
    static unsigned char written[SYNC_MAX_FILE_BYTES];
    size_t writtenSize = encodeTrackFile(track, written, sizeof written);
    return writtenSize == size && std::memcmp(written, data, size) == 0;
}
