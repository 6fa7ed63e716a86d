#include "SkipRulesDialog.h"

#include "TextForms.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace dirwise {

SkipRulesDialog::SkipRulesDialog(const QString &rules, bool useGitignore, QWidget *parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmSkip"));
    setWindowTitle(tr("Skip Folders and Files"));

    auto *label = new QLabel(tr("&Rules, one a line, for both trees:"), this);
    m_rules = new QPlainTextEdit(this);
    m_rules->setObjectName(QStringLiteral("txtSkipRules"));
    m_rules->setAccessibleName(tr("Skip rules"));
    m_rules->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_rules->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_rules->setTabChangesFocus(true);
    m_rules->setPlainText(rules);
    label->setBuddy(m_rules);

    auto *help = new QLabel(
        tr("Each line is a pattern as in a .gitignore file, taken from the master "
           "directory: * and ? match within a name, [a-z] one character of a set, ** any "
           "number of folders. A / at the start or in the middle ties a pattern to the "
           "master directory, a / at the end matches folders only, ! takes a match back, "
           "\\ takes the next character as it is, and # starts a comment.\n"
           "Example:  build/   *.o   !keep.o   /docs/**/*.tmp"),
        this);
    help->setObjectName(QStringLiteral("lblSkipHelp"));
    help->setWordWrap(true);

    m_useGitignore = new QCheckBox(tr("Use .&gitignore files"), this);
    m_useGitignore->setObjectName(QStringLiteral("chkUseGitignore"));
    m_useGitignore->setAccessibleName(tr("Use .gitignore files"));
    m_useGitignore->setToolTip(tr("Also honour the master directory's .gitignore files, each "
                                  "for its own folder, and pass over .git folders"));
    m_useGitignore->setChecked(useGitignore);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdSkipOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdSkipCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_rules, 1);
    layout->addWidget(help);
    layout->addWidget(m_useGitignore);
    layout->addWidget(buttons);
    const int em = fontMetrics().horizontalAdvance(QLatin1Char('M'));
    resize(40 * em, 24 * fontMetrics().lineSpacing());
}

QString SkipRulesDialog::rules() const { return m_rules->toPlainText(); }

bool SkipRulesDialog::useGitignore() const { return m_useGitignore->isChecked(); }

QString RuleText(const std::string &text) {
    std::string valid;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = Utf8SequenceLength(text, i);
        valid += n == 0 ? std::string("?") : text.substr(i, n);
        i += n == 0 ? 1 : n;
    }
    return QString::fromStdString(valid);
}

} // namespace dirwise
