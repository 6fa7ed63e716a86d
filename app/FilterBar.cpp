#include "FilterBar.h"

#include "LocaleText.h"

#include <QBoxLayout>
#include <QLineEdit>
#include <QToolButton>

namespace dirwise {

namespace {

// How long typing must pause before the list is filtered again.
constexpr int kPauseMs = 150;

QString kindName(std::size_t kind) {
    return QString::fromUtf8(ResultText(static_cast<Result>(kind)));
}

} // namespace

FilterBar::FilterBar(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("filterBar"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    for (std::size_t kind = 0; kind < ResultCount; ++kind) {
        auto *button = new QToolButton(this);
        QString name = kindName(kind);
        name.remove(u' ').remove(u'&');
        button->setObjectName(QStringLiteral("flt") + name);
        button->setCheckable(true);
        button->setChecked(true);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setToolTip(tr("Show the \"%1\" rows").arg(kindName(kind)));
        button->setAccessibleName(tr("Show %1 rows").arg(kindName(kind)));
        button->hide();
        connect(button, &QToolButton::toggled, this, [this] {
            setCounts(m_counts, m_inList);
            emit changed();
        });
        row->addWidget(button);
        m_kinds[kind] = button;
    }
    row->addStretch(1);
    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("txtFilter"));
    m_text->setPlaceholderText(tr("Filter by path"));
    m_text->setAccessibleName(tr("Filter by path"));
    m_text->setToolTip(tr("Show only the rows whose path contains this text (Ctrl+F)"));
    m_text->setClearButtonEnabled(true);
    row->addWidget(m_text, 2);

    m_pause.setSingleShot(true);
    m_pause.setInterval(kPauseMs);
    connect(&m_pause, &QTimer::timeout, this, &FilterBar::changed);
    connect(m_text, &QLineEdit::textChanged, this, [this] { m_pause.start(); });
    connect(m_text, &QLineEdit::returnPressed, this, &FilterBar::applyNow);
}

ResultsModel::KindSwitches FilterBar::kinds() const {
    ResultsModel::KindSwitches on{};
    for (std::size_t kind = 0; kind < ResultCount; ++kind)
        on[kind] = m_kinds[kind]->isChecked();
    return on;
}

QString FilterBar::text() const { return m_text->text(); }

void FilterBar::setCounts(const ResultsModel::KindCounts &counts,
                          const ResultsModel::KindCounts &inList) {
    m_counts = counts;
    m_inList = inList;
    for (std::size_t kind = 0; kind < ResultCount; ++kind) {
        QToolButton *button = m_kinds[kind];
        button->setText(QStringLiteral("%1 (%2)").arg(kindName(kind), numberText(counts[kind])));
        // "&" in "Size&Date" would read as an access key.
        button->setText(button->text().replace(u'&', QStringLiteral("&&")));
        // A kind the run found stays while a text hides all its rows, so the bar does not
        // shift as the text is typed.
        button->setVisible(inList[kind] > 0 || !button->isChecked());
    }
}

void FilterBar::applyNow() {
    if (!m_pause.isActive())
        return;
    m_pause.stop();
    emit changed();
}

} // namespace dirwise
