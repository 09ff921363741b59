#pragma once
// The system's 8-bit encoding of text files: on Linux the character set of
// the user's locale (LC_CTYPE), UTF-8 when the locale names plain ASCII or
// a set the converter does not know.  No byte-order mark is read or written.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringConverter>

namespace kv {

// The encoding's name as the converters take it ("UTF-8", "ISO-8859-15").
QByteArray LocalTextEncodingName();
// Tests may fix the encoding (empty: back to the locale's).
void SetLocalTextEncodingName(const QByteArray &name);

QStringEncoder LocalTextEncoder();
QStringDecoder LocalTextDecoder();

} // namespace kv
