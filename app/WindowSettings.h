#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <stdexcept>

namespace dirwise {

class SettingsStore;

// A failure while the window loads (in practice: a stored setting that cannot be used).
// what() is the description that start-up shows after "Error loading main form: ".
class LoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The main window's stored settings as one value: the application ApplicationTitle(),
// section "Settings", the fifteen keys Save, MasterDir, CompareDir, SubDir, CheckSize,
// CheckDate, NoShowMatch, Ext1 to Ext4, FormLeft, FormTop, FormHeight and FormWidth, then the
// Options menu's TimeTolerance, HourShifts, ShowExtra, VerifyContents and FollowLinks, then
// SkipRules, UseGitignore, DiffTool and RecentPairs, in that order (missing skip keys: no
// rules). A default-constructed value is the window as it first opens: Save on Exit,
// subdirectories and size checked, links followed, the rest unchecked, empty or exact, the
// platform's geometry.
struct WindowSettings {
    int save = 1;      // "Save on Exit": 0, 1, or 2 (grayed)
    QString masterDir; // directory box texts, as shown
    QString compareDir;
    int subDir = 1; // check box values 0, 1 or 2
    int checkSize = 1;
    int checkDate = 0;
    int noShowMatch = 0;
    std::array<QString, 4> extensions; // Ext1 to Ext4
    // The window frame's left, top, outer height and outer width in twips (1440 to the
    // inch), single-precision values; no value: not stored, the window keeps its own.
    std::optional<double> formLeft;
    std::optional<double> formTop;
    std::optional<double> formHeight;
    std::optional<double> formWidth;
    // The Options menu.
    int timeTolerance = 0;  // seconds: 0 (Exact), 1 or 2 (FAT)
    int hourShifts = 0;     // 1: ignore 1-hour shifts
    int showExtra = 0;      // 1: list files only in the compare directory
    int verifyContents = 0; // 1: verify contents
    int followLinks = 1;    // 1: follow links to directories
    // The program (and its own arguments) that Compare Files starts with the two files;
    // empty: the first diff tool installed.
    QString diffTool;
    // The last directory pairs compared, newest first, at most RecentPairsKept: master,
    // compare, master, compare, ... Stored as one text, each directory followed by ";" with
    // "%" and ";" written "%25" and "%3B".
    QStringList recentPairs;
    // Options > Skip Folders and Files: the rules, one a line (LF), and whether the master
    // directory's .gitignore files count.
    QString skipRules;
    int useGitignore = 0;

    // Reads the settings from `store`. A stored Save of 0 (or none) means nothing was
    // saved: the result is the default value, whatever the other keys hold. Otherwise every
    // key is read, an absent one keeping its default. Numbers are read in the C locale with
    // blanks around them allowed; whole values round half to even and must come out in
    // their range (check box values 0, 1 or 2; TimeTolerance 0, 1 or 2; the other menu keys
    // 0 or 1). Throws LoadError naming the key, the stored text and the settings file for a
    // value that is not a number (or out of range), and naming the file for a file that
    // cannot be read: not a regular file (a FIFO is never waited for), larger than
    // SettingsStore::MaxFileSize, unreadable, or not in the settings format.
    [[nodiscard]] static WindowSettings read(const SettingsStore &store);

    // Writes the whole file: the keys above in their order (a Form key without a value
    // keeps its stored value, or is left out when none was stored), then any other key the
    // section held, then the file's other sections, as they were. Whole numbers are written
    // as plain digits, others in the shortest C-locale form. Returns false when the file
    // could not be written (the stored file is then as it was).
    bool write(SettingsStore &store) const;

    friend bool operator==(const WindowSettings &, const WindowSettings &) = default;
};

// How many directory pairs RecentPairs keeps.
inline constexpr int RecentPairsKept = 10;

// Pixels for `twips` at `dpi` dots per inch, rounded to the nearest pixel (15 twips to a
// pixel at 96 dpi). The result saturates at ±PixelLimit, so no stored number overflows.
[[nodiscard]] int twipsToPixels(double twips, int dpi);
inline constexpr int PixelLimit = 1'000'000;
// Twips for `pixels` at `dpi`, unrounded.
[[nodiscard]] double pixelsToTwips(double pixels, int dpi);

} // namespace dirwise
