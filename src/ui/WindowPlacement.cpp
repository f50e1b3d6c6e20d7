#include "ui/WindowPlacement.h"

#include "ui/Twips.h"

#include <QLocale>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include <charconv>
#include <cmath>

namespace vellumet
{

namespace
{

const QString Application = QStringLiteral("Vellumet");
const QString Section = QStringLiteral("Settings");
const QString KeyLeft = QStringLiteral("MainLeft");
const QString KeyTop = QStringLiteral("MainTop");
const QString KeyWidth = QStringLiteral("MainWidth");
const QString KeyHeight = QStringLiteral("MainHeight");

std::optional<float> readValue(const QSettings &settings, const QString &key)
{
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return std::nullopt;
    return parsePlacementValue(value.toString());
}

} // namespace

Placement defaultPlacement(QSizeF screen)
{
    return {float(screen.width() * 0.1), float(screen.height() * 0.1), float(screen.width() * 0.8),
            float(screen.height() * 0.8)};
}

Placement placementToApply(const StoredPlacement &stored, QSizeF screen)
{
    const Placement defaults = defaultPlacement(screen);
    return {stored.left.value_or(defaults.left), stored.top.value_or(defaults.top),
            stored.width.value_or(defaults.width), stored.height.value_or(defaults.height)};
}

Placement keepOnScreen(const Placement &applied, QSizeF screen)
{
    const float right = applied.left + applied.width;
    const float bottom = applied.top + applied.height;
    if (right > screen.width() || bottom > screen.height())
        return defaultPlacement(screen);
    return applied;
}

Placement restoredPlacement(const StoredPlacement &stored, QSizeF screen)
{
    return keepOnScreen(placementToApply(stored, screen), screen);
}

std::optional<Placement> placementToStore(const Placement &current, Qt::WindowStates state)
{
    if (state & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        return std::nullopt;
    return current;
}

QString placementValueText(float value)
{
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    return text.replace(u'.', QLocale::system().decimalPoint());
}

std::optional<float> parsePlacementValue(const QString &text)
{
    // Written with the decimal separator of its day, which may not be today's.
    QByteArray bytes =
        QString(text).replace(QLocale::system().decimalPoint(), QStringLiteral(".")).toLatin1();
    bytes.replace(',', '.');
    float value = 0;
    const char *end = bytes.constData() + bytes.size();
    const auto result = std::from_chars(bytes.constData(), end, value);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

StoredPlacement readStoredPlacement()
{
    QSettings settings(Application, Application);
    settings.beginGroup(Section);
    return {readValue(settings, KeyLeft), readValue(settings, KeyTop),
            readValue(settings, KeyWidth), readValue(settings, KeyHeight)};
}

void writeStoredPlacement(const Placement &placement)
{
    QSettings settings(Application, Application);
    settings.beginGroup(Section);
    settings.setValue(KeyLeft, placementValueText(placement.left));
    settings.setValue(KeyTop, placementValueText(placement.top));
    settings.setValue(KeyWidth, placementValueText(placement.width));
    settings.setValue(KeyHeight, placementValueText(placement.height));
}

QSizeF screenSizeInTwips(const QWidget &window, const Twips &twips)
{
    const QSize pixels = window.screen()->size();
    return {pixels.width() * twips.perPixel(), pixels.height() * twips.perPixel()};
}

Placement windowPlacementOf(const QWidget &window, const Twips &twips)
{
    const QRect frame = window.frameGeometry();
    return {twips.fromPixels(frame.x()), twips.fromPixels(frame.y()),
            twips.fromPixels(frame.width()), twips.fromPixels(frame.height())};
}

void applyPlacement(QWidget &window, const Placement &placement, const Twips &twips)
{
    // Where the platform knows the frame before the window is shown, creating the
    // native window now lets the outer size be set as the outer size.
    window.winId();
    const QSize frameExtra = window.frameGeometry().size() - window.size();
    window.move(twips.toPixels(placement.left), twips.toPixels(placement.top));
    window.resize(twips.toPixels(placement.width) - frameExtra.width(),
                  twips.toPixels(placement.height) - frameExtra.height());
}

} // namespace vellumet
