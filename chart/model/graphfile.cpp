#include "chart/model/graphfile.h"

#include "chart/model/chartstate.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QtEndian>

#include <limits>

namespace kv {

namespace {

QString Native(const QString &path) { return QDir::toNativeSeparators(path); }

void SetError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

QByteArray GraphFileBytes(const QByteArray &block)
{
    QByteArray out(GraphFileLengthSize, Qt::Uninitialized);
    qToLittleEndian<quint32>(quint32(block.size()), out.data());
    out.append(block);
    return out;
}

bool ParseGraphFile(const QByteArray &fileBytes, QByteArray *block, QString *error)
{
    if (fileBytes.size() < GraphFileLengthSize) {
        SetError(error, QObject::tr("The graph file is too short (%1 bytes): it has no length field.")
                            .arg(fileBytes.size()));
        return false;
    }
    const quint32 length = qFromLittleEndian<quint32>(fileBytes.constData());
    const qint64 present = fileBytes.size() - GraphFileLengthSize;
    if (qint64(length) > present) {
        SetError(error, QObject::tr("The graph file is shorter than its length field says "
                                    "(%1 bytes of %2 are present).")
                            .arg(present).arg(length));
        return false;
    }
    *block = fileBytes.mid(GraphFileLengthSize, qsizetype(length));
    return true;
}

bool WriteGraphFileBlock(const QString &path, const QByteArray &block, QString *error)
{
    if (quint64(block.size()) > std::numeric_limits<quint32>::max()) {
        SetError(error, QObject::tr("The graph is too large for a graph file."));
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        SetError(error, QObject::tr("Cannot create \"%1\": %2").arg(Native(path), file.errorString()));
        return false;
    }
    char length[GraphFileLengthSize];
    qToLittleEndian<quint32>(quint32(block.size()), length);
    if (file.write(length, GraphFileLengthSize) != GraphFileLengthSize || file.write(block) != block.size()) {
        SetError(error, QObject::tr("Cannot write \"%1\": %2").arg(Native(path), file.errorString()));
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        SetError(error, QObject::tr("Cannot write \"%1\": %2").arg(Native(path), file.errorString()));
        return false;
    }
    return true;
}

bool ReadGraphFileBlock(const QString &path, QByteArray *block, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        SetError(error, QObject::tr("Cannot open \"%1\": %2").arg(Native(path), file.errorString()));
        return false;
    }
    const qint64 size = file.size();
    char length[GraphFileLengthSize];
    if (size < GraphFileLengthSize || file.read(length, GraphFileLengthSize) != GraphFileLengthSize) {
        SetError(error, QObject::tr("\"%1\" is too short to be a graph file (%2 bytes).")
                            .arg(Native(path)).arg(qMax<qint64>(size, 0)));
        return false;
    }
    const quint32 n = qFromLittleEndian<quint32>(length);
    if (qint64(n) > size - GraphFileLengthSize) {
        SetError(error, QObject::tr("\"%1\" is shorter than its length field says (%2 bytes of %3 are present).")
                            .arg(Native(path)).arg(size - GraphFileLengthSize).arg(n));
        return false;
    }
    QByteArray bytes(qsizetype(n), Qt::Uninitialized);
    if (file.read(bytes.data(), n) != qint64(n)) {
        SetError(error, QObject::tr("Cannot read \"%1\": %2").arg(Native(path), file.errorString()));
        return false;
    }
    *block = std::move(bytes);
    return true;
}

bool ReadGraphFileState(const QString &path, ChartState *state, QString *error)
{
    QByteArray block;
    if (!ReadGraphFileBlock(path, &block, error))
        return false;
    QString why;
    if (!LoadChartState(block, state, &why)) {
        SetError(error, QObject::tr("\"%1\" does not hold a graph: %2").arg(Native(path), why));
        return false;
    }
    return true;
}

} // namespace kv
