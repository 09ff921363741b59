#include "files/textcodec.h"

#ifdef Q_OS_UNIX
#include <langinfo.h>
#endif

namespace kv {
namespace {

QByteArray &Override()
{
    static QByteArray name;
    return name;
}

const QByteArray Utf8Name = QByteArrayLiteral("UTF-8");

bool IsAscii(const QByteArray &name)
{
    const QByteArray n = name.toUpper();
    return n == "ANSI_X3.4-1968" || n == "US-ASCII" || n == "ASCII" || n == "646";
}

} // namespace

QByteArray LocalTextEncodingName()
{
    if (!Override().isEmpty())
        return Override();
#ifdef Q_OS_UNIX
    // QCoreApplication has applied the user's locale (setlocale LC_ALL "").
    const QByteArray codeset(nl_langinfo(CODESET));
    // The C locale's ASCII would turn every other character into '?'.
    if (codeset.isEmpty() || IsAscii(codeset) || !QStringEncoder(codeset.constData()).isValid())
        return Utf8Name;
    return codeset;
#else
    return QByteArrayLiteral("System");
#endif
}

void SetLocalTextEncodingName(const QByteArray &name) { Override() = name; }

QStringEncoder LocalTextEncoder()
{
#ifdef Q_OS_UNIX
    const QByteArray name = LocalTextEncodingName();
    if (name == Utf8Name)
        return QStringEncoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    return QStringEncoder(name.constData(), QStringConverter::Flag::Stateless);
#else
    return QStringEncoder(QStringConverter::System, QStringConverter::Flag::Stateless);
#endif
}

QStringDecoder LocalTextDecoder()
{
#ifdef Q_OS_UNIX
    const QByteArray name = LocalTextEncodingName();
    if (name == Utf8Name)
        return QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    return QStringDecoder(name.constData(), QStringConverter::Flag::Stateless);
#else
    return QStringDecoder(QStringConverter::System, QStringConverter::Flag::Stateless);
#endif
}

} // namespace kv
