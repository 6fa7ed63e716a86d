#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QPlainTextEdit;

namespace dirwise {

// Options > "Skip Folders and Files…": the skip rules, one a line, with a short help on
// their syntax and an example, and "Use .gitignore files". OK accepts, Cancel and Esc
// leave the rules as they were. Controls carry their names as objectName (frmSkip,
// txtSkipRules, lblSkipHelp, chkUseGitignore, cmdSkipOK, cmdSkipCancel).
class SkipRulesDialog final : public QDialog {
    Q_OBJECT
public:
    SkipRulesDialog(const QString &rules, bool useGitignore, QWidget *parent);

    // The rules as the user left them, lines joined by LF.
    [[nodiscard]] QString rules() const;
    [[nodiscard]] bool useGitignore() const;

private:
    QPlainTextEdit *m_rules = nullptr;
    QCheckBox *m_useGitignore = nullptr;
};

// `text` as the rules are kept: a name's bytes that are not UTF-8, which the settings
// cannot hold, become "?" (which matches any one byte but "/").
[[nodiscard]] QString RuleText(const std::string &text);

} // namespace dirwise
