#pragma once

#include <QString>

namespace dirwise {

// The product information the window shows: fixed when the program is built.

// "Dirwise".
[[nodiscard]] QString ApplicationTitle();
// The product's one version text, major.minor.revision in plain decimal ("7.0.0"), as
// dwc and the About box show it.
[[nodiscard]] QString VersionText();
// The title, a blank and the version: the main window's caption ("Dirwise 7.0.0").
[[nodiscard]] QString CaptionText();
// The maker's name ("The Dirwise Authors").
[[nodiscard]] QString CompanyName();
// The address of the product's home page, opened by Help on the Web: the build's
// DIRWISE_HOME_PAGE, or when that is empty (the default) the file URL of HelpPagePath(),
// found afresh at each call.
[[nodiscard]] QString HomePageAddress();

// The full path of the running program, symlinks resolved, so a link on the PATH still
// finds the files installed beside the real program. Tests may replace it.
[[nodiscard]] QString ProgramFilePath();
// Replaces the program path that ProgramFilePath() answers; an empty path restores the
// real one. For tests.
void SetProgramFilePathForTests(const QString &path);

// The help page of the program file `programFile`: its directory, "/", its base name
// without extension, and ".htm" (/opt/x/dw gives /opt/x/dw.htm). No separator is dropped
// or added when the directory already ends in one.
[[nodiscard]] QString HelpPagePathFor(const QString &programFile);
// HelpPagePathFor(ProgramFilePath()).
[[nodiscard]] QString HelpPagePath();

} // namespace dirwise
