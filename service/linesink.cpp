#include "service/linesink.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrlQuery>

#include <algorithm>
#include <cstdio>

namespace kv::service {

Q_LOGGING_CATEGORY(lcLines, "kv3917d.lines")

namespace {

constexpr double MsPerDay = 86400000.0;

QByteArray Body(const std::vector<SpoolPoint> &points)
{
    QByteArray body;
    qsizetype size = 0;
    for (const SpoolPoint &p : points)
        size += p.line.size() + 1;
    body.reserve(size);
    for (const SpoolPoint &p : points) {
        body += p.line;
        body += '\n';
    }
    return body;
}

QUrl WriteUrl(const LineTargetOptions &target)
{
    QUrl url = target.url;
    url.setUserInfo(QString());
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    QUrlQuery query;
    if (target.kind == LineTargetKind::Influx2) {
        url.setPath(path + QStringLiteral("/api/v2/write"));
        query.addQueryItem(QStringLiteral("org"), target.org);
        query.addQueryItem(QStringLiteral("bucket"), target.bucket);
    } else {
        url.setPath(path + QStringLiteral("/write"));
        query.addQueryItem(QStringLiteral("db"), target.database);
    }
    query.addQueryItem(QStringLiteral("precision"), QStringLiteral("ms"));
    url.setQuery(query);
    return url;
}

} // namespace

LineCounters &LineCounters::operator+=(const LineCounters &o)
{
    written += o.written;
    spooled += o.spooled;
    replayed += o.replayed;
    dropped += o.dropped;
    rejected += o.rejected;
    duplicates += o.duplicates;
    writeFailures += o.writeFailures;
    spoolPoints += o.spoolPoints;
    spoolBytes += o.spoolBytes;
    return *this;
}

LineTarget::LineTarget(const LineTargetOptions &options, const QString &spoolFolder, QNetworkAccessManager *network,
                       QObject *parent)
    : QObject(parent), m_options(options), m_network(network), m_spool(spoolFolder)
{
    m_batchTimer.setSingleShot(true);
    m_batchTimer.setInterval(LineBatchMs);
    connect(&m_batchTimer, &QTimer::timeout, this, &LineTarget::flushBatch);
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &LineTarget::replayNext);
    // Points appended to the spool reach the disk within this interval even
    // when no further point arrives.
    m_syncTimer.setInterval(int(SpoolSyncInterval.count()));
    connect(&m_syncTimer, &QTimer::timeout, this, [this] {
        QString error;
        if (!m_spool.sync(&error))
            qCWarning(lcLines, "%s", qPrintable(error));
    });
}

LineTarget::~LineTarget() { stop(); }

bool LineTarget::open(QString *error)
{
    m_stopped = false;
    if (!m_spool.open(error))
        return false;
    if (m_options.kind == LineTargetKind::File) {
        m_file = std::make_unique<QFile>();
        const bool ok = m_options.path == QLatin1String("-")
                          ? m_file->open(stdout, QIODevice::WriteOnly | QIODevice::Append)
                          : (m_file->setFileName(m_options.path),
                             m_file->open(QIODevice::WriteOnly | QIODevice::Append));
        if (!ok) {
            if (error)
                *error = QStringLiteral("cannot write %1: %2").arg(m_options.path, m_file->errorString());
            return false;
        }
    }
    m_syncTimer.start();
    if (m_spool.hasPending()) {
        qCInfo(lcLines, "%s: %lld points waiting in the spool", qPrintable(name()),
               static_cast<long long>(m_spool.pendingPoints()));
        m_backlog = true;
        QTimer::singleShot(0, this, &LineTarget::replayNext);
    }
    return true;
}

void LineTarget::setRetryDelays(std::chrono::milliseconds first, std::chrono::milliseconds most)
{
    m_retryFirst = first;
    m_retryMost = std::max(first, most);
}

void LineTarget::add(std::int64_t timeMs, QByteArray line)
{
    if (m_stopped || line.isEmpty())
        return;
    if (m_backlog) {
        spoolPoints({SpoolPoint{timeMs, std::move(line)}});
        if (!busy() && !m_retryTimer.isActive())
            replayNext();
        return;
    }
    m_batch.push_back(SpoolPoint{timeMs, std::move(line)});
    if (m_liveInflight && int(m_batch.size()) >= LineQueueLimit) {
        // The target is slow: the queue waits in the spool instead of memory.
        enterBacklog();
        return;
    }
    if (int(m_batch.size()) >= LineBatchPoints)
        flushBatch();
    else if (!m_batchTimer.isActive())
        m_batchTimer.start();
}

bool LineTarget::addDurably(const std::vector<SpoolPoint> &points, QString *error)
{
    if (points.empty())
        return true;
    if (!m_spool.isOpen()) {
        if (error)
            *error = QStringLiteral("%1: the spool is not open").arg(name());
        return false;
    }
    const std::uint64_t droppedBefore = m_spool.dropped();
    if (!m_spool.append(points, error) || !m_spool.sync(error))
        return false;
    m_counters.spooled += points.size();
    if (m_spool.dropped() != droppedBefore)
        qCWarning(lcLines, "%s: the spool is full: %llu older points dropped", qPrintable(name()),
                  static_cast<unsigned long long>(m_spool.dropped() - droppedBefore));
    enterBacklog();
    if (!busy() && !m_retryTimer.isActive())
        replayNext();
    return true;
}

bool LineTarget::spoolPoints(std::vector<SpoolPoint> points)
{
    if (points.empty())
        return true;
    QString error;
    const std::uint64_t droppedBefore = m_spool.dropped();
    const bool ok = m_spool.append(points, &error);
    if (ok)
        m_counters.spooled += points.size();
    else
        qCWarning(lcLines, "%s: %s", qPrintable(name()), qPrintable(error));
    if (m_spool.dropped() != droppedBefore)
        qCWarning(lcLines, "%s: spool bound reached: %llu points dropped", qPrintable(name()),
                  static_cast<unsigned long long>(m_spool.dropped() - droppedBefore));
    return ok;
}

void LineTarget::enterBacklog()
{
    m_batchTimer.stop();
    std::vector<SpoolPoint> waiting;
    waiting.swap(m_batch);
    spoolPoints(std::move(waiting));
    m_backlog = true;
}

void LineTarget::flushBatch()
{
    m_batchTimer.stop();
    if (m_stopped || busy() || m_batch.empty() || m_backlog)
        return;
    if (int(m_batch.size()) <= LineBatchPoints) {
        m_inflightLive.swap(m_batch);
        m_batch.clear();
    } else {
        m_inflightLive.assign(std::make_move_iterator(m_batch.begin()),
                              std::make_move_iterator(m_batch.begin() + LineBatchPoints));
        m_batch.erase(m_batch.begin(), m_batch.begin() + LineBatchPoints);
    }
    m_liveInflight = true;
    send(Body(m_inflightLive), [this](Outcome outcome, const QString &reason) { liveFinished(outcome, reason); });
}

void LineTarget::replayNext()
{
    if (m_stopped || m_liveInflight || m_retryTimer.isActive())
        return;
    while (int(m_replays.size()) < LineReplaysInFlight) {
        SpoolBatch batch = m_replays.empty() ? m_spool.peek(LineBatchPoints)
                                             : m_spool.peekAfter(m_replays.back().batch, LineBatchPoints);
        if (batch.empty())
            break;
        const std::uint64_t generation = m_generation;
        const std::uint64_t last = batch.lastSequence;
        const QByteArray body = batch.body;
        m_replays.push_back(Replay{std::move(batch), false});
        send(body, [this, generation, last](Outcome outcome, const QString &reason) {
            replayFinished(generation, last, outcome, reason);
        });
    }
    if (m_replays.empty()) {
        m_backlog = false;
        if (!m_batch.empty())
            flushBatch();
        checkIdle();
    }
}

LineTarget::Outcome LineTarget::writeFile(const QByteArray &body, QString *reason)
{
    if (!m_file || m_file->write(body) != body.size() || !m_file->flush()) {
        *reason = m_file ? m_file->errorString() : QStringLiteral("not open");
        return Outcome::Failed;
    }
    return Outcome::Written;
}

void LineTarget::send(const QByteArray &body, std::function<void(Outcome, const QString &)> done)
{
    if (m_options.kind == LineTargetKind::File) {
        QString reason;
        const Outcome outcome = writeFile(body, &reason);
        // Finished from the event loop, as a network answer would be.
        QTimer::singleShot(0, this, [done, outcome, reason] { done(outcome, reason); });
        return;
    }
    QNetworkRequest request(WriteUrl(m_options));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("text/plain; charset=utf-8"));
    request.setTransferTimeout(LineWriteTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    if (m_options.kind == LineTargetKind::Influx2) {
        request.setRawHeader(QByteArrayLiteral("Authorization"), "Token " + m_options.token.toUtf8());
    } else if (!m_options.url.userName().isEmpty()) {
        const QByteArray credentials =
            (m_options.url.userName(QUrl::FullyDecoded) + QLatin1Char(':') + m_options.url.password(QUrl::FullyDecoded))
                .toUtf8();
        request.setRawHeader(QByteArrayLiteral("Authorization"), "Basic " + credentials.toBase64());
    }
    QNetworkReply *reply = m_network->post(request, body);
    m_replies.append(reply);
    connect(reply, &QNetworkReply::finished, this, [this, reply, done] {
        reply->deleteLater();
        m_replies.removeAll(reply);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status >= 200 && status < 300) {
            done(Outcome::Written, {});
            return;
        }
        // The server's own words, without anything of the request.
        QString reason = status ? QStringLiteral("HTTP %1 %2").arg(status).arg(QString::fromUtf8(reply->readAll().left(300)).trimmed())
                                : reply->errorString();
        if (!m_options.token.isEmpty())
            reason.replace(m_options.token, QStringLiteral("***"));
        done(status == 400 || status == 413 ? Outcome::Refused : Outcome::Failed, reason);
    });
}

void LineTarget::writeFailed(const QString &reason)
{
    ++m_counters.writeFailures;
    if (m_retryDelay == std::chrono::milliseconds::zero())
        qCWarning(lcLines, "%s: cannot write (%s); points wait in the spool", qPrintable(name()), qPrintable(reason));
    enterBacklog();
    scheduleRetry();
}

void LineTarget::wroteAgain()
{
    if (m_retryDelay != std::chrono::milliseconds::zero()) {
        qCInfo(lcLines, "%s: writes again", qPrintable(name()));
        m_retryDelay = std::chrono::milliseconds::zero();
    }
}

void LineTarget::liveFinished(Outcome outcome, const QString &reason)
{
    m_liveInflight = false;
    if (m_stopped)
        return;
    std::vector<SpoolPoint> live;
    live.swap(m_inflightLive);
    if (outcome == Outcome::Failed) {
        spoolPoints(std::move(live));
        writeFailed(reason);
        return;
    }
    if (outcome == Outcome::Refused) {
        m_counters.dropped += live.size();
        m_counters.rejected += live.size();
        qCWarning(lcLines, "%s: %llu points refused (%s)", qPrintable(name()),
                  static_cast<unsigned long long>(live.size()), qPrintable(reason));
    } else {
        m_counters.written += live.size();
    }
    wroteAgain();
    if (m_backlog)
        QTimer::singleShot(0, this, &LineTarget::replayNext);
    else if (int(m_batch.size()) >= LineBatchPoints)
        flushBatch();
    else if (!m_batch.empty() && !m_batchTimer.isActive())
        m_batchTimer.start();
    checkIdle();
}

void LineTarget::replayFinished(std::uint64_t generation, std::uint64_t lastSequence, Outcome outcome,
                                const QString &reason)
{
    if (m_stopped || generation != m_generation)
        return;   // a batch of a replay given up: it is in the spool still
    if (outcome == Outcome::Failed) {
        // Every batch under way is read again from the spool; one already
        // taken then overwrites itself.
        ++m_generation;
        m_replays.clear();
        writeFailed(reason);
        return;
    }
    for (Replay &r : m_replays) {
        if (r.batch.lastSequence != lastSequence)
            continue;
        r.done = true;
        const std::uint64_t points = std::uint64_t(r.batch.points);
        if (outcome == Outcome::Refused) {
            m_counters.dropped += points;
            m_counters.rejected += points;
            qCWarning(lcLines, "%s: %llu points refused (%s)", qPrintable(name()),
                      static_cast<unsigned long long>(points), qPrintable(reason));
        } else {
            m_counters.replayed += points;
        }
        break;
    }
    wroteAgain();
    // Acknowledged in spool order only.
    while (!m_replays.empty() && m_replays.front().done) {
        QString error;
        if (!m_spool.acknowledge(m_replays.front().batch, &error))
            qCWarning(lcLines, "%s: %s", qPrintable(name()), qPrintable(error));
        m_replays.pop_front();
    }
    QTimer::singleShot(0, this, &LineTarget::replayNext);
}

void LineTarget::scheduleRetry()
{
    m_retryDelay = m_retryDelay == std::chrono::milliseconds::zero() ? m_retryFirst
                                                                     : std::min(m_retryDelay * 2, m_retryMost);
    m_retryTimer.start(int(m_retryDelay.count()));
}

void LineTarget::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_batchTimer.stop();
    m_retryTimer.stop();
    m_syncTimer.stop();
    const QList<QPointer<QNetworkReply>> replies = m_replies;
    m_replies.clear();
    for (const QPointer<QNetworkReply> &reply : replies) {
        if (!reply)
            continue;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    m_replays.clear();
    // A live batch under way may have arrived: written again from the spool
    // it overwrites itself.
    std::vector<SpoolPoint> rest;
    rest.swap(m_inflightLive);
    rest.insert(rest.end(), std::make_move_iterator(m_batch.begin()), std::make_move_iterator(m_batch.end()));
    m_batch.clear();
    m_liveInflight = false;
    spoolPoints(std::move(rest));
    m_spool.close();
    if (m_file)
        m_file->close();
}

LineCounters LineTarget::counters() const
{
    LineCounters c = m_counters;
    c.dropped += m_spool.dropped();
    c.duplicates += m_spool.duplicates();
    c.spoolPoints = m_spool.pendingPoints();
    c.spoolBytes = m_spool.pendingBytes();
    return c;
}

bool LineTarget::idle() const
{
    return !busy() && m_batch.empty() && !m_backlog && !m_spool.hasPending();
}

void LineTarget::checkIdle()
{
    if (idle())
        emit becameIdle();
}

LineSink::LineSink(const QList<LineTargetOptions> &targets, const QString &stateDir, const LineOptions &options,
                   QObject *parent)
    : QObject(parent), m_network(new QNetworkAccessManager(this)), m_options(options)
{
    for (const LineTargetOptions &t : targets)
        m_targets << new LineTarget(t, spoolFolder(stateDir, t), m_network, this);
}

LineSink::~LineSink() { stop(); }

QString LineSink::spoolFolder(const QString &stateDir, const LineTargetOptions &target)
{
    static const char *const Kinds[] = {"influx", "influx2", "file"};
    const QString place = target.name() + QLatin1Char('\n') + target.database + QLatin1Char('\n') + target.org
                        + QLatin1Char('\n') + target.bucket;
    const QByteArray hash = QCryptographicHash::hash(place.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QDir(stateDir).filePath(QStringLiteral("spool/%1-%2").arg(QLatin1String(Kinds[int(target.kind)]),
                                                                     QString::fromLatin1(hash)));
}

bool LineSink::open(QString *error)
{
    for (LineTarget *t : std::as_const(m_targets))
        if (!t->open(error))
            return false;
    updateLimits();
    return true;
}

void LineSink::setPollPeriodMs(int ms)
{
    m_pollPeriodMs = std::max(1, ms);
    updateLimits();
}

void LineSink::updateLimits()
{
    // The bound follows the most meters attached at once: a meter unplugged
    // during an outage does not shrink it and drop what is spooled.
    SpoolLimits limits;
    limits.maxBytes = m_options.spoolMaxBytes;
    limits.maxPoints = qint64(m_options.spoolMaxDays * MsPerDay / m_pollPeriodMs) * std::max(1, m_mostMeters);
    for (LineTarget *t : std::as_const(m_targets))
        t->setSpoolLimits(limits);
}

void LineSink::meterUp(const MeterInfo &meter)
{
    m_attached[meter.serial] = true;
    const int attached = int(std::count(m_attached.cbegin(), m_attached.cend(), true));
    if (attached > m_mostMeters) {
        m_mostMeters = attached;
        updateLimits();
    }
}

void LineSink::meterDown(const MeterInfo &meter) { m_attached[meter.serial] = false; }

void LineSink::reading(const MeterInfo &meter, const MeterReading &reading)
{
    auto last = m_lastTimeMs.find(meter.serial);
    if (last != m_lastTimeMs.end() && reading.timeMs <= *last) {
        ++m_duplicates;   // two points at one time would overwrite each other
        return;
    }
    m_lastTimeMs[meter.serial] = reading.timeMs;
    const QByteArray line = LineOf(PointOf(meter, reading));
    if (line.isEmpty())
        return;
    for (LineTarget *t : std::as_const(m_targets))
        t->add(reading.timeMs, line);
}

void LineSink::stop()
{
    for (LineTarget *t : std::as_const(m_targets))
        t->stop();
}

bool LineSink::addImported(const std::vector<TimedLine> &lines, QString *error)
{
    std::vector<SpoolPoint> points;
    points.reserve(lines.size());
    for (const TimedLine &l : lines)
        points.push_back(SpoolPoint{l.timeMs, l.line});
    bool ok = true;
    for (LineTarget *t : std::as_const(m_targets))
        ok = t->addDurably(points, error) && ok;
    return ok;
}

LineCounters LineSink::counters() const
{
    LineCounters sum;
    for (const LineTarget *t : m_targets)
        sum += t->counters();
    sum.duplicates += m_duplicates;
    return sum;
}

bool LineSink::idle() const
{
    return std::all_of(m_targets.cbegin(), m_targets.cend(), [](const LineTarget *t) { return t->idle(); });
}

QByteArray LineSink::metricsText() const
{
    struct Metric {
        const char *name;
        const char *type;
        const char *help;
        qint64 (*value)(const LineCounters &);
    };
    static const Metric Metrics[] = {
        {"kv3917_lines_written_total", "counter", "Points written to the target at the first try.",
         [](const LineCounters &c) { return qint64(c.written); }},
        {"kv3917_lines_spooled_total", "counter", "Points put in the spool because the target did not take them.",
         [](const LineCounters &c) { return qint64(c.spooled); }},
        {"kv3917_lines_replayed_total", "counter", "Points written from the spool.",
         [](const LineCounters &c) { return qint64(c.replayed); }},
        {"kv3917_lines_dropped_total", "counter", "Points lost to the spool's bounds or refused by the target.",
         [](const LineCounters &c) { return qint64(c.dropped); }},
        {"kv3917_lines_rejected_total", "counter", "Points the target refused as malformed.",
         [](const LineCounters &c) { return qint64(c.rejected); }},
        {"kv3917_lines_duplicates_total", "counter", "Duplicate spool records skipped.",
         [](const LineCounters &c) { return qint64(c.duplicates); }},
        {"kv3917_lines_write_failures_total", "counter", "Write requests that failed.",
         [](const LineCounters &c) { return qint64(c.writeFailures); }},
        {"kv3917_lines_spool_points", "gauge", "Points waiting in the spool.",
         [](const LineCounters &c) { return c.spoolPoints; }},
        {"kv3917_lines_spool_bytes", "gauge", "Bytes of the spool's segments.",
         [](const LineCounters &c) { return c.spoolBytes; }},
    };
    QByteArray text;
    for (const Metric &m : Metrics) {
        text += QByteArray("# HELP ") + m.name + ' ' + m.help + "\n# TYPE " + m.name + ' ' + m.type + '\n';
        for (const LineTarget *t : m_targets) {
            QByteArray label = t->name().toUtf8();
            label.replace('\\', "\\\\").replace('"', "\\\"").replace('\n', "\\n");
            text += QByteArray(m.name) + "{target=\"" + label + "\"} " + QByteArray::number(m.value(t->counters()))
                  + '\n';
        }
    }
    text += "# HELP kv3917_lines_reading_duplicates_total Readings not after the meter's previous, left out.\n"
            "# TYPE kv3917_lines_reading_duplicates_total counter\n"
            "kv3917_lines_reading_duplicates_total "
          + QByteArray::number(qulonglong(m_duplicates)) + '\n';
    return text;
}

} // namespace kv::service
