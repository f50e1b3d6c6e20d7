#pragma once

#include <QSizeF>
#include <QString>
#include <Qt>

#include <optional>

class QWidget;

namespace vellumet
{

class Twips;

// The window's outer frame in twips from the screen's top left corner.
struct Placement {
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;

    friend bool operator==(const Placement &, const Placement &) = default;
};

// What the settings store holds; a key that is absent or unreadable stays empty.
struct StoredPlacement {
    std::optional<float> left;
    std::optional<float> top;
    std::optional<float> width;
    std::optional<float> height;
};

// A tenth of the screen in from the top left, four fifths of it in size.
Placement defaultPlacement(QSizeF screen);
// The stored values, each absent one replaced by its default.
Placement placementToApply(const StoredPlacement &stored, QSizeF screen);
// The placement the window took, or all four defaults when it reaches past the right
// or the bottom edge of the screen. Nothing else is checked: a window may start left
// of or above the screen.
Placement keepOnScreen(const Placement &applied, QSizeF screen);
// The whole restore, for a window that takes the values as they are.
Placement restoredPlacement(const StoredPlacement &stored, QSizeF screen);
// Only a window in its normal state is remembered; a maximized or minimized one leaves
// the previous placement in the store.
std::optional<Placement> placementToStore(const Placement &current, Qt::WindowStates state);

// The stored text form: "1536" for 1536, "-120.5" for -120.5 (with the user's decimal
// separator), the shortest text that reads back as the same single-precision number.
QString placementValueText(float value);
std::optional<float> parsePlacementValue(const QString &text);

// The per-user settings store: application "Vellumet", section "Settings".
StoredPlacement readStoredPlacement();
void writeStoredPlacement(const Placement &placement);

// The window side, converted through the screen's twips.
QSizeF screenSizeInTwips(const QWidget &window, const Twips &twips);
Placement windowPlacementOf(const QWidget &window, const Twips &twips);
void applyPlacement(QWidget &window, const Placement &placement, const Twips &twips);

} // namespace vellumet
