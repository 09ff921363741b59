#pragma once
// Walks command-line options of the forms --name, --name VALUE and
// --name=VALUE, for the command-line tools.

#include <QStringList>

class OptionReader {
public:
    OptionReader(const QStringList &args, int first) : m_args(args), m_next(first) {}

    // Moves to the next argument; false at the end.
    bool next()
    {
        if (m_next >= m_args.size())
            return false;
        m_name = m_args.at(m_next++);
        m_inline = m_name.startsWith(QLatin1String("--")) && m_name.contains(QLatin1Char('='));
        if (m_inline) {
            const int eq = m_name.indexOf(QLatin1Char('='));
            m_value = m_name.mid(eq + 1);
            m_name = m_name.left(eq);
        }
        return true;
    }
    const QString &name() const { return m_name; }
    // True when the value was given as --name=VALUE.
    bool hasInlineValue() const { return m_inline; }
    // The inline value, or the following argument; false when there is none.
    bool takeValue(QString &value)
    {
        if (!m_inline) {
            if (m_next >= m_args.size())
                return false;
            m_value = m_args.at(m_next++);
        }
        value = m_value;
        return true;
    }

private:
    const QStringList &m_args;
    int m_next;
    QString m_name;
    QString m_value;
    bool m_inline = false;
};
