#pragma once

#include <QByteArray>

// What a request on the stream port asks for, and the fixed texts of the
// answers. Only the request line is looked at; headers are skipped.
enum class StreamRoute {
    Incomplete, // the request has not ended yet
    Stream,     // GET /stream: one part per new frame until the client leaves
    Snapshot,   // GET /snapshot: the latest frame once
    Health,     // GET /health: whether the picture is fresh, for monitors
    NotFound,
    NotAllowed, // a method other than GET or HEAD
    BadRequest  // too long, or no request line to speak of
};

struct StreamRequest {
    StreamRoute route = StreamRoute::Incomplete;
    bool headOnly = false; // HEAD: the header lines without a body
};

// Longest request (line and headers) the stream port reads.
constexpr int kMaxStreamRequest = 8192;

StreamRequest parseStreamRequest(const QByteArray& received);

// The multipart boundary; parts carry their length, so JPEG bytes that
// happen to contain it do no harm.
inline constexpr char kStreamBoundary[] = "talvexframe";

QByteArray streamResponseHeader();
// The lines before one JPEG of `jpegBytes` bytes; the part ends with CR LF.
// X-Timestamp gives the capture time (microseconds since the epoch) as
// seconds.microseconds, so a client can tell how old the frame is.
QByteArray partHeader(qsizetype jpegBytes, qint64 captureTimeUs = 0);
QByteArray snapshotResponseHeader(qsizetype jpegBytes, qint64 captureTimeUs = 0);
// A complete short plain-text answer, such as 404 or 503.
QByteArray textResponse(int status, const char* reason, const char* text, bool headOnly = false);
// A complete JSON answer that nothing on the way may keep: a monitor must
// see the state of now.
QByteArray jsonResponse(int status, const QByteArray& body, bool headOnly = false);
