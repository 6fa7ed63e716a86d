#include "DisplayText.h"

#include "TextForms.h"

#include <string>

namespace dirwise {

QString DisplayText(std::string_view bytes) {
    const std::string shown = EscapeForDisplay(bytes);
    return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

} // namespace dirwise

namespace dirwise {

QString PathText(std::string_view bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    std::size_t run = 0; // start of the valid UTF-8 not yet decoded
    for (std::size_t i = 0; i < bytes.size();) {
        if (const std::size_t n = Utf8SequenceLength(bytes, i)) {
            i += n;
            continue;
        }
        out += QString::fromUtf8(bytes.data() + run, static_cast<qsizetype>(i - run));
        out += QChar(static_cast<char16_t>(0xdc00 | static_cast<unsigned char>(bytes[i])));
        run = ++i;
    }
    out += QString::fromUtf8(bytes.data() + run, static_cast<qsizetype>(bytes.size() - run));
    return out;
}

std::string PathBytes(const QString &text) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    qsizetype run = 0; // start of the text not yet encoded
    const auto flush = [&](qsizetype end) {
        const QByteArray utf8 = text.sliced(run, end - run).toUtf8();
        out.append(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i; // a pair: one character beyond the BMP
            continue;
        }
        if (!QChar::isSurrogate(c))
            continue;
        flush(i);
        if (c >= 0xdc80 && c <= 0xdcff)
            out += static_cast<char>(c & 0xff);
        else
            out += "\xef\xbf\xbd";
        run = i + 1;
    }
    flush(text.size());
    return out;
}

} // namespace dirwise
