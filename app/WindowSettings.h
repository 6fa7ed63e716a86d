#pragma once

#include <QString>

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

// The main window's fifteen stored settings as one value: the application ApplicationTitle(),
// section "Settings", keys Save, MasterDir, CompareDir, SubDir, CheckSize, CheckDate,
// NoShowMatch, Ext1 to Ext4, FormLeft, FormTop, FormHeight and FormWidth, in that order.
// A default-constructed value is the window as it first opens: Save on Exit, subdirectories
// and size checked, the rest unchecked or empty, the platform's geometry.
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

    // Reads the settings from `store`. A stored Save of 0 (or none) means nothing was
    // saved: the result is the default value, whatever the other keys hold. Otherwise every
    // key is read, an absent one keeping its default. Numbers are read in the C locale with
    // blanks around them allowed; check box values round half to even and must come out 0,
    // 1 or 2. Throws LoadError naming the key, the stored text and the settings file for a
    // value that is not a number (or out of range), and naming the file for a file that
    // cannot be read or parsed.
    [[nodiscard]] static WindowSettings read(const SettingsStore &store);

    // Writes Save to Ext4 in their order, then each Form key that has a value (in the order
    // FormLeft, FormTop, FormHeight, FormWidth), leaving the others as stored. Whole numbers
    // are written as plain digits, others in the shortest C-locale form. Returns false when
    // a value could not be written (the rest are still tried).
    bool write(SettingsStore &store) const;

    friend bool operator==(const WindowSettings &, const WindowSettings &) = default;
};

// Pixels for `twips` at `dpi` dots per inch, rounded to the nearest pixel (15 twips to a
// pixel at 96 dpi).
[[nodiscard]] int twipsToPixels(double twips, int dpi);
// Twips for `pixels` at `dpi`, unrounded.
[[nodiscard]] double pixelsToTwips(double pixels, int dpi);

} // namespace dirwise
