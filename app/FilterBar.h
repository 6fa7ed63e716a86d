#pragma once

#include "ResultsModel.h"

#include <QTimer>
#include <QWidget>

#include <array>

class QLineEdit;
class QToolButton;

namespace dirwise {

// The bar above the results list that filters it: one switch per result kind, captioned
// with the kind and its count ("Size (12)"), and a text box (objectName txtFilter, accessible
// name "Filter by path") for a text the rows' relative paths must contain. The switches are
// named flt plus the kind without blanks or "&" (fltMatch, fltSizeDate, fltNotCompared, ...).
// A kind's switch shows while the list holds rows of that kind or while it is switched off,
// so it can always be switched back on.
//
// changed() is emitted at once for a switch, and for the text once typing has paused (or at
// once on Enter, or through applyNow()), so a million rows are not filtered per keystroke.
class FilterBar final : public QWidget {
    Q_OBJECT
public:
    explicit FilterBar(QWidget *parent = nullptr);

    [[nodiscard]] ResultsModel::KindSwitches kinds() const;
    [[nodiscard]] QString text() const;
    [[nodiscard]] QLineEdit *textBox() const { return m_text; }
    // Captions the switches with `counts` (the rows the text lets pass) and shows those of
    // the kinds in the list (`inList`), and any switched off.
    void setCounts(const ResultsModel::KindCounts &counts, const ResultsModel::KindCounts &inList);
    // Emits changed() now when a text change is still waiting.
    void applyNow();

signals:
    void changed();

private:
    std::array<QToolButton *, ResultCount> m_kinds{};
    ResultsModel::KindCounts m_counts{};
    ResultsModel::KindCounts m_inList{};
    QLineEdit *m_text = nullptr;
    QTimer m_pause;
};

} // namespace dirwise
