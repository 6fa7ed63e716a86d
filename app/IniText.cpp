#include "IniText.h"

#include "Ascii.h"

#include <QStringDecoder>
#include <QStringList>

namespace dirwise::ini {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool isLineEnd(char c) { return c == '\n' || c == '\r'; }

int octValue(char c) { return c >= '0' && c <= '7' ? c - '0' : -1; }

// One logical line of the file: where it starts, how long it is, and where its first "="
// outside quotes is (-1: none). Comment lines are passed over; a ";" outside quotes ends the
// line. Line breaks inside quotes, or escaped by a backslash, belong to the line.
struct Line {
    qsizetype start = 0;
    qsizetype length = 0;
    qsizetype equals = -1;
};

bool nextLine(QByteArrayView data, qsizetype &pos, Line &line) {
    const qsizetype n = data.size();
    qsizetype start = pos;
    for (;;) {
        while (start < n && isSpace(data[start]))
            ++start;
        if (start < n && (data[start] == ';' || data[start] == '#')) {
            while (start < n && !isLineEnd(data[start]))
                ++start;
            continue;
        }
        break;
    }
    line = Line{.start = start};
    bool quoted = false;
    qsizetype i = start;
    while (i < n) {
        const char c = data[i];
        if (c == '=') {
            if (!quoted && line.equals < 0)
                line.equals = i - start;
        } else if (isLineEnd(c) || c == ';') {
            if (!quoted)
                break;
        } else if (c == '\\') {
            // The escaped character (and the other half of a CR LF or LF CR) is the line's.
            if (i + 1 < n) {
                const char next = data[++i];
                if (i + 1 < n && isLineEnd(next) && isLineEnd(data[i + 1]) && data[i + 1] != next)
                    ++i;
            }
        } else if (c == '"') {
            quoted = !quoted;
        }
        ++i;
    }
    pos = i;
    line.length = i - start;
    return line.length > 0;
}

// Removes blanks from the end of `text`, but none before `limit` (escaped or quoted text).
void chopBlanks(QString &text, qsizetype limit) {
    while (text.size() > limit && (text.back() == u' ' || text.back() == u'\t'))
        text.chop(1);
}

// A key or section name as QSettings writes it: "/" as "\", and every character other than
// an ASCII letter, digit, "_", "-" or "." as %XX, or %UXXXX beyond Latin-1.
QByteArray escapeKey(const QString &key) {
    QByteArray out;
    for (const QChar qc : key) {
        const char16_t c = qc.unicode();
        if (c == u'/') {
            out += '\\';
        } else if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                   (c >= u'0' && c <= u'9') || c == u'_' || c == u'-' || c == u'.') {
            out += static_cast<char>(c);
        } else if (c <= 0xff) {
            out += '%' + QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
        } else {
            out += "%U" + QByteArray::number(c, 16).toUpper().rightJustified(4, '0');
        }
    }
    return out;
}

QString unescapeKey(QByteArrayView raw) {
    const QString text = QString::fromUtf8(raw);
    QString out;
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text[i];
        if (c == u'\\') {
            out += u'/';
            ++i;
            continue;
        }
        if (c == u'%' && i + 1 < text.size()) {
            const bool wide = text[i + 1] == u'U';
            const qsizetype digits = wide ? 4 : 2, first = i + (wide ? 2 : 1);
            bool ok = false;
            const ushort code =
                first + digits <= text.size() ? text.mid(first, digits).toUShort(&ok, 16) : 0;
            if (ok) {
                out += QChar(code);
                i = first + digits;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return out;
}

// The value's text with its escapes undone and its quotes gone, as one string or (commas
// outside quotes) as the items of a list.
struct Unescaped {
    QString text;
    QStringList items;
    bool isList = false;
};

Unescaped unescape(QByteArrayView s) {
    Unescaped r;
    QStringDecoder utf8(QStringDecoder::Utf8);
    bool quoted = false;     // inside "..."
    bool itemQuoted = false; // the current item had quotes: its blanks are its own
    qsizetype i = 0;
    auto skipBlanks = [&] {
        while (i < s.size() && isBlank(s[i]))
            ++i;
    };
    skipBlanks();
    qsizetype keep = 0; // blanks before this point are not chopped
    while (i < s.size()) {
        const char c = s[i];
        if (c == '\\') {
            if (++i >= s.size())
                break;
            const char e = s[i++];
            static constexpr char simple[][2] = {
                {'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'},  {'r', '\r'}, {'t', '\t'},
                {'v', '\v'}, {'"', '"'},  {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
            bool done = false;
            for (const auto &pair : simple)
                if (e == pair[0]) {
                    r.text += QLatin1Char(pair[1]);
                    done = true;
                    break;
                }
            if (!done && e == 'x' && i < s.size() && HexDigitValue(s[i]) >= 0) {
                char16_t code = 0; // wraps at 16 bits, as QSettings' does
                while (i < s.size() && HexDigitValue(s[i]) >= 0)
                    code = static_cast<char16_t>(code * 16 + HexDigitValue(s[i++]));
                r.text += QChar(code);
            } else if (!done && octValue(e) >= 0) {
                auto code = static_cast<char16_t>(octValue(e));
                while (i < s.size() && octValue(s[i]) >= 0)
                    code = static_cast<char16_t>(code * 8 + octValue(s[i++]));
                r.text += QChar(code);
            } else if (!done && isLineEnd(e)) {
                // A continued line: the break (CR LF or LF CR counted once) is dropped.
                if (i < s.size() && isLineEnd(s[i]) && s[i] != e)
                    ++i;
            }
            // Any other escaped character is dropped with its backslash.
            keep = r.text.size();
        } else if (c == '"') {
            ++i;
            itemQuoted = true;
            quoted = !quoted;
            if (!quoted) {
                skipBlanks();
                keep = r.text.size();
            }
        } else if (c == ',' && !quoted) {
            if (!itemQuoted)
                chopBlanks(r.text, keep);
            r.isList = true;
            r.items << r.text;
            r.text.clear();
            itemQuoted = false;
            ++i;
            skipBlanks();
            keep = 0;
        } else {
            qsizetype j = i + 1;
            while (j < s.size() && s[j] != '\\' && s[j] != '"' && s[j] != ',')
                ++j;
            r.text += utf8(s.sliced(i, j - i));
            i = j;
        }
    }
    if (!itemQuoted)
        chopBlanks(r.text, keep);
    if (r.isList)
        r.items << r.text;
    return r;
}

// What QSettings makes of one stored text: its "@" forms.
std::optional<QString> fromStoredText(const QString &text) {
    if (!text.startsWith(u'@'))
        return text;
    if (text.startsWith(QLatin1String("@@")))
        return text.mid(1);
    if (text.endsWith(u')')) {
        if (text == QLatin1String("@Invalid()"))
            return std::nullopt;
        if (text.startsWith(QLatin1String("@ByteArray(")))
            return QString::fromUtf8(text.mid(11, text.size() - 12).toLatin1());
        if (text.startsWith(QLatin1String("@String(")))
            return text.mid(8, text.size() - 9);
        // Values of other types (a rectangle, a serialised variant, ...) have no text.
        for (const char *type : {"@Variant(", "@DateTime(", "@Rect(", "@Size(", "@Point("})
            if (text.startsWith(QLatin1String(type)))
                return QString();
    }
    return text;
}

} // namespace

std::optional<QString> Document::value(const QString &section, const QString &key) const {
    for (const Section &s : sections) {
        if (s.name != section)
            continue;
        for (const Entry &e : s.entries)
            if (e.key == key)
                return e.value;
    }
    return std::nullopt;
}

Section *Document::find(const QString &name) {
    for (Section &s : sections)
        if (s.name == name)
            return &s;
    return nullptr;
}

void Document::set(const QString &section, const QString &key, const QString &value) {
    Section *s = find(section);
    if (!s) {
        sections.append(Section{.name = section, .entries = {}});
        s = &sections.last();
    }
    for (Entry &e : s->entries)
        if (e.key == key) {
            e.value = value;
            return;
        }
    s->entries.append(Entry{.key = key, .value = value});
}

std::optional<QString> UnescapeValue(QByteArrayView raw) {
    const Unescaped u = unescape(raw);
    if (!u.isList)
        return fromStoredText(u.text);
    // A list reads back as its items, each with its doubled "@" undone, joined as the
    // settings show a list.
    QStringList items;
    for (const QString &item : u.items)
        items << (item.startsWith(QLatin1String("@@")) ? item.mid(1) : item);
    return items.join(QLatin1String(", "));
}

bool Parse(QByteArrayView text, Document &out) {
    if (text.startsWith("\xef\xbb\xbf"))
        text = text.sliced(3);
    bool ok = true;
    QString section;
    qsizetype pos = 0;
    Line line;
    while (nextLine(text, pos, line)) {
        const QByteArrayView content = text.sliced(line.start, line.length);
        if (content.startsWith('[')) {
            qsizetype close = content.indexOf(']');
            if (close < 0) {
                ok = false;
                close = content.size();
            }
            const QByteArrayView name = content.sliced(1, close - 1).trimmed();
            if (name.compare("general", Qt::CaseInsensitive) == 0)
                section.clear();
            else if (name.compare("%general", Qt::CaseInsensitive) == 0)
                section = QString::fromLatin1(name.sliced(1));
            else
                section = unescapeKey(name);
            if (!out.find(section))
                out.sections.append(Section{.name = section, .entries = {}});
            continue;
        }
        if (line.equals < 0) {
            ok = false;
            continue;
        }
        const QString key = unescapeKey(content.first(line.equals).trimmed());
        if (const std::optional<QString> value = UnescapeValue(content.sliced(line.equals + 1)))
            out.set(section, key, *value);
    }
    return ok;
}

QByteArray EscapeValue(const QString &value) {
    // A text with a NUL is wrapped as QSettings wraps it; otherwise a leading "@" is doubled.
    const QString text = value.contains(QChar::Null) ? QLatin1String("@String(") + value + u')'
                         : value.startsWith(u'@')    ? u'@' + value
                                                     : value;
    QByteArray out;
    bool quotes = false;
    bool hexBefore = false; // a hex digit after "\x.." would read as part of it
    QStringEncoder utf8(QStringEncoder::Utf8);
    for (qsizetype at = 0; at < text.size(); ++at) {
        const QChar qc = text[at];
        const char16_t c = qc.unicode();
        // A surrogate without its partner (a path's byte that is no UTF-8, see PathText)
        // has no UTF-8 form: it is written as its code, which reads back as itself.
        const bool paired = qc.isHighSurrogate()
                                ? at + 1 < text.size() && text[at + 1].isLowSurrogate()
                            : qc.isLowSurrogate() ? at > 0 && text[at - 1].isHighSurrogate()
                                                  : true;
        if (!paired) {
            out += "\\x" + QByteArray::number(c, 16);
            hexBefore = true;
            continue;
        }
        if (c == u';' || c == u',' || c == u'=')
            quotes = true;
        if (hexBefore && c < 0x80 && HexDigitValue(static_cast<char>(c)) >= 0) {
            out += "\\x" + QByteArray::number(c, 16);
            continue;
        }
        hexBefore = false;
        switch (c) {
        case u'\0':
            out += "\\0";
            hexBefore = true;
            break;
        case u'\a':
            out += "\\a";
            break;
        case u'\b':
            out += "\\b";
            break;
        case u'\f':
            out += "\\f";
            break;
        case u'\n':
            out += "\\n";
            break;
        case u'\r':
            out += "\\r";
            break;
        case u'\t':
            out += "\\t";
            break;
        case u'\v':
            out += "\\v";
            break;
        case u'"':
        case u'\\':
            out += '\\';
            out += static_cast<char>(c);
            break;
        default:
            if (c <= 0x1f) {
                out += "\\x" + QByteArray::number(c, 16);
                hexBefore = true;
            } else {
                out += utf8(QStringView(&qc, 1));
            }
        }
    }
    if (quotes || out.startsWith(' ') || out.endsWith(' '))
        out = '"' + out + '"';
    return out;
}

QByteArray Format(const Document &document) {
    QByteArray out;
    bool first = true;
    for (const Section &s : document.sections) {
        if (!first)
            out += '\n';
        first = false;
        const QByteArray name = escapeKey(s.name);
        if (name.isEmpty())
            out += "[General]\n";
        else if (name.compare("general", Qt::CaseInsensitive) == 0)
            out += "[%" + name + "]\n";
        else
            out += '[' + name + "]\n";
        for (const Entry &e : s.entries)
            out += escapeKey(e.key) + '=' + EscapeValue(e.value) + '\n';
    }
    return out;
}

} // namespace dirwise::ini
