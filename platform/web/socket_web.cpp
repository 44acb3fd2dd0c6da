// The socket service in the browser: a WebSocket to "ws://HOST:PORT". Whatever arrives, text or binary and
// split anywhere, is appended to one byte queue; each write is one message: the greeting as text (what an
// editor's own WebSocket port expects), everything else as binary; a bridge that takes binary only
// (websockify) closes on the text greeting, and the next connection greets in binary.
#include "platform/socket.h"

#include <emscripten/emscripten.h>

#include <cstdio>

// States as in SocketState: 0 closed, 1 connecting, 2 open, 3 failed.
EM_JS(int, openWebSocketJs, (const char* address), {
    var old = Module.dozSocket;
    if (old && old.socket) {
        old.socket.onopen = old.socket.onmessage = old.socket.onclose = old.socket.onerror = null;
        try {
            old.socket.close();
        } catch (e) {
        }
    }
    var link = {socket : null, state : 1, chunks : [], offset : 0, why : ""};
    Module.dozSocket = link;
    try {
        link.socket = new WebSocket(UTF8ToString(address));
    } catch (e) {
        link.state = 3;
        link.why = String(e);
        return 0;
    }
    link.socket.binaryType = "arraybuffer";
    link.socket.onopen = function() {
        if (link.state == 1)
            link.state = 2;
    };
    link.socket.onmessage = function(event) {
        var bytes =
            typeof event.data == "string" ? new TextEncoder().encode(event.data) : new Uint8Array(event.data);
        if (bytes.length > 0)
            link.chunks.push(bytes);
    };
    link.socket.onerror = function() {
        if (!link.why)
            link.why = "the WebSocket failed";
    };
    link.socket.onclose = function(event) {
        // What arrived before the close is still read; the failure shows once it has been.
        link.closed = true;
        // 1003, unsupported data: a bridge that takes binary messages only (websockify) refused the
        // greeting as text; the next connection greets in binary (and one that refuses that, in text).
        if (event.code == 1003) {
            Module.dozSocketGreetInBinary = !Module.dozSocketGreetInBinary;
            link.why = "the WebSocket refused the greeting's message type (1003); trying the other";
        }
        if (!link.why)
            link.why = link.state == 1 ? "no WebSocket at that address"
                                       : "the editor closed the connection (" + event.code + ")";
    };
    return 1;
});

EM_JS(int, webSocketStateJs, (char* why, size_t whySize), {
    var link = Module.dozSocket;
    if (!link)
        return 0;
    if (link.closed && link.chunks.length == 0)
        link.state = 3;
    if (link.state == 3)
        stringToUTF8(link.why || "the WebSocket failed", why, whySize);
    return link.state;
});

EM_JS(int, readWebSocketJs, (unsigned char* out, int capacity), {
    var link = Module.dozSocket;
    if (!link)
        return 0;
    var taken = 0;
    while (taken < capacity && link.chunks.length > 0) {
        var chunk = link.chunks[0];
        var count = Math.min(capacity - taken, chunk.length - link.offset);
        HEAPU8.set(chunk.subarray(link.offset, link.offset + count), out + taken);
        taken += count;
        link.offset += count;
        if (link.offset == chunk.length) {
            link.chunks.shift();
            link.offset = 0;
        }
    }
    if (taken == 0 && link.closed) {
        link.state = 3;
        return -1;
    }
    return taken;
});

EM_JS(int, writeWebSocketJs, (const unsigned char* bytes, int size, int asText), {
    var link = Module.dozSocket;
    if (!link || link.state != 2 || link.closed)
        return -1;
    try {
        if (asText && !Module.dozSocketGreetInBinary)
            link.socket.send(UTF8ToString(bytes, size));
        else
            link.socket.send(HEAPU8.slice(bytes, bytes + size));
    } catch (e) {
        link.why = String(e);
        link.state = 3;
        return -1;
    }
    return size;
});

EM_JS(void, closeWebSocketJs, (), {
    var link = Module.dozSocket;
    if (link && link.socket) {
        link.socket.onopen = link.socket.onmessage = link.socket.onclose = link.socket.onerror = null;
        try {
            link.socket.close();
        } catch (e) {
        }
    }
    Module.dozSocket = null;
});

bool openSocket(const char* address, char* why, size_t whySize) {
    if (openWebSocketJs(address) == 0) {
        webSocketStateJs(why, static_cast<int>(whySize));
        return false;
    }
    return true;
}

SocketState pollSocket(char* why, size_t whySize) {
    return static_cast<SocketState>(webSocketStateJs(why, static_cast<int>(whySize)));
}

long readSocket(unsigned char* out, size_t capacity, char* why, size_t whySize) {
    int got = readWebSocketJs(out, static_cast<int>(capacity));
    if (got < 0)
        webSocketStateJs(why, static_cast<int>(whySize));
    return got;
}

long writeSocket(const unsigned char* bytes, size_t size, char* why, size_t whySize) {
    if (size == 0)
        return 0;
    int sent = writeWebSocketJs(bytes, static_cast<int>(size), 0);
    if (sent < 0)
        webSocketStateJs(why, static_cast<int>(whySize));
    return sent;
}

bool writeSocketGreeting(const char* text, size_t size, char* why, size_t whySize) {
    if (writeWebSocketJs(reinterpret_cast<const unsigned char*>(text), static_cast<int>(size), 1) ==
        static_cast<int>(size))
        return true;
    webSocketStateJs(why, static_cast<int>(whySize));
    return false;
}

void closeSocket() {
    closeWebSocketJs();
}
