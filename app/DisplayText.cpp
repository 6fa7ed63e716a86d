#include "DisplayText.h"

#include "TextForms.h"

#include <string>

namespace dirwise {

QString DisplayText(std::string_view bytes) {
    const std::string shown = EscapeForDisplay(bytes);
    return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

} // namespace dirwise
