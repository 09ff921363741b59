#pragma once
// Watches the bytes a client sends to the HTTP server and finds where each
// request ends (head up to the empty line, then Content-Length bytes of
// body), so the server can refuse a request that grows past its limits
// before anything buffers it.  Pure: no sockets, fed in any pieces.

#include <QByteArray>
#include <QByteArrayView>

namespace kv::service {

class RequestGate {
public:
    enum class Verdict {
        Ok,             // everything fed so far is within the limits
        HeadTooLarge,   // 431: request line and headers longer than allowed
        BodyTooLarge,   // 413: Content-Length above the limit
        LengthRequired, // 411: a body of unknown length (Transfer-Encoding)
        BadRequest,     // 400: a Content-Length that is not one decimal number
    };

    RequestGate(int maxHeadBytes, qint64 maxBodyBytes);

    // Once a verdict other than Ok is given, it stays and nothing more is read.
    Verdict feed(QByteArrayView bytes);
    Verdict verdict() const { return m_verdict; }

    // Some bytes of a request that has not ended yet have arrived.
    bool inRequest() const { return m_inHead ? !m_head.isEmpty() : m_bodyLeft > 0; }
    // Requests received completely.
    qint64 completedRequests() const { return m_completed; }

    // HTTP status code of a refusal (0 for Ok).
    static int statusCode(Verdict verdict);

private:
    Verdict endOfHead();

    int m_maxHead;
    qint64 m_maxBody;
    bool m_inHead = true;
    QByteArray m_head;   // the unfinished head, at most m_maxHead bytes
    qint64 m_bodyLeft = 0;
    qint64 m_completed = 0;
    Verdict m_verdict = Verdict::Ok;
};

} // namespace kv::service
