// The request gate in front of the HTTP server: bytes a client sends, cut
// into pieces where the input says.  It must never crash, never keep more
// than its head limit, and give the same verdict and request count however
// the bytes are cut.  The --listen parser gets the same bytes as text: what
// it accepts must read back the same from its own spelling.
#include "service/httpserver.h"
#include "service/requestgate.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using kv::service::RequestGate;
    if (size == 0)
        return 0;
    const std::size_t cut = data[0];
    const QByteArrayView bytes(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));

    RequestGate whole(256, 128);
    whole.feed(bytes);
    RequestGate pieces(256, 128);
    const qsizetype step = qsizetype(cut % 17) + 1;
    for (qsizetype at = 0; at < bytes.size(); at += step)
        pieces.feed(bytes.sliced(at, std::min(step, bytes.size() - at)));
    if (whole.verdict() != pieces.verdict() || whole.completedRequests() != pieces.completedRequests()
        || whole.inRequest() != pieces.inRequest())
        std::abort();
    if (whole.verdict() != RequestGate::Verdict::Ok && RequestGate::statusCode(whole.verdict()) < 400)
        std::abort();

    const QString text = QString::fromUtf8(bytes.data(), std::min<qsizetype>(bytes.size(), 200));
    if (const auto address = kv::service::ParseListenAddress(text)) {
        const auto again = kv::service::ParseListenAddress(address->toString());
        if (!again || again->address != address->address || again->port != address->port)
            std::abort();
    }
    return 0;
}
