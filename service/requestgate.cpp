#include "service/requestgate.h"

#include <QList>

namespace kv::service {

RequestGate::RequestGate(int maxHeadBytes, qint64 maxBodyBytes)
    : m_maxHead(maxHeadBytes)
    , m_maxBody(maxBodyBytes)
{
}

int RequestGate::statusCode(Verdict verdict)
{
    switch (verdict) {
    case Verdict::HeadTooLarge: return 431;
    case Verdict::BodyTooLarge: return 413;
    case Verdict::LengthRequired: return 411;
    case Verdict::BadRequest: return 400;
    case Verdict::Ok: break;
    }
    return 0;
}

RequestGate::Verdict RequestGate::feed(QByteArrayView bytes)
{
    qsizetype at = 0;
    while (m_verdict == Verdict::Ok && at < bytes.size()) {
        if (!m_inHead) {
            const qint64 take = std::min<qint64>(m_bodyLeft, bytes.size() - at);
            m_bodyLeft -= take;
            at += take;
            if (m_bodyLeft == 0) {
                m_inHead = true;
                ++m_completed;
            }
            continue;
        }
        const char c = bytes.at(at++);
        // Empty lines before a request line are allowed and ignored.
        if (m_head.isEmpty() && (c == '\r' || c == '\n'))
            continue;
        if (m_head.size() >= m_maxHead) {
            m_verdict = Verdict::HeadTooLarge;
            break;
        }
        m_head += c;
        // The head ends with an empty line; bare LF line ends count too.
        if (c == '\n' && (m_head.endsWith("\n\n") || m_head.endsWith("\n\r\n")))
            m_verdict = endOfHead();
    }
    return m_verdict;
}

RequestGate::Verdict RequestGate::endOfHead()
{
    qint64 length = 0;
    bool haveLength = false;
    const QList<QByteArray> lines = m_head.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) { // line 0 is the request line
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "transfer-encoding")
            return Verdict::LengthRequired;
        if (name != "content-length")
            continue;
        if (value.isEmpty() || value.size() > 18)
            return value.isEmpty() ? Verdict::BadRequest : Verdict::BodyTooLarge;
        qint64 parsed = 0;
        for (char c : value) {
            if (c < '0' || c > '9')
                return Verdict::BadRequest;
            parsed = parsed * 10 + (c - '0');
        }
        if (haveLength && parsed != length)
            return Verdict::BadRequest;
        haveLength = true;
        length = parsed;
    }
    if (length > m_maxBody)
        return Verdict::BodyTooLarge;
    m_head.clear();
    if (length > 0) {
        m_inHead = false;
        m_bodyLeft = length;
    } else {
        ++m_completed;
    }
    return Verdict::Ok;
}

} // namespace kv::service
